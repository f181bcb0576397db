// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/msg_rtf_output.h"

#include <memory>
#include <string>

#include "log/text.h"
#include "recovery/store_session.h"
#include "platform/directories.h"
#include "platform/safe_directories.h"

namespace mailmend::recovery {
namespace {

using namespace mailstore::rdo;

enum class Form { Msg, Rtf };

// The attachments of one mail into their folder beside its .rtf file. Stop: the run
// must end.
MailOutcome saveAttachments(JobContext& job, FileContext& file, RdoMail& mail, std::int32_t i)
{
    try {
        const std::shared_ptr<RdoAttachments> attachments = mail.Attachments();
        if (!attachments) {
            job.log().error("Could not determine No of attachments");
            return MailOutcome::SkipProgress;
        }
        const std::int32_t count = attachments->Count();
        if (count == 0)
            return MailOutcome::Progress;
        if (job.stopRequested())
            return MailOutcome::Stop;
        const auto folder = file.outputFolder / strprintf("Recovered_msg_%06d", i + 1);
        if (!platform::createDirectory(folder) && platform::isRealDirectory(folder)
            && !EmptyFolderFiles(job, folder))
            return MailOutcome::Stop;
        // A link planted at the folder's name is never written through.
        const bool usable = platform::isRealDirectory(folder);
        for (std::int32_t j = 1; j <= count; ++j) {
            if (job.stopRequested())
                return MailOutcome::Stop;
            const std::shared_ptr<RdoAttachment> attachment = attachments->Item(j);
            if (!attachment) {
                ++file.result.attachmentsFailed;
                job.log().error("Could not create single attachment object");
                continue;
            }
            const auto path = folder / attachment->FileName();
            if (!usable || !attachment->SaveAsFile(path)) {
                ++file.result.attachmentsFailed;
                job.log().error(strprintf("Counld not create %s attachment file",
                                          printable(path.string()).c_str()));
            }
        }
        return MailOutcome::Progress;
    } catch (...) {
        job.log().error(
            strprintf("Exception while importing and saving attachments for mail no : %d", i));
        return MailOutcome::SkipProgress;
    }
}

StepResult saveAsFileStep(JobContext& job, FileContext& file, Form form)
{
    const bool rtf = form == Form::Rtf;
    job.log().exec(rtf ? "In SAVEASRTF" : "In SAVEASMSG");

    std::unique_ptr<RdoSession> session;
    std::shared_ptr<RdoStore> store;
    const auto scratchStore = file.tempFolder / ("Recovered_" + file.baseName + ".pst");
    if (!logOnNewStore(job, scratchStore, true, session, store))
        return StepResult::Abort;

    std::shared_ptr<RdoFolder> inbox;
    try {
        inbox = store->GetDefaultFolder(kFolderInbox);
        if (!inbox)
            return failSetUp(job, "Could not find inbox folder in PST", "Could not get default inbox folder");
    } catch (...) {
        job.log().error("Exception while creating folder");
        return StepResult::Abort;
    }
    const std::shared_ptr<RdoItems> items = folderItems(job, *inbox);
    if (!items || job.stopRequested())
        return StepResult::Abort;

    const StepResult loop = MailLoop(job, file, 100, [&](std::int32_t i) {
        const StoreMailSteps steps {
            "Exception while importing and saving mail no : %d",
            rtf ? MailOutcome::SkipProgress : MailOutcome::Progress,
            [&](RdoMail& mail) {
                const auto path = file.outputFolder
                    / strprintf("Recovered_msg_%06d.%s", i + 1, rtf ? "rtf" : "msg");
                return mail.SaveAs(path, rtf ? kSaveAsRtf : kSaveAsMsg);
            },
            rtf ? std::function<MailOutcome(RdoMail&)>([&](RdoMail& mail) {
                return saveAttachments(job, file, mail, i);
            })
                : nullptr};
        return storeMail(job, file, *items, i, steps);
    });
    // The scratch store goes before the file's closing step removes its folder.
    session->close();
    if (loop == StepResult::Abort)
        return StepResult::Abort;
    job.setFileProgress(100);
    job.log().exec(strprintf(rtf ? "SAVEASRTF Recovery Succeeded for file %s"
                                 : "SAVEASMSG Recovery Succeeded for file %s",
                             printable(file.sourcePath).c_str()));
    return StepResult::Finished;
}

} // namespace

StepResult saveAsMsgStep(JobContext& job, FileContext& file)
{
    return saveAsFileStep(job, file, Form::Msg);
}

StepResult saveAsRtfStep(JobContext& job, FileContext& file)
{
    return saveAsFileStep(job, file, Form::Rtf);
}

} // namespace mailmend::recovery
