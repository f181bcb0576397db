// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>

namespace mailmend::platform {

// Sets the modification and access times of the file at `path` to `unixSeconds` (seconds
// since 1970 UTC). A symbolic link standing there is never followed. False when the
// system refuses.
bool setFileTimes(const std::filesystem::path& path, std::int64_t unixSeconds);

} // namespace mailmend::platform
