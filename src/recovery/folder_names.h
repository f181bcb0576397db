// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/clock.h"
#include "recovery/recovery_request.h"

namespace mailmend::recovery {

// The tag an output folder name ends in for each save option ("_As_EML", ...); empty
// for a value that is no save option.
const char* typeTag(SaveOption option);

// The file name with the first ".dbx" (exactly so, lower case) taken out; a name without
// one is used whole: a.dbx.dbx gives a.dbx, Inbox.DBX stays Inbox.DBX.
std::string baseNameOf(const std::string& fileName);

// The name of a file's output folder inside the destination: [counter_][tag_]base[type
// tag], as the naming options say. `counter` is the run's folder counter; it moves on
// by one when the counter is part of the name.
std::string outputFolderName(const RecoveryRequest& request, std::int64_t& counter,
                             const std::string& baseName);

// True when `name` is one plain entry of a folder: not empty, not "." or "..", and
// without a path separator or a zero byte, so that the folder made from it lies inside
// the destination and is not the destination itself.
bool isUsableFolderName(const std::string& name);

// `name` inside `folder`, joined with one separator.
std::filesystem::path inFolder(const std::string& folder, const std::string& name);

// The name of a file's scratch folder in the system's temporary directory:
// Norvale_Recovered_<base>_<file index>_(DATE=<m>-<d>-<y>)_(TIME=<h>hr.<m>m.<s>s), with the
// UTC date and the local time.
std::string tempFolderName(const std::string& baseName, std::size_t fileIndex,
                           const platform::Clock& clock);

// The status line holds 53 characters: longer texts are cut there (whole UTF-8
// characters are kept together).
inline constexpr std::size_t kStatusTextLength = 53;
std::string cutStatusText(const std::string& text);

} // namespace mailmend::recovery
