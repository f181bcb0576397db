// SPDX-License-Identifier: GPL-3.0-or-later
// Chain linking. Hand-built tables pin down what the list procedure makes of each kind of
// layout; random tables compare the linker with the plain list procedure of the test
// support library; a large shuffled folder is checked against an answer known by
// construction.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "dbx/chain_linker.h"
#include "support/list_linker_oracle.h"

namespace mailmend::dbx {
namespace {

namespace lists = mailmend::testing;
using lists::LogLine;

class RecordingLog : public LogWriter {
public:
    void write(const std::string& message, bool isError) override
    {
        lines.push_back({message, isError});
    }
    std::vector<LogLine> lines;
};

// The linker's output, in the shape the list procedure reports its own.
lists::ListLinkResult linkWithLinker(BlockTable table)
{
    RecordingLog recorder;
    lists::ListLinkResult out;
    out.mailHeads = {7, 7, 7}; // must be emptied first
    const std::int32_t count = linkChains(table, out.mailHeads, Logger {&recorder});
    EXPECT_EQ(count, static_cast<std::int32_t>(out.mailHeads.size()));
    out.table = std::move(table);
    out.log = std::move(recorder.lines);
    return out;
}

char roleLetter(BlockRole role)
{
    switch (role) {
    case BlockRole::Unlinked: return 'U';
    case BlockRole::Linked: return 'L';
    case BlockRole::LastBlock: return 'E';
    case BlockRole::MailHead: return 'H';
    }
    return '?';
}

std::string roleLetters(const BlockTable& table)
{
    std::string out;
    for (const BlockRecord& b : table)
        out += roleLetter(b.role);
    return out;
}

std::string predecessorMarks(const BlockTable& table)
{
    std::string out;
    for (const BlockRecord& b : table)
        out += b.hasPredecessor ? '+' : '-';
    return out;
}

std::vector<std::int32_t> successors(const BlockTable& table)
{
    std::vector<std::int32_t> out;
    for (const BlockRecord& b : table)
        out.push_back(b.nextIndex);
    return out;
}

// The table as {selfOffset, nextOffset} pairs, ready to paste into a hand-built case.
std::string describe(const BlockTable& table)
{
    std::ostringstream out;
    out << table.size() << " blocks {";
    char pair[40];
    for (const BlockRecord& b : table) {
        std::snprintf(pair, sizeof pair, "{0x%x, 0x%x}, ", b.selfOffset, b.nextOffset);
        out << pair;
    }
    out << '}';
    return out.str();
}

std::string describeBlock(const BlockRecord& b)
{
    std::ostringstream out;
    out << "role " << roleLetter(b.role) << ", nextIndex " << b.nextIndex
        << (b.hasPredecessor ? ", has a predecessor" : ", no predecessor");
    return out.str();
}

// Where two lists first differ, and what each holds there.
template <typename T, typename Show>
void firstDifference(std::ostream& why, const char* what, const std::vector<T>& actual,
                     const std::vector<T>& expected, Show show)
{
    if (actual == expected)
        return;
    std::size_t i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i])
        ++i;
    auto at = [&](const std::vector<T>& v) { return i < v.size() ? show(v[i]) : "none"; };
    why << what << " " << i << ": " << at(actual) << " of " << actual.size() << "; expected "
        << at(expected) << " of " << expected.size() << "\n";
}

// Everything the two must agree on, reporting the first difference of each kind.
::testing::AssertionResult sameResult(const lists::ListLinkResult& actual,
                                      const lists::ListLinkResult& expected)
{
    std::ostringstream why;
    firstDifference(why, "mail head", actual.mailHeads, expected.mailHeads,
                    [](std::int32_t h) { return std::to_string(h); });
    if (actual.table.size() != expected.table.size())
        why << "table of " << actual.table.size() << " blocks\n";
    for (std::size_t i = 0; i < std::min(actual.table.size(), expected.table.size()); ++i) {
        const BlockRecord& x = actual.table[i];
        const BlockRecord& y = expected.table[i];
        if (x.fileOffset != y.fileOffset || x.selfOffset != y.selfOffset
            || x.nextOffset != y.nextOffset || x.dataLength != y.dataLength) {
            why << "block " << i << ": the scan's fields changed\n";
            break;
        }
        if (x.role != y.role || x.nextIndex != y.nextIndex || x.hasPredecessor != y.hasPredecessor) {
            why << "block " << i << ": " << describeBlock(x) << "; expected " << describeBlock(y)
                << "\n";
            break;
        }
    }
    firstDifference(why, "log line", actual.log, expected.log, [](const LogLine& line) {
        std::ostringstream out;
        out << line;
        return out.str();
    });
    if (why.str().empty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << why.str();
}

LogLine total(int pending)
{
    return {"Total " + std::to_string(pending) + " suspecious object identified", true};
}

LogLine rejected(int entry, std::uint32_t nextOffset)
{
    char text[96];
    std::snprintf(text, sizeof text, "Mail %d rejected as last object in chain has nextoffset=%x",
                  entry, nextOffset);
    return {text, true};
}

LogLine identified(int mails)
{
    return {std::to_string(mails) + " Mail headers identified", false};
}

// ---------------------------------------------------------------------------------------
// Hand-built tables.

struct Block {
    std::uint32_t self;
    std::uint32_t next;
};

BlockTable tableOf(const std::vector<Block>& blocks)
{
    BlockTable table;
    std::uint32_t at = 0x24bc;
    for (const Block& b : blocks) {
        BlockRecord r;
        r.fileOffset = at;
        r.selfOffset = b.self;
        r.nextOffset = b.next;
        r.dataLength = 512;
        table.push_back(r);
        at += 0x210;
    }
    return table;
}

namespace offsets {
constexpr std::uint32_t A = 0x10000, B = 0x10200, C = 0x10400, D = 0x10600, P = 0x10a00;
constexpr std::uint32_t Missing = 0x9abcde00, Missing2 = 0x7ff00;
} // namespace offsets

struct HandCase {
    std::string name;
    std::vector<Block> blocks;
    std::vector<std::int32_t> heads;
    std::string roles;        // a letter a block: U unlinked, L linked, E last block, H mail head
    std::vector<std::int32_t> next;
    std::string predecessors; // a mark a block: '+' has a predecessor
    std::vector<LogLine> log;
};

void PrintTo(const HandCase& c, std::ostream* out) { *out << c.name; }

class HandBuiltTable : public ::testing::TestWithParam<HandCase> {};

TEST_P(HandBuiltTable, LinksLikeTheListProcedure)
{
    const HandCase& c = GetParam();
    const BlockTable table = tableOf(c.blocks);
    // The list procedure of the test support is checked here as much as the linker.
    const std::array<std::pair<const char*, lists::ListLinkResult>, 2> results {{
        {"list procedure", lists::linkByLists(table)},
        {"linker", linkWithLinker(table)},
    }};
    for (const auto& [who, r] : results) {
        SCOPED_TRACE(who);
        EXPECT_EQ(r.mailHeads, c.heads);
        EXPECT_EQ(roleLetters(r.table), c.roles);
        EXPECT_EQ(successors(r.table), c.next);
        EXPECT_EQ(predecessorMarks(r.table), c.predecessors);
        EXPECT_EQ(r.log, c.log);
    }
}

std::string caseName(const ::testing::TestParamInfo<HandCase>& info) { return info.param.name; }

std::vector<HandCase> simpleChains()
{
    using namespace offsets;
    return {
        {"EmptyTable", {}, {}, "", {}, "", {total(0), identified(0)}},
        {"OneBlockMail", {{A, 0}}, {0}, "H", {-1}, "-", {total(0), identified(1)}},
        {"TwoBlocksInFileOrder", {{A, B}, {B, 0}}, {0}, "HE", {1, -1}, "-+",
         {total(0), identified(1)}},
        {"SuccessorBeforeHead", {{B, 0}, {A, B}}, {1}, "EH", {-1, 0}, "+-",
         {total(0), identified(1)}},
        {"NewHeadKeepsTheMailNumberOfItsSuccessor", {{B, 0}, {C, 0}, {A, B}}, {2, 1}, "EHH",
         {-1, -1, 0}, "+--", {total(0), identified(2)}},
        {"ChainLaidApartInFileOrder", {{A, B}, {C, 0}, {B, 0}}, {0, 1}, "HHL", {2, -1, -1}, "--+",
         {total(0), identified(2)}},
        {"BrokenChainsRejectedFromTheLastEntry", {{A, Missing}, {B, 0}, {C, Missing2}}, {1},
         "HHH", {-1, -1, -1}, "---",
         {total(2), rejected(2, Missing2), rejected(0, Missing), identified(1)}},
    };
}
INSTANTIATE_TEST_SUITE_P(SimpleChains, HandBuiltTable, ::testing::ValuesIn(simpleChains()),
                         caseName);

std::vector<HandCase> joinsAndCandidates()
{
    using namespace offsets;
    return {
        {"JoinLeavesTheOldHeadListedWithoutRole", {{A, B}, {C, 0}, {B, C}}, {0, 1}, "HEL",
         {2, -1, 1}, "-++", {total(0), identified(2)}},
        {"LatestPendingPredecessorWins", {{A, C}, {B, C}, {D, 0}, {C, 0}}, {1, 2}, "HHHL",
         {-1, 3, -1, -1}, "---+", {total(1), rejected(0, C), identified(2)}},
        {"LatestPendingPredecessorOfALinkedBlockWins",
         {{A, C}, {B, C}, {D, 0}, {P, C}, {C, D}}, {1, 3}, "HHEHL", {-1, 4, -1, 4, 2}, "--+-+",
         {total(1), rejected(0, C), identified(2)}},
        {"EarliestListedHeadWinsAndIsReplaced", {{B, 0}, {B, 0}, {A, B}}, {2, 1}, "EHH",
         {-1, -1, 0}, "+--", {total(0), identified(2)}},
        {"EarliestListedHeadWinsAndIsTakenOff", {{B, 0}, {B, 0}, {A, C}, {C, B}}, {1, 2}, "EHHU",
         {-1, -1, 3, 0}, "+--+", {total(0), identified(2)}},
        {"SharedSuccessorListedFirst", {{C, 0}, {A, C}, {D, 0}, {B, C}}, {1, 2}, "EHHH",
         {-1, 0, -1, -1}, "+---", {total(1), rejected(2, C), identified(2)}},
        {"DuplicateSelfOffsets", {{A, B}, {B, 0}, {B, 0}}, {0, 2}, "HEH", {1, -1, -1}, "-+-",
         {total(0), identified(2)}},
        {"DuplicateBlocks", {{A, B}, {A, B}, {B, 0}}, {1}, "HHE", {-1, 2, -1}, "--+",
         {total(1), rejected(0, B), identified(1)}},
        {"ListedHeadOverridesTheFileNeighbour", {{B, 0}, {A, B}, {B, 0}}, {1}, "EHE",
         {-1, 0, -1}, "+-+", {total(0), identified(1)}},
    };
}
INSTANTIATE_TEST_SUITE_P(JoinsAndCandidates, HandBuiltTable,
                         ::testing::ValuesIn(joinsAndCandidates()), caseName);

std::vector<HandCase> loops()
{
    using namespace offsets;
    const std::vector<LogLine> oneMail {total(0), identified(1)};
    return {
        {"SelfLoop", {{A, A}}, {0}, "H", {0}, "+", oneMail},
        {"SelfLoopListedAfterTheOtherMails", {{B, 0}, {A, A}, {C, 0}}, {0, 2, 1}, "HHH",
         {-1, 1, -1}, "-+-", {total(0), identified(3)}},
        // A -> B -> C -> A in every file order.
        {"LoopLaidABC", {{A, B}, {B, C}, {C, A}}, {0}, "HLU", {1, 2, 0}, "+++", oneMail},
        {"LoopLaidBCA", {{B, C}, {C, A}, {A, B}}, {0}, "HLU", {1, 2, 0}, "+++", oneMail},
        {"LoopLaidCAB", {{C, A}, {A, B}, {B, C}}, {0}, "HLU", {1, 2, 0}, "+++", oneMail},
        {"LoopLaidCBA", {{C, A}, {B, C}, {A, B}}, {1}, "LLL", {2, 0, 1}, "+++", oneMail},
        {"LoopLaidACB", {{A, B}, {C, A}, {B, C}}, {1}, "LLL", {2, 0, 1}, "+++", oneMail},
        {"LoopLaidBAC", {{B, C}, {A, B}, {C, A}}, {1}, "LLL", {2, 0, 1}, "+++", oneMail},
        {"LoopsListedAgainInTheOrderTakenOff", {{A, B}, {D, D}, {B, C}, {C, A}}, {1, 0}, "HHLU",
         {2, 1, 3, 0}, "++++", {total(0), identified(2)}},
        {"LoopTakenOffTwiceIsListedOnce", {{C, A}, {B, B}, {B, C}, {A, C}, {C, B}}, {0}, "HLULU",
         {3, 2, 0, 4, 1}, "+++++", oneMail},
        {"LoopBackToItsOwnMiddleIsRejected", {{A, B}, {B, C}, {C, B}}, {}, "HLU", {1, 2, -1},
         "-++", {total(1), rejected(0, B), identified(0)}},
        {"TakenOffHeadReachedFromAListedHeadStaysOff",
         {{P, A}, {B, C}, {A, B}, {C, D}, {D, B}}, {0}, "HLLLU", {2, 3, 1, 4, 1}, "-++++",
         oneMail},
        {"TakenOffHeadReachedFromAnEntryWithoutRoleStaysOff",
         {{P, A}, {B, C}, {A, B}, {C, D}, {D, P}}, {1}, "LLLLU", {2, 3, 1, 4, 0}, "+++++",
         oneMail},
    };
}
INSTANTIATE_TEST_SUITE_P(Loops, HandBuiltTable, ::testing::ValuesIn(loops()), caseName);

// Two one-block mails and, at `position` among them, a chain of `length` blocks whose
// last block links to a block that was never found, laid out forwards or backwards.
class BrokenLastLink : public ::testing::TestWithParam<std::tuple<int, int, bool>> {};

TEST_P(BrokenLastLink, DropsTheMailWhereverItIsListed)
{
    const auto [length, position, backwards] = GetParam();
    std::vector<Block> blocks;
    std::vector<std::int32_t> goodHeads;
    for (int mail = 0; mail < 3; ++mail) {
        if (mail != position) {
            goodHeads.push_back(static_cast<std::int32_t>(blocks.size()));
            blocks.push_back({0x40000u + 0x200u * static_cast<std::uint32_t>(mail), 0});
            continue;
        }
        std::vector<Block> chain;
        for (int k = 0; k < length; ++k) {
            const std::uint32_t self = 0x20000u + 0x200u * static_cast<std::uint32_t>(k);
            chain.push_back({self, k + 1 < length ? self + 0x200u : offsets::Missing});
        }
        if (backwards)
            std::reverse(chain.begin(), chain.end());
        blocks.insert(blocks.end(), chain.begin(), chain.end());
    }
    const std::vector<LogLine> log {total(1), rejected(position, offsets::Missing), identified(2)};

    const BlockTable table = tableOf(blocks);
    const lists::ListLinkResult expected = lists::linkByLists(table);
    EXPECT_EQ(expected.mailHeads, goodHeads);
    EXPECT_EQ(expected.log, log);
    EXPECT_TRUE(sameResult(linkWithLinker(table), expected));
}

INSTANTIATE_TEST_SUITE_P(LengthsAndPlaces, BrokenLastLink,
                         ::testing::Combine(::testing::Range(1, 5), ::testing::Range(0, 3),
                                            ::testing::Bool()));

// ---------------------------------------------------------------------------------------
// The linker against the list procedure on random tables.

// Results must not depend on the standard library, so no distributions or std::shuffle.
std::uint32_t below(std::mt19937& rng, std::uint32_t n) { return static_cast<std::uint32_t>(rng() % n); }

struct TableShape {
    std::uint32_t minBlocks, maxBlocks; // table size
    std::uint32_t minPool, maxPool;     // how many distinct offsets the blocks draw from
};

// Offsets drawn from a small pool, so that blocks share offsets and chains collide.
// Each table has its own chance of a zero nextOffset and of a block linking to its
// neighbour in the file. The pool lies in band `band` of 2^26 offsets, so that tables
// from different bands never link to each other.
BlockTable randomTable(std::uint32_t seed, const TableShape& shape, std::uint32_t band)
{
    std::mt19937 rng(seed);
    const std::uint32_t size = shape.minBlocks + below(rng, shape.maxBlocks - shape.minBlocks + 1);
    const std::uint32_t poolSize = shape.minPool + below(rng, shape.maxPool - shape.minPool + 1);
    std::vector<std::uint32_t> pool(poolSize);
    for (std::uint32_t& value : pool) // anything above the file header
        value = 60116 + (band << 26) + below(rng, 1u << 26);
    const std::uint32_t zeroPercent = std::array {0u, 5u, 20u, 40u}[below(rng, 4)];
    const std::uint32_t neighbourPercent = std::array {0u, 10u, 30u}[below(rng, 3)];

    BlockTable table(size);
    std::uint32_t at = 0x24bc;
    for (BlockRecord& b : table) {
        b.fileOffset = at;
        at += 16 + below(rng, 0x400);
        b.selfOffset = pool[below(rng, poolSize)];
        b.dataLength = static_cast<std::uint16_t>(1 + below(rng, 512));
    }
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (below(rng, 100) < zeroPercent)
            table[i].nextOffset = 0;
        else if (i + 1 < table.size() && below(rng, 100) < neighbourPercent)
            table[i].nextOffset = table[i + 1].selfOffset;
        else
            table[i].nextOffset = pool[below(rng, poolSize)];
    }
    return table;
}

struct PathCounts {
    int replacedHeads = 0, joins = 0, takenOff = 0, putBack = 0, putBackSkipped = 0,
        rejected = 0;

    void add(const lists::ListLinkResult& r)
    {
        replacedHeads += r.replacedHeads;
        joins += r.joins;
        takenOff += r.takenOff;
        putBack += r.putBack;
        putBackSkipped += r.putBackSkipped;
        rejected += r.rejected;
    }
};

// Compares the two on `count` tables from consecutive seeds. The tables are linked
// `perCall` at a time, one after the other in the file, so that the linker's fixed cost
// per call does not dominate: each has a band of offsets of its own and links as it
// would alone, except that heads put back go to the end of the whole list and the log
// numbers count the whole list. Stops at the first mismatch and names a table that
// fails on its own.
PathCounts compareOnRandomTables(std::uint32_t firstSeed, std::uint32_t count,
                                 const TableShape& shape, std::uint32_t perCall)
{
    PathCounts counts;
    for (std::uint32_t first = 0; first < count; first += perCall) {
        const std::uint32_t last = std::min(count, first + perCall);
        BlockTable batch;
        for (std::uint32_t t = first; t < last; ++t) {
            const std::uint32_t base = batch.empty() ? 0 : batch.back().fileOffset + 0x200;
            for (BlockRecord b : randomTable(firstSeed + t, shape, t - first)) {
                b.fileOffset += base;
                batch.push_back(b);
            }
        }
        const lists::ListLinkResult expected = lists::linkByLists(batch);
        counts.add(expected);
        if (sameResult(linkWithLinker(batch), expected))
            continue;
        for (std::uint32_t t = first; t < last; ++t) {
            const BlockTable table = randomTable(firstSeed + t, shape, 0);
            const ::testing::AssertionResult alone =
                sameResult(linkWithLinker(table), lists::linkByLists(table));
            if (!alone) {
                ADD_FAILURE() << "seed " << firstSeed + t << ", table " << describe(table)
                              << "\n" << alone.message();
                return counts;
            }
        }
        ADD_FAILURE() << "seeds " << firstSeed + first << " to " << firstSeed + last - 1
                      << " fail only together: " << describe(batch) << "\n"
                      << sameResult(linkWithLinker(batch), expected).message();
        return counts;
    }
    return counts;
}

TEST(LinkerAgainstListProcedure, SmallTablesFromSmallOffsetPools)
{
    const PathCounts counts = compareOnRandomTables(1, 10000, {1, 40, 3, 30}, 40);
    if (HasFailure())
        return;
    // The comparison proves little unless the rare paths were taken often.
    EXPECT_GT(counts.replacedHeads, 10000);
    EXPECT_GT(counts.joins, 2000);
    EXPECT_GT(counts.takenOff, 3000);
    EXPECT_GT(counts.putBack, 2000);
    EXPECT_GT(counts.putBackSkipped, 0);
    EXPECT_GT(counts.rejected, 10000);
}

TEST(LinkerAgainstListProcedure, TinyTablesFromTinyOffsetPools)
{
    const PathCounts counts = compareOnRandomTables(500000, 5000, {1, 8, 1, 4}, 100);
    if (HasFailure())
        return;
    EXPECT_GT(counts.putBack, 500);
}

TEST(LinkerAgainstListProcedure, LargeTables)
{
    compareOnRandomTables(900000, 6, {2000, 2000, 500, 500}, 1);
    compareOnRandomTables(910000, 6, {2000, 2000, 60, 200}, 1);
}

// ---------------------------------------------------------------------------------------
// A large folder whose answer is known by construction.
//
// Every chain has offsets of its own, and no two blocks of one chain lie next to each
// other in the file unless the layout asks for it, so each chain links on its own; how
// it links depends only on the order of its blocks in the file and on how it ends.

enum class Layout {
    Forwards,            // first block first
    Backwards,           // last block first
    ClosedByNeighbours,  // forwards, the last two blocks side by side, ending in a loop
};
enum class End { Zero, Missing, Loop };

struct Chain {
    Layout layout;
    End end;
    std::vector<std::int32_t> at; // table index of each block, in chain order
};

struct Folder {
    BlockTable table;
    std::vector<Chain> chains;
};

Folder shuffledFolder(std::uint32_t seed, std::size_t blockCount)
{
    // How often each kind of chain occurs, in percent (cumulated).
    constexpr std::array<std::tuple<std::uint32_t, Layout, End>, 7> kinds {{
        {35, Layout::Forwards, End::Zero},
        {70, Layout::Backwards, End::Zero},
        {76, Layout::Forwards, End::Missing},
        {82, Layout::Backwards, End::Missing},
        {88, Layout::Forwards, End::Loop},
        {94, Layout::Backwards, End::Loop},
        {100, Layout::ClosedByNeighbours, End::Loop},
    }};
    std::mt19937 rng(seed);
    Folder folder;
    std::vector<std::vector<std::vector<int>>> units; // per chain: groups of blocks laid together
    std::size_t planned = 0;
    while (planned < blockCount) {
        const auto length = std::min<std::size_t>(1 + below(rng, 10), blockCount - planned);
        const std::uint32_t kind = below(rng, 100);
        const auto& [upTo, layout, end] = *std::find_if(
            kinds.begin(), kinds.end(), [&](const auto& k) { return kind < std::get<0>(k); });
        Chain chain {layout, end, std::vector<std::int32_t>(length, -1)};
        if (chain.end == End::Loop && length == 1)
            chain.layout = Layout::ClosedByNeighbours; // a block linking to itself

        std::vector<std::vector<int>> groups;
        const int m = static_cast<int>(length);
        if (chain.layout == Layout::Backwards) {
            for (int k = m - 1; k >= 0; --k)
                groups.push_back({k});
        } else if (chain.layout == Layout::Forwards || m == 1) {
            for (int k = 0; k < m; ++k)
                groups.push_back({k});
        } else {
            for (int k = 0; k < m - 2; ++k)
                groups.push_back({k});
            groups.push_back({m - 2, m - 1});
        }
        units.push_back(std::move(groups));
        folder.chains.push_back(std::move(chain));
        planned += length;
    }

    // Which chain lays its next group at each place in the file.
    std::vector<std::int32_t> order;
    for (std::size_t c = 0; c < units.size(); ++c)
        order.insert(order.end(), units[c].size(), static_cast<std::int32_t>(c));
    for (std::size_t i = order.size(); i > 1; --i)
        std::swap(order[i - 1], order[below(rng, static_cast<std::uint32_t>(i))]);
    // Two groups of one chain side by side would link as neighbours: move the second to
    // the first gap between two other chains.
    for (std::size_t p = 1; p < order.size(); ++p) {
        const std::int32_t c = order[p];
        if (order[p - 1] != c)
            continue;
        std::size_t gap = 0;
        while (gap < p && (order[gap] == c || (gap > 0 && order[gap - 1] == c)))
            ++gap;
        if (gap == p)
            continue; // left as neighbours; the caller's check catches it
        order.erase(order.begin() + static_cast<std::ptrdiff_t>(p));
        order.insert(order.begin() + static_cast<std::ptrdiff_t>(gap), c);
    }

    std::vector<std::size_t> nextGroup(units.size(), 0);
    for (std::int32_t c : order) {
        for (int k : units[c][nextGroup[c]++]) {
            folder.chains[c].at[k] = static_cast<std::int32_t>(folder.table.size());
            folder.table.emplace_back();
        }
    }

    // Offsets: all distinct, in no particular order; missing links point above them all.
    std::vector<std::uint32_t> slot(folder.table.size());
    for (std::size_t i = 0; i < slot.size(); ++i)
        slot[i] = static_cast<std::uint32_t>(i);
    for (std::size_t i = slot.size(); i > 1; --i)
        std::swap(slot[i - 1], slot[below(rng, static_cast<std::uint32_t>(i))]);
    for (std::size_t i = 0; i < folder.table.size(); ++i) {
        BlockRecord& b = folder.table[i];
        b.fileOffset = 0x24bc + 0x210 * static_cast<std::uint32_t>(i);
        b.selfOffset = 60116 + 0x200 * slot[i];
        b.dataLength = 512;
    }
    for (std::size_t c = 0; c < folder.chains.size(); ++c) {
        const Chain& chain = folder.chains[c];
        for (std::size_t k = 0; k + 1 < chain.at.size(); ++k)
            folder.table[chain.at[k]].nextOffset = folder.table[chain.at[k + 1]].selfOffset;
        BlockRecord& last = folder.table[chain.at.back()];
        if (chain.end == End::Missing)
            last.nextOffset = 0xF0000000u + static_cast<std::uint32_t>(c);
        else if (chain.end == End::Loop)
            last.nextOffset = folder.table[chain.at.front()].selfOffset;
    }
    return folder;
}

// What the list procedure makes of such a folder, worked out chain by chain.
lists::ListLinkResult expectedLinking(const Folder& folder)
{
    lists::ListLinkResult out;
    out.table = folder.table;
    struct Entry {
        std::int32_t createdAt; // the block whose turn opened the list entry
        std::int32_t head;      // the block the entry holds in the end
        std::uint32_t missing;  // the broken link, or 0
    };
    std::vector<Entry> listed, listedAgain;
    int pendingAtEnd = 0;

    for (const Chain& chain : folder.chains) {
        const auto& at = chain.at;
        const std::size_t m = at.size();
        auto block = [&](std::size_t k) -> BlockRecord& { return out.table[at[k]]; };
        for (std::size_t k = 0; k < m; ++k) {
            block(k).nextIndex = k + 1 < m ? at[k + 1] : -1;
            block(k).hasPredecessor = k > 0;
            block(k).role = BlockRole::Linked;
        }
        if (chain.end == End::Loop) {
            block(m - 1).nextIndex = at[0];
            block(0).hasPredecessor = true;
        }
        const std::uint32_t missing = chain.end == End::Missing ? block(m - 1).nextOffset : 0;
        pendingAtEnd += chain.end == End::Missing ? 1 : 0;

        if (chain.layout == Layout::ClosedByNeighbours) {
            // The last block, linked from its neighbour, takes the first off the list;
            // nothing else reaches the loop, so the first block is listed again.
            block(0).role = BlockRole::MailHead;
            if (m > 1)
                block(m - 1).role = BlockRole::Unlinked;
            listedAgain.push_back({at[m - 1], at[0], 0});
        } else if (chain.end == End::Loop) {
            // The block whose turn closes the loop finds both its successor among the
            // heads and its predecessor among the pending blocks: the entry stays listed
            // with the block it holds by then, without the head role.
            const bool forwards = chain.layout == Layout::Forwards;
            listed.push_back({forwards ? at[0] : at[m - 1], forwards ? at[0] : at[1], 0});
        } else if (chain.layout == Layout::Forwards) {
            block(0).role = BlockRole::MailHead;
            listed.push_back({at[0], at[0], missing});
        } else {
            // Each block takes over the entry its successor opened.
            block(0).role = BlockRole::MailHead;
            if (m > 1 && chain.end == End::Zero)
                block(m - 1).role = BlockRole::LastBlock;
            listed.push_back({at[m - 1], at[0], missing});
        }
    }

    auto byCreation = [](const Entry& x, const Entry& y) { return x.createdAt < y.createdAt; };
    std::sort(listed.begin(), listed.end(), byCreation);
    std::sort(listedAgain.begin(), listedAgain.end(), byCreation);
    listed.insert(listed.end(), listedAgain.begin(), listedAgain.end());

    out.log.push_back(total(pendingAtEnd));
    for (std::size_t e = listed.size(); e-- > 0;)
        if (listed[e].missing != 0)
            out.log.push_back(rejected(static_cast<int>(e), listed[e].missing));
    for (const Entry& entry : listed)
        if (entry.missing == 0)
            out.mailHeads.push_back(entry.head);
    out.log.push_back(identified(static_cast<int>(out.mailHeads.size())));
    return out;
}

TEST(LinkerOnALargeFolder, ShuffledChainsLinkAsTheListProcedureWould)
{
    const Folder folder = shuffledFolder(2024, 200000);
    ASSERT_EQ(folder.table.size(), 200000u);
    // Only the closing pairs may link as neighbours in the file.
    std::size_t neighbours = 0, closingPairs = 0;
    for (std::size_t i = 0; i + 1 < folder.table.size(); ++i)
        neighbours += folder.table[i].nextOffset == folder.table[i + 1].selfOffset ? 1 : 0;
    for (const Chain& chain : folder.chains)
        closingPairs += chain.layout == Layout::ClosedByNeighbours && chain.at.size() > 1 ? 1 : 0;
    ASSERT_EQ(neighbours, closingPairs);

    EXPECT_TRUE(sameResult(linkWithLinker(folder.table), expectedLinking(folder)));
}

TEST(LinkerOnALargeFolder, ConstructionMatchesTheListProcedureWhenSmall)
{
    // The worked-out answer is only worth as much as its reasoning: check it on a folder
    // small enough for the list procedure.
    for (std::uint32_t seed = 1; seed <= 8; ++seed) {
        const Folder folder = shuffledFolder(seed, 2000);
        EXPECT_TRUE(sameResult(lists::linkByLists(folder.table), expectedLinking(folder)))
            << "seed " << seed;
    }
}

} // namespace
} // namespace mailmend::dbx
