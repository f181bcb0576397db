// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace mailmend::app {

// The four texts of a file row, in the main list's column order. The search dialog's
// result rows hold the same texts and hand them over unchanged.
struct FileRowTexts {
    std::string path;      // "File Path."
    std::string name;      // "File Name"
    std::string size;      // "Size"
    std::string createdOn; // "Created On"

    bool operator==(const FileRowTexts&) const = default;
};

// The Size cell: whole kilobytes, rounded toward zero, then " Kb" ("0 Kb" for 1023 bytes,
// "1 Kb" for 1536). The full 64-bit size is used, so a file over 2 GiB never shows a
// negative size.
std::string sizeText(std::uint64_t bytes);

// The Created On cell: the time in local time in the classic 24-character layout with a
// zero-padded day, e.g. "Wed Jun 01 09:05:03 2011". Names are always the English ones,
// whatever the locale. Empty when the time cannot be converted.
std::string createdOnText(std::time_t time);

} // namespace mailmend::app
