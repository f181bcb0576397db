// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/pst/mail_fields.h"

#include <algorithm>
#include <limits>

#include "mailstore/pst/utf16.h"

namespace mailmend::mailstore::pst {
namespace {

bool isAsciiLetterOrDigit(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

char upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Whether the code point starting at `text[at]` may be part of a subject marker: no
// digit, blank, punctuation or control character.
bool isMarkerCharacter(std::string_view text, std::size_t at)
{
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte >= 0x80)
        return true; // letters of other scripts ("Отв")
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z');
}

} // namespace

SubjectParts splitSubject(std::string_view subject)
{
    // A leading control character would be taken for a marker of the older format.
    std::size_t start = 0;
    while (start < subject.size() && static_cast<unsigned char>(subject[start]) < 0x20)
        ++start;
    SubjectParts parts;
    parts.subject = std::string(subject.substr(start));
    parts.normalized = parts.subject;

    // One to three letters, a colon and at least one blank make the marker.
    const std::string_view text = parts.subject;
    std::size_t at = 0;
    int letters = 0;
    while (at < text.size() && letters < 4 && text[at] != ':') {
        if (!isMarkerCharacter(text, at))
            return parts;
        ++letters;
        ++at;
        while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
            ++at;
    }
    if (letters < 1 || letters > 3 || at + 1 >= text.size() || text[at] != ':'
        || text[at + 1] != ' ')
        return parts;
    std::size_t rest = at + 1;
    while (rest < text.size() && text[rest] == ' ')
        ++rest;
    parts.prefix = std::string(text.substr(0, at)) + ": ";
    parts.normalized = std::string(text.substr(rest));
    return parts;
}

std::string displayName(const MailAddress& address)
{
    return address.name.empty() ? address.address : address.name;
}

std::string displayList(const std::vector<MailAddress>& addresses)
{
    std::string list;
    for (const MailAddress& address : addresses) {
        const std::string name = displayName(address);
        if (name.empty())
            continue;
        if (!list.empty())
            list += "; ";
        list += name;
    }
    return list;
}

std::uint64_t fileTimeFromUnix(std::int64_t seconds)
{
    constexpr std::int64_t kEpochDifference = 11644473600; // 1601 to 1970, in seconds
    constexpr std::int64_t kTicks = 10000000;
    constexpr std::int64_t kLargest = std::numeric_limits<std::int64_t>::max() / kTicks
        - kEpochDifference;
    const std::int64_t clamped = std::clamp<std::int64_t>(seconds, -kEpochDifference, kLargest);
    return static_cast<std::uint64_t>((clamped + kEpochDifference) * kTicks);
}

std::string fileExtension(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size())
        return {};
    const std::string_view extension = name.substr(dot);
    if (extension.find_first_of("/\\") != std::string_view::npos || extension.size() > 16)
        return {};
    return std::string(extension);
}

std::string shortFileName(std::string_view name)
{
    const std::string extension = fileExtension(name);
    const std::string_view base = name.substr(0, name.size() - extension.size());
    std::string shortBase;
    bool shortened = base.size() > 8;
    for (char c : base) {
        if (isAsciiLetterOrDigit(c) || c == '_' || c == '-') {
            if (shortBase.size() < 8)
                shortBase += upper(c);
        } else {
            shortened = true;
        }
    }
    std::string shortExtension;
    for (std::size_t i = 1; i < extension.size(); ++i) {
        if (isAsciiLetterOrDigit(extension[i]) && shortExtension.size() < 3)
            shortExtension += upper(extension[i]);
        else
            shortened = true;
    }
    if (shortBase.empty())
        shortBase = "ATTACH";
    if (shortened)
        shortBase = shortBase.substr(0, 6) + "~1";
    return shortExtension.empty() ? shortBase : shortBase + "." + shortExtension;
}

Bytes oneOffEntryId(std::string_view name, std::string_view address)
{
    // Four flag bytes, the one-off provider's id, version and flags (Unicode, no rich
    // text), then name, address type and address, each ending in a zero character.
    Bytes id {0, 0, 0, 0, 0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19,
              0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02, 0x00, 0x00, 0x01, 0x90};
    for (std::string_view part : {name, std::string_view("SMTP"), address}) {
        const Bytes text = toUtf16(part);
        id.insert(id.end(), text.begin(), text.end());
        appendLe16(id, 0);
    }
    return id;
}

Bytes addressSearchKey(std::string_view address)
{
    Bytes key {'S', 'M', 'T', 'P', ':'};
    for (char c : address)
        key.push_back(static_cast<std::uint8_t>(upper(c)));
    key.push_back(0);
    return key;
}

} // namespace mailmend::mailstore::pst
