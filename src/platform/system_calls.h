// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <dirent.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <ctime>

// The system calls of platform/ that change or read files, each one counted by an armed
// FaultPlan and failed when the plan says so (with errno set, as the system would). The
// rest of platform/ calls these rather than the system's own.
namespace mailmend::platform::sys {

// Opens `path`; counted as a create when `flags` asks for writing, else as a read.
int openFile(const char* path, int flags, unsigned mode = 0);
// Opens a directory (relative to `dirFd`) to list it, or opens one for listing; counted
// as reads.
int openDirectory(int dirFd, const char* name, int flags);
DIR* listDirectory(const char* path);
ssize_t readAt(int fd, void* buffer, std::size_t count, std::uint64_t position);
ssize_t readNext(int fd, void* buffer, std::size_t count);
ssize_t writeAt(int fd, const void* data, std::size_t count, std::uint64_t position);
ssize_t writeNext(int fd, const void* data, std::size_t count);
// Writes all of `count` bytes (at `position`, or at the file's offset), going on after an
// interruption. False with errno set when the system refuses; a write that moves nothing
// counts as ENOSPC.
bool writeAllAt(int fd, const void* data, std::size_t count, std::uint64_t position);
bool writeAllNext(int fd, const void* data, std::size_t count);
int truncateFile(int fd, std::uint64_t length);
int syncFile(int fd);
// Closes a file that was written to. The descriptor is gone whatever the result; a
// failure means what was written may not have reached the disk (counted as a sync).
int closeWritten(int fd);
// Sets a file's times (utimensat); counted as a write.
int setTimes(const char* path, const struct timespec times[2], int flags);
int renameEntry(const char* from, const char* to);
// Removes a file (flags 0) or an empty directory (AT_REMOVEDIR) named relative to `dirFd`.
int removeEntry(int dirFd, const char* name, int flags);
int makeDirectory(const char* path, unsigned mode);
// mkdtemp: null on failure.
char* makeUniqueDirectory(char* pattern);

} // namespace mailmend::platform::sys
