// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbx/mail_date.h"

#include <array>
#include <climits>
#include <cctype>
#include <string>

namespace mailmend::dbx {
namespace {

// Reads the words and numbers of a date, skipping punctuation and comments.
class DateTokens {
public:
    explicit DateTokens(std::string_view text) : m_text(text) {}

    // The next run of letters, digits or a sign with digits; empty at the end.
    std::string_view next()
    {
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos];
            if (c == '(') {
                skipComment();
            } else if (std::isalnum(static_cast<unsigned char>(c)) || signedNumberAt(m_pos)) {
                break;
            } else {
                ++m_pos;
            }
        }
        const std::size_t start = m_pos;
        if (signedNumberAt(m_pos))
            ++m_pos;
        while (m_pos < m_text.size() && std::isalnum(static_cast<unsigned char>(m_text[m_pos])))
            ++m_pos;
        return m_text.substr(start, m_pos - start);
    }

private:
    bool signedNumberAt(std::size_t pos) const
    {
        return pos + 1 < m_text.size() && (m_text[pos] == '+' || m_text[pos] == '-')
            && std::isdigit(static_cast<unsigned char>(m_text[pos + 1]));
    }

    void skipComment()
    {
        int depth = 0;
        for (; m_pos < m_text.size(); ++m_pos) {
            if (m_text[m_pos] == '(')
                ++depth;
            else if (m_text[m_pos] == ')' && --depth == 0)
                break;
        }
        // Past the closing parenthesis; a comment left open runs to the end.
        if (m_pos < m_text.size())
            ++m_pos;
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
};

bool allDigits(std::string_view text, std::size_t least, std::size_t most)
{
    if (text.size() < least || text.size() > most)
        return false;
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

int number(std::string_view digits)
{
    int value = 0;
    for (const char c : digits)
        value = value * 10 + (c - '0');
    return value;
}

std::string lowerAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

int monthNumber(std::string_view word)
{
    static constexpr std::array<const char*, 12> kMonths {
        "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
    const std::string lower = lowerAscii(word.substr(0, 3));
    for (std::size_t i = 0; i < kMonths.size(); ++i)
        if (word.size() >= 3 && lower == kMonths[i])
            return static_cast<int>(i) + 1;
    return 0;
}

// Minutes east of UTC for a zone word; 0 for UTC and for zones we do not know.
int zoneMinutes(std::string_view word)
{
    if ((word[0] == '+' || word[0] == '-') && allDigits(word.substr(1), 4, 4)) {
        const int value = number(word.substr(1, 2)) * 60 + number(word.substr(3, 2));
        return word[0] == '-' ? -value : value;
    }
    static constexpr std::array<std::pair<const char*, int>, 8> kNamed {{
        {"est", -5 * 60}, {"edt", -4 * 60}, {"cst", -6 * 60}, {"cdt", -5 * 60},
        {"mst", -7 * 60}, {"mdt", -6 * 60}, {"pst", -8 * 60}, {"pdt", -7 * 60},
    }};
    const std::string lower = lowerAscii(word);
    for (const auto& [name, minutes] : kNamed)
        if (lower == name)
            return minutes;
    return 0;
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

} // namespace

std::optional<std::int64_t> parseMailDate(std::string_view text)
{
    DateTokens tokens(text.substr(0, 256));
    std::string_view word = tokens.next();
    if (!word.empty() && !allDigits(word, 1, 2))
        word = tokens.next(); // the weekday
    if (!allDigits(word, 1, 2))
        return std::nullopt;
    const int day = number(word);
    const int month = monthNumber(tokens.next());
    const std::string_view yearWord = tokens.next();
    if (month == 0 || !allDigits(yearWord, 2, 4) || day < 1 || day > 31)
        return std::nullopt;
    int year = number(yearWord);
    if (yearWord.size() == 2)
        year += year < 50 ? 2000 : 1900;
    else if (yearWord.size() == 3)
        year += 1900;

    // The time comes as separate numbers because ':' is skipped: hh mm [ss].
    int clock[3] {0, 0, 0};
    std::string_view zone;
    for (int i = 0; i < 3; ++i) {
        word = tokens.next();
        if (!allDigits(word, 1, 2)) {
            if (i < 2)
                return std::nullopt;
            zone = word;
            break;
        }
        clock[i] = number(word);
    }
    if (zone.empty())
        zone = tokens.next();
    if (clock[0] > 23 || clock[1] > 59 || clock[2] > 60)
        return std::nullopt;
    const int offset = zone.empty() ? 0 : zoneMinutes(zone);
    return daysFromCivil(year, month, day) * 86400 + clock[0] * 3600 + clock[1] * 60 + clock[2]
        - std::int64_t {offset} * 60;
}

std::uint64_t toFileTime(std::int64_t unixSeconds)
{
    constexpr std::int64_t kSecondsFrom1601 = 11644473600;
    constexpr std::int64_t kLatest = (INT64_MAX / 10000000) - kSecondsFrom1601;
    if (unixSeconds < -kSecondsFrom1601)
        return 0;
    if (unixSeconds > kLatest)
        unixSeconds = kLatest;
    return static_cast<std::uint64_t>(unixSeconds + kSecondsFrom1601) * 10000000u;
}

} // namespace mailmend::dbx
