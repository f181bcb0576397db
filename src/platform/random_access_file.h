// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace mailmend::platform {

// A file a store writer builds by offset: it appends data, then goes back to fill in
// indexes and a header. Unlike BufferedOutputFile, closing keeps the file's length.
// The file is never reached through a symbolic link, and every failure is remembered,
// so a store whose bytes did not all reach the disk is never reported as written.
class RandomAccessFile {
public:
    RandomAccessFile() = default;
    ~RandomAccessFile();
    RandomAccessFile(const RandomAccessFile&) = delete;
    RandomAccessFile& operator=(const RandomAccessFile&) = delete;

    // Creates a new empty file; a plain file of that name is replaced, anything else
    // there (a symbolic link, a directory) makes it fail. `mode` before the umask.
    bool create(const std::filesystem::path& path, unsigned mode = 0666);
    // Opens an existing plain file for reading and writing.
    bool openExisting(const std::filesystem::path& path);
    bool isOpen() const { return m_fd >= 0; }

    // Writes all of `count` bytes at `offset`, growing the file as needed.
    bool writeAt(std::uint64_t offset, const void* data, std::size_t count);
    // Reads up to `count` bytes at `offset`; returns how many arrived.
    std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t count);
    // The file's length now (the end of the furthest write).
    std::uint64_t size() const;

    // Sends what was written to the disk.
    bool flush();
    // Closes the file. True when every write, the flush and the close succeeded.
    bool close();

    bool failed() const { return m_failed; }
    // After a failed write whose bytes the caller has given up (the file is whole without
    // them), the file counts as whole again.
    void clearFailure() { m_failed = false; }
    const std::string& lastError() const { return m_error; }

private:
    void fail(int error);

    int m_fd = -1;
    bool m_failed = false;
    std::string m_error;
};

} // namespace mailmend::platform
