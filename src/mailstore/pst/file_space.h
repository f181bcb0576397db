// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace mailmend::platform {
class RandomAccessFile;
}

namespace mailmend::mailstore::pst {

// Where blocks and pages go in the file. The file is cut into ranges of 253,952 bytes from
// 0x4400 on; each range opens with its allocation map page, and every eighth range, and
// some further ones, also hold the older free-space pages. Space is handed out front to
// back in 64-byte units; nothing straddles two ranges or covers a map page. The
// allocation maps are kept in memory (496 bytes per range) and written by writeMaps.
class FileSpace {
public:
    static constexpr std::uint64_t kFirstRange = 0x4400;
    static constexpr std::uint64_t kRangeSize = 496 * 8 * 64;

    // `alignment` is 64 for blocks, 512 for pages; `size` a multiple of 64, at most 8192.
    std::uint64_t allocate(std::uint32_t size, std::uint32_t alignment);
    // Gives back space whose contents are no longer wanted (a mail that failed half-way).
    void release(std::uint64_t offset, std::uint32_t size);

    // The file's length once the maps are written: the end of the last range in use.
    std::uint64_t fileEnd() const;
    std::uint64_t lastMapOffset() const;
    std::uint64_t freeBytes() const;

    // Writes every range's map pages and the file's last byte.
    bool writeMaps(platform::RandomAccessFile& file) const;

private:
    using Map = std::array<std::uint8_t, 496>;
    static std::uint64_t rangeStart(std::size_t range);
    static std::uint64_t reservedBytes(std::size_t range);
    void ensureRange(std::size_t range);
    void mark(std::uint64_t offset, std::uint32_t size, bool used);

    std::vector<Map> m_maps;
    std::uint64_t m_next = kFirstRange;
};

} // namespace mailmend::mailstore::pst
