// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dbx/folder_file_layout.h"
#include "platform/random_access_file.h"

namespace mailmend::dbx {

class FolderFileWriter;

// One message on its way into a folder file. Its text goes straight into mail blocks of
// the file as it is written, so only the last few kilobytes are held here; committing it
// adds its index record. A draft dropped without a commit wipes the blocks it wrote.
class MessageDraft {
public:
    ~MessageDraft();
    MessageDraft(const MessageDraft&) = delete;
    MessageDraft& operator=(const MessageDraft&) = delete;

    // Appends text; false when the folder is closed, the file refused a write or the
    // message would pass what a folder can hold. After a failure the draft takes no more.
    bool write(const void* data, std::size_t count);

    // The message's index in the folder, handed out when the draft was begun.
    std::uint32_t messageIndex() const { return m_index; }
    std::uint64_t size() const { return m_size; }

private:
    friend class FolderFileWriter;
    MessageDraft(FolderFileWriter* writer, std::uint32_t index)
        : m_writer(writer)
        , m_index(index)
    {
    }

    // Writes `count` blocks from the front of m_pending; the last of them ends the chain
    // when `final` is set.
    bool emitBlocks(std::size_t count, bool final);

    FolderFileWriter* m_writer;
    std::uint32_t m_index;
    std::uint64_t m_size = 0;
    std::string m_pending;      // text not yet in a block
    std::string m_headerBytes;  // the start of the text, for the index fields
    std::uint32_t m_firstBlock = 0;
    std::uint32_t m_nextBlock = 0; // reserved for the text still to come
    std::uint32_t m_blocksTaken = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_written; // runs: offset, blocks
    bool m_failed = false;
    bool m_committed = false;
};

// What a new folder file records about itself.
struct FolderFileIdentity {
    std::string name;           // in the ANSI code page; at most 258 bytes are kept
    std::uint32_t folderId = 0; // the folder's id in the store's Folders.dbx
};

// Writes an Outlook Express mail folder file. Messages are appended as they are
// committed (text blocks and an index record each, at the same cost for the last as for
// the first); the index tree and the header are written once, on close. The file on
// disk is a valid folder from its creation on: until close it shows the messages it
// had when it was opened.
//
// Use: create or openExisting, then beginMessage / write / commit per message, close.
// Not thread-safe.
class FolderFileWriter {
public:
    // Decides whether a write at an offset of a length may go ahead; a refused write
    // fails as a full disk would. A seam for tests.
    using WriteFilter = std::function<bool(std::uint64_t offset, std::size_t count)>;

    FolderFileWriter();
    ~FolderFileWriter(); // closes
    FolderFileWriter(const FolderFileWriter&) = delete;
    FolderFileWriter& operator=(const FolderFileWriter&) = delete;

    // Makes a new empty folder file at `path` (replacing a plain file there).
    bool create(const std::filesystem::path& path, const FolderFileIdentity& identity);
    // Opens a folder file to add messages to it; false when it is no mail folder or its
    // header or index tree is damaged.
    bool openExisting(const std::filesystem::path& path);

    // A new message, or null when no folder is open.
    std::unique_ptr<MessageDraft> beginMessage();
    // Makes the draft's text a message of the folder. False for an empty message, a
    // draft of another writer, or a failed write; the draft is then dropped on release.
    bool commit(MessageDraft& draft);

    // Drops the open drafts, writes the index tree and the header, pads the file and
    // closes it. True when the file holds every committed message.
    bool close();

    bool isOpen() const { return m_file.isOpen(); }
    std::uint32_t messageCount() const;
    const std::string& lastError() const { return m_error; }
    void setWriteFilter(WriteFilter filter) { m_writeFilter = std::move(filter); }

private:
    friend class MessageDraft;

    struct IndexRecord {
        std::uint32_t index;
        std::uint32_t infoOffset;
    };

    bool fail(std::string reason);
    bool writeAt(std::uint64_t offset, const void* data, std::size_t count);
    std::optional<std::uint32_t> takeBlock();
    void abandon(MessageDraft& draft);
    void forget(MessageDraft& draft);
    bool writeIndexAndHeader();
    bool padFile();
    void reset();

    platform::RandomAccessFile m_file;
    FileHeader m_header;
    SpaceAllocator m_space;
    std::vector<std::uint32_t> m_existing; // info offsets found in the tree on opening
    std::size_t m_existingNodes = 0;
    std::vector<IndexRecord> m_added;
    std::vector<MessageDraft*> m_drafts; // begun, neither committed nor dropped
    std::uint32_t m_nextIndex = 2;
    bool m_changed = false;

    // Bytes allocated since opening, for the header's accounting.
    std::uint64_t m_infoBytes = 0;
    std::uint64_t m_blockBytes = 0;   // of committed messages
    std::uint64_t m_droppedBytes = 0; // of dropped drafts

    std::string m_error;
    WriteFilter m_writeFilter;
};

} // namespace mailmend::dbx
