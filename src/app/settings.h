// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// config.ini: the three switches of the main window, kept as three fixed lines.
namespace mailmend::app {

struct Settings {
    bool log = false;       // "Log"
    bool recovery = false;  // "Recovery"
    bool customize = false; // "Customize"

    bool operator==(const Settings&) const = default;
};

// The file as written is "Log = x", "Recovery = x", "Customize = x", each ending in
// CR LF, 38 bytes in all. The reader looks at nothing but the byte where each x stands
// in that layout, so a file saved with bare LF line ends by an editor gives at most the
// first switch (the second offset then falls on a line break, the third past the end).
inline constexpr std::size_t kLogSwitchAt = 6;
inline constexpr std::size_t kRecoverySwitchAt = 20;
inline constexpr std::size_t kCustomizeSwitchAt = 35;
inline constexpr std::size_t kSettingsFileSize = 38;

inline constexpr const char* kSettingsFileName = "config.ini";

// A switch is on exactly when its byte is the digit 1; a byte past the end means off.
Settings parseSettings(std::string_view bytes);

// The 38 bytes of the file for `settings`.
std::string formatSettings(const Settings& settings);

// Nothing when the file cannot be opened for reading.
std::optional<Settings> readSettingsFile(const std::filesystem::path& file);

// Replaces the file with the bytes for `settings`, creating its folder when missing. The
// bytes go to a scratch file beside it that is then renamed over it, so the file always
// holds either the old or the new switches. False when that could not be done.
bool writeSettingsFile(const std::filesystem::path& file, const Settings& settings);

// Where config.ini lives: beside the executable when that directory can be written (a
// portable copy keeps its settings with it), else in the per-user config directory.
std::filesystem::path settingsDirectory(const std::filesystem::path& executableDirectory);
std::filesystem::path settingsPath();

} // namespace mailmend::app
