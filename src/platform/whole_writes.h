// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string_view>

// Small files written in one go: log lines and the settings file.
namespace mailmend::platform {

// Appends `bytes` to the file at `path`, made when missing, with one open, one append and
// one close: the bytes are in the file when this returns. `opened` tells whether the file
// could be opened at all. True when every byte was written.
bool appendToFile(const std::filesystem::path& path, std::string_view bytes,
                  bool* opened = nullptr);

// Makes `bytes` the whole content of the file at `path`: written and synced under a
// scratch name beside it ("<name>.new"), then renamed over it, so that the file is never
// seen half written. The scratch file goes when anything fails.
bool replaceFile(const std::filesystem::path& path, std::string_view bytes);

} // namespace mailmend::platform
