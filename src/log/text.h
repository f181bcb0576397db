// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace mailmend {

// printf-style formatting into a std::string; messages and file names are built with
// the exact format strings the user sees.
std::string strprintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace mailmend
