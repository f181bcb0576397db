// SPDX-License-Identifier: GPL-3.0-or-later
// Memory of the reader on the densest block layouts a hostile file can hold: the block
// table and the linking indexes stay within two bytes per input byte, linking still gives
// the list procedure's answer, and running out of memory ends the file cleanly. This
// program counts its own allocations.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <malloc.h>
#include <new>
#include <string>
#include <vector>

#include "dbx/block_scan.h"
#include "dbx/chain_linker.h"
#include "dbx/dbx_file.h"
#include "support/dbx_fixture.h"
#include "support/list_linker_oracle.h"
#include "support/recording.h"

namespace {

std::atomic<std::size_t> g_live {0};
std::atomic<std::size_t> g_peak {0};
// Past this many live bytes, large allocations fail, as when the address space runs out;
// small ones still come from memory the allocator holds already.
std::atomic<std::size_t> g_limit {SIZE_MAX};
constexpr std::size_t kLarge = 16384;

void* allocate(std::size_t n, bool mayThrow)
{
    void* block = (n < kLarge || g_live.load() + n <= g_limit.load()) ? std::malloc(n) : nullptr;
    if (!block && mayThrow)
        throw std::bad_alloc();
    const std::size_t live = block ? g_live += malloc_usable_size(block) : 0;
    for (std::size_t peak = g_peak.load(); live > peak && !g_peak.compare_exchange_weak(peak, live);) {
    }
    return block;
}

void release(void* p) noexcept
{
    g_live -= p ? malloc_usable_size(p) : 0;
    std::free(p);
}

} // namespace

void* operator new(std::size_t n) { return allocate(n, true); }
void* operator new[](std::size_t n) { return allocate(n, true); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return allocate(n, false); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return allocate(n, false); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }

namespace mailmend::dbx {
namespace {

void put32(std::vector<unsigned char>& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (8 * i));
}

enum class Pattern { Every12Linked, Every16Linked, Every16Broken, Every16Shuffled, Every9 };

// Headers packed as densely as the acceptance rule allows. Every 12 bytes, each header's
// nextOffset word is the next header's selfOffset word; every 9 bytes (02 00 00 xx
// 00 02 00 00 00) the headers can never link. The shuffled layout links blocks 16 bytes
// apart in a random order, chains of eight.
std::vector<unsigned char> denseFile(Pattern pattern, std::size_t size)
{
    std::vector<unsigned char> bytes(size, 0);
    const std::size_t first = testing::kFirstBlockPosition + 4;
    if (pattern == Pattern::Every9) {
        for (std::size_t p = first, x = 1; p + 9 <= size; p += 9, x = x % 255 + 1) {
            bytes[p] = 2;
            bytes[p + 3] = static_cast<unsigned char>(x);
            bytes[p + 5] = 2;
        }
        return bytes;
    }
    const std::size_t step = pattern == Pattern::Every12Linked ? 12 : 16;
    std::vector<std::uint32_t> at;
    for (std::size_t p = first; p + 16 <= size; p += step)
        at.push_back(static_cast<std::uint32_t>(p));
    if (pattern == Pattern::Every16Shuffled) {
        std::uint32_t x = 2463534242u;
        for (std::size_t i = at.size(); i > 1; --i) {
            x ^= x << 13, x ^= x >> 17, x ^= x << 5;
            std::swap(at[i - 1], at[x % i]);
        }
    }
    for (std::size_t k = 0; k < at.size(); ++k) {
        const bool last = k + 1 == at.size() || (pattern == Pattern::Every16Shuffled && k % 8 == 7);
        put32(bytes, at[k], at[k]);
        put32(bytes, at[k] + 4, 512);
        put32(bytes, at[k] + 8, 512);
        put32(bytes, at[k] + 12,
              pattern == Pattern::Every16Broken ? at[k] + 8 : last ? 0 : at[k + 1]);
    }
    return bytes;
}

struct DenseCase {
    const char* name;
    Pattern pattern;
};

class DenseLayout : public ::testing::TestWithParam<DenseCase> {};

// Small enough for the list procedure, which takes time quadratic in its list lengths.
TEST_P(DenseLayout, LinksLikeTheListProcedure)
{
    const auto bytes = denseFile(GetParam().pattern, 150000);
    BlockTable plain;
    PackedBlockTable packed;
    auto file = testing::memoryFile(bytes);
    ASSERT_GT(scanBlocks(*file, bytes.size(), plain, Logger {}), 5000u);
    scanBlocks(*file, bytes.size(), packed, Logger {});
    ASSERT_EQ(packed.size(), plain.size());

    const testing::ListLinkResult expected = testing::linkByLists(plain);
    std::vector<std::int32_t> heads;
    linkChains(packed, heads, Logger {});
    EXPECT_EQ(heads, expected.mailHeads);
    for (std::size_t i = 0; i < packed.size(); ++i) {
        const BlockRecord got = packed[i];
        const BlockRecord& want = expected.table[i];
        ASSERT_TRUE(got.fileOffset == want.fileOffset && got.dataLength == want.dataLength
                    && got.nextIndex == want.nextIndex && got.role == want.role
                    && got.hasPredecessor == want.hasPredecessor)
            << "block " << i;
    }
}

TEST_P(DenseLayout, TableAndIndexesTakeAtMostTwoBytesPerInputByte)
{
    const auto bytes = denseFile(GetParam().pattern, std::size_t {32} << 20);
    auto file = testing::memoryFile(bytes);
    PackedBlockTable table;
    std::vector<std::int32_t> heads;
    const std::size_t before = g_live.load();
    g_peak = before;
    const std::uint64_t found = scanBlocks(*file, bytes.size(), table, Logger {});
    linkChains(table, heads, Logger {});
    const double perByte = static_cast<double>(g_peak.load() - before) / static_cast<double>(bytes.size());
    RecordProperty("bytes_per_input_byte", std::to_string(perByte));
    EXPECT_GT(found, bytes.size() / 17);
    EXPECT_LE(perByte, 2.0) << found << " blocks";
}

INSTANTIATE_TEST_SUITE_P(Patterns, DenseLayout,
                         ::testing::Values(DenseCase {"Every12Linked", Pattern::Every12Linked},
                                           DenseCase {"Every16Linked", Pattern::Every16Linked},
                                           DenseCase {"Every16Broken", Pattern::Every16Broken},
                                           DenseCase {"Every16Shuffled", Pattern::Every16Shuffled},
                                           DenseCase {"Every9", Pattern::Every9}),
                         [](const auto& param) { return std::string(param.param.name); });

std::vector<unsigned char> g_denseBytes;
platform::OpenResult openDense(const std::filesystem::path&)
{
    return {testing::memoryFile(g_denseBytes), {}};
}

// Memory that runs out part of the way through the scan, or at the start of the
// linking: the file ends with what could be done, logged, and the next attempt with
// memory enough finds everything.
TEST(DenseLayoutOutOfMemory, EndsTheFileCleanly)
{
    g_denseBytes = denseFile(Pattern::Every12Linked, std::size_t {8} << 20);
    testing::RecordingLog log;
    DbxFile file;
    file.setLogging(true);
    file.setLogWriter(&log);
    file.setOpener(&openDense);
    ASSERT_TRUE(file.open("dense.dbx"));
    std::int32_t count = -1;
    g_limit = g_live.load() + g_denseBytes.size() / 2;
    EXPECT_EQ(file.findConvertableMails(count), 0);
    g_limit = SIZE_MAX;
    EXPECT_EQ(file.findConvertableMails(count), 1);
    EXPECT_EQ(file.blocksFound(), (g_denseBytes.size() - testing::kFirstBlockPosition - 8) / 12);

    PackedBlockTable table;
    scanBlocks(*testing::memoryFile(g_denseBytes), g_denseBytes.size(), table, Logger {});
    std::vector<std::int32_t> heads {1};
    g_limit = g_live.load();
    EXPECT_EQ(linkChains(table, heads, Logger {&log}), 0);
    g_limit = SIZE_MAX;
    EXPECT_TRUE(heads.empty());

    const auto errors = log.messages(true);
    for (const std::string start : {"Exception in searching objects after object=", "Exception in linking"})
        EXPECT_TRUE(std::any_of(errors.begin(), errors.end(),
                                [&](const std::string& m) { return m.rfind(start, 0) == 0; }))
            << start;
}

} // namespace
} // namespace mailmend::dbx
