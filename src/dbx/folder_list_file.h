// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "dbx/indexed_info.h"

namespace mailmend::dbx {

// One folder of a store's Folders.dbx. Texts are stored bytes (the ANSI code page, see
// encodeFolderName); attributes we do not interpret are kept as they were read.
struct FolderEntry {
    std::uint32_t id = 0;
    std::uint32_t parent = 0;
    std::string name;
    std::string fileName; // the folder's .dbx file in the store directory; empty if none
    std::string account;
    std::uint32_t flags = 0;
    std::uint32_t messageCount = 0;
    std::uint32_t unreadCount = 0;
    std::uint32_t specialType = 0; // 1 Inbox, 2 Outbox, 3 Sent, 4 Deleted, 5 Drafts
    std::uint32_t storeType = 0;   // 4 the root, 3 local, 1 IMAP, 0 news
    std::vector<InfoAttribute> otherAttributes;
};

inline constexpr std::uint32_t kRootFolderId = 0;
inline constexpr std::uint32_t kNoParent = 0xFFFFFFFF;
inline constexpr std::uint32_t kLocalStoreType = 3;
inline constexpr std::uint32_t kSubscribedFlag = 0x1;
inline constexpr std::uint32_t kUserFolderFlags = 0x40021;

// The list of a store's folders, in any order.
struct FolderList {
    std::string fileInfo; // the file info object as read; empty for a new store
    std::vector<FolderEntry> folders;
};

// What a new store holds: the root, Local Folders and its five special folders (Inbox,
// Outbox, Sent Items, Deleted Items, Drafts, which get their files when first opened).
// `createdTime` is a FILETIME.
FolderList newFolderList(std::uint64_t createdTime);

// Reads a Folders.dbx file. Empty when it is not one, or when its header, its folder
// tree or a folder's record is damaged.
std::optional<FolderList> readFolderList(const std::filesystem::path& path);

// The whole file for `list`: header, file info, one record per folder and the three
// folder trees (by id; by parent and name; the subscribed ones by parent and name).
std::string folderListImage(const FolderList& list);

} // namespace mailmend::dbx
