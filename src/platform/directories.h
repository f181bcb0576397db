// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>

namespace mailmend::platform {

// Creates one directory. False when it could not be made, including when it exists.
bool createDirectory(const std::filesystem::path& path);

// Creates a directory and any missing parents. True when it exists afterwards.
bool createDirectories(const std::filesystem::path& path);

// The directory the running executable lies in.
std::filesystem::path executableDirectory();

// True when files can be created in `dir`.
bool isWritableDirectory(const std::filesystem::path& dir);

// Per-user places for state (logs) and settings when the executable's directory cannot
// be written: $XDG_STATE_HOME/mailmend (else ~/.local/state/mailmend) and
// $XDG_CONFIG_HOME/mailmend (else ~/.config/mailmend).
std::filesystem::path userStateDirectory();
std::filesystem::path userConfigDirectory();

// Per-user place for data the program keeps between runs (the DBX output's mail store):
// $XDG_DATA_HOME/mailmend, else ~/.local/share/mailmend.
std::filesystem::path userDataDirectory();

} // namespace mailmend::platform
