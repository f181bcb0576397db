// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <memory>

#include "dbx/folder_file_writer.h"
#include "mailstore/oestore/store_status.h"
#include "platform/cancellation.h"

namespace mailmend::mailstore::oestore {

class StoreCatalog;
class StoreFolder;

// The text of a new message, written in pieces; it becomes a message of its folder when
// the folder commits it. Released without a commit, it leaves nothing in the folder.
class MessageStream {
public:
    // Appends `count` bytes; `written` (when given) receives how many were taken.
    StoreStatus Write(const void* data, std::size_t count, std::size_t* written = nullptr);

private:
    friend class StoreFolder;
    MessageStream(const StoreFolder* folder, std::unique_ptr<dbx::MessageDraft> draft,
                  const platform::CancellationToken* cancel)
        : m_folder(folder), m_draft(std::move(draft)), m_cancel(cancel)
    {
    }

    const StoreFolder* m_folder; // compared, never followed: the stream may outlive it
    std::unique_ptr<dbx::MessageDraft> m_draft;
    const platform::CancellationToken* m_cancel;
    bool m_committed = false;
};

// An open folder of the store. Closing it (or releasing it) writes the folder file's
// index and header and records the folder's message count in Folders.dbx, also after a
// failure or a stop, so that every committed message stays readable.
class StoreFolder {
public:
    ~StoreFolder();
    StoreFolder(const StoreFolder&) = delete;
    StoreFolder& operator=(const StoreFolder&) = delete;

    // A new message stream and the id its message will have.
    StoreStatus CreateStream(std::unique_ptr<MessageStream>& stream, MessageId& id);
    // Adds the stream's text to the folder as a message; the stream takes no more.
    StoreStatus CommitStream(MessageStream& stream, MessageId id);
    StoreStatus Close();

    FolderId id() const { return m_id; }
    std::uint32_t messageCount() const { return m_writer.messageCount(); }

    // Once `token` is set no stream is created, written or committed.
    void setCancellation(const platform::CancellationToken* token) { m_cancel = token; }
    // Test seam: see dbx::FolderFileWriter::setWriteFilter.
    void setWriteFilter(dbx::FolderFileWriter::WriteFilter filter);

private:
    friend class StoreNamespace;
    StoreFolder(std::shared_ptr<StoreCatalog> catalog, FolderId id);

    std::shared_ptr<StoreCatalog> m_catalog;
    FolderId m_id;
    dbx::FolderFileWriter m_writer;
    const platform::CancellationToken* m_cancel = nullptr;
    bool m_open = false;
};

} // namespace mailmend::mailstore::oestore
