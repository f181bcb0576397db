// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/store_session.h"

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

} // namespace mailmend::recovery
