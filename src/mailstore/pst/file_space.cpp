// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/pst/file_space.h"

#include <algorithm>
#include <bit>

#include "mailstore/pst/ids.h"
#include "mailstore/pst/page.h"
#include "platform/random_access_file.h"

namespace mailmend::mailstore::pst {
namespace {

constexpr std::uint64_t kUnit = 64;

// The older free-space pages: one free map for every 496 ranges from range 128 on, one
// free-page map for every 31,744 ranges from range 8192 on (the header covers the ranges
// before). Readers today ignore them, but their places stay reserved.
bool hasPageMap(std::size_t range) { return range % 8 == 0; }
bool hasFreeMap(std::size_t range) { return range >= 128 && (range - 128) % 496 == 0; }
bool hasFreePageMap(std::size_t range)
{
    return range >= 8192 && (range - 8192) % 31744 == 0;
}

std::uint64_t alignUp(std::uint64_t value, std::uint64_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

} // namespace

std::uint64_t FileSpace::rangeStart(std::size_t range)
{
    return kFirstRange + range * kRangeSize;
}

std::uint64_t FileSpace::reservedBytes(std::size_t range)
{
    if (hasFreePageMap(range))
        return 4 * kPageSize;
    if (hasFreeMap(range))
        return 3 * kPageSize;
    return hasPageMap(range) ? 2 * kPageSize : kPageSize;
}

void FileSpace::ensureRange(std::size_t range)
{
    while (m_maps.size() <= range) {
        const std::size_t index = m_maps.size();
        m_maps.push_back(Map {});
        const std::uint64_t start = rangeStart(index);
        mark(start, kPageSize, true);
        if (hasPageMap(index))
            mark(start + kPageSize, kPageSize, true);
        if (hasFreeMap(index))
            mark(start + 2 * kPageSize, kPageSize, true);
        if (hasFreePageMap(index))
            mark(start + 3 * kPageSize, kPageSize, true);
    }
}

void FileSpace::mark(std::uint64_t offset, std::uint32_t size, bool used)
{
    for (std::uint64_t at = offset; at < offset + size; at += kUnit) {
        const std::uint64_t relative = at - kFirstRange;
        const std::size_t range = relative / kRangeSize;
        const std::uint64_t bit = (relative % kRangeSize) / kUnit;
        if (range >= m_maps.size())
            return;
        std::uint8_t& byte = m_maps[range][bit / 8];
        const auto mask = static_cast<std::uint8_t>(0x80u >> (bit % 8));
        byte = used ? static_cast<std::uint8_t>(byte | mask)
                    : static_cast<std::uint8_t>(byte & ~mask);
    }
}

std::uint64_t FileSpace::allocate(std::uint32_t size, std::uint32_t alignment)
{
    std::uint64_t at = alignUp(m_next, alignment);
    for (;;) {
        const std::size_t range = (at - kFirstRange) / kRangeSize;
        ensureRange(range);
        const std::uint64_t start = rangeStart(range);
        if (at < start + reservedBytes(range))
            at = alignUp(start + reservedBytes(range), alignment);
        if (at + size <= start + kRangeSize)
            break;
        at = start + kRangeSize;
    }
    mark(at, size, true);
    m_next = at + size;
    return at;
}

void FileSpace::release(std::uint64_t offset, std::uint32_t size)
{
    mark(offset, size, false);
}

std::uint64_t FileSpace::fileEnd() const
{
    return rangeStart(std::max<std::size_t>(m_maps.size(), 1));
}

std::uint64_t FileSpace::lastMapOffset() const
{
    return rangeStart(m_maps.empty() ? 0 : m_maps.size() - 1);
}

std::uint64_t FileSpace::freeBytes() const
{
    std::uint64_t used = 0;
    for (const Map& map : m_maps)
        for (std::uint8_t byte : map)
            used += static_cast<std::uint64_t>(std::popcount(byte));
    return (m_maps.size() * kRangeSize) - used * kUnit;
}

bool FileSpace::writeMaps(platform::RandomAccessFile& file) const
{
    std::uint8_t page[kPageSize];
    for (std::size_t range = 0; range < m_maps.size(); ++range) {
        const std::uint64_t start = rangeStart(range);
        std::copy(m_maps[range].begin(), m_maps[range].end(), page);
        sealPage(page, PageType::AllocationMap, 0, start);
        if (!file.writeAt(start, page, kPageSize))
            return false;
        // The deprecated maps say "everything taken" so that nothing relies on them.
        std::fill(page, page + kPageSize - 16, std::uint8_t {0xFF});
        const struct {
            bool present;
            PageType type;
        } others[] = {{hasPageMap(range), PageType::PageMap},
                      {hasFreeMap(range), PageType::FreeMap},
                      {hasFreePageMap(range), PageType::FreePageMap}};
        for (std::size_t i = 0; i < 3; ++i) {
            if (!others[i].present)
                continue;
            const std::uint64_t offset = start + (i + 1) * kPageSize;
            sealPage(page, others[i].type, 0, offset);
            if (!file.writeAt(offset, page, kPageSize))
                return false;
        }
    }
    // The file ends with its last range, however little of it holds data.
    const std::uint64_t end = fileEnd();
    if (file.size() < end) {
        const std::uint8_t zero = 0;
        return file.writeAt(end - 1, &zero, 1);
    }
    return true;
}

} // namespace mailmend::mailstore::pst
