// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/file_system.h"

#include <cstdio>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace mailmend::platform {

bool removeFile(const std::filesystem::path& path)
{
    return ::unlink(path.c_str()) == 0;
}

bool renameFile(const std::filesystem::path& from, const std::filesystem::path& to)
{
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool pathEntryExists(const std::filesystem::path& path)
{
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

std::filesystem::path temporaryDirectory()
{
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    return ec ? std::filesystem::path("/tmp") : dir;
}

} // namespace mailmend::platform
