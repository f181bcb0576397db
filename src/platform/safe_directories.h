// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <functional>
#include <string>

// Folder work that never follows a symbolic link: whatever stands at a folder's name is
// worked on only when it is a real directory, and entries are removed through the opened
// directory, so a link planted at a name or swapped in meanwhile leads nowhere.
namespace mailmend::platform {

// A new directory that only this user can enter (mode 0700), under `parent`, named
// `prefix` followed by six random characters. Empty on failure, with the reason in `error`.
std::filesystem::path makePrivateDirectory(const std::filesystem::path& parent,
                                           const std::string& prefix, std::string& error);

// True when `path` itself (not what a link there leads to) is a directory.
bool isRealDirectory(const std::filesystem::path& path);

enum class EmptyResult { Done, Stopped, NotADirectory };

// Removes the entries of `folder` that are not directories (plain files, links, ...);
// subfolders and their contents stay. `stop` is asked before each entry. A `folder` that
// is not a real directory is left alone.
EmptyResult emptyDirectoryFiles(const std::filesystem::path& folder,
                                const std::function<bool()>& stop = {});

// Removes `folder` with everything in it, links removed as links. True when it is gone.
bool removeDirectoryTree(const std::filesystem::path& folder);

// Removes an empty directory. True when it is gone.
bool removeEmptyDirectory(const std::filesystem::path& folder);

} // namespace mailmend::platform
