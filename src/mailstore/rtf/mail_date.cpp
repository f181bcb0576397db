// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/rtf/mail_date.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <utility>

namespace mailmend::mailstore::rtf {
namespace {

constexpr std::int64_t kFirstSecond = -62135596800; // 0001-01-01 00:00:00 UTC
constexpr std::int64_t kLastSecond = 253402300799;  // 9999-12-31 23:59:59 UTC
constexpr int kLargestOffset = 14 * 60;             // no zone is further from UTC

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The value without comments "( ... )", which RFC 5322 allows about anywhere.
std::string withoutComments(std::string_view value)
{
    std::string out;
    int depth = 0;
    for (const char c : value) {
        if (c == '(')
            ++depth;
        else if (c == ')' && depth > 0)
            --depth;
        else if (depth == 0)
            out += c;
    }
    return out;
}

} // namespace

std::optional<LocalDate> localDate(std::int64_t utcSeconds, int offsetMinutes)
{
    using namespace std::chrono;
    if (offsetMinutes < -kLargestOffset || offsetMinutes > kLargestOffset)
        return std::nullopt;
    if (utcSeconds < kFirstSecond + kLargestOffset * 60 || utcSeconds > kLastSecond - kLargestOffset * 60)
        return std::nullopt;
    const std::int64_t local = utcSeconds + std::int64_t{offsetMinutes} * 60;
    const sys_seconds moment{seconds{local}};
    const sys_days day = floor<days>(moment);
    const year_month_day ymd{day};
    const hh_mm_ss time{moment - day};
    LocalDate date;
    date.year = static_cast<int>(ymd.year());
    date.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
    date.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
    date.weekday = static_cast<int>(weekday{day}.c_encoding());
    date.hour = static_cast<int>(time.hours().count());
    date.minute = static_cast<int>(time.minutes().count());
    date.offsetMinutes = offsetMinutes;
    return date;
}

std::string formatDate(const LocalDate& date)
{
    static constexpr std::array<const char*, 7> kDays = {
        "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    static constexpr std::array<const char*, 12> kMonths = {
        "January", "February", "March",     "April",   "May",      "June",
        "July",    "August",   "September", "October", "November", "December"};
    const int offset = date.offsetMinutes < 0 ? -date.offsetMinutes : date.offsetMinutes;
    char text[96];
    std::snprintf(text, sizeof text, "%s, %d %s %d %02d:%02d %c%02d%02d",
                  kDays[static_cast<std::size_t>(date.weekday % 7)], date.day,
                  kMonths[static_cast<std::size_t>((date.month + 11) % 12)], date.year,
                  date.hour, date.minute, date.offsetMinutes < 0 ? '-' : '+', offset / 60,
                  offset % 60);
    return text;
}

std::optional<std::string> headerValue(std::string_view headers, std::string_view name)
{
    std::size_t lineStart = 0;
    while (lineStart < headers.size()) {
        std::size_t lineEnd = headers.find('\n', lineStart);
        if (lineEnd == std::string_view::npos)
            lineEnd = headers.size();
        const std::string_view line = headers.substr(lineStart, lineEnd - lineStart);
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && sameName(line.substr(0, colon), name)) {
            std::string value(line.substr(colon + 1));
            // Continuation lines start with white space.
            std::size_t next = lineEnd + 1;
            while (next < headers.size() && isBlank(headers[next])) {
                std::size_t end = headers.find('\n', next);
                if (end == std::string_view::npos)
                    end = headers.size();
                value.append(headers.substr(next, end - next));
                next = end + 1;
            }
            std::string clean;
            for (const char c : value) {
                if (c != '\r' && c != '\n')
                    clean += c == '\t' ? ' ' : c;
            }
            const std::size_t first = clean.find_first_not_of(' ');
            const std::size_t last = clean.find_last_not_of(' ');
            return first == std::string::npos ? std::string() : clean.substr(first, last - first + 1);
        }
        lineStart = lineEnd + 1;
    }
    return std::nullopt;
}

std::optional<int> dateZoneOffset(std::string_view dateValue)
{
    const std::string value = withoutComments(dateValue);
    const std::size_t end = value.find_last_not_of(" \t");
    if (end == std::string::npos)
        return std::nullopt;
    const std::size_t start = value.find_last_of(" \t", end);
    const std::string zone = value.substr(start == std::string::npos ? 0 : start + 1,
                                          end - (start == std::string::npos ? 0 : start + 1) + 1);
    if (zone.size() == 5 && (zone[0] == '+' || zone[0] == '-')) {
        int digits[4];
        for (int i = 0; i < 4; ++i) {
            const char c = zone[static_cast<std::size_t>(i + 1)];
            if (c < '0' || c > '9')
                return std::nullopt;
            digits[i] = c - '0';
        }
        const int hours = digits[0] * 10 + digits[1];
        const int minutes = digits[2] * 10 + digits[3];
        const int offset = hours * 60 + minutes;
        if (minutes > 59 || offset > kLargestOffset)
            return std::nullopt;
        return zone[0] == '-' ? -offset : offset;
    }
    static constexpr std::array<std::pair<std::string_view, int>, 12> kNamed = {{
        {"UT", 0}, {"UTC", 0}, {"GMT", 0}, {"Z", 0},
        {"EST", -300}, {"EDT", -240}, {"CST", -360}, {"CDT", -300},
        {"MST", -420}, {"MDT", -360}, {"PST", -480}, {"PDT", -420},
    }};
    for (const auto& [name, offset] : kNamed) {
        if (sameName(zone, name))
            return offset;
    }
    return std::nullopt;
}

} // namespace mailmend::mailstore::rtf
