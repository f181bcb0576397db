// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

#include "dbx/block_table.h"
#include "dbx/packed_block_table.h"
#include "log/log.h"

namespace mailmend::dbx {

// Links the blocks of `table` into mail chains by matching each block's nextOffset with
// another block's selfOffset, fills `mailHeads` (emptied first) with the table index of
// each mail's first block, in mail order, and returns the number of mails.
//
// The result is the one of the classic two-list procedure (walk the table in order; look
// for a block's successor among the mail heads from the first, for its predecessor among
// the blocks still waiting for a successor from the most recent), so mail numbers stay
// what users and their old logs know. Here both lists are indexed by offset, which keeps
// the cost at n log n instead of n².
//
// A chain whose blocks loop back to its own first block would lose its head under that
// procedure; such heads are put back at the end of the list. Chains that end in a link
// to a block that was never found are dropped with a logged reason.
//
// Beyond the table, the linker keeps a few bits a block and entries only for the blocks
// that can be found by an offset search (a block whose predecessor or successor lies
// elsewhere than right before or after it). When memory for those runs out, the result
// is no mails, logged; no exception leaves.
std::int32_t linkChains(BlockTable& table, std::vector<std::int32_t>& mailHeads,
                        const Logger& log);
std::int32_t linkChains(PackedBlockTable& table, std::vector<std::int32_t>& mailHeads,
                        const Logger& log);

} // namespace mailmend::dbx
