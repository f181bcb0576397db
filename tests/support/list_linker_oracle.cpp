// SPDX-License-Identifier: GPL-3.0-or-later
#include "log/text.h"
#include "support/list_linker_oracle.h"

#include <cstdio>

namespace mailmend::testing {
namespace {

using dbx::BlockRole;
using dbx::BlockTable;

using mailmend::strprintf;

// Position of the first entry of `heads` whose block has this selfOffset, or -1.
int firstHeadWithSelfOffset(const BlockTable& b, const std::vector<std::int32_t>& heads,
                            std::uint32_t selfOffset)
{
    const dbx::BlockRecord* block = b.data();
    const std::int32_t* entry = heads.data();
    const int count = static_cast<int>(heads.size());
    for (int j = 0; j < count; ++j)
        if (block[entry[j]].selfOffset == selfOffset)
            return j;
    return -1;
}

// Position of the last entry of `pending` whose block has this nextOffset, or -1.
int lastPendingWithNextOffset(const BlockTable& b, const std::vector<std::int32_t>& pending,
                              std::uint32_t nextOffset)
{
    const dbx::BlockRecord* block = b.data();
    const std::int32_t* entry = pending.data();
    for (int k = static_cast<int>(pending.size()) - 1; k >= 0; --k)
        if (block[entry[k]].nextOffset == nextOffset)
            return k;
    return -1;
}

// Marks every block met on the walk from `start` along nextIndex, up to the end of the
// chain or the first block met twice.
void markWalk(const BlockTable& b, std::int32_t start, std::vector<bool>& marked)
{
    std::vector<bool> visited(b.size(), false);
    for (std::int32_t x = start; x != -1 && !visited[x]; x = b[x].nextIndex) {
        visited[x] = true;
        marked[x] = true;
    }
}

// The block the walk from `start` stops at: the one without a successor, or the one whose
// successor the walk has already visited.
std::int32_t lastBlockOfWalk(const BlockTable& b, std::int32_t start)
{
    std::vector<bool> visited(b.size(), false);
    visited[start] = true;
    std::int32_t x = start;
    while (b[x].nextIndex != -1 && !visited[b[x].nextIndex]) {
        x = b[x].nextIndex;
        visited[x] = true;
    }
    return x;
}

BlockRole roleAsSuccessor(const dbx::BlockRecord& block)
{
    return block.nextOffset == 0 ? BlockRole::LastBlock : BlockRole::Linked;
}

} // namespace

ListLinkResult linkByLists(const dbx::BlockTable& input)
{
    ListLinkResult result;
    result.table = input;
    BlockTable& b = result.table;
    std::vector<std::int32_t>& heads = result.mailHeads;
    std::vector<std::int32_t> pending;
    std::vector<std::int32_t> takenOff; // in the order they left the mail-head list
    const int n = static_cast<int>(b.size());

    for (int d = 0; d < n; ++d) {
        // The block right after d in the file may be its successor.
        bool wantsSuccessor = false;
        if (d + 1 < n && b[d].nextOffset == b[d + 1].selfOffset) {
            b[d].nextIndex = d + 1;
            b[d].role = BlockRole::Linked;
            b[d + 1].hasPredecessor = true;
        } else {
            wantsSuccessor = b[d].nextOffset != 0;
            if (b[d].nextOffset == 0)
                b[d].role = BlockRole::LastBlock;
        }

        // A block nobody links to yet: its successor among the heads, its predecessor
        // among the pending blocks.
        if (!b[d].hasPredecessor) {
            const int j = firstHeadWithSelfOffset(b, heads, b[d].nextOffset);
            if (j != -1) {
                const std::int32_t h = heads[j];
                b[h].hasPredecessor = true;
                b[h].role = roleAsSuccessor(b[h]);
                b[d].nextIndex = h;
            }
            const int k = lastPendingWithNextOffset(b, pending, b[d].selfOffset);
            if (k != -1) {
                const std::int32_t p = pending[k];
                b[d].role = BlockRole::Linked;
                b[d].hasPredecessor = true;
                b[p].nextIndex = d;
                pending.erase(pending.begin() + k);
            }
            if (j != -1 && k != -1) {
                ++result.joins;
                continue;
            }
            if (j != -1) {
                b[d].role = BlockRole::MailHead;
                heads[j] = d;
                ++result.replacedHeads;
                continue;
            }
            if (k == -1) {
                heads.push_back(d);
                b[d].role = BlockRole::MailHead;
            }
        }

        // A block still looking for its successor.
        if (wantsSuccessor) {
            const int j = firstHeadWithSelfOffset(b, heads, b[d].nextOffset);
            if (j != -1) {
                const std::int32_t h = heads[j];
                b[h].hasPredecessor = true;
                b[h].role = roleAsSuccessor(b[h]);
                b[d].nextIndex = h;
                heads.erase(heads.begin() + j);
                takenOff.push_back(h);
                ++result.takenOff;
            }
            const int k = lastPendingWithNextOffset(b, pending, b[d].selfOffset);
            if (k != -1) {
                const std::int32_t p = pending[k];
                b[d].role = BlockRole::Linked;
                b[d].hasPredecessor = true;
                b[p].nextIndex = d;
                pending.erase(pending.begin() + k);
            }
            if (j == -1 && k == -1)
                pending.push_back(d);
        }
    }

    // The loop mend: a head taken off the list that no listed entry (whatever its role)
    // reaches any more goes back at the end, in the order the heads were taken off.
    std::vector<bool> reachedFromListed(b.size(), false);
    for (std::int32_t h : heads)
        markWalk(b, h, reachedFromListed);
    std::vector<bool> reachedFromPutBack(b.size(), false);
    for (std::int32_t h : takenOff) {
        if (reachedFromListed[h])
            continue;
        if (reachedFromPutBack[h]) {
            ++result.putBackSkipped;
            continue;
        }
        b[h].role = BlockRole::MailHead;
        heads.push_back(h);
        markWalk(b, h, reachedFromPutBack);
        ++result.putBack;
    }

    result.log.push_back(
        {strprintf("Total %d suspecious object identified", static_cast<int>(pending.size())), true});

    // Head validation, from the last entry to the first.
    for (int e = static_cast<int>(heads.size()) - 1; e >= 0; --e) {
        const std::int32_t last = lastBlockOfWalk(b, heads[e]);
        if (b[last].nextIndex == -1 && b[last].nextOffset != 0) {
            heads.erase(heads.begin() + e);
            ++result.rejected;
            result.log.push_back(
                {strprintf("Mail %d rejected as last object in chain has nextoffset=%x", e,
                        b[last].nextOffset),
                 true});
        }
    }

    result.log.push_back(
        {strprintf("%d Mail headers identified", static_cast<int>(heads.size())), false});
    return result;
}

} // namespace mailmend::testing
