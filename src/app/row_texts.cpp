// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/row_texts.h"

#include "log/text.h"

namespace mailmend::app {

std::string sizeText(std::uint64_t bytes)
{
    return strprintf("%llu Kb", static_cast<unsigned long long>(bytes / 1024));
}

std::string createdOnText(std::time_t time)
{
    static const char* const weekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm parts {};
    if (!localtime_r(&time, &parts) || parts.tm_wday < 0 || parts.tm_wday > 6 || parts.tm_mon < 0
        || parts.tm_mon > 11)
        return {};
    return strprintf("%s %s %02d %02d:%02d:%02d %lld", weekdays[parts.tm_wday], months[parts.tm_mon],
                     parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, static_cast<long long>(parts.tm_year) + 1900);
}

} // namespace mailmend::app
