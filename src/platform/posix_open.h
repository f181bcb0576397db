// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <string>

namespace mailmend::platform {

// Opens `path` read-only for a front-to-back read. Directories are refused, and so are
// other special files unless `allowBlockDevice` lets a block device through. Returns
// the descriptor with its status in `status`, or -1 with the reason in `error`.
int openForSequentialRead(const std::filesystem::path& path, bool allowBlockDevice,
                          struct stat& status, std::string& error);

// Creates a new file for writing (`flags` adds O_RDWR or the like) and returns its
// descriptor, or -1 with the reason in `error`. A plain file of that name, left by an
// earlier run, is replaced; anything else standing there (a symbolic link above all) is
// refused, never followed. `mode` before the umask.
int createNewFile(const std::filesystem::path& path, unsigned mode, int flags, std::string& error);

} // namespace mailmend::platform
