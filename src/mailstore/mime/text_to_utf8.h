// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace mailmend::mailstore::mime {

// Text in `charset` (as a mail declares it; empty when it declares none) as UTF-8. Text
// that does not fit its charset, or whose charset is unknown, is read as UTF-8 where it
// is valid UTF-8 and as Windows-1252 where it is not. The result is always valid UTF-8;
// zero bytes are kept.
std::string toUtf8(std::string_view text, std::string_view charset);

// Valid UTF-8 sequences as they are, every other byte read as Windows-1252.
std::string repairUtf8(std::string_view text);

bool isValidUtf8(std::string_view text);

} // namespace mailmend::mailstore::mime
