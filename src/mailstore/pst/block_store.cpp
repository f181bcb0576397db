// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/pst/block_store.h"

#include <algorithm>
#include <cstring>

#include "mailstore/pst/crc.h"
#include "mailstore/pst/page.h"
#include "platform/cancellation.h"
#include "platform/random_access_file.h"

namespace mailmend::mailstore::pst {

BlockStore::BlockStore(platform::RandomAccessFile& file, FileSpace& space)
    : m_file(file), m_space(space)
{
}

bool BlockStore::fail(const std::string& reason)
{
    if (!m_failed)
        m_error = reason;
    m_failed = true;
    return false;
}

Bid BlockStore::reserveBid(bool internal)
{
    const Bid bid = m_nextBid | (internal ? 2 : 0);
    m_nextBid += 4;
    return bid;
}

std::optional<Bid> BlockStore::write(ByteView data, bool internal)
{
    const Bid bid = reserveBid(internal);
    if (!writeReserved(bid, data))
        return std::nullopt;
    return bid;
}

bool BlockStore::writeReserved(Bid bid, ByteView data)
{
    if (m_failed)
        return false;
    if (platform::cancelled(m_stop)) {
        m_stopped = true;
        return false;
    }
    if (data.size() > kMaxBlockData)
        return fail("a block larger than a block can be");
    const std::size_t span = (data.size() + kBlockTrailerSize + 63) / 64 * 64;
    const std::uint64_t offset = m_space.allocate(static_cast<std::uint32_t>(span), 64);

    std::uint8_t* out = m_buffer.data();
    if (!data.empty())
        std::memcpy(out, data.data(), data.size());
    std::fill(out + data.size(), out + span - kBlockTrailerSize, std::uint8_t {0});
    std::uint8_t* trailer = out + span - kBlockTrailerSize;
    putLe16(trailer, static_cast<std::uint16_t>(data.size()));
    putLe16(trailer + 2, placeSignature(offset, bid));
    putLe32(trailer + 4, storeCrc(data.data(), data.size()));
    putLe64(trailer + 8, bid);
    if (!m_file.writeAt(offset, out, span)) {
        m_space.release(offset, static_cast<std::uint32_t>(span));
        return fail("cannot write the store file: " + m_file.lastError());
    }
    m_records.emplace_back(bid, offset, static_cast<std::uint16_t>(data.size()));
    m_bytesWritten += data.size();
    return true;
}

void BlockStore::clearFailure()
{
    m_failed = false;
    m_error.clear();
    m_file.clearFailure();
}

void BlockStore::rollback(const Mark& mark)
{
    for (std::size_t i = mark.records; i < m_records.size(); ++i) {
        const BlockRecord& record = m_records[i];
        const std::size_t span = (record.size + kBlockTrailerSize + 63) / 64 * 64;
        m_space.release(record.offset(), static_cast<std::uint32_t>(span));
    }
    m_records.resize(std::min(mark.records, m_records.size()));
    m_bytesWritten = mark.bytes;
}

} // namespace mailmend::mailstore::pst
