// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/buffered_output.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "platform/posix_open.h"
#include "platform/system_calls.h"

namespace mailmend::platform {
namespace {

bool allZero(const std::uint8_t* data, std::size_t count)
{
    return count == 0 || (data[0] == 0 && std::memcmp(data, data + 1, count - 1) == 0);
}

} // namespace

BufferedOutputFile::BufferedOutputFile(std::size_t bufferSize)
    : m_buffer(bufferSize < 16 ? 16 : bufferSize)
{
}

BufferedOutputFile::~BufferedOutputFile()
{
    close();
}

bool BufferedOutputFile::create(const std::filesystem::path& path, unsigned mode)
{
    close();
    m_failed = false;
    m_used = 0;
    m_base = 0;
    m_extent = 0;
    std::string error;
    m_fd = createNewFile(path, mode, O_WRONLY, error);
    return m_fd >= 0;
}

void BufferedOutputFile::write(const void* data, std::size_t count)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (count >= m_buffer.size()) { // large runs go straight to the file
        flush();
        writeRun(bytes, count);
        return;
    }
    if (m_buffer.size() - m_used < count)
        flush();
    std::memcpy(m_buffer.data() + m_used, bytes, count);
    m_used += count;
}

void BufferedOutputFile::stepBack(std::size_t count)
{
    if (position() < count)
        return;
    if (m_used >= count) {
        m_used -= count;
        return;
    }
    // The position moves back into what already reached the file: later writes
    // overwrite it there.
    flush();
    m_base -= count;
}

void BufferedOutputFile::flush()
{
    if (m_used == 0)
        return;
    writeRun(m_buffer.data(), m_used);
    m_used = 0;
}

void BufferedOutputFile::writeRun(const std::uint8_t* data, std::size_t count)
{
    // Zeros past everything written are left as a hole: close() sets the length, and a
    // hole reads as zeros. A damaged folder's zeroed stretches can run to gigabytes.
    if (m_fd < 0) {
        m_failed = true;
    } else if (m_base < m_extent || !allZero(data, count)) {
        if (!sys::writeAllAt(m_fd, data, count, m_base))
            m_failed = true;
        m_extent = std::max(m_extent, m_base + count);
    }
    m_base += count;
}

bool BufferedOutputFile::close()
{
    if (m_fd < 0)
        return false;
    flush();
    if (sys::truncateFile(m_fd, m_base) != 0)
        m_failed = true;
    const bool closed = sys::closeWritten(m_fd) == 0;
    m_fd = -1;
    return closed && !m_failed;
}

} // namespace mailmend::platform
