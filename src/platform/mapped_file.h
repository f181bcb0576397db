// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace mailmend::platform {

// One window of a file: a read-only range of its bytes held in memory. Mapping a new
// range lets go of the one mapped before.
class MappedView {
public:
    virtual ~MappedView() = default;

    // Maps `length` bytes from `start`, which must be a multiple of
    // mappingGranularity(); the range must lie inside the file. Null when the system
    // refuses, or when a page of the window cannot be read (a failing disk, a file cut
    // short meanwhile); the caller ends the step that needed the bytes. `whole` says that every
    // byte of the window will be read, so the system may bring it all in at once.
    virtual const std::uint8_t* map(std::uint64_t start, std::size_t length, bool whole = false) = 0;
    virtual void unmap() = 0;
};

// A file opened read-only for mapping. The file is never read whole: callers look at it
// through views, one window at a time, and may hold several views at once.
class FileMapping {
public:
    virtual ~FileMapping() = default;
    virtual std::uint64_t size() const = 0;
    virtual std::unique_ptr<MappedView> newView() = 0;
};

struct MappingResult {
    std::unique_ptr<FileMapping> mapping; // null on failure
    std::string error;                    // the reason when `mapping` is null
};

// Opens an existing regular file for mapping. An empty file cannot be mapped and is
// refused, as are directories and special files.
MappingResult mapFileForReading(const std::filesystem::path& path);

// The unit a window's start must be a multiple of (the page size here).
std::size_t mappingGranularity();

} // namespace mailmend::platform
