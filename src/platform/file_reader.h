// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace mailmend::platform {

// A file opened for reading, addressed with 64-bit positions. The readers only ever read
// through this interface, so tests can hand them a file that fails or comes up short.
class ReadableFile {
public:
    virtual ~ReadableFile() = default;

    // Size in bytes as the system reports it now.
    virtual std::uint64_t size() const = 0;

    // Reads up to `count` bytes at `position`. Returns how many bytes arrived: fewer than
    // asked only at the end of the file or on a read error.
    virtual std::size_t readAt(std::uint64_t position, void* buffer, std::size_t count) = 0;
};

struct OpenResult {
    std::unique_ptr<ReadableFile> file; // null on failure
    std::string error;                  // the system's reason when `file` is null
};

// Opens a regular file (or a block device) read-only. Directories and other special
// files are refused. The source file is never opened for writing.
OpenResult openForReading(const std::filesystem::path& path);

} // namespace mailmend::platform
