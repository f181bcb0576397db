// SPDX-License-Identifier: GPL-3.0-or-later
// The block scan: every position tested exactly once, across the read-chunk edges too.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "dbx/block_scan.h"
#include "dbx/format.h"
#include "support/dbx_fixture.h"
#include "support/recording.h"

namespace mailmend::dbx {
namespace {

using testing::blockHeader;
using testing::DbxFixture;
using testing::kChunkStride;
using testing::Layout;
using testing::mailText;
using testing::memoryFile;
using testing::RecordingLog;

std::vector<std::uint64_t> positionsOf(const BlockTable& table)
{
    std::vector<std::uint64_t> out;
    for (const auto& record : table)
        out.push_back(record.fileOffset);
    return out;
}

BlockTable scan(const std::vector<unsigned char>& bytes, RecordingLog* log = nullptr)
{
    auto file = memoryFile(bytes);
    BlockTable table;
    const std::uint64_t found = scanBlocks(*file, bytes.size(), table, Logger {log});
    EXPECT_EQ(found, table.size());
    return table;
}

// One block whose header starts j bytes from the start of read chunk k.
struct EdgeCase {
    int k;
    int j;
};

void PrintTo(const EdgeCase& c, std::ostream* os)
{
    *os << "k=" << c.k << " j=" << c.j;
}

class ChunkEdge : public ::testing::TestWithParam<EdgeCase> {};

TEST_P(ChunkEdge, HeaderIsFoundExactlyOnce)
{
    const auto [k, j] = GetParam();
    const std::uint64_t at = static_cast<std::uint64_t>(k) * kChunkStride + j;
    Layout layout;
    layout.positions = {at};
    layout.garbage = true;
    layout.trailing = 300;
    layout.seed = static_cast<std::uint32_t>(k * 100 + j + 50);
    const DbxFixture fixture({mailText(k, 200)}, layout);

    const BlockTable table = scan(fixture.bytes());
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0].fileOffset, at);
    EXPECT_EQ(table[0].selfOffset, at);
    EXPECT_EQ(table[0].dataLength, 200u);
    EXPECT_EQ(table[0].nextOffset, 0u);
}

// The last header start of the file lies j bytes after a chunk start, so the final short
// read is what holds it.
TEST_P(ChunkEdge, HeaderEndingTheFileIsFoundExactlyOnce)
{
    const auto [k, j] = GetParam();
    const std::uint64_t at = static_cast<std::uint64_t>(k) * kChunkStride + j;
    std::vector<unsigned char> bytes(at + 16, 0x41);
    const auto header = blockHeader(70000, 40, 0);
    std::copy(header.begin(), header.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    EXPECT_EQ(positionsOf(scan(bytes)), std::vector<std::uint64_t> {at});
}

std::vector<EdgeCase> edgeCases()
{
    std::vector<EdgeCase> cases;
    for (int k = 1; k <= 3; ++k)
        for (int j = -20; j <= 20; ++j)
            cases.push_back({k, j});
    return cases;
}

std::string edgeName(const ::testing::TestParamInfo<EdgeCase>& p)
{
    const int j = p.param.j;
    char name[32];
    std::snprintf(name, sizeof name, "k%d_%s%d", p.param.k, j < 0 ? "minus" : "plus", j < 0 ? -j : j);
    return name;
}

INSTANTIATE_TEST_SUITE_P(AroundChunkStarts, ChunkEdge, ::testing::ValuesIn(edgeCases()), edgeName);

// Whole fixtures against the byte-by-byte oracle: the table lists exactly the valid
// headers, in increasing order, each once.
class ScanMatchesOracle : public ::testing::TestWithParam<int> {};

TEST_P(ScanMatchesOracle, OnDamagedFixtures)
{
    const int seed = GetParam();
    std::vector<std::string> mails;
    for (int m = 0; m < 80; ++m)
        mails.push_back(mailText(m, 1 + static_cast<std::size_t>((m * 977 + seed * 131) % 6000)));
    Layout layout;
    layout.order = seed % 2 ? testing::Order::Shuffled : testing::Order::Sequential;
    layout.maxGap = 60;
    layout.fakeMarkers = true;
    layout.lyingOffsets = seed % 3 == 0;
    layout.leftoverTail = true;
    layout.seed = static_cast<std::uint32_t>(seed);
    DbxFixture fixture(mails, layout);
    fixture.zero(kChunkStride * 2 - 700, kChunkStride * 2 + 300);
    fixture.truncate(fixture.size() - 1000);

    const BlockTable table = scan(fixture.bytes());
    EXPECT_EQ(positionsOf(table), fixture.headerPositions());
    for (const auto& record : table) {
        const auto* p = fixture.bytes().data() + record.fileOffset;
        EXPECT_EQ(record.selfOffset, readLe32(p));
        EXPECT_EQ(record.dataLength, readLe32(p + 8));
        EXPECT_EQ(record.nextOffset, readLe32(p + 12));
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, ScanMatchesOracle, ::testing::Range(1, 7));

struct ReadsCase {
    std::uint64_t size;
    std::vector<std::string> scanning;
};

void PrintTo(const ReadsCase& c, std::ostream* os)
{
    *os << c.size << " bytes";
}

class ScanLog : public ::testing::TestWithParam<ReadsCase> {};

TEST_P(ScanLog, OneLinePerRead)
{
    const ReadsCase& c = GetParam();
    RecordingLog log;
    scan(std::vector<unsigned char>(c.size, 0x55), &log);

    std::vector<testing::LogLine> expected {testing::execLine("Advance Search Initialized")};
    for (const auto& line : c.scanning)
        expected.push_back(testing::execLine(line));
    expected.push_back(testing::execLine("0 Normal object found"));
    EXPECT_EQ(log.lines(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    FileSizes, ScanLog,
    ::testing::Values(
        ReadsCase {0, {}},
        ReadsCase {7, {"Scanning from offset:0 to ReadCount:7"}},
        ReadsCase {16, {"Scanning from offset:0 to ReadCount:16"}},
        ReadsCase {99999, {"Scanning from offset:0 to ReadCount:99999"}},
        ReadsCase {100000,
                   {"Scanning from offset:0 to ReadCount:100000",
                    "Scanning from offset:99984 to ReadCount:16"}},
        ReadsCase {100001,
                   {"Scanning from offset:0 to ReadCount:100000",
                    "Scanning from offset:99984 to ReadCount:17"}},
        ReadsCase {199983,
                   {"Scanning from offset:0 to ReadCount:100000",
                    "Scanning from offset:99984 to ReadCount:99999"}},
        ReadsCase {199984,
                   {"Scanning from offset:0 to ReadCount:100000",
                    "Scanning from offset:99984 to ReadCount:100000",
                    "Scanning from offset:199968 to ReadCount:16"}},
        ReadsCase {200000,
                   {"Scanning from offset:0 to ReadCount:100000",
                    "Scanning from offset:99984 to ReadCount:100000",
                    "Scanning from offset:199968 to ReadCount:32"}}),
    [](const auto& p) { return "Size" + std::to_string(p.param.size); });

TEST(BlockScan, FileOfOneFullChunkFindsItsLastHeaderOnce)
{
    std::vector<unsigned char> bytes(100000, 0);
    const auto last = blockHeader(70000, 1, 0);
    std::copy(last.begin(), last.end(), bytes.begin() + 99984);
    const auto first = blockHeader(80000, 511, 0);
    std::copy(first.begin(), first.end(), bytes.begin());
    EXPECT_EQ(positionsOf(scan(bytes)), (std::vector<std::uint64_t> {0, 99984}));
}

TEST(BlockScan, FilesShorterThanAHeaderHoldNone)
{
    const auto header = blockHeader(70000, 10, 0);
    for (std::size_t size = 0; size < 16; ++size) {
        SCOPED_TRACE(size);
        RecordingLog log;
        EXPECT_TRUE(scan(std::vector<unsigned char>(header.begin(), header.begin() + size), &log)
                        .empty());
        EXPECT_TRUE(log.contains(testing::execLine("0 Normal object found")));
    }
    EXPECT_EQ(scan(header).size(), 1u);
}

TEST(BlockScan, CountIsLoggedAndTableRefilled)
{
    DbxFixture fixture({mailText(1, 1500), mailText(2, 10)});
    RecordingLog log;
    auto file = memoryFile(fixture.bytes());
    BlockTable table(7); // left over from an earlier file
    EXPECT_EQ(scanBlocks(*file, fixture.size(), table, Logger {&log}), 4u);
    EXPECT_EQ(positionsOf(table), fixture.headerPositions());
    EXPECT_EQ(log.lines().back(), testing::execLine("4 Normal object found"));
}

// A file whose reads stop working part of the way through: the scan ends with what it
// found before.
class FailingAfter final : public platform::ReadableFile {
public:
    FailingAfter(std::vector<unsigned char> bytes, std::uint64_t limit)
        : m_file(memoryFile(std::move(bytes))), m_limit(limit)
    {
    }
    std::uint64_t size() const override { return m_file->size(); }
    std::size_t readAt(std::uint64_t position, void* buffer, std::size_t count) override
    {
        return position >= m_limit ? 0 : m_file->readAt(position, buffer, count);
    }

private:
    std::unique_ptr<platform::ReadableFile> m_file;
    std::uint64_t m_limit;
};

TEST(BlockScan, ReadErrorEndsTheScanKeepingWhatWasFound)
{
    Layout layout;
    layout.positions = {70000, 150000, 250000};
    const DbxFixture fixture({mailText(1, 100), mailText(2, 100), mailText(3, 100)}, layout);
    FailingAfter file(fixture.bytes(), 2 * kChunkStride);
    BlockTable table;
    RecordingLog log;
    EXPECT_EQ(scanBlocks(file, fixture.size(), table, Logger {&log}), 2u);
    EXPECT_EQ(positionsOf(table), (std::vector<std::uint64_t> {70000, 150000}));
    EXPECT_EQ(log.lines().back(), testing::execLine("2 Normal object found"));
}

// A file that sets a stop token when a read reaches `at`.
class StoppingAt final : public platform::ReadableFile {
public:
    StoppingAt(std::vector<unsigned char> bytes, std::uint64_t at, platform::CancellationToken& token)
        : m_file(memoryFile(std::move(bytes))), m_at(at), m_token(token)
    {
    }
    std::uint64_t size() const override { return m_file->size(); }
    std::size_t readAt(std::uint64_t position, void* buffer, std::size_t count) override
    {
        ++reads;
        if (position + count > m_at)
            m_token.cancel();
        return m_file->readAt(position, buffer, count);
    }
    int reads = 0;

private:
    std::unique_ptr<platform::ReadableFile> m_file;
    std::uint64_t m_at;
    platform::CancellationToken& m_token;
};

TEST(BlockScan, AStopEndsTheScanBeforeItsNextRead)
{
    Layout layout;
    layout.positions = {70000, 150000, 250000, 350000};
    const DbxFixture fixture({mailText(1, 100), mailText(2, 100), mailText(3, 100), mailText(4, 100)},
                             layout);
    platform::CancellationToken token;
    StoppingAt file(fixture.bytes(), 150000, token);
    BlockTable table;
    RecordingLog log;
    EXPECT_EQ(scanBlocks(file, fixture.size(), table, Logger {&log}, &token), 2u);
    EXPECT_EQ(file.reads, 2);
    EXPECT_EQ(positionsOf(table), (std::vector<std::uint64_t> {70000, 150000}));
    EXPECT_EQ(log.lines().back(), testing::execLine("2 Normal object found"));
}

} // namespace
} // namespace mailmend::dbx
