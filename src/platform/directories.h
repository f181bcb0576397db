// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

namespace mailmend::platform {

// Creates one directory. False when it could not be made, including when it exists; the
// system's reason then goes to `error` when one is given.
bool createDirectory(const std::filesystem::path& path, std::string* error = nullptr);

// Creates a directory and any missing parents. True when it exists afterwards.
bool createDirectories(const std::filesystem::path& path);

// The directory the running executable lies in.
std::filesystem::path executableDirectory();

// True when files can be created in `dir`.
bool isWritableDirectory(const std::filesystem::path& dir);

// True when the program keeps its settings and logs beside itself (portable use): the
// directory can be written and holds no installed copy. A copy counts as installed in the
// build's install directory for programs, in a system directory for programs, or where
// ../share/doc/Mailmend lies beside it; an installed copy, run as root or not, uses the
// per-user directories below. A file named "portable" beside the program asks for
// portable use wherever it lies.
bool usesProgramDirectory(const std::filesystem::path& executableDirectory);

// Per-user places for state (logs) and settings when the executable's directory cannot
// be written: $XDG_STATE_HOME/mailmend (else ~/.local/state/mailmend) and
// $XDG_CONFIG_HOME/mailmend (else ~/.config/mailmend).
std::filesystem::path userStateDirectory();
std::filesystem::path userConfigDirectory();

// Per-user place for data the program keeps between runs (the DBX output's mail store):
// $XDG_DATA_HOME/mailmend, else ~/.local/share/mailmend.
std::filesystem::path userDataDirectory();

} // namespace mailmend::platform
