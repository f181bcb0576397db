// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/real_corpus.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

namespace mailmend::testing {

std::filesystem::path realCorpusFolder()
{
    if (const char* folder = std::getenv("MAILMEND_REAL_CORPUS"); folder && *folder)
        return folder;
    return MAILMEND_REAL_CORPUS;
}

std::vector<std::filesystem::path> realCorpusFiles()
{
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(realCorpusFolder(), ec))
        if (entry.path().extension() == ".dbx")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::string realCorpusMissing()
{
    return "no real .dbx files at " + realCorpusFolder().string()
        + " (set MAILMEND_REAL_CORPUS to the folder that holds them)";
}

} // namespace mailmend::testing
