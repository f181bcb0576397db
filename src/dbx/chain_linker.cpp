// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbx/chain_linker.h"

#include <algorithm>
#include <functional>

#include "log/text.h"

namespace mailmend::dbx {
namespace {

constexpr std::uint32_t kNone = UINT32_MAX;

template <typename T>
void release(std::vector<T>& v)
{
    std::vector<T>().swap(v);
}

// Table indices ordered by one 32-bit field, as keys (value << 32 | index). For large
// tables a stable two-pass radix sort on the value keeps equal values in table order,
// in linear time.
template <typename Field>
std::vector<std::uint64_t> sortedKeys(const BlockTable& table, Field field,
                                      std::vector<std::uint64_t>& scratch)
{
    const std::size_t n = table.size();
    std::vector<std::uint64_t> keys(n);
    for (std::size_t i = 0; i < n; ++i)
        keys[i] = (std::uint64_t {field(table[i])} << 32) | i;
    if (n < 16384) { // the radix passes' counters cost more than sorting a small table
        std::sort(keys.begin(), keys.end());
        return keys;
    }
    scratch.resize(n);
    std::vector<std::uint32_t> counts(1u << 16);
    for (const unsigned shift : {32u, 48u}) {
        std::fill(counts.begin(), counts.end(), 0);
        for (std::uint64_t k : keys)
            ++counts[(k >> shift) & 0xFFFF];
        std::uint32_t sum = 0;
        for (auto& c : counts) {
            const std::uint32_t here = c;
            c = sum;
            sum += here;
        }
        for (std::uint64_t k : keys)
            scratch[counts[(k >> shift) & 0xFFFF]++] = k;
        keys.swap(scratch);
    }
    return keys;
}

// For every block, the position in `keys` where its run of equal values starts.
std::vector<std::uint32_t> runStarts(const std::vector<std::uint64_t>& keys)
{
    std::vector<std::uint32_t> own(keys.size());
    std::uint32_t start = 0;
    for (std::size_t s = 0; s < keys.size(); ++s) {
        if (s == 0 || (keys[s] >> 32) != (keys[s - 1] >> 32))
            start = static_cast<std::uint32_t>(s);
        own[keys[s] & 0xFFFFFFFFu] = start;
    }
    return own;
}

// For every block (walked in `probe` order, ascending by the probed value), the start of
// the run in `runs` whose value equals it, or kNone. Both are sorted, so one merge does.
std::vector<std::uint32_t> matchingRuns(const std::vector<std::uint64_t>& probe,
                                        const std::vector<std::uint64_t>& runs)
{
    std::vector<std::uint32_t> match(probe.size(), kNone);
    std::size_t r = 0;
    for (std::uint64_t k : probe) {
        const std::uint64_t value = k >> 32;
        while (r < runs.size() && (runs[r] >> 32) < value)
            ++r;
        if (r < runs.size() && (runs[r] >> 32) == value)
            match[k & 0xFFFFFFFFu] = static_cast<std::uint32_t>(r);
    }
    return match;
}

// Blocks grouped by selfOffset and by nextOffset: a group is a run of positions in the
// sorted order, named by the position where it starts.
struct Groups {
    std::vector<std::uint32_t> bySelf;         // group of the block by its selfOffset
    std::vector<std::uint32_t> byNext;         // group of the block by its nextOffset
    std::vector<std::uint32_t> successorGroup; // selfOffset group equal to its nextOffset
    std::vector<std::uint32_t> predecessorGroup; // nextOffset group equal to its selfOffset
};

Groups groupBlocks(const BlockTable& table)
{
    std::vector<std::uint64_t> scratch;
    const auto selfKeys = sortedKeys(table, [](const BlockRecord& b) { return b.selfOffset; }, scratch);
    const auto nextKeys = sortedKeys(table, [](const BlockRecord& b) { return b.nextOffset; }, scratch);
    release(scratch);
    Groups g;
    g.bySelf = runStarts(selfKeys);
    g.byNext = runStarts(nextKeys);
    g.successorGroup = matchingRuns(nextKeys, selfKeys);
    g.predecessorGroup = matchingRuns(selfKeys, nextKeys);
    return g;
}

// The mail-head list: slots in list order, each holding a block index or -1 once the
// entry is removed, so positions never shift. Per selfOffset group a min-heap of the
// slots whose block has that selfOffset answers "the first head with this selfOffset".
// Every block enters the list at most once, so a group's heap fits in its own run.
class HeadList {
public:
    HeadList(std::size_t n, std::vector<std::uint32_t> groupOfBlock)
        : m_groupOfBlock(std::move(groupOfBlock)), m_heap(n), m_size(n, 0)
    {
        m_slots.reserve(n);
    }

    std::uint32_t firstSlotIn(std::uint32_t group) const
    {
        return (group == kNone || m_size[group] == 0) ? kNone : m_heap[group];
    }
    std::int32_t blockAt(std::uint32_t slot) const { return m_slots[slot]; }

    void append(std::int32_t block)
    {
        m_slots.push_back(block);
        push(m_groupOfBlock[block], static_cast<std::uint32_t>(m_slots.size() - 1));
    }

    // The first head of `group` (at `slot`) is removed, or replaced by `block`.
    void removeFirst(std::uint32_t group, std::uint32_t slot)
    {
        popFirst(group);
        m_slots[slot] = -1;
    }
    void replaceFirst(std::uint32_t group, std::uint32_t slot, std::int32_t block)
    {
        popFirst(group);
        m_slots[slot] = block;
        push(m_groupOfBlock[block], slot);
    }

    std::vector<std::int32_t> liveEntries() const
    {
        std::vector<std::int32_t> out;
        for (std::int32_t b : m_slots)
            if (b >= 0)
                out.push_back(b);
        return out;
    }

private:
    void push(std::uint32_t group, std::uint32_t slot)
    {
        std::uint32_t* first = m_heap.data() + group;
        first[m_size[group]++] = slot;
        std::push_heap(first, first + m_size[group], std::greater<> {});
    }
    void popFirst(std::uint32_t group)
    {
        std::uint32_t* first = m_heap.data() + group;
        std::pop_heap(first, first + m_size[group], std::greater<> {});
        --m_size[group];
    }

    std::vector<std::uint32_t> m_groupOfBlock;
    std::vector<std::uint32_t> m_heap;
    std::vector<std::uint32_t> m_size; // by group
    std::vector<std::int32_t> m_slots;
};

// The blocks waiting for a successor. Blocks join in increasing table order and the
// search takes the most recent match, which is always the top of the stack of blocks
// with that nextOffset.
class PendingList {
public:
    PendingList(std::size_t n, std::vector<std::uint32_t> groupOfBlock)
        : m_groupOfBlock(std::move(groupOfBlock)), m_stack(n), m_size(n, 0)
    {
    }

    std::uint32_t lastIn(std::uint32_t group) const
    {
        return (group == kNone || m_size[group] == 0) ? kNone
                                                      : m_stack[group + m_size[group] - 1];
    }
    void removeLast(std::uint32_t group) { --m_size[group]; }
    void append(std::uint32_t block)
    {
        const std::uint32_t group = m_groupOfBlock[block];
        m_stack[group + m_size[group]++] = block;
    }
    std::uint64_t count() const
    {
        std::uint64_t total = 0;
        for (std::uint32_t s : m_size)
            total += s;
        return total;
    }

private:
    std::vector<std::uint32_t> m_groupOfBlock;
    std::vector<std::uint32_t> m_stack;
    std::vector<std::uint32_t> m_size; // by group
};

BlockRole roleOfFoundSuccessor(const BlockRecord& block)
{
    return block.nextOffset == 0 ? BlockRole::LastBlock : BlockRole::Linked;
}

// Marks every block reachable from `start` along nextIndex; stops at marked blocks.
void markChain(const BlockTable& table, std::int32_t start, std::vector<bool>& reached)
{
    for (std::int32_t b = start; b >= 0 && !reached[b]; b = table[b].nextIndex)
        reached[b] = true;
}

// For every block: the block with no successor that its chain ends in, or kNone when the
// chain runs into a loop. A chain's walk stops at a revisited block, so a looping chain
// never ends in a broken link.
class ChainEnds {
public:
    explicit ChainEnds(const BlockTable& table) : m_table(table), m_end(table.size(), kUnknown) {}

    std::uint32_t endOf(std::uint32_t start)
    {
        std::uint32_t b = start;
        std::uint32_t result = kNone;
        m_path.clear();
        for (;;) {
            if (m_end[b] == kWalking) { result = kNone; break; }
            if (m_end[b] != kUnknown) { result = m_end[b]; break; }
            m_end[b] = kWalking;
            m_path.push_back(b);
            if (m_table[b].nextIndex < 0) { result = b; break; }
            b = static_cast<std::uint32_t>(m_table[b].nextIndex);
        }
        for (std::uint32_t p : m_path)
            m_end[p] = result;
        return result;
    }

private:
    static constexpr std::uint32_t kUnknown = UINT32_MAX - 1;
    static constexpr std::uint32_t kWalking = UINT32_MAX - 2;
    const BlockTable& m_table;
    std::vector<std::uint32_t> m_end;
    std::vector<std::uint32_t> m_path;
};

} // namespace

std::int32_t linkChains(BlockTable& table, std::vector<std::int32_t>& mailHeads, const Logger& log)
{
    mailHeads.clear();
    const std::size_t n = table.size();

    std::vector<std::int32_t> putBackCandidates; // heads taken off as a found successor
    std::uint64_t suspicious = 0;
    std::vector<std::int32_t> heads;
    {
        Groups groups = groupBlocks(table);
        const std::vector<std::uint32_t> successorGroup = std::move(groups.successorGroup);
        const std::vector<std::uint32_t> predecessorGroup = std::move(groups.predecessorGroup);
        HeadList headList(n, std::move(groups.bySelf));
        PendingList pending(n, std::move(groups.byNext));

        for (std::size_t i = 0; i < n; ++i) {
            const auto d = static_cast<std::int32_t>(i);
            try {
                BlockRecord& block = table[i];

                // The neighbour in the file continues the mail.
                bool wantsSuccessor;
                if (i + 1 < n && block.nextOffset == table[i + 1].selfOffset) {
                    block.nextIndex = d + 1;
                    block.role = BlockRole::Linked;
                    table[i + 1].hasPredecessor = true;
                    wantsSuccessor = false;
                } else {
                    wantsSuccessor = block.nextOffset != 0;
                    if (!wantsSuccessor)
                        block.role = BlockRole::LastBlock;
                }

                // The first listed head that continues this block becomes its successor.
                const std::uint32_t headGroup = successorGroup[i];
                auto takeSuccessorHead = [&] {
                    const std::uint32_t slot = headList.firstSlotIn(headGroup);
                    if (slot != kNone) {
                        const std::int32_t h = headList.blockAt(slot);
                        table[h].hasPredecessor = true;
                        table[h].role = roleOfFoundSuccessor(table[h]);
                        block.nextIndex = h;
                    }
                    return slot;
                };
                // The latest block waiting for this one becomes its predecessor.
                const std::uint32_t predGroup = predecessorGroup[i];
                auto takePendingPredecessor = [&] {
                    const std::uint32_t p = pending.lastIn(predGroup);
                    if (p != kNone) {
                        block.role = BlockRole::Linked;
                        block.hasPredecessor = true;
                        table[p].nextIndex = d;
                        pending.removeLast(predGroup);
                    }
                    return p != kNone;
                };

                if (!block.hasPredecessor) {
                    const std::uint32_t headSlot = takeSuccessorHead();
                    const bool predecessorFound = takePendingPredecessor();
                    if (headSlot != kNone && predecessorFound)
                        continue; // joined two chains; the old head stays listed
                    if (headSlot != kNone) {
                        block.role = BlockRole::MailHead; // the chain now starts here
                        headList.replaceFirst(headGroup, headSlot, d);
                        continue;
                    }
                    if (!predecessorFound) {
                        headList.append(d);
                        block.role = BlockRole::MailHead;
                    }
                }

                if (wantsSuccessor) {
                    const std::uint32_t headSlot = takeSuccessorHead();
                    if (headSlot != kNone) { // that head no longer starts a mail
                        putBackCandidates.push_back(headList.blockAt(headSlot));
                        headList.removeFirst(headGroup, headSlot);
                    }
                    const bool predecessorFound = takePendingPredecessor();
                    if (headSlot == kNone && !predecessorFound)
                        pending.append(static_cast<std::uint32_t>(i));
                }
            } catch (...) {
                log.error(strprintf("Exception in linking object=%d", d));
            }
        }
        heads = headList.liveEntries();
        suspicious = pending.count();
    }

    // A head taken off because a later block links to it is normally reached again from
    // that block's own head. When nothing reaches it, its chain looped back to its start:
    // the mail goes back on the list, after all others.
    if (!putBackCandidates.empty()) {
        std::vector<bool> reached(n, false);
        for (std::int32_t h : heads)
            markChain(table, h, reached);
        for (std::int32_t h : putBackCandidates) {
            if (reached[h])
                continue;
            table[h].role = BlockRole::MailHead;
            heads.push_back(h);
            markChain(table, h, reached);
        }
    }

    log.error(strprintf("Total %llu suspecious object identified",
                        static_cast<unsigned long long>(suspicious)));

    // Drop the chains whose last block links to a block that was never found.
    ChainEnds ends(table);
    std::vector<bool> rejected(heads.size(), false);
    for (std::size_t e = heads.size(); e-- > 0;) {
        const std::uint32_t last = ends.endOf(static_cast<std::uint32_t>(heads[e]));
        if (last != kNone && table[last].nextOffset != 0) {
            rejected[e] = true;
            log.error(strprintf("Mail %zu rejected as last object in chain has nextoffset=%x", e,
                                table[last].nextOffset));
        }
    }
    for (std::size_t e = 0; e < heads.size(); ++e)
        if (!rejected[e])
            mailHeads.push_back(heads[e]);

    log.exec(strprintf("%zu Mail headers identified", mailHeads.size()));
    return static_cast<std::int32_t>(mailHeads.size());
}

} // namespace mailmend::dbx
