// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/path_status.h"

#include <cerrno>
#include <sys/stat.h>

namespace mailmend::platform {

PathKind pathKind(const std::filesystem::path& path)
{
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0)
        return errno == ENOENT || errno == ENOTDIR ? PathKind::Missing : PathKind::Other;
    if (S_ISREG(status.st_mode))
        return PathKind::File;
    if (S_ISDIR(status.st_mode))
        return PathKind::Directory;
    if (S_ISLNK(status.st_mode))
        return PathKind::SymbolicLink;
    return PathKind::Other;
}

} // namespace mailmend::platform
