// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "recovery/job_view.h"

namespace mailmend::recovery {

// What went wrong over a whole run, gathered file by file, for the box that ends it.
struct RunTally {
    std::size_t files = 0;         // files of the run
    std::size_t filesUnread = 0;   // could not be opened or read in full
    std::size_t foldersUnmade = 0; // their output or scratch folder could not be made
    std::size_t filesUnwritten = 0; // a working copy, a store or a copy of a store file failed
    std::int64_t mailsUnwritten = 0;
    std::int64_t attachmentsUnwritten = 0;
    std::size_t workingFilesLeft = 0; // Advanced Scan working files the system kept from going

    void add(const FileResult& result);
    bool clean() const
    {
        return filesUnread == 0 && foldersUnmade == 0 && filesUnwritten == 0 && mailsUnwritten == 0
            && attachmentsUnwritten == 0 && workingFilesLeft == 0;
    }
};

// The box at the end of a run that went through every file: "Files recovered
// Successfully to <destination> folder" only when every file was read and every mail
// written; otherwise it says what went wrong, and that the logs have the details
// when logging is on.
std::string endOfRunMessage(const std::string& destination, const RunTally& tally, bool logOn);

} // namespace mailmend::recovery
