// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/directories.h"

#include <cstdlib>
#include <system_error>
#include <unistd.h>

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

bool createDirectory(const std::filesystem::path& path)
{
    std::error_code ec;
    return std::filesystem::create_directory(path, ec) && !ec;
}

bool createDirectories(const std::filesystem::path& path)
{
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return std::filesystem::is_directory(path, ec);
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
