// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/file_reader.h"

namespace mailmend::platform {

// Serves many small reads (one mail block at a time) from a window read ahead from the
// file, so that a chain whose blocks lie one after another costs one system call per
// window instead of one per block. The window shrinks while reads jump about (blocks in
// shuffled order) and grows again while they stay inside it.
class ReadWindow {
public:
    static constexpr std::size_t kSmallest = 4 * 1024;
    static constexpr std::size_t kLargest = 1024 * 1024;

    explicit ReadWindow(ReadableFile& file) : m_file(file) {}

    // Same contract as ReadableFile::readAt.
    std::size_t readAt(std::uint64_t position, void* buffer, std::size_t count);

private:
    ReadableFile& m_file;
    std::vector<unsigned char> m_data;
    std::uint64_t m_start = 0;  // file position of m_data[0]
    std::size_t m_valid = 0;    // bytes of m_data that hold file data
    std::size_t m_size = 64 * 1024;
    std::size_t m_hits = 0;     // reads served by the current window
};

} // namespace mailmend::platform
