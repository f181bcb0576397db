// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/oestore/store_catalog.h"

#include <algorithm>

#include "dbx/ansi_text.h"
#include "dbx/mail_date.h"
#include "platform/directories.h"
#include "platform/file_system.h"
#include "platform/path_status.h"
#include "platform/random_access_file.h"
#include "platform/system_time.h"

namespace mailmend::mailstore::oestore {
namespace {

constexpr const char* kFolderListName = "Folders.dbx";
constexpr const char* kFolderListTemporary = "Folders.dbx.tmp";
constexpr const char* kFolderFileExtension = ".dbx";
// A file name must stay within 255 bytes with its extension.
constexpr std::size_t kLongestName = 251;
constexpr std::uint32_t kLastFolderId = 0x7FFFFF;

std::string lowerAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// A name that can be a folder and its file name in the store directory: not empty, no
// directory part, no NUL, valid UTF-8, and not the name of one of the store's own files.
bool acceptableName(const std::string& name)
{
    if (name.empty() || name.size() > kLongestName || name == "." || name == ".."
        || name.find('/') != std::string::npos || name.find('\0') != std::string::npos
        || !dbx::isValidUtf8(name))
        return false;
    const std::string lower = lowerAscii(name);
    return lower != "folders" && lower != "pop3uidl" && lower != "offline";
}

// A stored file name is used only when it is a plain name in the directory.
bool plainFileName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos
        && name.find('\0') == std::string::npos && lowerAscii(name) != "folders.dbx";
}

} // namespace

StoreCatalog::StoreCatalog(std::filesystem::path directory) : m_directory(std::move(directory)) {}

bool StoreCatalog::loaded() const
{
    const std::lock_guard lock(m_mutex);
    return m_list.has_value();
}

StoreStatus StoreCatalog::load()
{
    const std::lock_guard lock(m_mutex);
    m_list.reset();
    if (m_directory.empty() || !platform::createDirectories(m_directory))
        return StoreStatus::WriteFailed;
    const auto listFile = m_directory / kFolderListName;
    switch (platform::pathKind(listFile)) {
    case platform::PathKind::Missing:
        m_list = dbx::newFolderList(dbx::toFileTime(platform::secondsSinceEpoch()));
        if (const StoreStatus saved = save(); isFailure(saved)) {
            m_list.reset();
            return saved;
        }
        return StoreStatus::Ok;
    case platform::PathKind::File:
        m_list = dbx::readFolderList(listFile);
        if (!m_list || localFoldersId() == dbx::kRootFolderId) {
            m_list.reset();
            return StoreStatus::StoreDamaged;
        }
        return StoreStatus::Ok;
    default:
        return StoreStatus::StoreDamaged; // a link, a directory: never followed
    }
}

std::uint32_t StoreCatalog::localFoldersId() const
{
    for (const auto& folder : m_list->folders)
        if (folder.parent == dbx::kRootFolderId && folder.id != dbx::kRootFolderId
            && folder.storeType == dbx::kLocalStoreType)
            return folder.id;
    return dbx::kRootFolderId;
}

dbx::FolderEntry* StoreCatalog::find(FolderId id)
{
    for (auto& folder : m_list->folders)
        if (folder.id == id)
            return &folder;
    return nullptr;
}

std::vector<FolderProps> StoreCatalog::topLevelFolders() const
{
    const std::lock_guard lock(m_mutex);
    std::vector<FolderProps> folders;
    if (!m_list)
        return folders;
    const std::uint32_t local = localFoldersId();
    for (const auto& folder : m_list->folders)
        if (folder.parent == local && folder.id != local)
            folders.push_back({folder.id, dbx::decodeFolderName(folder.name), folder.messageCount,
                               folder.unreadCount});
    std::sort(folders.begin(), folders.end(),
              [](const FolderProps& a, const FolderProps& b) { return a.id < b.id; });
    return folders;
}

bool StoreCatalog::nameTaken(const std::string& name) const
{
    const std::uint32_t local = localFoldersId();
    for (const auto& folder : m_list->folders)
        if (folder.parent == local && dbx::decodeFolderName(folder.name) == name)
            return true;
    return false;
}

StoreStatus StoreCatalog::save()
{
    const std::string image = dbx::folderListImage(*m_list);
    const auto temporary = m_directory / kFolderListTemporary;
    platform::RandomAccessFile file;
    bool written = file.create(temporary) && file.writeAt(0, image.data(), image.size());
    written = file.flush() && written;
    written = file.close() && written;
    if (written && platform::renameFile(temporary, m_directory / kFolderListName))
        return StoreStatus::Ok;
    platform::removeFile(temporary);
    return StoreStatus::WriteFailed;
}

StoreStatus StoreCatalog::addFolder(const std::string& name, FolderId& id)
{
    const std::lock_guard lock(m_mutex);
    if (!m_list)
        return StoreStatus::NotInitialized;
    if (!acceptableName(name))
        return StoreStatus::InvalidArgument;
    const std::string fileName = name + kFolderFileExtension;
    const auto file = m_directory / fileName;
    if (nameTaken(name) || platform::pathKind(file) != platform::PathKind::Missing)
        return StoreStatus::FolderExists;
    std::uint32_t highest = 0;
    for (const auto& folder : m_list->folders)
        highest = std::max(highest, folder.id);
    if (highest >= kLastFolderId)
        return StoreStatus::WriteFailed;

    dbx::FolderEntry entry;
    entry.id = highest + 1;
    entry.parent = localFoldersId();
    entry.name = dbx::encodeFolderName(name);
    entry.fileName = dbx::encodeFolderName(fileName);
    entry.flags = dbx::kUserFolderFlags;
    entry.storeType = dbx::kLocalStoreType;
    m_list->folders.push_back(entry);

    // The list is written first: should the program end before the folder file exists,
    // the name stays taken and the file is made when the folder is first opened.
    StoreStatus status = save();
    if (!isFailure(status)) {
        dbx::FolderFileWriter writer;
        if (writer.create(file, {entry.name, entry.id}) && writer.close()) {
            id = entry.id;
            return StoreStatus::Ok;
        }
        platform::removeFile(file);
        status = StoreStatus::WriteFailed;
    }
    m_list->folders.pop_back();
    save();
    return status;
}

StoreStatus StoreCatalog::claimFolder(FolderId id, std::filesystem::path& file,
                                      dbx::FolderFileIdentity& identity, bool& fileExists)
{
    const std::lock_guard lock(m_mutex);
    if (!m_list)
        return StoreStatus::NotInitialized;
    dbx::FolderEntry* folder = find(id);
    if (!folder || folder->parent != localFoldersId() || id == dbx::kRootFolderId)
        return StoreStatus::FolderNotFound;
    if (m_busy.count(id))
        return StoreStatus::FolderBusy;

    if (folder->fileName.empty()) {
        // A special folder gets its file when it is first opened.
        const std::string name = dbx::decodeFolderName(folder->name);
        if (!acceptableName(name))
            return StoreStatus::StoreDamaged;
        folder->fileName = dbx::encodeFolderName(name + kFolderFileExtension);
        if (const StoreStatus saved = save(); isFailure(saved)) {
            folder->fileName.clear();
            return saved;
        }
    }
    const std::string fileName = dbx::decodeFolderName(folder->fileName);
    if (!plainFileName(fileName))
        return StoreStatus::StoreDamaged;
    file = m_directory / fileName;
    switch (platform::pathKind(file)) {
    case platform::PathKind::Missing: fileExists = false; break;
    case platform::PathKind::File: fileExists = true; break;
    default: return StoreStatus::StoreDamaged; // never follow a link
    }
    identity = {folder->name, folder->id};
    m_busy.insert(id);
    return StoreStatus::Ok;
}

StoreStatus StoreCatalog::releaseFolder(FolderId id, std::optional<std::uint32_t> messageCount)
{
    const std::lock_guard lock(m_mutex);
    m_busy.erase(id);
    dbx::FolderEntry* folder = m_list ? find(id) : nullptr;
    if (!folder || !messageCount || folder->messageCount == *messageCount)
        return StoreStatus::Ok;
    folder->messageCount = *messageCount;
    return save();
}

} // namespace mailmend::mailstore::oestore
