// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "dbx/block_table.h"
#include "support/recording.h"

namespace mailmend::testing {

inline std::ostream& operator<<(std::ostream& out, const LogLine& line)
{
    return out << (line.isError ? "error: " : "exec: ") << '"' << line.message << '"';
}

// What the list procedure made of a block table.
struct ListLinkResult {
    dbx::BlockTable table; // the input with role, nextIndex and hasPredecessor filled in
    std::vector<std::int32_t> mailHeads;
    std::vector<LogLine> log;

    // How often the less common paths were taken, so that a random run can show that it
    // reached them.
    int replacedHeads = 0;  // a block took over the entry of the head it links to
    int joins = 0;          // a block joined two chains; the old head stayed listed
    int takenOff = 0;       // heads removed from the list as somebody's successor
    int putBack = 0;        // of those, the ones the loop mend listed again
    int putBackSkipped = 0; // not listed again only because an earlier put-back reaches it
    int rejected = 0;       // heads dropped because their chain ends in a broken link
};

// Links the table the slow, obvious way: the mail-head list and the pending list are
// plain arrays searched from end to end, entries are erased in place, and every walk
// along nextIndex keeps its own set of visited blocks. Heads whose chain looped back to
// its own first block are listed again at the end. Used to check the real linker, which
// must give the same result.
ListLinkResult linkByLists(const dbx::BlockTable& table);

} // namespace mailmend::testing
