// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/store_session.h"

#include "log/text.h"

namespace mailmend::recovery {

using namespace mailstore::rdo;

namespace {
constexpr const char* kStoreDisplayName = "Norvale Recovered Mails";
} // namespace

StepResult failSetUp(JobContext& job, const char* box, const char* line)
{
    job.view().messageBox(box, kJobCaption, platform::MessageStyle::Ok);
    job.log().error(line);
    return StepResult::Abort;
}

bool logOnNewStore(JobContext& job, const std::filesystem::path& path, bool sessionLineIsError,
                   std::unique_ptr<RdoSession>& session, std::shared_ptr<RdoStore>& store)
{
    try {
        session = std::make_unique<RdoSession>();
    } catch (...) {
        job.log().error("Exception while creating session");
        return false;
    }
    sessionLineIsError ? job.log().error("session created") : job.log().exec("session created");

    session->setCancellation(&job.token());
    session->setFallbackTime(job.runStartTime());
    try {
        store = session->LogonPstStore(path, "", kStoreDisplayName, "", "");
        if (!store) {
            failSetUp(job, "Could not create Output PST file", "Could not create LogonPstStore");
            return false;
        }
        job.log().error("LogonPstStore created");
        if (!session->LoggedOn()) {
            failSetUp(job, "Unable To Logon. Pls contact your Administrator",
                      "Logon failed. After creating PSTStore");
            return false;
        }
        store->prepare();
    } catch (...) {
        job.log().error("Exception while creating LogonPstStore");
        return false;
    }
    return !job.stopRequested();
}

std::shared_ptr<RdoItems> folderItems(JobContext& job, RdoFolder& folder)
{
    try {
        std::shared_ptr<RdoItems> items = folder.Items();
        if (!items)
            failSetUp(job, "Could not find inbox folder items", "Could not get default inbox folder items");
        return items;
    } catch (...) {
        job.log().error("Exception while reading folder items");
        return nullptr;
    }
}

MailOutcome storeMail(JobContext& job, FileContext& file, RdoItems& items, std::int32_t i,
                      const StoreMailSteps& steps)
{
    const ScratchMail scratch = writeScratchMail(job, file, i, true);
    if (scratch.stopped)
        return MailOutcome::Stop;
    if (!scratch.written)
        return MailOutcome::Progress;
    std::shared_ptr<RdoMail> mail;
    bool saved = false;
    try {
        mail = items.Add(kMailItem);
        if (!mail) {
            ++file.result.mailsFailed;
            job.log().error(strprintf("Could not create Mail object for mail no %d", i));
            return MailOutcome::SkipProgress;
        }
        saved = mail->Import(scratch.path, kImportEml);
        mail->SetSent(true);
        saved = saved && steps.save(*mail);
    } catch (...) {
        saved = false;
    }
    if (!saved) {
        // Not stored: its scratch file stays until the file's closing step.
        ++file.result.mailsFailed;
        job.log().error(strprintf(steps.failureLine, i));
        return steps.afterFailure;
    }
    countWriteResult(file.result, job.reader());
    deleteScratchMail(job, scratch.path, i);
    return steps.afterSave ? steps.afterSave(*mail) : MailOutcome::Progress;
}

} // namespace mailmend::recovery
