// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <functional>
#include <memory>

#include "mailstore/rdo/rdo_session.h"
#include "recovery/job_context.h"

// The set-up the PST, MSG and RTF outputs share: a mail session logged on to a new store.
namespace mailmend::recovery {

// A set-up failure: the box, the error line, and the end of the run.
StepResult failSetUp(JobContext& job, const char* box, const char* line);

// A session, then a new store at `path` logged on to and readied. The "session created"
// line goes to the error log when `sessionLineIsError` (the MSG and RTF outputs have it
// so). Every failure is shown and logged here; false means the run must end. The store
// is closed when `session` is let go.
bool logOnNewStore(JobContext& job, const std::filesystem::path& path, bool sessionLineIsError,
                   std::unique_ptr<mailstore::rdo::RdoSession>& session,
                   std::shared_ptr<mailstore::rdo::RdoStore>& store);

// The folder's item collection; null once the failure was shown and logged.
std::shared_ptr<mailstore::rdo::RdoItems> folderItems(JobContext& job, mailstore::rdo::RdoFolder& folder);

// What one mail's way into a store does after the shared part.
struct StoreMailSteps {
    const char* failureLine;       // logged with the mail's number when the mail is not stored
    MailOutcome afterFailure;      // Progress or SkipProgress
    std::function<bool(mailstore::rdo::RdoMail&)> save;               // into the folder, or as a file
    std::function<MailOutcome(mailstore::rdo::RdoMail&)> afterSave;   // null: Progress
};

// Mail `mail` on its way into a store: written as a scratch .eml, a new item made in
// `items`, the scratch mail imported into it and marked sent, then saved; the scratch
// file is deleted once the mail is stored. A mail counts as written only then.
MailOutcome storeMail(JobContext& job, FileContext& file, mailstore::rdo::RdoItems& items,
                      std::int32_t mail, const StoreMailSteps& steps);

} // namespace mailmend::recovery
