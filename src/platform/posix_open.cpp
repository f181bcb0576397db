// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix_open.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "platform/system_calls.h"

namespace mailmend::platform {

int openForSequentialRead(const std::filesystem::path& path, bool allowBlockDevice,
                          struct stat& status, std::string& error)
{
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come; the
    // type is checked before anything is read, and the flag taken off again.
    const int fd = sys::openFile(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    if (::fstat(fd, &status) != 0) {
        error = std::strerror(errno);
    } else if (!S_ISREG(status.st_mode) && !(allowBlockDevice && S_ISBLK(status.st_mode))) {
        error = S_ISDIR(status.st_mode) ? "Is a directory" : "Not a regular file";
    } else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        error = std::strerror(errno);
    } else {
#ifdef POSIX_FADV_SEQUENTIAL
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
        return fd;
    }
    ::close(fd);
    return -1;
}

int createNewFile(const std::filesystem::path& path, unsigned mode, int flags, std::string& error)
{
    struct stat status {};
    if (::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode))
        sys::removeEntry(AT_FDCWD, path.c_str(), 0);
    const int fd
        = sys::openFile(path.c_str(), flags | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0)
        error = std::strerror(errno);
    return fd;
}

} // namespace mailmend::platform
