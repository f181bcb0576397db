// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/clock.h"

#include <ctime>

namespace mailmend::platform {
namespace {

class SystemClock final : public Clock {
public:
    CalendarDate utcDate() const override
    {
        const std::time_t now = std::time(nullptr);
        std::tm parts {};
        gmtime_r(&now, &parts);
        return {parts.tm_mday, parts.tm_mon + 1, parts.tm_year + 1900};
    }

    WallTime localTime() const override
    {
        const std::time_t now = std::time(nullptr);
        std::tm parts {};
        localtime_r(&now, &parts);
        return {parts.tm_hour, parts.tm_min, parts.tm_sec};
    }

    std::int64_t utcNow() const override { return static_cast<std::int64_t>(std::time(nullptr)); }
};

} // namespace

const Clock& systemClock()
{
    static const SystemClock clock;
    return clock;
}

} // namespace mailmend::platform
