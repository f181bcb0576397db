// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings.h"

#include "platform/directories.h"
#include "platform/file_reader.h"
#include "platform/whole_writes.h"

namespace mailmend::app {
namespace {

bool switchAt(std::string_view bytes, std::size_t offset)
{
    return offset < bytes.size() && bytes[offset] == '1';
}

} // namespace

Settings parseSettings(std::string_view bytes)
{
    return {switchAt(bytes, kLogSwitchAt), switchAt(bytes, kRecoverySwitchAt),
            switchAt(bytes, kCustomizeSwitchAt)};
}

std::string formatSettings(const Settings& settings)
{
    // Written with CR LF on every platform: the reader's offsets count two bytes per line end.
    std::string bytes;
    bytes += settings.log ? "Log = 1\r\n" : "Log = 0\r\n";
    bytes += settings.recovery ? "Recovery = 1\r\n" : "Recovery = 0\r\n";
    bytes += settings.customize ? "Customize = 1\r\n" : "Customize = 0\r\n";
    return bytes;
}

std::optional<Settings> readSettingsFile(const std::filesystem::path& file)
{
    auto opened = platform::openForReading(file);
    if (!opened.file)
        return std::nullopt;
    char bytes[kCustomizeSwitchAt + 1] {};
    const std::size_t got = opened.file->readAt(0, bytes, sizeof bytes);
    return parseSettings(std::string_view(bytes, got));
}

bool writeSettingsFile(const std::filesystem::path& file, const Settings& settings)
{
    if (file.has_parent_path())
        platform::createDirectories(file.parent_path());
    return platform::replaceFile(file, formatSettings(settings));
}

std::filesystem::path settingsDirectory(const std::filesystem::path& executableDirectory)
{
    if (platform::usesProgramDirectory(executableDirectory))
        return executableDirectory;
    return platform::userConfigDirectory();
}

std::filesystem::path settingsPath()
{
    return settingsDirectory(platform::executableDirectory()) / kSettingsFileName;
}

} // namespace mailmend::app
