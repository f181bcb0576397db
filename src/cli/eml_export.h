// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace mailmend::cli {

// What became of the entries of one file's mail list.
struct ExportSummary {
    bool opened = false;
    std::int32_t entries = 0;     // entries of the mail list
    std::int32_t written = 0;
    std::int32_t refused = 0;     // no mail header found (recovery mode)
    std::int32_t takenOver = 0;   // the head is part of another mail, not a failure
    std::int32_t failed = 0;      // could not be written
    std::string openError;
};

// Writes every mail of `source` into `folder` (created when missing).
ExportSummary exportMailsAsEml(const std::string& source, const std::filesystem::path& folder,
                               bool recoveryMode, bool log);

std::string describe(const std::string& name, const ExportSummary& summary);

} // namespace mailmend::cli
