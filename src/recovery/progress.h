// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

#include "recovery/recovery_request.h"

namespace mailmend::recovery {

// The share of the per-file bar the mails fill: all of it, except in the DBX output,
// whose last fifth is the copy of the finished folder.
inline int progressShare(SaveOption option)
{
    return option == SaveOption::SAVEASDBX ? 80 : 100;
}

// The bars after mail `mail` (0-based) of `count` in file `file` (0-based) of `files`.
// Worked out in floating point and cut toward zero, the share of one file first cut to
// a whole number: with 3 files of 10 mails, mail 5 of the second file reads 16 + 33.
inline int fileProgress(std::int32_t mail, std::int32_t count, int share)
{
    return static_cast<int>(static_cast<double>(mail + 1) / count * share);
}

inline int overallProgress(std::int32_t mail, std::int32_t count, std::size_t file,
                           std::size_t files, int share)
{
    const int fileShare = static_cast<int>(static_cast<double>(share) / static_cast<double>(files));
    return static_cast<int>(static_cast<double>(mail + 1) / count * fileShare)
        + static_cast<int>(static_cast<double>(file) / static_cast<double>(files) * 100);
}

// The overall bar once `file` (0-based) of `files` is finished.
inline int finishedFilesProgress(std::size_t file, std::size_t files)
{
    return static_cast<int>(static_cast<double>(file + 1) / static_cast<double>(files) * 100);
}

} // namespace mailmend::recovery
