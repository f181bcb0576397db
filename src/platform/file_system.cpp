// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/file_system.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "platform/posix_open.h"
#include "platform/system_calls.h"

namespace mailmend::platform {

bool removeFile(const std::filesystem::path& path)
{
    return sys::removeEntry(AT_FDCWD, path.c_str(), 0) == 0;
}

bool renameFile(const std::filesystem::path& from, const std::filesystem::path& to)
{
    return sys::renameEntry(from.c_str(), to.c_str()) == 0;
}

bool copyFile(const std::filesystem::path& from, const std::filesystem::path& to)
{
    struct stat status {};
    std::string error;
    const int in = openForSequentialRead(from, false, status, error);
    if (in < 0)
        return false;
    std::string partialName = ".";
    partialName += to.filename().string();
    partialName += ".part";
    const std::filesystem::path partial = to.parent_path() / partialName;
    const int out = createNewFile(partial, 0666, O_WRONLY, error);
    bool copied = out >= 0;
    std::vector<char> buffer(1 << 20);
    while (copied) {
        const ssize_t got = sys::readNext(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            copied = got == 0;
            break;
        }
        copied = sys::writeAllNext(out, buffer.data(), static_cast<std::size_t>(got));
    }
    ::close(in);
    if (out >= 0)
        copied = sys::closeWritten(out) == 0 && copied;
    if (copied && renameFile(partial, to))
        return true;
    if (out >= 0)
        removeFile(partial);
    return false;
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
