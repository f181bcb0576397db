// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/memory_files.h"

namespace mailmend::testing {

// Builds the bytes of .dbx mail folders for tests: mails split into 528-byte data blocks,
// laid out in order or shuffled, packed or at unaligned positions with garbage between
// them, and then damaged on purpose. Alongside the bytes it knows what a correct reader
// must get back: the text and head position of every mail the damage left whole.

// Real files put their first data blocks at 0xEAD4 or later.
inline constexpr std::uint64_t kFirstBlockPosition = 60116;
// Distance between the starts of two consecutive read chunks of the scan.
inline constexpr std::uint64_t kChunkStride = 99984;

inline constexpr unsigned char kMailFolderHeader[8] = {0xCF, 0xAD, 0x12, 0xFE,
                                                       0xC5, 0xFD, 0x74, 0x6F};

// A plausible mail of exactly `size` bytes: header lines as Outlook Express writes them
// (CR LF), an empty line, then body lines that name `n`, so that no two mails are alike.
// Plain ASCII, no zero bytes.
std::string mailText(int n, std::size_t size);

// The 16 header bytes of a data block.
std::vector<unsigned char> blockHeader(std::uint32_t selfOffset, std::uint32_t dataLength,
                                       std::uint32_t nextOffset,
                                       std::uint32_t blockSize = 512);

// The acceptance rule for a block header, written out here on its own so that the tests
// have an oracle that does not share code with the reader.
bool isValidHeaderAt(const std::vector<unsigned char>& bytes, std::uint64_t position);

// Every position of `bytes` where a valid block header starts, in increasing order.
std::vector<std::uint64_t> validHeaderPositions(const std::vector<unsigned char>& bytes);

struct BlockPlan {
    std::uint64_t position = 0; // where its header lies in the file
    std::uint32_t selfOffset = 0;
    std::uint32_t nextOffset = 0;
    std::uint32_t dataLength = 0;
};

struct MailPlan {
    std::string text;
    std::vector<BlockPlan> blocks; // in chain order
    bool relinked = false;         // a damage step changed its links or pointed into it
};

struct BlockRef {
    std::size_t mail = 0;
    std::size_t block = 0;
};

// A mail that a correct reader recovers whole.
struct ExpectedMail {
    std::size_t mail = 0; // index into DbxFixture::mails()
    std::string text;
    std::uint64_t headPosition = 0;
};

enum class Order {
    Sequential, // mail by mail, each mail's blocks in chain order
    Shuffled,   // all blocks in a random order
    Reversed,   // all blocks in the reverse of the sequential order
};

struct Layout {
    Order order = Order::Sequential;
    // When not empty: the blocks in this order (each block of each mail exactly once).
    std::vector<BlockRef> placement;
    // When not empty: the position of each placed block, in placement order. Gaps are
    // filled as below; blocks must not overlap and must lie after the file header.
    std::vector<std::uint64_t> positions;
    std::uint64_t firstBlockAt = kFirstBlockPosition;
    // Random garbage of 0..maxGap bytes before each block, so blocks lie at unaligned
    // positions. Garbage never holds the byte 02, so it never forms a marker by chance.
    std::size_t maxGap = 0;
    // Gaps (and the space before the first block) are garbage rather than zeros.
    bool garbage = false;
    // Gaps of 16 bytes or more get a fake header: the 00 02 00 00 word with fields that
    // fail the acceptance rule.
    bool fakeMarkers = false;
    // selfOffset values unrelated to the positions (all distinct, all valid).
    bool lyingOffsets = false;
    // The unused tail of a data area holds old bytes instead of zeros.
    bool leftoverTail = false;
    // Bytes after the last block (garbage or zeros, as the gaps).
    std::size_t trailing = 0;
    std::uint32_t seed = 1;
};

class DbxFixture {
public:
    // Throws std::logic_error when the layout cannot be built, or when the bytes hold a
    // valid header anywhere but at the planned blocks.
    explicit DbxFixture(std::vector<std::string> mails, Layout layout = {});

    const std::vector<unsigned char>& bytes() const { return m_bytes; }
    std::uint64_t size() const { return m_bytes.size(); }
    const std::vector<MailPlan>& mails() const { return m_mails; }
    const BlockPlan& block(std::size_t mail, std::size_t block) const;

    // Damage. Each keeps the plan as it was; expected() works out what is still whole.
    void truncate(std::uint64_t size);
    void zero(std::uint64_t from, std::uint64_t to);             // [from, to)
    void overwrite(std::uint64_t position, const std::vector<unsigned char>& data); // grows the file when needed
    // Rewrites the nextOffset word of a block (dataLength is left as it is).
    void setNextOffset(std::size_t mail, std::size_t block, std::uint32_t nextOffset);
    // The last block of `mail` links on to block `targetBlock` of `targetMail` (its own
    // first block makes a loop back to the start). The last block must be full.
    void linkLastBlockTo(std::size_t mail, std::size_t targetMail, std::size_t targetBlock);

    // The mails a correct reader must recover whole, in plan order: every mail whose
    // blocks are all still valid headers with their planned bytes, whose links are
    // unambiguous (no other header shares a selfOffset of it or links into it), and whose
    // links were not changed.
    std::vector<ExpectedMail> expected() const;

    // The positions at which the scan must find a header.
    std::vector<std::uint64_t> headerPositions() const { return validHeaderPositions(m_bytes); }

    void writeTo(const std::filesystem::path& path) const;

private:
    void place(const std::vector<BlockRef>& order, const std::vector<std::uint64_t>& positions);
    std::vector<unsigned char> garbageBytes(std::size_t count);

    Layout m_layout;
    std::vector<MailPlan> m_mails;
    std::vector<unsigned char> m_bytes;
    std::vector<unsigned char> m_original; // as built, before any damage
    std::uint64_t m_random;
};

// Writes `bytes` to `path`, replacing the file.
void writeFile(const std::filesystem::path& path, const std::vector<unsigned char>& bytes);
void writeFile(const std::filesystem::path& path, const std::string& bytes);
std::string readFile(const std::filesystem::path& path);

} // namespace mailmend::testing
