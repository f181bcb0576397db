// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/random_access_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix_open.h"
#include "platform/system_calls.h"

namespace mailmend::platform {

RandomAccessFile::~RandomAccessFile()
{
    close();
}

void RandomAccessFile::fail(int error)
{
    if (!m_failed)
        m_error = std::strerror(error);
    m_failed = true;
}

bool RandomAccessFile::create(const std::filesystem::path& path, unsigned mode)
{
    close();
    m_failed = false;
    m_error.clear();
    m_fd = createNewFile(path, mode, O_RDWR, m_error);
    m_failed = m_fd < 0;
    return m_fd >= 0;
}

bool RandomAccessFile::openExisting(const std::filesystem::path& path)
{
    close();
    m_failed = false;
    m_error.clear();
    m_fd = sys::openFile(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (m_fd < 0) {
        fail(errno);
        return false;
    }
    struct stat status {};
    if (::fstat(m_fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        fail(EINVAL);
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    return true;
}

bool RandomAccessFile::writeAt(std::uint64_t offset, const void* data, std::size_t count)
{
    if (m_fd < 0) {
        fail(EBADF);
        return false;
    }
    if (sys::writeAllAt(m_fd, data, count, offset))
        return true;
    fail(errno);
    return false;
}

std::size_t RandomAccessFile::readAt(std::uint64_t offset, void* buffer, std::size_t count)
{
    if (m_fd < 0)
        return 0;
    auto* bytes = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = sys::readAt(m_fd, bytes + done, count - done, offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::uint64_t RandomAccessFile::size() const
{
    struct stat status {};
    if (m_fd < 0 || ::fstat(m_fd, &status) != 0)
        return 0;
    return static_cast<std::uint64_t>(status.st_size);
}

bool RandomAccessFile::flush()
{
    if (m_fd < 0)
        return false;
    if (sys::syncFile(m_fd) != 0 && errno != EINVAL && errno != EROFS)
        fail(errno);
    return !m_failed;
}

bool RandomAccessFile::close()
{
    if (m_fd < 0)
        return false;
    if (sys::closeWritten(m_fd) != 0 && errno != EINTR)
        fail(errno);
    m_fd = -1;
    return !m_failed;
}

} // namespace mailmend::platform
