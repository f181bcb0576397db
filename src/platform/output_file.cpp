// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/output_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "platform/posix_open.h"
#include "platform/system_calls.h"

namespace mailmend::platform {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

} // namespace

OutputFile::~OutputFile()
{
    close();
}

bool OutputFile::create(const std::filesystem::path& path, unsigned mode)
{
    close();
    m_failed = false;
    m_used = 0;
    std::string error;
    m_fd = createNewFile(path, mode, O_WRONLY, error);
    if (m_fd < 0)
        return false;
    if (!m_buffer)
        m_buffer.reset(new char[kBufferSize]);
    return true;
}

void OutputFile::write(const void* data, std::size_t count)
{
    if (m_fd < 0) {
        m_failed = true;
        return;
    }
    const char* bytes = static_cast<const char*>(data);
    if (m_used + count <= kBufferSize) {
        std::memcpy(m_buffer.get() + m_used, bytes, count);
        m_used += count;
        return;
    }
    flush();
    if (count < kBufferSize) {
        std::memcpy(m_buffer.get(), bytes, count);
        m_used = count;
    } else { // large runs go straight to the file
        writeOut(bytes, count);
    }
}

void OutputFile::flush()
{
    writeOut(m_buffer.get(), m_used);
    m_used = 0;
}

void OutputFile::writeOut(const char* data, std::size_t count)
{
    if (!m_failed && !sys::writeAllNext(m_fd, data, count))
        m_failed = true; // nothing after a hole may reach the file
}

bool OutputFile::close()
{
    if (m_fd < 0)
        return false;
    flush();
    const bool closed = sys::closeWritten(m_fd) == 0;
    m_fd = -1;
    return closed && !m_failed;
}

} // namespace mailmend::platform
