// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/whole_writes.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "platform/file_system.h"
#include "platform/system_calls.h"

namespace mailmend::platform {

bool appendToFile(const std::filesystem::path& path, std::string_view bytes, bool* opened)
{
    const int fd = sys::openFile(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (opened)
        *opened = fd >= 0;
    if (fd < 0)
        return false;
    const bool written = sys::writeAllNext(fd, bytes.data(), bytes.size());
    return sys::closeWritten(fd) == 0 && written;
}

bool replaceFile(const std::filesystem::path& path, std::string_view bytes)
{
    std::filesystem::path scratch = path;
    scratch += ".new";
    const int fd = sys::openFile(scratch.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = sys::writeAllNext(fd, bytes.data(), bytes.size());
    ok = sys::syncFile(fd) == 0 && ok;
    ok = sys::closeWritten(fd) == 0 && ok;
    if (ok && renameFile(scratch, path))
        return true;
    removeFile(scratch);
    return false;
}

} // namespace mailmend::platform
