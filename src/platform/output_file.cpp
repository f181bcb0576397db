// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/posix_open.h"

namespace mailmend::platform {

OutputFile::~OutputFile()
{
    close();
}

bool OutputFile::create(const std::filesystem::path& path, unsigned mode)
{
    close();
    m_failed = false;
    std::string error;
    const int fd = createNewFile(path, mode, O_RDWR, error);
    if (fd < 0)
        return false;
    m_file = ::fdopen(fd, "w+b");
    if (!m_file) {
        ::close(fd);
        return false;
    }
    constexpr std::size_t kBufferSize = 64 * 1024;
    if (!m_buffer)
        m_buffer.reset(new char[kBufferSize]);
    std::setvbuf(m_file, m_buffer.get(), _IOFBF, kBufferSize);
    return true;
}

void OutputFile::write(const void* data, std::size_t count)
{
    if (!m_file) {
        m_failed = true;
        return;
    }
    if (count != 0 && std::fwrite(data, 1, count, m_file) != count)
        m_failed = true;
}

bool OutputFile::close()
{
    if (!m_file)
        return false;
    const bool closed = std::fclose(m_file) == 0;
    m_file = nullptr;
    return closed && !m_failed;
}

} // namespace mailmend::platform
