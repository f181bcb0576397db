// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace mailmend {

// printf-style formatting into a std::string; messages and file names are built with
// the exact format strings the user sees.
std::string strprintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// `name` (a path, a file name from a disk or a mail) with every control character
// replaced by '?': it can then stand in a log line or a status text without starting a
// new line or reaching a terminal as a command.
std::string printable(std::string_view name);

} // namespace mailmend
