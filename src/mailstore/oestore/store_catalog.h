// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "dbx/folder_file_writer.h"
#include "dbx/folder_list_file.h"
#include "mailstore/oestore/store_status.h"

namespace mailmend::mailstore::oestore {

// One folder as a caller sees it.
struct FolderProps {
    FolderId id = 0;
    std::string name; // UTF-8
    std::uint32_t messageCount = 0;
    std::uint32_t unreadCount = 0;
};

// The store's list of folders, kept in memory and in Folders.dbx, which is replaced
// whole (through a temporary file and a rename) on every change. Shared by the
// namespace and its open folders; its operations may come from any thread.
class StoreCatalog {
public:
    explicit StoreCatalog(std::filesystem::path directory);

    // Creates the directory and an empty store when missing, else reads Folders.dbx.
    StoreStatus load();
    bool loaded() const;
    const std::filesystem::path& directory() const { return m_directory; }

    // The folders of the top level (the children of Local Folders), in id order.
    std::vector<FolderProps> topLevelFolders() const;

    // Adds a top-level folder and makes its empty folder file.
    StoreStatus addFolder(const std::string& name, FolderId& id);

    // The folder file of a top-level folder, for opening, and the name and id it records;
    // a folder without a file yet is given one. Marks the folder busy until released.
    StoreStatus claimFolder(FolderId id, std::filesystem::path& file,
                            dbx::FolderFileIdentity& identity, bool& fileExists);
    // Ends a claim; records the folder's message count when it is given.
    StoreStatus releaseFolder(FolderId id, std::optional<std::uint32_t> messageCount);

private:
    StoreStatus save();
    dbx::FolderEntry* find(FolderId id);
    std::uint32_t localFoldersId() const;
    bool nameTaken(const std::string& name) const;

    std::filesystem::path m_directory;
    mutable std::mutex m_mutex;
    std::optional<dbx::FolderList> m_list;
    std::set<FolderId> m_busy;
};

} // namespace mailmend::mailstore::oestore
