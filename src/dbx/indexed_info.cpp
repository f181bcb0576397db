// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbx/indexed_info.h"

#include <algorithm>

#include "dbx/format.h"
#include "dbx/le_bytes.h"

namespace mailmend::dbx {
namespace {

constexpr std::uint32_t kLargestDirect = 0x800000;
constexpr std::uint32_t kDirectBit = 0x80;

std::size_t dataSize(const std::vector<InfoAttribute>& attributes)
{
    std::size_t size = 0;
    for (const auto& attribute : attributes)
        if (!attribute.direct)
            size += attribute.data.size();
    return size;
}

std::size_t bodySize(const std::vector<InfoAttribute>& attributes)
{
    const std::size_t unpadded = 4 * attributes.size() + dataSize(attributes);
    return (unpadded + 3) & ~std::size_t {3};
}

} // namespace

InfoAttribute InfoAttribute::integer(std::uint8_t id, std::uint32_t value)
{
    InfoAttribute attribute;
    attribute.id = id;
    if (value < kLargestDirect) {
        attribute.direct = true;
        attribute.value = value;
    } else {
        attribute.data = le32String(value);
    }
    return attribute;
}

InfoAttribute InfoAttribute::fileTime(std::uint8_t id, std::uint64_t value)
{
    InfoAttribute attribute;
    attribute.id = id;
    attribute.data = le32String(static_cast<std::uint32_t>(value))
        + le32String(static_cast<std::uint32_t>(value >> 32));
    return attribute;
}

InfoAttribute InfoAttribute::string(std::uint8_t id, std::string_view text, std::size_t longest)
{
    InfoAttribute attribute;
    attribute.id = id;
    text = text.substr(0, std::min(text.find('\0'), longest));
    attribute.data.assign(text);
    attribute.data += '\0';
    return attribute;
}

std::optional<std::uint32_t> InfoAttribute::asInteger() const
{
    if (direct)
        return value;
    if (data.size() < 4)
        return std::nullopt;
    return readLe32(reinterpret_cast<const unsigned char*>(data.data()));
}

std::string InfoAttribute::asString() const
{
    return data.substr(0, data.find('\0'));
}

std::size_t indexedInfoSize(const std::vector<InfoAttribute>& attributes)
{
    return kInfoHeaderSize + bodySize(attributes);
}

std::string encodeIndexedInfo(std::uint32_t marker, const std::vector<InfoAttribute>& attributes)
{
    const std::size_t body = bodySize(attributes);
    std::string out;
    out.reserve(kInfoHeaderSize + body);
    out += le32String(marker);
    out += le32String(static_cast<std::uint32_t>(body));
    out += le32String(0); // total size (left 0, as Outlook Express often does) ...
    out[10] = static_cast<char>(attributes.size()); // ... entry count ...
    out[11] = 1;                                   // ... and change counter
    std::uint32_t dataOffset = 0;
    for (const auto& attribute : attributes) {
        if (attribute.direct) {
            out += le32String(attribute.id | kDirectBit | (attribute.value << 8));
        } else {
            out += le32String(attribute.id | (dataOffset << 8));
            dataOffset += static_cast<std::uint32_t>(attribute.data.size());
        }
    }
    for (const auto& attribute : attributes)
        if (!attribute.direct)
            out += attribute.data;
    out.resize(kInfoHeaderSize + body, '\0');
    return out;
}

std::optional<std::uint32_t> indexedInfoBodyLength(const unsigned char* header,
                                                   std::uint32_t marker)
{
    const std::uint32_t body = readLe32(header + 4);
    if (readLe32(header) != marker || body > kLargestInfoBody || body % 4 != 0
        || header[10] * 4u > body)
        return std::nullopt;
    return body;
}

std::optional<std::vector<InfoAttribute>> decodeIndexedInfo(const unsigned char* header,
                                                            std::string_view body)
{
    const std::size_t count = header[10];
    if (count * 4 > body.size())
        return std::nullopt;
    const auto* entries = reinterpret_cast<const unsigned char*>(body.data());
    const std::string_view data = body.substr(count * 4);

    std::vector<InfoAttribute> attributes(count);
    std::vector<std::size_t> starts; // data offsets of the indirect ones, in entry order
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t word = readLe32(entries + 4 * i);
        attributes[i].id = static_cast<std::uint8_t>(word & 0x7F);
        attributes[i].direct = (word & kDirectBit) != 0;
        if (attributes[i].direct) {
            attributes[i].value = word >> 8;
        } else {
            starts.push_back(word >> 8);
            if (starts.back() > data.size()
                || (starts.size() > 1 && starts.back() < starts[starts.size() - 2]))
                return std::nullopt;
        }
    }
    // An item runs to the next indirect item; the last one to the end of the body.
    std::size_t next = 0;
    for (auto& attribute : attributes) {
        if (attribute.direct)
            continue;
        const std::size_t start = starts[next++];
        const std::size_t end = next < starts.size() ? starts[next] : data.size();
        attribute.data.assign(data.substr(start, end - start));
    }
    return attributes;
}

} // namespace mailmend::dbx
