// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/pst/value_writer.h"

#include "mailstore/pst/utf16.h"

namespace mailmend::mailstore::pst {
namespace {

constexpr std::size_t kTextPiece = 32 * 1024;
constexpr std::size_t kReadPiece = 64 * 1024;

} // namespace

std::optional<std::uint32_t> ValueWriter::fail(ValueFailure failure)
{
    if (m_failure == ValueFailure::None)
        m_failure = m_store.failed() ? ValueFailure::File : failure;
    return std::nullopt;
}

std::optional<std::uint32_t> ValueWriter::toSubnode(DataStreamWriter& writer)
{
    const auto data = writer.finish();
    if (!data)
        return fail(writer.overflowed() ? ValueFailure::TooLarge : ValueFailure::File);
    const Nid nid = m_subnodes.newValueNid();
    m_subnodes.add(nid, {*data, 0});
    return nid;
}

std::optional<std::uint32_t> ValueWriter::bytes(ByteView data)
{
    if (data.size() <= kMaxHeapAllocation) {
        const auto hid = m_heap.allocate(data);
        if (!hid)
            return fail(m_heap.overflowed() ? ValueFailure::TooLarge : ValueFailure::File);
        return *hid;
    }
    DataStreamWriter writer(m_store);
    if (!writer.write(data))
        return fail(writer.overflowed() ? ValueFailure::TooLarge : ValueFailure::File);
    return toSubnode(writer);
}

std::optional<std::uint32_t> ValueWriter::text(std::string_view utf8, bool crlfLineEnds)
{
    if (utf16Size(utf8, crlfLineEnds) <= kMaxHeapAllocation)
        return bytes(toUtf16(utf8, crlfLineEnds));
    DataStreamWriter writer(m_store);
    Utf16Encoder encoder(crlfLineEnds);
    Bytes piece;
    for (std::size_t at = 0; at < utf8.size(); at += kTextPiece) {
        piece.clear();
        encoder.encode(utf8.substr(at, kTextPiece), &piece);
        if (!writer.write(piece))
            return fail(writer.overflowed() ? ValueFailure::TooLarge : ValueFailure::File);
    }
    piece.clear();
    encoder.finish(&piece);
    if (!writer.write(piece))
        return fail(writer.overflowed() ? ValueFailure::TooLarge : ValueFailure::File);
    return toSubnode(writer);
}

std::optional<ValueWriter::Stored> ValueWriter::stream(ByteSource& source, std::uint64_t limit)
{
    // Read until it is clear whether the value fits the heap.
    Bytes buffer(kReadPiece);
    std::size_t held = 0;
    bool ended = false;
    while (held <= kMaxHeapAllocation) {
        const std::size_t room = buffer.size() - held;
        const std::ptrdiff_t n = source.read(reinterpret_cast<char*>(buffer.data()) + held, room);
        if (n < 0 || static_cast<std::size_t>(n) > room) {
            fail(ValueFailure::ReadFailed);
            return std::nullopt;
        }
        if (n == 0) {
            ended = true;
            break;
        }
        held += static_cast<std::size_t>(n);
    }
    if (held > limit) {
        fail(ValueFailure::TooLarge);
        return std::nullopt;
    }
    if (ended && held <= kMaxHeapAllocation) {
        const auto hid = bytes(ByteView(buffer.data(), held));
        if (!hid)
            return std::nullopt;
        return Stored {*hid, held};
    }
    DataStreamWriter writer(m_store);
    while (held > 0) {
        if (writer.size() + held > limit) {
            fail(ValueFailure::TooLarge);
            return std::nullopt;
        }
        if (!writer.write(ByteView(buffer.data(), held))) {
            fail(writer.overflowed() ? ValueFailure::TooLarge : ValueFailure::File);
            return std::nullopt;
        }
        const std::ptrdiff_t n = source.read(reinterpret_cast<char*>(buffer.data()), buffer.size());
        if (n < 0 || static_cast<std::size_t>(n) > buffer.size()) {
            fail(ValueFailure::ReadFailed);
            return std::nullopt;
        }
        held = static_cast<std::size_t>(n);
    }
    const auto nid = toSubnode(writer);
    if (!nid)
        return std::nullopt;
    return Stored {*nid, writer.size()};
}

} // namespace mailmend::mailstore::pst
