// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mailmend::mailstore::rtf {

// A moment as its sender's clock showed it.
struct LocalDate {
    int year = 0;
    int month = 0; // 1-12
    int day = 0;   // 1-31
    int weekday = 0; // 0 Sunday - 6 Saturday
    int hour = 0;
    int minute = 0;
    int offsetMinutes = 0; // east of UTC
};

// `utcSeconds` seen from a zone `offsetMinutes` east of UTC; nothing outside the years
// 1 to 9999.
std::optional<LocalDate> localDate(std::int64_t utcSeconds, int offsetMinutes);

// The one fixed form dates take in our documents, the same whatever the machine's
// language: "Monday, 1 January 2024 10:00 +0100".
std::string formatDate(const LocalDate& date);

// The value of the first header `name` in a header block, unfolded; nothing when the
// block has no such header.
std::optional<std::string> headerValue(std::string_view headers, std::string_view name);

// The zone a Date header's value ends with ("+0100", "-0500 (EST)", "GMT", "PDT"), in
// minutes east of UTC; nothing when it names none or an impossible one.
std::optional<int> dateZoneOffset(std::string_view dateValue);

} // namespace mailmend::mailstore::rtf
