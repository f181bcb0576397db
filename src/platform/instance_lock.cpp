// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/instance_lock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

#include "platform/directories.h"
#include "platform/system_calls.h"

namespace mailmend::platform {

std::filesystem::path instanceLockDirectory()
{
    // The runtime directory is private to the user and emptied at log-out.
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/')
        return runtime;
    return userStateDirectory();
}

std::optional<InstanceLock> InstanceLock::tryAcquire(const std::string& name,
                                                     const std::filesystem::path& directory)
{
    const std::filesystem::path dir = directory.empty() ? instanceLockDirectory() : directory;
    createDirectories(dir);
    const std::filesystem::path file = dir / (name + ".lock");

    const int fd = sys::openFile(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return InstanceLock(-1);
    int rc = 0;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0)
        return InstanceLock(fd);
    const bool busy = errno == EWOULDBLOCK;
    ::close(fd);
    if (busy)
        return std::nullopt;
    // A file system without advisory locks: carry on without the rule.
    return InstanceLock(-1);
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

InstanceLock::~InstanceLock()
{
    // Closing the only descriptor of the open file releases the lock.
    if (m_fd >= 0)
        ::close(m_fd);
}

} // namespace mailmend::platform
