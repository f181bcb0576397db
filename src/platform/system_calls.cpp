// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/system_calls.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/fault_injection.h"

namespace mailmend::platform::sys {
namespace {

// True (with errno set) when the armed plan fails this call.
bool refused(FileOperation operation, std::size_t* transfer = nullptr)
{
    const int error = injectedFault(operation, transfer);
    if (error == 0)
        return false;
    errno = error;
    return true;
}

} // namespace

int openFile(const char* path, int flags, unsigned mode)
{
    const bool writes = (flags & (O_WRONLY | O_RDWR | O_CREAT)) != 0;
    if (refused(writes ? FileOperation::Create : FileOperation::Read))
        return -1;
    return ::open(path, flags, static_cast<mode_t>(mode));
}

int openDirectory(int dirFd, const char* name, int flags)
{
    if (refused(FileOperation::Read))
        return -1;
    return ::openat(dirFd, name, flags | O_DIRECTORY);
}

DIR* listDirectory(const char* path)
{
    if (refused(FileOperation::Read))
        return nullptr;
    return ::opendir(path);
}

ssize_t readAt(int fd, void* buffer, std::size_t count, std::uint64_t position)
{
    if (refused(FileOperation::Read, &count))
        return -1;
    return ::pread(fd, buffer, count, static_cast<off_t>(position));
}

ssize_t readNext(int fd, void* buffer, std::size_t count)
{
    if (refused(FileOperation::Read, &count))
        return -1;
    return ::read(fd, buffer, count);
}

ssize_t writeAt(int fd, const void* data, std::size_t count, std::uint64_t position)
{
    if (refused(FileOperation::Write, &count))
        return -1;
    return ::pwrite(fd, data, count, static_cast<off_t>(position));
}

ssize_t writeNext(int fd, const void* data, std::size_t count)
{
    if (refused(FileOperation::Write, &count))
        return -1;
    return ::write(fd, data, count);
}

namespace {

// `writeOnce(bytes, count, done)` is one transfer of `count` bytes, `done` already written.
template <typename WriteOnce>
bool writeAll(const void* data, std::size_t count, WriteOnce writeOnce)
{
    const auto* bytes = static_cast<const char*>(data);
    for (std::size_t done = 0; done < count;) {
        const ssize_t n = writeOnce(bytes + done, count - done, done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool writeAllAt(int fd, const void* data, std::size_t count, std::uint64_t position)
{
    return writeAll(data, count, [&](const char* from, std::size_t n, std::size_t done) {
        return writeAt(fd, from, n, position + done);
    });
}

bool writeAllNext(int fd, const void* data, std::size_t count)
{
    return writeAll(data, count,
                    [&](const char* from, std::size_t n, std::size_t) { return writeNext(fd, from, n); });
}

int truncateFile(int fd, std::uint64_t length)
{
    if (refused(FileOperation::Write))
        return -1;
    return ::ftruncate(fd, static_cast<off_t>(length));
}

int syncFile(int fd)
{
    if (refused(FileOperation::Sync))
        return -1;
    return ::fdatasync(fd);
}

int closeWritten(int fd)
{
    if (refused(FileOperation::Sync)) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return ::close(fd);
}

int setTimes(const char* path, const struct timespec times[2], int flags)
{
    if (refused(FileOperation::Write))
        return -1;
    return ::utimensat(AT_FDCWD, path, times, flags);
}

int renameEntry(const char* from, const char* to)
{
    if (refused(FileOperation::Rename))
        return -1;
    return std::rename(from, to);
}

int removeEntry(int dirFd, const char* name, int flags)
{
    if (refused(FileOperation::Remove))
        return -1;
    return ::unlinkat(dirFd, name, flags);
}

int makeDirectory(const char* path, unsigned mode)
{
    if (refused(FileOperation::MakeDirectory))
        return -1;
    return ::mkdir(path, static_cast<mode_t>(mode));
}

char* makeUniqueDirectory(char* pattern)
{
    if (refused(FileOperation::MakeDirectory))
        return nullptr;
    return ::mkdtemp(pattern);
}

} // namespace mailmend::platform::sys
