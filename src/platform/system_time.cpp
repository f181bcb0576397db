// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system_time.h"

#include <chrono>

namespace mailmend::platform {

std::int64_t secondsSinceEpoch()
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::seconds>(now).count();
}

} // namespace mailmend::platform
