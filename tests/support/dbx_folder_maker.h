// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace mailmend::testing {

// Writes `mails` as a new Outlook Express folder file through the product's folder-file
// writer. Returns how many mails it stored (a mail with no text cannot be), or -1 when
// the file could not be written.
int makeDbxFolder(const std::filesystem::path& file, const std::vector<std::string>& mails,
                  const std::string& folderName = "Inbox");

// True when `program` is on the PATH.
bool programInstalled(const std::string& program);

// Runs undbx on `file` in its normal mode, which reads the folder's index tree, or in its
// recovery mode, which scans for mail blocks. The texts of the mails it extracted,
// sorted; empty when undbx failed.
std::optional<std::vector<std::string>> undbxMails(const std::filesystem::path& file,
                                                   bool recoveryMode = false);

// The names of the files undbx extracts from `file` (normal mode).
std::vector<std::string> undbxFileNames(const std::filesystem::path& file);

} // namespace mailmend::testing
