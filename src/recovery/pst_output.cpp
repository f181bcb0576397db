// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/pst_output.h"

#include <memory>
#include <string>

#include "log/text.h"
#include "recovery/store_session.h"

namespace mailmend::recovery {
namespace {

using namespace mailstore::rdo;

// The folder of the store's visible root whose name is `name`, made when there is none.
std::shared_ptr<RdoFolder> targetFolder(RdoFolders& children, const std::string& name,
                                        std::int32_t type)
{
    for (std::int32_t index = 1; index <= children.Count(); ++index)
        if (const auto child = children.Item(index); child && child->Name() == name)
            return child;
    return children.Add(name, type);
}

} // namespace

StepResult saveAsPstStep(JobContext& job, FileContext& file)
{
    job.log().exec("In SAVEASPST");

    std::unique_ptr<RdoSession> session;
    std::shared_ptr<RdoStore> store;
    const auto path = file.outputFolder / ("Recovered_" + file.baseName + ".pst");
    if (!logOnNewStore(job, path, false, session, store))
        return StepResult::Abort;

    std::shared_ptr<RdoFolder> target;
    try {
        const std::shared_ptr<RdoFolder> inbox = store->GetDefaultFolder(kFolderInbox);
        const std::int32_t newFolderType = inbox ? inbox->DefaultItemType() : kMailItem;
        const std::shared_ptr<RdoFolder> root = store->IPMRootFolder();
        if (!root)
            return failSetUp(job, "Could not find default IPMRootFolder in PST",
                             "Could not get default IPMRootFolder");
        const std::shared_ptr<RdoFolders> children = root->Folders();
        if (!children)
            return failSetUp(job, "Could not find childs of default IPMRootFolder in PST",
                             "Could not get childs of default IPMRootFolder folder");
        target = targetFolder(*children, file.baseName, newFolderType);
        if (!target)
            return failSetUp(job, "Could not find inbox folder in PST",
                             "Could not create/get necessary folder");
    } catch (...) {
        job.log().error("Exception while creating folder");
        return StepResult::Abort;
    }

    const std::shared_ptr<RdoItems> items = folderItems(job, *target);
    if (!items || job.stopRequested())
        return StepResult::Abort;

    const StoreMailSteps steps {"Exception while importing and saving mail : %d", MailOutcome::Progress,
                                [](RdoMail& mail) { return mail.Save(); }, nullptr};
    const StepResult loop = MailLoop(job, file, 100, [&](std::int32_t i) {
        return storeMail(job, file, *items, i, steps);
    });
    // The store is closed here, on every way out: what was saved before a stop stays
    // readable.
    if (!session->close())
        storeUnfinished(job, file, path);
    if (loop == StepResult::Abort)
        return StepResult::Abort;
    job.setFileProgress(100);
    job.log().exec(strprintf("SAVEASPST Recovery Succeeded for file %s",
                             printable(file.sourcePath).c_str()));
    return StepResult::Finished;
}

} // namespace mailmend::recovery
