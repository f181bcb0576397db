// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace mailmend::platform {

struct CalendarDate {
    int day = 1;   // 1-31
    int month = 1; // 1-12
    int year = 1970;
};

struct WallTime {
    int hour = 0; // 0-23
    int minute = 0;
    int second = 0;
};

// The date and the time come from two separate readings, as the log header shows them:
// the calendar date in UTC and the local wall-clock time.
class Clock {
public:
    virtual ~Clock() = default;
    virtual CalendarDate utcDate() const = 0;
    virtual WallTime localTime() const = 0;
    // The instant itself: seconds since 1970-01-01 UTC.
    virtual std::int64_t utcNow() const = 0;
};

const Clock& systemClock();

} // namespace mailmend::platform
