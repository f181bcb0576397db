// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>

namespace mailmend::platform {

// Removes one file (or symbolic link, which is never followed). True when it is gone.
bool removeFile(const std::filesystem::path& path);

// Renames `from` to `to` in the same file system, replacing a plain file at `to`.
bool renameFile(const std::filesystem::path& from, const std::filesystem::path& to);

// Copies the plain file `from` to `to` (a plain file there is replaced, a link is never
// followed). The copy is made under a temporary name beside `to` and renamed into place
// when whole, so `to` is never a part of the file. True when it was copied in full.
bool copyFile(const std::filesystem::path& from, const std::filesystem::path& to);

// True when anything stands at `path` (a link counts as itself, whatever it leads to).
bool pathEntryExists(const std::filesystem::path& path);

// The system's directory for temporary files: $TMPDIR when it names a directory,
// else /tmp.
std::filesystem::path temporaryDirectory();

} // namespace mailmend::platform
