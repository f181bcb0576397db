// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mailmend::mailstore::msg {

// Property types as a .msg file tags them.
enum class PropertyType : std::uint16_t {
    Integer32 = 0x0003,
    Boolean = 0x000B,
    Object = 0x000D,
    Time = 0x0040,
    String = 0x001F, // UTF-16LE
    Binary = 0x0102,
};

constexpr std::uint32_t propertyTag(std::uint16_t id, PropertyType type)
{
    return std::uint32_t{id} << 16 | static_cast<std::uint16_t>(type);
}

// "__substg1.0_" and the tag in eight upper-case hex digits: where a property whose value
// does not fit in its entry keeps that value.
std::string valueStreamName(std::uint32_t tag);

// A storage name numbered in eight upper-case hex digits: "__recip_version1.0_#0000000A".
std::string numberedName(const char* prefix, std::size_t number);

// The entries of one "__properties_version1.0" stream. Fixed-size values sit in their
// entry; the others are written to their own streams first and only their sizes go here.
class PropertyStream {
public:
    enum class Owner {
        Message,         // the message of the file: 32-byte header
        EmbeddedMessage, // a message inside an attachment: 24-byte header
        Child,           // a recipient or an attachment: 8-byte header
    };

    void addInteger32(std::uint32_t tag, std::uint32_t value);
    void addBoolean(std::uint32_t tag, bool value);
    void addTime(std::uint32_t tag, std::uint64_t fileTime);
    // A value written to valueStreamName(tag), `streamBytes` long.
    void addStreamed(std::uint32_t tag, std::uint64_t streamBytes);
    // An embedded message's storage.
    void addObject(std::uint32_t tag);

    // The stream's bytes. Messages give their counts of recipient and attachment
    // storages, numbered from 0 without gaps.
    std::string bytes(Owner owner, std::uint32_t recipients = 0, std::uint32_t attachments = 0) const;

private:
    struct Entry {
        std::uint32_t tag;
        std::uint64_t value;
    };
    std::vector<Entry> m_entries;
};

} // namespace mailmend::mailstore::msg
