// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace mailmend::dbx {

// Reads a mail date ("Tue, 1 Jul 2003 10:52:37 +0200", also without the weekday or the
// seconds, with a two-digit year or a named zone) as seconds since 1970 UTC. A missing or
// unknown zone counts as UTC. Empty when the text is no date.
std::optional<std::int64_t> parseMailDate(std::string_view text);

// Seconds since 1970 UTC as a Windows FILETIME: 100-ns units since 1601-01-01 UTC.
// Times before 1601 give 0.
std::uint64_t toFileTime(std::int64_t unixSeconds);

} // namespace mailmend::dbx
