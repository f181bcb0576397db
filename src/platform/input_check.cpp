// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/input_check.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix_open.h"
#include "platform/system_calls.h"

namespace mailmend::platform {

std::string unreadableFileReason(const std::filesystem::path& path)
{
    struct stat status {};
    std::string error;
    // Block devices are readable sources (a disk image on a loop device), as for the reader.
    const int fd = openForSequentialRead(path, true, status, error);
    if (fd < 0)
        return error.empty() ? std::string("cannot be opened") : error;
    ::close(fd);
    return {};
}

std::string unsearchableFolderReason(const std::filesystem::path& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return std::strerror(errno);
    if (!S_ISDIR(status.st_mode))
        return "not a folder";
    DIR* dir = sys::listDirectory(path.c_str());
    if (!dir)
        return std::strerror(errno);
    ::closedir(dir);
    return {};
}

} // namespace mailmend::platform
