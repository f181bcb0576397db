// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/oestore/store_namespace.h"

namespace mailmend::mailstore::oestore {

StoreNamespace::StoreNamespace(std::filesystem::path directory)
    : m_catalog(std::make_shared<StoreCatalog>(std::move(directory)))
{
}

StoreStatus StoreNamespace::Initialize()
{
    try {
        return m_catalog->load();
    } catch (...) {
        return StoreStatus::Unexpected;
    }
}

StoreStatus StoreNamespace::GetSubFolders(FolderId parent, std::vector<FolderProps>& folders) const
{
    folders.clear();
    if (!m_catalog->loaded())
        return StoreStatus::NotInitialized;
    if (parent != kTopLevel)
        return StoreStatus::Ok; // folders below the top level are not made
    try {
        folders = m_catalog->topLevelFolders();
        return StoreStatus::Ok;
    } catch (...) {
        return StoreStatus::Unexpected;
    }
}

StoreStatus StoreNamespace::CreateFolder(FolderId parent, const std::string& name, FolderId& newId)
{
    if (parent != kTopLevel)
        return StoreStatus::InvalidArgument;
    try {
        return m_catalog->addFolder(name, newId);
    } catch (...) {
        return StoreStatus::Unexpected;
    }
}

StoreStatus StoreNamespace::OpenFolder(FolderId id, std::unique_ptr<StoreFolder>& folder)
{
    try {
        std::unique_ptr<StoreFolder> opened(new StoreFolder(m_catalog, id));
        std::filesystem::path file;
        dbx::FolderFileIdentity identity;
        bool exists = false;
        const StoreStatus claimed = m_catalog->claimFolder(id, file, identity, exists);
        if (isFailure(claimed))
            return claimed;
        const bool ready = exists ? opened->m_writer.openExisting(file)
                                  : opened->m_writer.create(file, identity);
        if (!ready) {
            m_catalog->releaseFolder(id, std::nullopt);
            return exists ? StoreStatus::StoreDamaged : StoreStatus::WriteFailed;
        }
        opened->m_open = true;
        folder = std::move(opened);
        return StoreStatus::Ok;
    } catch (...) {
        return StoreStatus::Unexpected;
    }
}

StoreStatus StoreNamespace::GetDirectory(std::filesystem::path& directory) const
{
    if (!m_catalog->loaded())
        return StoreStatus::NotInitialized;
    directory = m_catalog->directory();
    return StoreStatus::Ok;
}

} // namespace mailmend::mailstore::oestore
