// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mailstore/mail_message.h"
#include "mailstore/pst/message_writer.h"

namespace mailmend::platform {
class CancellationToken;
}

namespace mailmend::mailstore::pst {

using FolderId = std::uint32_t; // a folder's node id

// Writes a new Unicode .pst store. Each mail goes to the file when it is added; what
// stays in memory is a small index entry per block and per node and a few blocks per
// folder, whatever the number of mails. close writes the folders, the indexes and the
// header; it may come at any time (also right after a failed add or a stop) and leaves a
// store that holds every mail added so far, unless the file itself failed.
//
// A new store has the root folder, the search root, "Top of Personal Folders" (the root of
// the folders users see) and "Deleted Items" in it.
class PstWriter {
public:
    PstWriter();
    ~PstWriter(); // closes a store left open
    PstWriter(const PstWriter&) = delete;
    PstWriter& operator=(const PstWriter&) = delete;

    // Creates the file (replacing a plain file of that name). `displayName` names the store.
    bool create(const std::filesystem::path& path, const std::string& displayName);

    FolderId ipmSubtree() const;
    FolderId deletedItems() const;
    // A new mail folder under `parent` (the IPM subtree or a folder below it). Names are
    // not empty and unique among their siblings.
    std::optional<FolderId> addFolder(FolderId parent, const std::string& name);
    // Children in the order they were made; empty for an unknown folder.
    std::vector<FolderId> childFolders(FolderId parent) const;
    std::string folderName(FolderId folder) const;

    // A run's stop: once set, no mail is added, and a mail being written ends before its
    // next block and is dropped. close still writes the store.
    void setCancellation(const platform::CancellationToken* token) { m_cancel = token; }

    // Adds one mail. On failure the store is as it was before (a write the file refused
    // included), unless the mail's listing in its folder failed: then nothing more can be
    // added, and lastError says why.
    bool addMessage(FolderId folder, const MailMessage& mail, const MessageOptions& options);
    std::uint32_t messageCount() const { return m_messageCount; }

    // True when the store was written whole and reached the disk. Otherwise the file,
    // which no reader could open, is removed.
    bool close();
    bool isOpen() const { return m_state == State::Open; }
    const std::string& lastError() const { return m_error; }

private:
    struct Folder;
    enum class State { Idle, Open, Broken, Closed };

    bool fail(const std::string& reason);
    // The file failed: nothing more can be added or finished.
    bool breakStore(const std::string& reason);
    Folder* findFolder(FolderId id);
    const Folder* findFolder(FolderId id) const;
    Folder& makeFolder(Nid nid, Nid parent, const std::string& name, bool mailFolder);
    bool addMessageUnguarded(FolderId folder, const MailMessage& mail,
                             const MessageOptions& options);
    bool finishStore();
    bool writeFolder(const Folder& folder);

    struct Parts;
    std::unique_ptr<Parts> m_parts;
    std::map<FolderId, std::unique_ptr<Folder>> m_folders;
    State m_state = State::Idle;
    const platform::CancellationToken* m_cancel = nullptr;
    std::uint32_t m_nextFolderIndex = 0;
    std::uint32_t m_nextMessageIndex = 0;
    std::uint32_t m_messageCount = 0;
    std::string m_displayName;
    std::string m_error;
    std::string m_brokenReason;
};

} // namespace mailmend::mailstore::pst
