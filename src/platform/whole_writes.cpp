// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/whole_writes.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "platform/file_system.h"
#include "platform/system_calls.h"

namespace mailmend::platform {
namespace {

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = sys::writeNext(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

bool appendToFile(const std::filesystem::path& path, std::string_view bytes, bool* opened)
{
    const int fd = sys::openFile(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (opened)
        *opened = fd >= 0;
    if (fd < 0)
        return false;
    const bool written = writeAll(fd, bytes);
    return sys::closeWritten(fd) == 0 && written;
}

bool replaceFile(const std::filesystem::path& path, std::string_view bytes)
{
    std::filesystem::path scratch = path;
    scratch += ".new";
    const int fd = sys::openFile(scratch.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, bytes);
    ok = sys::syncFile(fd) == 0 && ok;
    ok = sys::closeWritten(fd) == 0 && ok;
    if (ok && renameFile(scratch, path))
        return true;
    removeFile(scratch);
    return false;
}

} // namespace mailmend::platform
