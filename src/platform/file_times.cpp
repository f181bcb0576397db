// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/file_times.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <limits>

#include "platform/system_calls.h"

namespace mailmend::platform {

bool setFileTimes(const std::filesystem::path& path, std::int64_t unixSeconds)
{
    if (unixSeconds < std::numeric_limits<time_t>::min()
        || unixSeconds > std::numeric_limits<time_t>::max())
        return false;
    timespec times[2] {};
    times[0].tv_sec = static_cast<time_t>(unixSeconds);
    times[1].tv_sec = static_cast<time_t>(unixSeconds);
    return sys::setTimes(path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

} // namespace mailmend::platform
