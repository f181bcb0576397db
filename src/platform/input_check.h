// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

// Looks at what the user names before anything is made for it.
namespace mailmend::platform {

// Why `path` cannot be read as a source file: the system's reason ("No such file or
// directory", "Permission denied"), "Is a directory" or "Not a regular file". Empty
// when it opens for reading. A pipe standing there is never waited on.
std::string unreadableFileReason(const std::filesystem::path& path);

// Why `path` cannot be searched as a folder: the system's reason, or "not a folder"
// when something else stands there. Empty when it is a folder that can be listed.
std::string unsearchableFolderReason(const std::filesystem::path& path);

} // namespace mailmend::platform
