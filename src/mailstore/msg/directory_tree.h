// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace mailmend::platform {
class RandomAccessFile;
}

namespace mailmend::mailstore::msg {

// Rebuilds, in a finished compound file, the children of every storage as a balanced
// red-black tree in the container's name order (length first, then upper-cased code
// units). The entries themselves stay where they are; only their left, right and child
// links and their colours change. False, with `error` set, when the file does not read
// as a compound file (its allocation table or directory chain is broken).
bool balanceDirectoryTrees(platform::RandomAccessFile& file, std::string& error);

} // namespace mailmend::mailstore::msg
