// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <vector>

#include "platform/file_reader.h"
#include "platform/mapped_file.h"

namespace mailmend::testing {

// A ReadableFile over bytes in memory, for the readers without a disk.
std::unique_ptr<platform::ReadableFile> memoryFile(std::vector<unsigned char> bytes);

// A FileMapping over bytes in memory. Each window is a copy of just its bytes in a block
// of its own, so that a read past a window's end is caught by the address sanitizer just
// as it would fault past a real mapping. Empty bytes are refused, as the system refuses
// to map an empty file.
platform::MappingResult memoryMapping(std::vector<unsigned char> bytes);

} // namespace mailmend::testing
