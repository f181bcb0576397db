// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/directories.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "platform/system_calls.h"

namespace mailmend::platform {
namespace {

std::filesystem::path homeDirectory()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    return "/tmp";
}

std::filesystem::path xdgDirectory(const char* variable, const char* fallbackUnderHome)
{
    if (const char* value = std::getenv(variable); value && *value == '/')
        return std::filesystem::path(value) / "mailmend";
    return homeDirectory() / fallbackUnderHome / "mailmend";
}

} // namespace

bool createDirectory(const std::filesystem::path& path, std::string* error)
{
    if (sys::makeDirectory(path.c_str(), 0777) == 0)
        return true;
    if (error)
        *error = std::strerror(errno);
    return false;
}

bool createDirectories(const std::filesystem::path& path)
{
    // The missing folders from the innermost up, then made from the outermost down, one
    // call each.
    std::vector<std::filesystem::path> missing;
    struct stat status {};
    for (std::filesystem::path at = path; !at.empty(); at = at.parent_path()) {
        if (::stat(at.c_str(), &status) == 0) {
            if (!S_ISDIR(status.st_mode))
                return false;
            break;
        }
        missing.push_back(at);
        if (at == at.parent_path())
            break;
    }
    for (auto folder = missing.rbegin(); folder != missing.rend(); ++folder)
        if (sys::makeDirectory(folder->c_str(), 0777) != 0 && errno != EEXIST)
            return false;
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::filesystem::path executableDirectory()
{
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return std::filesystem::current_path(ec);
    return self.parent_path();
}

bool isWritableDirectory(const std::filesystem::path& dir)
{
    return ::access(dir.c_str(), W_OK | X_OK) == 0;
}

bool usesProgramDirectory(const std::filesystem::path& executableDirectory)
{
    if (!isWritableDirectory(executableDirectory))
        return false;
    std::error_code ec;
    if (std::filesystem::exists(executableDirectory / "portable", ec))
        return true;
    const std::filesystem::path dir = std::filesystem::weakly_canonical(executableDirectory, ec);
    for (const char* installed : {MAILMEND_INSTALL_BINDIR, "/usr/bin", "/usr/local/bin", "/bin",
                                  "/usr/sbin", "/usr/local/sbin", "/sbin"})
        if (dir == std::filesystem::weakly_canonical(installed, ec))
            return false;
    return !std::filesystem::exists(dir.parent_path() / "share" / "doc" / "Mailmend", ec);
}

std::filesystem::path userStateDirectory()
{
    return xdgDirectory("XDG_STATE_HOME", ".local/state");
}

std::filesystem::path userConfigDirectory()
{
    return xdgDirectory("XDG_CONFIG_HOME", ".config");
}

std::filesystem::path userDataDirectory()
{
    return xdgDirectory("XDG_DATA_HOME", ".local/share");
}

} // namespace mailmend::platform
