// SPDX-License-Identifier: GPL-3.0-or-later
// The file-header verdicts and the acceptance rule for block headers.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "dbx/block_scan.h"
#include "dbx/format.h"
#include "support/dbx_fixture.h"
#include "support/recording.h"
#include "support/temp_dir.h"

namespace mailmend::dbx {
namespace {

using testing::blockHeader;
using testing::TempDir;
using testing::writeFile;

struct VerdictCase {
    const char* name;
    std::vector<unsigned char> bytes;
    DbxHeaderVerdict verdict;
};

void PrintTo(const VerdictCase& c, std::ostream* os)
{
    *os << c.name;
}

class HeaderVerdict : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(HeaderVerdict, FromBytesAndFromFile)
{
    const VerdictCase& c = GetParam();
    EXPECT_EQ(classifyDbxHeader(c.bytes.data(), c.bytes.size()), c.verdict);

    TempDir dir;
    writeFile(dir / "file.dbx", c.bytes);
    EXPECT_EQ(checkDbxHeader(dir / "file.dbx"), c.verdict);
}

INSTANTIATE_TEST_SUITE_P(
    Verdicts, HeaderVerdict,
    ::testing::Values(
        VerdictCase {"Empty", {}, DbxHeaderVerdict::ReadFailure},
        VerdictCase {"SevenBytes", {0xCF, 0xAD, 0x12, 0xFE, 0xC5, 0xFD, 0x74},
                     DbxHeaderVerdict::ReadFailure},
        VerdictCase {"MailFolder", {0xCF, 0xAD, 0x12, 0xFE, 0xC5, 0xFD, 0x74, 0x6F},
                     DbxHeaderVerdict::MailFolder},
        VerdictCase {"MailFolderWithMore",
                     {0xCF, 0xAD, 0x12, 0xFE, 0xC5, 0xFD, 0x74, 0x6F, 0x00, 0x02},
                     DbxHeaderVerdict::MailFolder},
        VerdictCase {"ClassOneHigher", {0xCF, 0xAD, 0x12, 0xFE, 0xC6, 0xFD, 0x74, 0x6F},
                     DbxHeaderVerdict::NotMailFolder},
        VerdictCase {"OtherClass", {0xCF, 0xAD, 0x12, 0xFE, 0x30, 0x9D, 0xFE, 0x26},
                     DbxHeaderVerdict::NotMailFolder},
        VerdictCase {"SignatureByteWrong", {0xCF, 0xAD, 0x12, 0xFF, 0xC5, 0xFD, 0x74, 0x6F},
                     DbxHeaderVerdict::NotDbx},
        VerdictCase {"SignatureBigEndian", {0xFE, 0x12, 0xAD, 0xCF, 0xC5, 0xFD, 0x74, 0x6F},
                     DbxHeaderVerdict::NotDbx},
        VerdictCase {"Text", {'F', 'r', 'o', 'm', ':', ' ', 'a', '\n'}, DbxHeaderVerdict::NotDbx}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(HeaderVerdictFile, MissingFileAndDirectoryAreReadFailures)
{
    TempDir dir;
    EXPECT_EQ(checkDbxHeader(dir / "absent.dbx"), DbxHeaderVerdict::ReadFailure);
    EXPECT_EQ(checkDbxHeader(dir.path()), DbxHeaderVerdict::ReadFailure);
}

TEST(HeaderVerdictMessage, TextsForEachVerdict)
{
    EXPECT_STREQ(dbxHeaderMessage(DbxHeaderVerdict::ReadFailure), "Error reading file.");
    EXPECT_STREQ(dbxHeaderMessage(DbxHeaderVerdict::NotDbx),
                 "File is not a valid dbx file Or File Header is corrupt.");
    EXPECT_STREQ(dbxHeaderMessage(DbxHeaderVerdict::NotMailFolder),
                 "File is not a valid Message.dbx File.\nProbably, You may have selected  "
                 "Folder.dbx, Pop3uidl.dbx or Offline.dbx files");
    EXPECT_STREQ(dbxHeaderMessage(DbxHeaderVerdict::MailFolder), "");
}

// File sizes are 64-bit: beyond 4 GiB every 32-bit link lies inside the file.
TEST(AcceptanceRuleSize, LinksInFilesBeyondFourGiB)
{
    EXPECT_TRUE(isMailBlockHeader(70000, 512, 512, 0xFFFFFFFFu, 5ull << 30));
    EXPECT_FALSE(isMailBlockHeader(70000, 512, 512, 0xFFFFFFFFu, 0xFFFFFFFFu));
    EXPECT_TRUE(isMailBlockHeader(70000, 512, 512, 0xFFFFFFFFu, 1ull << 32));
}

struct RuleCase {
    const char* name;
    std::uint32_t self, blockSize, length, next;
    std::uint64_t fileSize;
    bool valid;
};

void PrintTo(const RuleCase& c, std::ostream* os)
{
    *os << c.name;
}

class AcceptanceRule : public ::testing::TestWithParam<RuleCase> {};

TEST_P(AcceptanceRule, Verdict)
{
    const RuleCase& c = GetParam();
    EXPECT_EQ(isMailBlockHeader(c.self, c.blockSize, c.length, c.next, c.fileSize), c.valid);
}

// The same 16 bytes, found by the scan in a file of that size.
TEST_P(AcceptanceRule, ScanAgrees)
{
    const RuleCase& c = GetParam();
    std::vector<unsigned char> bytes(static_cast<std::size_t>(c.fileSize), 0);
    const auto header = blockHeader(c.self, c.length, c.next, c.blockSize);
    std::copy(header.begin(), header.end(), bytes.begin() + 100);
    auto file = testing::memoryFile(bytes);
    BlockTable table;
    EXPECT_EQ(scanBlocks(*file, c.fileSize, table, Logger {}), c.valid ? 1u : 0u);
    ASSERT_EQ(table.size(), c.valid ? 1u : 0u);
    if (c.valid) {
        EXPECT_EQ(table[0].fileOffset, 100u);
        EXPECT_EQ(table[0].selfOffset, c.self);
        EXPECT_EQ(table[0].dataLength, c.length);
        EXPECT_EQ(table[0].nextOffset, c.next);
        EXPECT_EQ(table[0].nextIndex, -1);
        EXPECT_EQ(table[0].role, BlockRole::Unlinked);
        EXPECT_FALSE(table[0].hasPredecessor);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, AcceptanceRule,
    ::testing::Values(
        // The 16 bytes 00 00 02 00 | 00 02 00 00 | 00 02 00 00 | 10 02 02 00.
        RuleCase {"FullBlockLinkingInside200000", 131072, 512, 512, 131600, 200000, true},
        RuleCase {"LinkEqualToFileSize", 131072, 512, 512, 131600, 131600, false},
        RuleCase {"LinkOneBelowFileSize", 131072, 512, 512, 131600, 131601, true},
        RuleCase {"SelfOffset60115", 60115, 512, 100, 0, 200000, false},
        RuleCase {"SelfOffset60116", 60116, 512, 100, 0, 200000, true},
        RuleCase {"SelfOffsetMaximum", 0xFFFFFFFFu, 512, 100, 0, 200000, true},
        RuleCase {"Next60115", 70000, 512, 512, 60115, 200000, false},
        RuleCase {"Next60116", 70000, 512, 512, 60116, 200000, true},
        RuleCase {"NextFarBeyondFile", 70000, 512, 512, 0xFFFFFFFFu, 200000, false},
        RuleCase {"FullLastBlock", 70000, 512, 512, 0, 200000, true},
        RuleCase {"LengthZero", 70000, 512, 0, 0, 200000, false},
        RuleCase {"LengthZeroWithLink", 70000, 512, 0, 80000, 200000, false},
        RuleCase {"LengthOne", 70000, 512, 1, 0, 200000, true},
        RuleCase {"Length511", 70000, 512, 511, 0, 200000, true},
        RuleCase {"Length513", 70000, 512, 513, 0, 200000, false},
        RuleCase {"Length300WithLink", 70000, 512, 300, 80000, 200000, false},
        RuleCase {"Length300Last", 70000, 512, 300, 0, 200000, true},
        RuleCase {"LengthHugeUnsigned", 70000, 512, 0x80000200u, 0, 200000, false},
        RuleCase {"BlockSize513", 70000, 513, 100, 0, 200000, false},
        RuleCase {"BlockSizeHighByte", 70000, 0x01000200u, 100, 0, 200000, false},
        RuleCase {"BlockSize0x20000", 70000, 0x20000u, 100, 0, 200000, false}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
} // namespace mailmend::dbx
