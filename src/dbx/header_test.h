// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

namespace mailmend::dbx {

// The first data of a chain (up to five blocks) gathered for the recovery-mode test.
inline constexpr int kHeaderTestBlocks = 5;

// True when `text` looks like the start of a mail: it holds a known combination of
// header names. Each name is searched case-sensitively anywhere in the text before its
// first zero byte (so "To:" is also found inside "Reply-To:").
bool looksLikeMailHeader(std::string_view text);

} // namespace mailmend::dbx
