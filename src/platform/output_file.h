// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>

namespace mailmend::platform {

// A file created (or truncated) for writing, buffered. Every failure is remembered, so
// a mail whose bytes did not all reach the disk is never reported as written.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the file (see createNewFile: a plain file there is replaced, a link is
    // refused). False when the system refuses. `mode` before the umask.
    bool create(const std::filesystem::path& path, unsigned mode = 0666);
    bool isOpen() const { return m_fd >= 0; }

    void write(const void* data, std::size_t count);

    // Flushes and closes. True when every write and the close itself succeeded.
    bool close();

private:
    void flush();
    void writeOut(const char* data, std::size_t count);

    int m_fd = -1;
    bool m_failed = false;
    std::unique_ptr<char[]> m_buffer; // large enough that most mails are one write
    std::size_t m_used = 0;           // bytes of m_buffer that hold data
};

} // namespace mailmend::platform
