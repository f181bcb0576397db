// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/msg/directory_tree.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/random_access_file.h"

namespace mailmend::mailstore::msg {
namespace {

constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::size_t kHeaderSize = 512;
constexpr std::size_t kEntrySize = 128;
constexpr std::size_t kHeaderFatSlots = 109;
constexpr std::uint8_t kStorage = 1;
constexpr std::uint8_t kRoot = 5;
constexpr std::uint8_t kRed = 0;
constexpr std::uint8_t kBlack = 1;

// Offsets in a directory entry.
constexpr std::size_t kNameLength = 64;
constexpr std::size_t kType = 66;
constexpr std::size_t kColour = 67;
constexpr std::size_t kLeft = 68;
constexpr std::size_t kRight = 72;
constexpr std::size_t kChild = 76;

std::uint32_t readU32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

void writeU32(std::uint8_t* p, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

class Directory {
public:
    explicit Directory(std::vector<std::uint8_t>& bytes) : m_bytes(bytes) {}

    std::size_t count() const { return m_bytes.size() / kEntrySize; }
    std::uint8_t* entry(std::uint32_t id) { return m_bytes.data() + std::size_t{id} * kEntrySize; }

    // Units of the entry's name, without the terminator.
    std::size_t nameUnits(std::uint32_t id)
    {
        const std::size_t bytes = std::uint16_t(entry(id)[kNameLength] | entry(id)[kNameLength + 1] << 8);
        return std::min<std::size_t>(bytes / 2, 32) - (bytes >= 2 ? 1 : 0);
    }

    bool lessThan(std::uint32_t a, std::uint32_t b)
    {
        const std::size_t lengthA = nameUnits(a);
        const std::size_t lengthB = nameUnits(b);
        if (lengthA != lengthB)
            return lengthA < lengthB;
        for (std::size_t i = 0; i < lengthA; ++i) {
            const unsigned ua = upper(entry(a)[2 * i] | entry(a)[2 * i + 1] << 8);
            const unsigned ub = upper(entry(b)[2 * i] | entry(b)[2 * i + 1] << 8);
            if (ua != ub)
                return ua < ub;
        }
        return false;
    }

    // The children of a storage in order; false when the links loop or leave the table.
    bool children(std::uint32_t first, std::vector<bool>& seen, std::vector<std::uint32_t>& out)
    {
        std::vector<std::uint32_t> stack{first};
        while (!stack.empty()) {
            const std::uint32_t id = stack.back();
            stack.pop_back();
            if (id == kNoStream)
                continue;
            if (id >= count() || seen[id])
                return false;
            seen[id] = true;
            out.push_back(id);
            stack.push_back(readU32(entry(id) + kLeft));
            stack.push_back(readU32(entry(id) + kRight));
        }
        std::sort(out.begin(), out.end(), [this](std::uint32_t a, std::uint32_t b) { return lessThan(a, b); });
        return true;
    }

    // Links sorted[begin, end) as a balanced tree and returns its root. Splitting at the
    // middle fills every level but the deepest; colouring that level red (the root aside)
    // gives every path the same number of black nodes.
    std::uint32_t build(const std::vector<std::uint32_t>& sorted, std::size_t begin, std::size_t end,
                        unsigned depth, unsigned deepest)
    {
        if (begin >= end)
            return kNoStream;
        const std::size_t middle = begin + (end - begin) / 2;
        std::uint8_t* node = entry(sorted[middle]);
        writeU32(node + kLeft, build(sorted, begin, middle, depth + 1, deepest));
        writeU32(node + kRight, build(sorted, middle + 1, end, depth + 1, deepest));
        node[kColour] = (depth == deepest && depth > 0) ? kRed : kBlack;
        return sorted[middle];
    }

private:
    static unsigned upper(unsigned unit) { return (unit >= 'a' && unit <= 'z') ? unit - 32 : unit; }

    std::vector<std::uint8_t>& m_bytes;
};

unsigned floorLog2(std::size_t n)
{
    unsigned log = 0;
    while (n > 1) {
        n >>= 1;
        ++log;
    }
    return log;
}

} // namespace

bool balanceDirectoryTrees(platform::RandomAccessFile& file, std::string& error)
{
    error = "the compound file's directory cannot be read";
    std::uint8_t header[kHeaderSize];
    if (file.readAt(0, header, kHeaderSize) != kHeaderSize ||
        std::memcmp(header, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) != 0 || header[30] != 9)
        return false;
    const std::size_t sectorSize = 512;
    const std::uint64_t fileSectors = (file.size() - kHeaderSize) / sectorSize;
    const auto sectorOffset = [&](std::uint32_t sector) { return kHeaderSize + std::uint64_t{sector} * sectorSize; };

    // Where the allocation table's sectors are: 109 in the header, the rest in a chain.
    const std::uint32_t fatSectors = readU32(header + 44);
    if (fatSectors > fileSectors)
        return false;
    std::vector<std::uint32_t> fatList;
    for (std::size_t i = 0; i < kHeaderFatSlots && fatList.size() < fatSectors; ++i)
        fatList.push_back(readU32(header + 76 + 4 * i));
    std::uint32_t difat = readU32(header + 68);
    std::vector<std::uint8_t> sector(sectorSize);
    for (std::uint64_t hops = 0; fatList.size() < fatSectors; ++hops) {
        if (difat >= fileSectors || hops > fileSectors ||
            file.readAt(sectorOffset(difat), sector.data(), sectorSize) != sectorSize)
            return false;
        for (std::size_t i = 0; i + 1 < sectorSize / 4 && fatList.size() < fatSectors; ++i)
            fatList.push_back(readU32(sector.data() + 4 * i));
        difat = readU32(sector.data() + sectorSize - 4);
    }
    std::vector<std::uint32_t> fat;
    fat.reserve(std::size_t{fatSectors} * (sectorSize / 4));
    for (const std::uint32_t at : fatList) {
        if (at >= fileSectors || file.readAt(sectorOffset(at), sector.data(), sectorSize) != sectorSize)
            return false;
        for (std::size_t i = 0; i < sectorSize / 4; ++i)
            fat.push_back(readU32(sector.data() + 4 * i));
    }

    // The directory's own chain of sectors.
    std::vector<std::uint32_t> chain;
    for (std::uint32_t at = readU32(header + 48); at != kEndOfChain; at = fat[at]) {
        if (at >= fileSectors || at >= fat.size() || chain.size() > fileSectors)
            return false;
        chain.push_back(at);
    }
    std::vector<std::uint8_t> bytes(chain.size() * sectorSize);
    for (std::size_t i = 0; i < chain.size(); ++i) {
        if (file.readAt(sectorOffset(chain[i]), bytes.data() + i * sectorSize, sectorSize) != sectorSize)
            return false;
    }

    Directory directory(bytes);
    if (directory.count() == 0)
        return false;
    std::vector<bool> seen(directory.count(), false);
    std::vector<std::uint32_t> members;
    for (std::uint32_t id = 0; id < directory.count(); ++id) {
        std::uint8_t* entry = directory.entry(id);
        if (entry[kType] != kStorage && entry[kType] != kRoot)
            continue;
        members.clear();
        if (!directory.children(readU32(entry + kChild), seen, members))
            return false;
        if (members.empty())
            continue;
        writeU32(entry + kChild, directory.build(members, 0, members.size(), 0, floorLog2(members.size())));
    }
    directory.entry(0)[kColour] = kBlack;

    for (std::size_t i = 0; i < chain.size(); ++i) {
        if (!file.writeAt(sectorOffset(chain[i]), bytes.data() + i * sectorSize, sectorSize)) {
            error = "cannot write the compound file's directory: " + file.lastError();
            return false;
        }
    }
    error.clear();
    return true;
}

} // namespace mailmend::mailstore::msg
