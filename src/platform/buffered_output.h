// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace mailmend::platform {

// A file written front to back through a large buffer, whose write position can also
// be moved back to overwrite what was written last. The file ends where the write
// position stands when it is closed: bytes stepped back over and not written again are
// cut off, never left behind as stale data.
class BufferedOutputFile {
public:
    explicit BufferedOutputFile(std::size_t bufferSize = 1 << 20);
    ~BufferedOutputFile();
    BufferedOutputFile(const BufferedOutputFile&) = delete;
    BufferedOutputFile& operator=(const BufferedOutputFile&) = delete;

    // Creates the file (see createNewFile: a plain file there is replaced, a link is
    // refused). False when the system refuses. `mode` before the umask.
    bool create(const std::filesystem::path& path, unsigned mode = 0666);
    bool isOpen() const { return m_fd >= 0; }

    void write(const void* data, std::size_t count);
    void put(std::uint8_t byte)
    {
        if (m_used == m_buffer.size())
            flush();
        m_buffer[m_used++] = byte;
    }

    // Moves the write position back by `count` bytes; when fewer than `count` bytes lie
    // before it, the position stays.
    void stepBack(std::size_t count);
    std::uint64_t position() const { return m_base + m_used; }

    // Sends what is buffered to the file now.
    void flush();
    // True once a write did not reach the file. After stepping back before every byte
    // written since the failure, clearFailure() makes the file whole again.
    bool failed() const { return m_failed; }
    void clearFailure() { m_failed = false; }

    // Writes what is buffered, cuts the file at the write position and closes it. True
    // when every write, the cut and the close succeeded.
    bool close();

private:
    void writeRun(const std::uint8_t* data, std::size_t count);

    int m_fd = -1;
    bool m_failed = false;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_used = 0;  // bytes of m_buffer that hold data
    std::uint64_t m_base = 0; // file position of m_buffer[0]
    std::uint64_t m_extent = 0; // end of what was sent to the file: past it, all reads as zeros
};

} // namespace mailmend::platform
