// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/msg/property_stream.h"

#include <algorithm>
#include <cstdio>

namespace mailmend::mailstore::msg {
namespace {

// Readable and writable: what a message saved by a mail program carries.
constexpr std::uint32_t kEntryFlags = 0x00000006;

void appendLittleEndian(std::string& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string hex8(std::size_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value & 0xFFFFFFFF));
    return text;
}

} // namespace

std::string valueStreamName(std::uint32_t tag)
{
    return "__substg1.0_" + hex8(tag);
}

std::string numberedName(const char* prefix, std::size_t number)
{
    return prefix + hex8(number);
}

void PropertyStream::addInteger32(std::uint32_t tag, std::uint32_t value)
{
    m_entries.push_back({tag, value});
}

void PropertyStream::addBoolean(std::uint32_t tag, bool value)
{
    m_entries.push_back({tag, value ? 1u : 0u});
}

void PropertyStream::addTime(std::uint32_t tag, std::uint64_t fileTime)
{
    m_entries.push_back({tag, fileTime});
}

void PropertyStream::addStreamed(std::uint32_t tag, std::uint64_t streamBytes)
{
    // A string's size counts the terminator the stream leaves out.
    std::uint64_t size = streamBytes;
    if ((tag & 0xFFFF) == static_cast<std::uint16_t>(PropertyType::String))
        size += 2;
    m_entries.push_back({tag, std::min<std::uint64_t>(size, 0xFFFFFFFF)});
}

void PropertyStream::addObject(std::uint32_t tag)
{
    m_entries.push_back({tag, 0xFFFFFFFF});
}

std::string PropertyStream::bytes(Owner owner, std::uint32_t recipients, std::uint32_t attachments) const
{
    std::string out;
    out.reserve(32 + 16 * m_entries.size());
    appendLittleEndian(out, 0, 8);
    if (owner != Owner::Child) {
        appendLittleEndian(out, recipients, 4); // the next recipient's number
        appendLittleEndian(out, attachments, 4); // the next attachment's number
        appendLittleEndian(out, recipients, 4);
        appendLittleEndian(out, attachments, 4);
    }
    if (owner == Owner::Message)
        appendLittleEndian(out, 0, 8);
    for (const Entry& entry : m_entries) {
        appendLittleEndian(out, entry.tag, 4);
        appendLittleEndian(out, kEntryFlags, 4);
        appendLittleEndian(out, entry.value, 8);
    }
    return out;
}

} // namespace mailmend::mailstore::msg
