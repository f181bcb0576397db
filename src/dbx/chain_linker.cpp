// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbx/chain_linker.h"

#include <algorithm>
#include <functional>

#include "dbx/link_bits.h"
#include "log/text.h"

namespace mailmend::dbx {
namespace {

constexpr std::uint32_t kNone = UINT32_MAX;

// The linker reads and writes blocks through these, so one procedure serves both tables.
struct PlainAccess {
    BlockTable& table;
    std::size_t size() const { return table.size(); }
    std::uint32_t self(std::size_t i) const { return table[i].selfOffset; }
    std::uint32_t next(std::size_t i) const { return table[i].nextOffset; }
    std::int32_t nextIndex(std::size_t i) const { return table[i].nextIndex; }
    bool hasPredecessor(std::size_t i) const { return table[i].hasPredecessor; }
    void setNextIndex(std::size_t i, std::int32_t v) { table[i].nextIndex = v; }
    void setRole(std::size_t i, BlockRole r) { table[i].role = r; }
    void setHasPredecessor(std::size_t i) { table[i].hasPredecessor = true; }
};

struct PackedAccess {
    PackedBlockTable& table;
    std::size_t size() const { return table.size(); }
    std::uint32_t self(std::size_t i) const { return table.selfOffset(i); }
    std::uint32_t next(std::size_t i) const { return table.nextOffset(i); }
    std::int32_t nextIndex(std::size_t i) const { return table.nextIndex(i); }
    bool hasPredecessor(std::size_t i) const { return table.hasPredecessor(i); }
    void setNextIndex(std::size_t i, std::int32_t v) { table.setNextIndex(i, v); }
    void setRole(std::size_t i, BlockRole r) { table.setRole(i, r); }
    void setHasPredecessor(std::size_t i) { table.setHasPredecessor(i, true); }
};

// A two-hash bit filter over offsets: "maybe seen" or "surely not". Six bits per value
// keep wrong "maybe" answers near one in twelve.
class OffsetFilter {
public:
    explicit OffsetFilter(std::size_t values) : m_size(6 * std::uint64_t {values} + 64), m_bits(m_size) {}
    void add(std::uint32_t v)
    {
        const std::uint64_t h = hash(v);
        m_bits.set(slot(h >> 32));
        m_bits.set(slot(h & 0xFFFFFFFFu));
    }
    bool mayHold(std::uint32_t v) const
    {
        const std::uint64_t h = hash(v);
        return m_bits.test(slot(h >> 32)) && m_bits.test(slot(h & 0xFFFFFFFFu));
    }

private:
    static std::uint64_t hash(std::uint32_t v)
    {
        std::uint64_t h = (std::uint64_t {v} + 0x9E3779B97F4A7C15ull) * 0xBF58476D1CE4E5B9ull;
        return h ^ (h >> 31);
    }
    // A 32-bit hash scaled onto the bits.
    std::size_t slot(std::uint64_t h32) const { return static_cast<std::size_t>((h32 * m_size) >> 32); }

    std::uint64_t m_size;
    BitVector m_bits;
};

// The blocks that may ever be found by an offset, sorted by offset into runs of equal
// offset: in each run first the heads found by that selfOffset, then the pending
// blocks found by that nextOffset. An entry in use holds a listed head with its list
// slot (a min-heap by slot at the start of the heads) or a pending block (a stack at the
// start of the pending blocks); a free entry has no slot. A block only ever enters its
// own part of the run of its own offset, once, so each part has room for all its blocks,
// and a free entry still names a block of the part: runs stay sorted. One find per
// offset serves both lists: a turn searches the heads and fills the pending blocks by
// its nextOffset, and the reverse by its selfOffset.
//
// Offsets are file positions, spread over the file, so buckets of equal width between
// the lowest and the highest offset, about sixteen entries each, narrow a find down to a
// few cache lines; the bucket starts are small enough to stay in the cache. Sorted by
// offset, the entries of blocks that lie in file order are used in that order too.
class OffsetRuns {
public:
    struct Run {
        std::size_t begin = 0;
        std::size_t end = 0;
    };
    struct Found {
        Run heads;
        Run pending;
    };

    template <typename Access>
    OffsetRuns(const Access& t, const BitVector& heads, const BitVector& pending,
               std::size_t count)
    {
        const std::size_t n = t.size();
        m_entries.reserve(count);
        for (std::size_t i = 0; i < n; ++i) {
            if (heads.test(i))
                m_entries.push_back({t.self(i), static_cast<std::uint32_t>(i), kNone});
            if (pending.test(i))
                m_entries.push_back({t.next(i), kPendingPart | static_cast<std::uint32_t>(i), kNone});
        }
        std::sort(m_entries.begin(), m_entries.end(), [](const Entry& a, const Entry& b) {
            return a.offset != b.offset ? a.offset < b.offset : a.block < b.block;
        });
        if (m_entries.empty())
            return;
        m_low = m_entries.front().offset;
        const std::uint32_t span = m_entries.back().offset - m_low;
        while (m_bucketShift < 31 && (span >> m_bucketShift) > count / 16)
            ++m_bucketShift;
        m_buckets.assign((span >> m_bucketShift) + 2, 0);
        std::size_t e = 0;
        for (std::size_t b = 0; b + 1 < m_buckets.size(); ++b) {
            m_buckets[b] = static_cast<std::uint32_t>(e);
            while (e < m_entries.size() && bucketOf(m_entries[e].offset) == b)
                ++e;
        }
        m_buckets.back() = static_cast<std::uint32_t>(e);
    }

    Found find(std::uint32_t offset) const
    {
        if (m_entries.empty() || offset < m_low)
            return {};
        const std::size_t b = bucketOf(offset);
        if (b + 1 >= m_buckets.size())
            return {};
        const auto first = m_entries.begin() + m_buckets[b];
        const auto last = m_entries.begin() + m_buckets[b + 1];
        const auto begin = std::partition_point(first, last, [offset](const Entry& e) { return e.offset < offset; });
        // Equal offsets share a bucket.
        const auto end = std::partition_point(begin, last, [offset](const Entry& e) { return e.offset == offset; });
        const auto split = std::partition_point(
            begin, end, [](const Entry& e) { return (e.block & kPendingPart) == 0; });
        return {{index(begin), index(split)}, {index(split), index(end)}};
    }

    // Entries in use at the start of the run.
    std::size_t used(Run run) const
    {
        std::size_t lo = run.begin;
        std::size_t count = run.end - run.begin;
        while (count > 0) {
            const std::size_t half = count / 2;
            if (m_entries[lo + half].slot != kNone) {
                lo += half + 1;
                count -= half + 1;
            } else {
                count = half;
            }
        }
        return lo - run.begin;
    }

    std::uint32_t blockAt(std::size_t e) const { return m_entries[e].block & ~kPendingPart; }
    std::uint32_t slotAt(std::size_t e) const { return m_entries[e].slot; }

    // The heads of a run: a min-heap by slot.
    bool pushHeap(Run run, std::uint32_t slot, std::uint32_t block)
    {
        std::size_t e = run.begin + used(run);
        if (e >= run.end)
            return false;
        m_entries[e].block = block; // a head's part
        m_entries[e].slot = slot;
        while (e > run.begin) {
            const std::size_t parent = run.begin + (e - run.begin - 1) / 2;
            if (m_entries[parent].slot <= m_entries[e].slot)
                break;
            std::swap(m_entries[parent], m_entries[e]);
            e = parent;
        }
        return true;
    }
    void popHeap(Run run)
    {
        const std::size_t last = run.begin + used(run) - 1;
        std::swap(m_entries[run.begin], m_entries[last]);
        m_entries[last].slot = kNone;
        for (std::size_t e = run.begin;;) {
            std::size_t least = e;
            for (const std::size_t child : {2 * (e - run.begin) + 1, 2 * (e - run.begin) + 2})
                if (run.begin + child < last && m_entries[run.begin + child].slot < m_entries[least].slot)
                    least = run.begin + child;
            if (least == e)
                break;
            std::swap(m_entries[e], m_entries[least]);
            e = least;
        }
    }

    // The pending blocks of a run: a stack.
    bool pushStack(Run run, std::uint32_t block)
    {
        const std::size_t e = run.begin + used(run);
        if (e >= run.end)
            return false;
        m_entries[e].block = kPendingPart | block;
        m_entries[e].slot = 0;
        return true;
    }
    void popStack(Run run) { m_entries[run.begin + used(run) - 1].slot = kNone; }

private:
    static constexpr std::uint32_t kPendingPart = 1u << 31;

    struct Entry {
        std::uint32_t offset;
        std::uint32_t block;
        std::uint32_t slot; // kNone while free
    };

    std::size_t bucketOf(std::uint32_t offset) const
    {
        return static_cast<std::size_t>(offset - m_low) >> m_bucketShift;
    }
    std::size_t index(std::vector<Entry>::const_iterator at) const
    {
        return static_cast<std::size_t>(at - m_entries.cbegin());
    }

    std::vector<Entry> m_entries;
    std::vector<std::uint32_t> m_buckets; // first entry of each bucket, and the end
    std::uint32_t m_low = 0;              // the lowest offset
    unsigned m_bucketShift = 0;
};

BlockRole roleOfFoundSuccessor(std::uint32_t nextOffset)
{
    return nextOffset == 0 ? BlockRole::LastBlock : BlockRole::Linked;
}

// Marks every block reachable from `start` along nextIndex; stops at marked blocks.
template <typename Access>
void markChain(const Access& t, std::uint32_t start, BitVector& reached)
{
    for (std::int32_t b = static_cast<std::int32_t>(start); b >= 0 && !reached.test(static_cast<std::size_t>(b));
         b = t.nextIndex(static_cast<std::size_t>(b)))
        reached.set(static_cast<std::size_t>(b));
}

// The mail list: the slots still listed (named by the block that opened them, in list
// order) with the block each holds now, then the heads put back at the end.
struct MailList {
    BitVector liveSlots;
    std::vector<std::uint64_t> changed; // (slot << 32 | block), sorted, for slots not holding their opener
    std::vector<std::int32_t> putBack;
    std::size_t slotCount = 0;

    std::size_t size() const { return slotCount + putBack.size(); }

    // Calls visit(entry number, block) in list order, or from the last entry to the first.
    template <typename Visit>
    void forEach(bool backwards, Visit visit) const
    {
        const std::size_t n = liveSlots.words().size() * 64;
        if (backwards) {
            std::size_t e = size();
            for (auto h = putBack.rbegin(); h != putBack.rend(); ++h)
                visit(--e, static_cast<std::uint32_t>(*h));
            std::size_t c = changed.size();
            for (std::size_t s = liveSlots.previousSet(n, kNone); s != kNone;
                 s = liveSlots.previousSet(s, kNone))
                visit(--e, blockOf(s, c, true));
        } else {
            std::size_t e = 0;
            std::size_t c = 0;
            for (std::size_t s = liveSlots.nextSet(0, n); s < n; s = liveSlots.nextSet(s + 1, n))
                visit(e++, blockOf(s, c, false));
            for (std::int32_t h : putBack)
                visit(e++, static_cast<std::uint32_t>(h));
        }
    }

private:
    // `cursor` walks `changed` along with the slots.
    std::uint32_t blockOf(std::size_t slot, std::size_t& cursor, bool backwards) const
    {
        if (backwards) {
            while (cursor > 0 && (changed[cursor - 1] >> 32) > slot)
                --cursor;
            if (cursor > 0 && (changed[cursor - 1] >> 32) == slot)
                return static_cast<std::uint32_t>(changed[cursor - 1]);
        } else {
            while (cursor < changed.size() && (changed[cursor] >> 32) < slot)
                ++cursor;
            if (cursor < changed.size() && (changed[cursor] >> 32) == slot)
                return static_cast<std::uint32_t>(changed[cursor]);
        }
        return static_cast<std::uint32_t>(slot);
    }
};

// Finds the slot of each listed block that took over a slot from the block before it.
// A block that takes over links to the block it replaces, so the chain from the block
// holding a slot runs through the slot's earlier blocks, none of which opened a slot, to
// the block that opened it. The earlier blocks of all slots are walked once in all.
template <typename Access>
void noteTakenOverSlots(const Access& t, const BitVector& held, MailList& list)
{
    const std::size_t n = t.size();
    auto slotOf = [&](std::size_t block) -> std::uint32_t {
        std::size_t x = block;
        for (std::size_t steps = 0; steps < n && !list.liveSlots.test(x); ++steps) {
            const std::int32_t next = t.nextIndex(x);
            if (next < 0)
                return kNone;
            x = static_cast<std::size_t>(next);
        }
        return list.liveSlots.test(x) ? static_cast<std::uint32_t>(x) : kNone;
    };
    std::size_t count = 0;
    for (std::size_t b = held.nextSet(0, n); b < n; b = held.nextSet(b + 1, n))
        count += !list.liveSlots.test(b) && slotOf(b) != kNone ? 1 : 0;
    list.changed.reserve(count);
    for (std::size_t b = held.nextSet(0, n); b < n; b = held.nextSet(b + 1, n)) {
        if (list.liveSlots.test(b))
            continue;
        const std::uint32_t slot = slotOf(b);
        if (slot != kNone)
            list.changed.push_back((std::uint64_t {slot} << 32) | b);
    }
    std::sort(list.changed.begin(), list.changed.end());
}

// Where each listed entry's chain ends. The walk from an entry stops at a block it has
// seen before, so a chain that loops never ends in a broken link. Each block is walked
// once: its verdict is kept in two bits. Where a later walk meets an earlier one (a block
// with two predecessors, or a listed entry with one) the earlier walk's last block is
// kept too, for the log line; only those few blocks hold one.
template <typename Access>
class ChainEnds {
public:
    ChainEnds(const Access& t, const MailList& list)
        : m_t(t), m_state(t.size()), m_meets(meetingPoints(t, list)),
          m_last(m_meets.count(), kNone)
    {
    }

    // The last block of the entry's chain when it has a link to a block never found,
    // else kNone.
    std::uint32_t brokenEnd(std::uint32_t start)
    {
        std::uint32_t x = start;
        unsigned verdict = kFine;
        std::uint32_t last = kNone;
        for (;;) {
            const unsigned state = m_state.get(x);
            if (state == kWalking || state == kFine) {
                verdict = kFine;
                break;
            }
            if (state == kBroken) {
                verdict = kBroken;
                last = m_meets.test(x) ? m_last[m_meets.rank(x)] : endFrom(x);
                break;
            }
            m_state.set(x, kWalking);
            if (m_path.size() <= kPathLimit)
                m_path.push_back(x);
            const std::int32_t next = m_t.nextIndex(x);
            if (next < 0) {
                verdict = m_t.next(x) != 0 ? kBroken : kFine;
                last = x;
                break;
            }
            x = static_cast<std::uint32_t>(next);
        }
        auto settle = [&](std::uint32_t y) {
            m_state.set(y, verdict);
            if (verdict == kBroken && m_meets.test(y))
                m_last[m_meets.rank(y)] = last;
        };
        if (m_path.size() <= kPathLimit) {
            for (std::uint32_t y : m_path)
                settle(y);
        } else { // a long walk: along the chain again
            for (std::uint32_t y = start; m_state.get(y) == kWalking;) {
                settle(y);
                const std::int32_t next = m_t.nextIndex(y);
                if (next < 0)
                    break;
                y = static_cast<std::uint32_t>(next);
            }
        }
        m_path.clear();
        return verdict == kBroken ? last : kNone;
    }

    bool isBroken(std::uint32_t block) const { return m_state.get(block) == kBroken; }

private:
    static constexpr unsigned kUnknown = 0, kWalking = 1, kFine = 2, kBroken = 3;
    // The blocks of a walk are remembered up to this many, so that they are settled
    // without following the chain a second time.
    static constexpr std::size_t kPathLimit = std::size_t {1} << 16;

    static RankedBits meetingPoints(const Access& t, const MailList& list)
    {
        const std::size_t n = t.size();
        TwoBitArray predecessors(n); // 0, 1, or 2 for two or more
        for (std::size_t b = 0; b < n; ++b) {
            const std::int32_t next = t.nextIndex(b);
            if (next >= 0) {
                const auto s = static_cast<std::size_t>(next);
                predecessors.set(s, std::min(2u, predecessors.get(s) + 1));
            }
        }
        BitVector meets(n);
        for (std::size_t b = 0; b < n; ++b)
            if (predecessors.get(b) >= 2)
                meets.set(b);
        list.forEach(false, [&](std::size_t, std::uint32_t block) {
            if (predecessors.get(block) >= 1)
                meets.set(block);
        });
        return RankedBits(std::move(meets));
    }

    // Not reached for a walk that meets an earlier one where the earlier kept its end;
    // follows the chain to its end all the same.
    std::uint32_t endFrom(std::uint32_t x) const
    {
        for (std::size_t steps = 0; steps < m_t.size(); ++steps) {
            const std::int32_t next = m_t.nextIndex(x);
            if (next < 0)
                break;
            x = static_cast<std::uint32_t>(next);
        }
        return x;
    }

    const Access& m_t;
    TwoBitArray m_state;
    RankedBits m_meets;
    std::vector<std::uint32_t> m_last; // by rank among the meeting points
    std::vector<std::uint32_t> m_path;
};

// The list procedure, step by step (see the header). Blocks that never search or are
// never found cost nothing beyond their bits: which those are is known before the walk,
// because a block's predecessor from the file (the block before it) is the only one it
// can have when its turn comes.
template <typename Access>
std::int32_t link(Access t, std::vector<std::int32_t>& mailHeads, const Logger& log)
{
    mailHeads.clear();
    const std::size_t n = t.size();
    auto linksToNeighbour = [&](std::size_t d) { return d + 1 < n && t.next(d) == t.self(d + 1); };
    // Before the walk: searches for a successor and a predecessor on its turn, as a block
    // without a predecessor; searches on its turn as a block still wanting a successor.
    auto startsUnlinked = [&](std::size_t d) {
        return !t.hasPredecessor(d) && !(d > 0 && linksToNeighbour(d - 1));
    };
    auto wantsSuccessor = [&](std::size_t d) { return !linksToNeighbour(d) && t.next(d) != 0; };

    // Which blocks can be found at all: a head by a search on the same turn or a later
    // one, a pending block by a search on a later turn. The filters answer for offsets
    // searched for from the end of the table down to the block; a wrong "maybe" only
    // costs an entry.
    std::size_t searching = 0;
    for (std::size_t d = 0; d < n; ++d)
        searching += (startsUnlinked(d) || wantsSuccessor(d)) ? 1 : 0;
    BitVector headCandidates(n);
    BitVector pendingCandidates(n);
    std::size_t headCount = 0;
    std::size_t pendingCount = 0;
    {
        OffsetFilter searchedLater(searching);
        for (std::size_t d = n; d-- > 0;) {
            const bool unlinked = startsUnlinked(d);
            if (!unlinked && !wantsSuccessor(d))
                continue;
            searchedLater.add(t.next(d));
            if (unlinked && searchedLater.mayHold(t.self(d))) {
                headCandidates.set(d);
                ++headCount;
            }
        }
    }
    {
        OffsetFilter searchedLater(searching);
        for (std::size_t d = n; d-- > 0;) {
            const bool wants = wantsSuccessor(d);
            if (!wants && !startsUnlinked(d))
                continue;
            if (wants && searchedLater.mayHold(t.next(d))) {
                pendingCandidates.set(d);
                ++pendingCount;
            }
            searchedLater.add(t.self(d));
        }
    }

    MailList list;
    std::vector<std::int32_t>& takenOff = list.putBack; // heads taken off as a found successor
    BitVector held(n); // the blocks the listed slots hold
    std::uint64_t pending = 0;
    {
        OffsetRuns runs(t, headCandidates, pendingCandidates, headCount + pendingCount);
        list.liveSlots = BitVector(n);

        for (std::size_t i = 0; i < n; ++i) {
            const auto d = static_cast<std::int32_t>(i);
            try {
                // The neighbour in the file continues the mail.
                bool wants;
                if (linksToNeighbour(i)) {
                    t.setNextIndex(i, d + 1);
                    t.setRole(i, BlockRole::Linked);
                    t.setHasPredecessor(i + 1);
                    wants = false;
                } else {
                    wants = t.next(i) != 0;
                    if (!wants)
                        t.setRole(i, BlockRole::LastBlock);
                }
                if (t.hasPredecessor(i) && !wants)
                    continue; // nothing to search for

                // By this block's nextOffset: the heads that continue it, and where it
                // waits if none does. By its selfOffset: the blocks waiting for it, and
                // where it is listed as a head.
                const OffsetRuns::Found byNext = runs.find(t.next(i));
                const OffsetRuns::Found bySelf = runs.find(t.self(i));

                // The first listed head that continues this block becomes its successor.
                auto takeSuccessorHead = [&](std::uint32_t& slot) {
                    if (runs.used(byNext.heads) == 0)
                        return false;
                    slot = runs.slotAt(byNext.heads.begin);
                    const std::uint32_t h = runs.blockAt(byNext.heads.begin);
                    t.setHasPredecessor(h);
                    t.setRole(h, roleOfFoundSuccessor(t.next(h)));
                    t.setNextIndex(i, static_cast<std::int32_t>(h));
                    return true;
                };
                // The latest block waiting for this one becomes its predecessor.
                auto takePendingPredecessor = [&] {
                    const std::size_t k = runs.used(bySelf.pending);
                    if (k == 0)
                        return false;
                    const std::uint32_t p = runs.blockAt(bySelf.pending.begin + k - 1);
                    t.setRole(i, BlockRole::Linked);
                    t.setHasPredecessor(i);
                    t.setNextIndex(p, d);
                    runs.popStack(bySelf.pending);
                    --pending;
                    return true;
                };
                // This block takes a list slot; its entry goes into the heads when it can
                // be found.
                auto place = [&](std::uint32_t slot) {
                    held.set(i);
                    if (headCandidates.test(i))
                        runs.pushHeap(bySelf.heads, slot, static_cast<std::uint32_t>(i));
                };

                std::uint32_t slot = kNone;
                if (!t.hasPredecessor(i)) {
                    const bool headFound = takeSuccessorHead(slot);
                    const bool predecessorFound = takePendingPredecessor();
                    if (headFound && predecessorFound)
                        continue; // joined two chains; the old head stays listed
                    if (headFound) {
                        t.setRole(i, BlockRole::MailHead); // the chain now starts here
                        held.reset(static_cast<std::size_t>(t.nextIndex(i)));
                        runs.popHeap(byNext.heads);
                        place(slot);
                        continue;
                    }
                    if (!predecessorFound) {
                        list.liveSlots.set(i);
                        t.setRole(i, BlockRole::MailHead);
                        place(static_cast<std::uint32_t>(i));
                    }
                }

                if (wants) {
                    const bool headFound = takeSuccessorHead(slot);
                    if (headFound) { // that head no longer starts a mail
                        held.reset(static_cast<std::size_t>(t.nextIndex(i)));
                        takenOff.push_back(t.nextIndex(i));
                        runs.popHeap(byNext.heads);
                        list.liveSlots.reset(slot);
                    }
                    const bool predecessorFound = takePendingPredecessor();
                    if (!headFound && !predecessorFound) {
                        ++pending;
                        if (pendingCandidates.test(i))
                            runs.pushStack(byNext.pending, static_cast<std::uint32_t>(i));
                    }
                }
            } catch (...) {
                log.error(strprintf("Exception in linking object=%d", d));
            }
        }
    }
    headCandidates.release();
    pendingCandidates.release();
    noteTakenOverSlots(t, held, list);
    held.release();
    list.slotCount = list.liveSlots.count();

    // A head taken off because a later block links to it is normally reached again from
    // that block's own head. When nothing reaches it, its chain looped back to its start:
    // the mail goes back on the list, after all others.
    if (!takenOff.empty()) {
        BitVector reached(n);
        std::vector<std::int32_t> candidates;
        candidates.swap(takenOff);
        list.forEach(false, [&](std::size_t, std::uint32_t b) { markChain(t, b, reached); });
        for (std::int32_t h : candidates) {
            const auto head = static_cast<std::uint32_t>(h);
            if (reached.test(head))
                continue;
            t.setRole(head, BlockRole::MailHead);
            takenOff.push_back(h);
            markChain(t, head, reached);
        }
    }

    log.error(strprintf("Total %llu suspecious object identified",
                        static_cast<unsigned long long>(pending)));

    // Drop the chains whose last block links to a block that was never found, looking
    // from the last entry to the first.
    ChainEnds<Access> ends(t, list);
    list.forEach(true, [&](std::size_t e, std::uint32_t head) {
        const std::uint32_t last = ends.brokenEnd(head);
        if (last != kNone)
            log.error(strprintf("Mail %zu rejected as last object in chain has nextoffset=%x", e,
                                t.next(last)));
    });
    list.forEach(false, [&](std::size_t, std::uint32_t head) {
        if (!ends.isBroken(head))
            mailHeads.push_back(static_cast<std::int32_t>(head));
    });

    log.exec(strprintf("%zu Mail headers identified", mailHeads.size()));
    return static_cast<std::int32_t>(mailHeads.size());
}

template <typename Access>
std::int32_t linkSafely(Access t, std::vector<std::int32_t>& mailHeads, const Logger& log)
{
    try {
        if (t.size() > PackedBlockTable::kMaxBlocks) { // block numbers take 29 bits here
            mailHeads.clear();
            log.error(strprintf("Too many objects to link: %zu", t.size()));
            return 0;
        }
        return link(t, mailHeads, log);
    } catch (...) {
        // Out of memory for the indexes: the file ends here, with nothing linked.
        mailHeads.clear();
        try {
            log.error(strprintf("Exception in linking %zu objects", t.size()));
        } catch (...) {
        }
        return 0;
    }
}

} // namespace

std::int32_t linkChains(BlockTable& table, std::vector<std::int32_t>& mailHeads, const Logger& log)
{
    return linkSafely(PlainAccess {table}, mailHeads, log);
}

std::int32_t linkChains(PackedBlockTable& table, std::vector<std::int32_t>& mailHeads,
                        const Logger& log)
{
    return linkSafely(PackedAccess {table}, mailHeads, log);
}

} // namespace mailmend::dbx
