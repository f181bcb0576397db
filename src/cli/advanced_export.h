// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace mailmend::cli {

// What the Advanced Scan made of one file.
struct AdvancedSummary {
    bool opened = false;
    bool copyFailed = false;  // the working copy could not be written in full
    std::uint32_t written = 0;
    std::uint32_t failed = 0; // mails whose file could not be created or written
    std::string openError;
};

// The file name with the first ".dbx" taken out (a name without one is kept whole).
std::string advancedBaseName(const std::filesystem::path& source);

// Carves the mails of `source` out of its text into `folder` (created when missing) as
// <base name>_<n>.eml, through the working file temp.dbx in that folder, which is
// deleted afterwards.
AdvancedSummary exportMailsAdvanced(const std::string& source, const std::filesystem::path& folder);

std::string describe(const std::string& name, const AdvancedSummary& summary);

} // namespace mailmend::cli
