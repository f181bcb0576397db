// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace mailmend::testing {

// The folder of real-world .dbx files: $MAILMEND_REAL_CORPUS when set, else the one found
// when the build was configured.
std::filesystem::path realCorpusFolder();

// Its .dbx files in name order; empty when the folder is missing.
std::vector<std::filesystem::path> realCorpusFiles();

// What a test that needs the files says when they are missing.
std::string realCorpusMissing();

} // namespace mailmend::testing
