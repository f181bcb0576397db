// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "mailstore/oestore/store_catalog.h"
#include "mailstore/oestore/store_folder.h"
#include "mailstore/oestore/store_status.h"

namespace mailmend::mailstore::oestore {

// A local mail store in the layout of Outlook Express: a directory holding one .dbx
// folder file per folder ("<name>.dbx") and the folder list, Folders.dbx. The recovery
// job's DBX output puts each recovered folder here and copies its file out.
//
// Use: Initialize, then list, create and open folders. Failures come back as a negative
// status; nothing throws. A folder may outlive the namespace that opened it.
class StoreNamespace {
public:
    explicit StoreNamespace(std::filesystem::path directory);

    // Creates the directory and an empty store when missing; reads an existing store.
    StoreStatus Initialize();

    // The folders directly below `parent` (only kTopLevel has any), in creation order.
    StoreStatus GetSubFolders(FolderId parent, std::vector<FolderProps>& folders) const;

    // Makes a new empty folder below `parent` (kTopLevel) with its file `<name>.dbx`.
    // Refuses a name that is empty, ".", "..", holds '/' or a NUL, is not UTF-8, is
    // longer than 251 bytes or names one of the store's own files; and one that is
    // taken, by a folder or by anything at the file's path (a link is never followed).
    StoreStatus CreateFolder(FolderId parent, const std::string& name, FolderId& newId);

    // Opens a top-level folder for adding messages; it stays busy until closed.
    StoreStatus OpenFolder(FolderId id, std::unique_ptr<StoreFolder>& folder);

    // The store directory: a folder's file is <directory>/<name>.dbx.
    StoreStatus GetDirectory(std::filesystem::path& directory) const;

private:
    std::shared_ptr<StoreCatalog> m_catalog;
};

} // namespace mailmend::mailstore::oestore
