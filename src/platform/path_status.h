// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>

namespace mailmend::platform {

// What stands at a path, looked at without following a symbolic link.
enum class PathKind {
    Missing,
    File,
    Directory,
    SymbolicLink,
    Other, // a device, pipe or socket, or a path that cannot be examined
};

PathKind pathKind(const std::filesystem::path& path);

} // namespace mailmend::platform
