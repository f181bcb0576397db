// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
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

} // namespace mailmend::recovery
