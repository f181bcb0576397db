// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/attachment_names.h"

#include <array>
#include <utility>

#include "mailstore/text_encoding.h"

namespace mailmend::mailstore {
namespace {

// An extension longer than this is taken for part of the name when a name is cut.
constexpr std::size_t kLongestKeptExtension = 32;

bool isRefusedCharacter(char32_t c)
{
    if (c < 0x20 || (c >= 0x7F && c < 0xA0))
        return true;
    switch (c) {
    case '<': case '>': case ':': case '"': case '|': case '?': case '*':
    case '/': case '\\':
        return true;
    default:
        break;
    }
    // Direction marks and overrides can make "photo\u202Egpj.exe" look like a .jpg.
    return c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
}

// The name after its last directory separator, either kind.
std::string_view lastPart(std::string_view name)
{
    const std::size_t cut = name.find_last_of("/\\");
    return cut == std::string_view::npos ? name : name.substr(cut + 1);
}

std::string cleanCharacters(std::string_view name)
{
    std::string clean;
    clean.reserve(name.size());
    std::size_t pos = 0;
    while (pos < name.size()) {
        const std::size_t start = pos;
        const char32_t c = nextCodePoint(name, pos);
        const bool broken = c == kReplacementCharacter && pos - start == 1;
        if (broken)
            clean += '_';
        else if (!isRefusedCharacter(c))
            clean.append(name.substr(start, pos - start));
    }
    return clean;
}

// Leading dots would hide the file (or make "." and ".."); trailing dots and spaces are
// dropped by some file systems, which would merge names that differ only there.
std::string trimEnds(std::string name)
{
    const std::size_t first = name.find_first_not_of(". ");
    if (first == std::string::npos)
        return {};
    const std::size_t last = name.find_last_not_of(". ");
    return name.substr(first, last - first + 1);
}

char asciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool isDeviceName(std::string_view name)
{
    const std::string_view stem = name.substr(0, name.find('.'));
    std::string upper;
    for (const char c : stem.substr(0, 5))
        upper += asciiUpper(c);
    if (stem.size() == 3)
        return upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL";
    return stem.size() == 4 && (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0) &&
           upper[3] >= '1' && upper[3] <= '9';
}

// Where the extension starts (its dot), or npos when the name has none worth keeping.
std::size_t extensionStart(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || name.size() - dot > kLongestKeptExtension)
        return std::string_view::npos;
    return dot;
}

// The longest start of `text` of at most `bytes` bytes that ends on a character boundary.
std::string_view cutAtCharacter(std::string_view text, std::size_t bytes)
{
    if (text.size() <= bytes)
        return text;
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

// `stem` + `suffix` + `extension` within kMaxAttachmentNameBytes, cutting the stem.
std::string joinWithin(std::string_view stem, std::string_view suffix, std::string_view extension)
{
    const std::size_t room = kMaxAttachmentNameBytes - suffix.size() - extension.size();
    std::string name(cutAtCharacter(stem, room));
    while (!name.empty() && (name.back() == ' ' || name.back() == '.'))
        name.pop_back();
    return name.append(suffix).append(extension);
}

std::string fitLength(const std::string& name)
{
    if (name.size() <= kMaxAttachmentNameBytes)
        return name;
    const std::size_t dot = extensionStart(name);
    if (dot == std::string::npos)
        return joinWithin(name, "", "");
    return joinWithin(std::string_view(name).substr(0, dot), "", std::string_view(name).substr(dot));
}

// The simple lower-case mapping of the scripts whose case file systems fold.
char32_t foldCase(char32_t c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
        (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) || (c >= 0x410 && c <= 0x42F))
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F)
        return c + 0x50;
    const bool evenPairs = (c >= 0x100 && c <= 0x137 && c != 0x130) || (c >= 0x14A && c <= 0x177);
    const bool oddPairs = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if ((evenPairs && c % 2 == 0) || (oddPairs && c % 2 == 1))
        return c + 1;
    return c;
}

std::string folded(std::string_view name)
{
    std::string out;
    out.reserve(name.size());
    std::size_t pos = 0;
    while (pos < name.size())
        appendUtf8(out, foldCase(nextCodePoint(name, pos)));
    return out;
}

} // namespace

std::string extensionForMimeType(std::string_view mimeType)
{
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 36> kTypes = {{
        {"text/plain", ".txt"},
        {"text/html", ".html"},
        {"text/css", ".css"},
        {"text/csv", ".csv"},
        {"text/xml", ".xml"},
        {"text/calendar", ".ics"},
        {"text/vcard", ".vcf"},
        {"text/x-vcard", ".vcf"},
        {"text/rtf", ".rtf"},
        {"text/enriched", ".txt"},
        {"message/rfc822", ".eml"},
        {"message/delivery-status", ".txt"},
        {"image/jpeg", ".jpg"},
        {"image/pjpeg", ".jpg"},
        {"image/png", ".png"},
        {"image/gif", ".gif"},
        {"image/bmp", ".bmp"},
        {"image/tiff", ".tif"},
        {"image/svg+xml", ".svg"},
        {"image/webp", ".webp"},
        {"audio/mpeg", ".mp3"},
        {"audio/wav", ".wav"},
        {"video/mp4", ".mp4"},
        {"application/pdf", ".pdf"},
        {"application/zip", ".zip"},
        {"application/x-zip-compressed", ".zip"},
        {"application/gzip", ".gz"},
        {"application/rtf", ".rtf"},
        {"application/msword", ".doc"},
        {"application/vnd.ms-excel", ".xls"},
        {"application/vnd.ms-powerpoint", ".ppt"},
        {"application/vnd.openxmlformats-officedocument.wordprocessingml.document", ".docx"},
        {"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet", ".xlsx"},
        {"application/vnd.openxmlformats-officedocument.presentationml.presentation", ".pptx"},
        {"application/xml", ".xml"},
        {"application/ms-tnef", ".dat"},
    }};
    for (const auto& [type, extension] : kTypes) {
        if (type == mimeType)
            return std::string(extension);
    }
    return ".bin";
}

std::string safeAttachmentName(const MailAttachment& attachment, std::size_t index)
{
    std::string name = trimEnds(cleanCharacters(lastPart(attachment.fileName)));
    if (name.empty()) {
        const std::string type = attachment.isMessage ? "message/rfc822" : attachment.mimeType;
        return "attachment-" + std::to_string(index + 1) + extensionForMimeType(type);
    }
    if (isDeviceName(name))
        name = "_" + name;
    return fitLength(name);
}

std::string UniqueNames::add(const std::string& safeName)
{
    const std::string name = fitLength(safeName);
    const std::string key = folded(name);
    if (m_taken.insert(key).second)
        return name;
    const std::size_t dot = extensionStart(name);
    const std::string_view stem = std::string_view(name).substr(0, dot);
    const std::string_view extension =
        dot == std::string::npos ? std::string_view() : std::string_view(name).substr(dot);
    // Numbers already tried for this name are not tried again, so a mail with many
    // attachments of one name costs linear time.
    std::size_t& number = m_nextNumber.try_emplace(key, 2).first->second;
    for (;; ++number) {
        const std::string candidate = joinWithin(stem, " (" + std::to_string(number) + ")", extension);
        if (m_taken.insert(folded(candidate)).second) {
            ++number;
            return candidate;
        }
    }
}

std::vector<std::string> attachmentFileNames(const MailMessage& mail)
{
    std::vector<std::string> names;
    names.reserve(mail.attachments.size());
    UniqueNames unique;
    for (std::size_t i = 0; i < mail.attachments.size(); ++i)
        names.push_back(unique.add(safeAttachmentName(mail.attachments[i], i)));
    return names;
}

} // namespace mailmend::mailstore
