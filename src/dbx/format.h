// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>

namespace mailmend::dbx {

// The two structures of a .dbx file that Mailmend relies on: the 8-byte file header and
// the 16-byte header of a mail-text data block. Everything is little-endian.

inline constexpr std::uint32_t kFileSignature = 0xFE12ADCF;
inline constexpr std::uint32_t kMailFolderClass = 0x6F74FDC5;

inline constexpr std::uint32_t kBlockHeaderSize = 16;
inline constexpr std::uint32_t kBlockDataSize = 512;
inline constexpr std::uint32_t kBlockSize = kBlockHeaderSize + kBlockDataSize; // 528
inline constexpr std::uint32_t kBlockSizeMarker = 512; // the blockSize word, 00 02 00 00

// Block identities and links at or below this value point into the file's first sector,
// where no mail block can lie.
inline constexpr std::uint32_t kLowestInvalidOffset = 60115;

// Block offsets are 32-bit, so no block can lie beyond 4 GiB.
inline constexpr std::uint64_t kLargestReadableFile = std::uint64_t {1} << 32;

// Field positions inside a block header.
inline constexpr std::size_t kSelfOffsetAt = 0;
inline constexpr std::size_t kBlockSizeAt = 4;
inline constexpr std::size_t kDataLengthAt = 8;
inline constexpr std::size_t kNextOffsetAt = 12;

inline std::uint32_t readLe32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8)
        | (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

enum class DbxHeaderVerdict {
    ReadFailure,   // fewer than 8 bytes
    NotDbx,        // the signature does not match
    MailFolder,    // a mail folder: the only kind that holds mails
    NotMailFolder, // a .dbx file of another class (Folders.dbx, Pop3uidl.dbx, Offline.dbx)
};

// Classifies a file by its first 8 bytes. Advisory only: the readers never look at it.
DbxHeaderVerdict checkDbxHeader(const std::filesystem::path& path);
DbxHeaderVerdict classifyDbxHeader(const unsigned char* bytes, std::size_t count);

// The message the add command shows for a verdict; empty for a mail folder.
const char* dbxHeaderMessage(DbxHeaderVerdict verdict);

// The acceptance rule for a data-block header found at any byte position.
constexpr bool isMailBlockHeader(std::uint32_t selfOffset, std::uint32_t blockSize,
                                 std::uint32_t dataLength, std::uint32_t nextOffset,
                                 std::uint64_t fileSize)
{
    if (blockSize != kBlockSizeMarker || selfOffset <= kLowestInvalidOffset)
        return false;
    if (dataLength == kBlockDataSize)
        return nextOffset == 0 || (nextOffset > kLowestInvalidOffset && nextOffset < fileSize);
    return dataLength >= 1 && dataLength < kBlockDataSize && nextOffset == 0;
}

} // namespace mailmend::dbx
