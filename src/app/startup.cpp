// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/startup.h"

namespace mailmend::app {

std::optional<platform::InstanceLock> claimSingleInstance(platform::MessageSink& sink,
                                                          const std::filesystem::path& lockDirectory)
{
    auto lock = platform::InstanceLock::tryAcquire(kInstanceName, lockDirectory);
    if (!lock)
        sink.show(kAnotherInstanceMessage, "Norvale Mailmend", platform::MessageStyle::Ok);
    return lock;
}

} // namespace mailmend::app
