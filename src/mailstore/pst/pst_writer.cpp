// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/pst/pst_writer.h"

#include <algorithm>
#include <functional>

#include "mailstore/pst/block_store.h"
#include "mailstore/pst/btree_writer.h"
#include "mailstore/pst/file_space.h"
#include "mailstore/pst/header.h"
#include "mailstore/pst/store_objects.h"
#include "mailstore/pst/table_columns.h"
#include "mailstore/pst/table_context.h"
#include "platform/cancellation.h"
#include "platform/file_system.h"
#include "platform/random_access_file.h"
#include "platform/random_bytes.h"

namespace mailmend::mailstore::pst {
namespace {

constexpr std::uint32_t kFirstFolderIndex = nidIndex(kDeletedItemsNid) + 1;
constexpr std::uint32_t kFirstMessageIndex = 0x10000;
const char* const kMailFolderClass = "IPF.Note";
const char* const kStopped = "the run was stopped; the mail is not in the store";

// The next free index per node type that a new store announces.
std::array<std::uint32_t, 32> nextNidIndexes(const NodeRecords& nodes)
{
    std::array<std::uint32_t, 32> next {};
    next.fill(0x400);
    next[static_cast<std::size_t>(NidType::SearchFolder)] = 0x4000;
    next[0x08] = 0x8000; // associated messages
    next[static_cast<std::size_t>(NidType::NormalMessage)] = kFirstMessageIndex;
    for (const NodeRecord& node : nodes) {
        std::uint32_t& slot = next[nidTypeOf(node.nid)];
        slot = std::max(slot, nidIndex(node.nid) + 1);
    }
    return next;
}

} // namespace

struct PstWriter::Parts {
    std::filesystem::path path;
    platform::RandomAccessFile file;
    FileSpace space;
    BlockStore store {file, space};
    NodeRecords nodes;
    StoreKey key {};
    std::uint32_t unique = 0;
};

struct PstWriter::Folder {
    Nid nid = 0;
    Nid parent = 0;
    std::string name;
    std::string containerClass;
    std::vector<FolderId> children;
    std::uint32_t count = 0;
    std::uint32_t unread = 0;
    bool holdsMail = false;    // a mail folder
    bool holdsFolders = false; // a mail folder or the root of the folders users see
    std::unique_ptr<TableContextBuilder> contents;
};

PstWriter::PstWriter() = default;

PstWriter::~PstWriter()
{
    if (m_state == State::Open || m_state == State::Broken)
        close();
}

bool PstWriter::fail(const std::string& reason)
{
    m_error = reason;
    return false;
}

bool PstWriter::breakStore(const std::string& reason)
{
    m_state = State::Broken;
    m_brokenReason = reason;
    return fail(reason);
}

FolderId PstWriter::ipmSubtree() const
{
    return kIpmSubtreeNid;
}

FolderId PstWriter::deletedItems() const
{
    return kDeletedItemsNid;
}

PstWriter::Folder* PstWriter::findFolder(FolderId id)
{
    const auto it = m_folders.find(id);
    return it == m_folders.end() ? nullptr : it->second.get();
}

const PstWriter::Folder* PstWriter::findFolder(FolderId id) const
{
    return const_cast<PstWriter*>(this)->findFolder(id);
}

PstWriter::Folder& PstWriter::makeFolder(Nid nid, Nid parent, const std::string& name,
                                         bool mailFolder)
{
    auto folder = std::make_unique<Folder>();
    folder->nid = nid;
    folder->parent = parent;
    folder->name = name;
    folder->containerClass = mailFolder ? kMailFolderClass : "";
    folder->holdsMail = mailFolder;
    folder->holdsFolders = mailFolder || nid == kIpmSubtreeNid;
    folder->contents = std::make_unique<TableContextBuilder>(m_parts->store, contentsColumns());
    if (nid != parent)
        if (Folder* above = findFolder(parent))
            above->children.push_back(nid);
    Folder& made = *folder;
    m_folders[nid] = std::move(folder);
    return made;
}

bool PstWriter::create(const std::filesystem::path& path, const std::string& displayName)
{
    try {
        if (m_state == State::Open || m_state == State::Broken)
            close();
        m_folders.clear();
        m_parts = std::make_unique<Parts>();
        m_messageCount = 0;
        m_nextFolderIndex = kFirstFolderIndex;
        m_nextMessageIndex = kFirstMessageIndex;
        m_displayName = displayName;
        m_error.clear();
        m_state = State::Idle;
        if (!m_parts->file.create(path))
            return fail("cannot create " + path.string() + ": " + m_parts->file.lastError());
        m_parts->path = path;
        if (!platform::randomBytes(m_parts->key.data(), m_parts->key.size())) {
            // Without the system's randomness the key still differs between stores.
            const std::size_t seed = std::hash<std::string>{}(path.string() + displayName);
            for (std::size_t i = 0; i < m_parts->key.size(); ++i)
                m_parts->key[i] = static_cast<std::uint8_t>(seed >> (8 * (i % 8)) ^ i);
        }
        m_parts->unique = static_cast<std::uint32_t>(m_parts->key[0])
            | static_cast<std::uint32_t>(m_parts->key[1]) << 8;

        makeFolder(kRootFolderNid, kRootFolderNid, "", false);
        makeFolder(kIpmSubtreeNid, kRootFolderNid, "Top of Personal Folders", false);
        makeFolder(kSearchRootNid, kRootFolderNid, "Search Root", false);
        makeFolder(kDeletedItemsNid, kIpmSubtreeNid, "Deleted Items", true);
        m_state = State::Open;
        return true;
    } catch (...) {
        return breakStore("not enough memory to create the store");
    }
}

std::optional<FolderId> PstWriter::addFolder(FolderId parent, const std::string& name)
{
    try {
        m_error.clear();
        if (m_state != State::Open) {
            fail("the store is not open");
            return std::nullopt;
        }
        Folder* above = findFolder(parent);
        if (!above || !above->holdsFolders) {
            fail("no mail folder to add a folder to");
            return std::nullopt;
        }
        if (name.empty()) {
            fail("a folder needs a name");
            return std::nullopt;
        }
        for (FolderId child : above->children) {
            if (findFolder(child)->name == name) {
                fail("a folder of that name is there already: " + name);
                return std::nullopt;
            }
        }
        if (m_nextFolderIndex > kLargestNidIndex) {
            fail("the store holds as many folders as it can");
            return std::nullopt;
        }
        const Nid nid = makeNid(m_nextFolderIndex++, NidType::NormalFolder);
        makeFolder(nid, parent, name, true);
        return nid;
    } catch (...) {
        fail("not enough memory to add a folder");
        return std::nullopt;
    }
}

std::vector<FolderId> PstWriter::childFolders(FolderId parent) const
{
    try {
        const Folder* folder = findFolder(parent);
        return folder ? folder->children : std::vector<FolderId> {};
    } catch (...) {
        return {};
    }
}

std::string PstWriter::folderName(FolderId id) const
{
    try {
        const Folder* folder = findFolder(id);
        return folder ? folder->name : std::string();
    } catch (...) {
        return {};
    }
}

bool PstWriter::addMessage(FolderId folder, const MailMessage& mail,
                           const MessageOptions& options)
{
    try {
        m_error.clear();
        return addMessageUnguarded(folder, mail, options);
    } catch (...) {
        // Whatever the mail had written goes; the store stays as it was.
        return fail("the mail could not be stored (out of memory or a failing source)");
    }
}

bool PstWriter::addMessageUnguarded(FolderId folderId, const MailMessage& mail,
                                    const MessageOptions& options)
{
    if (m_state != State::Open)
        return fail(m_state == State::Broken ? m_brokenReason : "the store is not open");
    Folder* folder = findFolder(folderId);
    if (!folder || !folder->holdsMail)
        return fail("no mail folder to add the mail to");
    if (!folder->contents->hasRoomForRow() || m_nextMessageIndex > kLargestNidIndex)
        return fail("the folder holds as many mails as it can");
    if (platform::cancelled(m_cancel))
        return fail(kStopped);

    BlockStore& store = m_parts->store;
    const BlockStore::Mark mark = store.mark();
    std::string error;
    std::optional<WrittenMessage> written;
    store.watchForStop(m_cancel);
    try {
        written = writeMessage(store, mail, options, error);
    } catch (...) {
        store.watchForStop(nullptr);
        store.rollback(mark);
        throw;
    }
    store.watchForStop(nullptr);
    if (!written) {
        store.rollback(mark);
        if (store.stopped()) {
            store.clearStop();
            return fail(kStopped);
        }
        // A write the file refused loses this mail only: its blocks are dropped above.
        if (store.failed())
            store.clearFailure();
        return fail(error);
    }
    // From here on a failure leaves the folder's table half-changed: the store is lost.
    try {
        const Nid nid = makeNid(m_nextMessageIndex, NidType::NormalMessage);
        written->contentsRow.setRowId(nid);
        m_parts->nodes.push_back({nid, written->blocks.data, written->blocks.sub, folder->nid});
        if (!folder->contents->addRow(written->contentsRow)) {
            m_parts->nodes.pop_back();
            return breakStore(store.failed() ? store.error() : "cannot list the mail in its folder");
        }
    } catch (...) {
        return breakStore("not enough memory to list the mail in its folder");
    }
    ++m_nextMessageIndex;
    ++folder->count;
    if (!options.read)
        ++folder->unread;
    ++m_messageCount;
    return true;
}

bool PstWriter::writeFolder(const Folder& folder)
{
    BlockStore& store = m_parts->store;
    auto summary = [](const Folder& f) {
        FolderSummary s;
        s.nid = f.nid;
        s.name = f.name;
        s.containerClass = f.containerClass;
        s.contentCount = f.count;
        s.unreadCount = f.unread;
        s.hasSubfolders = !f.children.empty();
        return s;
    };
    std::vector<FolderSummary> children;
    for (FolderId child : folder.children)
        children.push_back(summary(*findFolder(child)));

    const auto object = writeFolderObject(store, summary(folder));
    const auto hierarchy = writeHierarchyTable(store, children);
    const auto contents = folder.contents->finish();
    const auto assoc = writeEmptyTable(store, assocContentsColumns());
    if (!object || !hierarchy || !contents || !assoc)
        return false;
    NodeRecords& nodes = m_parts->nodes;
    nodes.push_back({folder.nid, object->data, object->sub, folder.parent});
    nodes.push_back({withType(folder.nid, NidType::HierarchyTable), hierarchy->data,
                     hierarchy->sub, 0});
    nodes.push_back({withType(folder.nid, NidType::ContentsTable), contents->data,
                     contents->sub, 0});
    nodes.push_back({withType(folder.nid, NidType::AssocContentsTable), assoc->data,
                     assoc->sub, 0});
    return true;
}

bool PstWriter::finishStore()
{
    BlockStore& store = m_parts->store;
    NodeRecords& nodes = m_parts->nodes;
    for (const auto& [nid, folder] : m_folders)
        if (!writeFolder(*folder))
            return false;

    const auto storeObject = writeStoreObject(store, m_displayName, m_parts->key);
    const auto nameMap = writeNameToIdMap(store);
    if (!storeObject || !nameMap)
        return false;
    nodes.push_back({kMessageStoreNid, storeObject->data, storeObject->sub, 0});
    nodes.push_back({kNameToIdMapNid, nameMap->data, nameMap->sub, 0});
    const struct {
        Nid nid;
        const std::vector<std::uint32_t>& columns;
    } templates[] = {
        {kHierarchyTemplateNid, hierarchyColumns()},
        {kContentsTemplateNid, contentsColumns()},
        {kAssocContentsTemplateNid, assocContentsColumns()},
        {kSearchContentsTemplateNid, contentsColumns()},
        {kAttachmentTableNid, attachmentColumns()},
        {kRecipientTableNid, recipientColumns()},
    };
    for (const auto& table : templates) {
        const auto blocks = writeEmptyTable(store, table.columns);
        if (!blocks)
            return false;
        nodes.push_back({table.nid, blocks->data, blocks->sub, 0});
    }

    const auto blockTree = writeBlockTree(store, store.records());
    const auto nodeTree = blockTree ? writeNodeTree(store, nodes) : std::nullopt;
    if (!nodeTree)
        return false;
    HeaderFields fields;
    fields.nextBid = store.nextBid();
    fields.unique = m_parts->unique;
    fields.nextNidIndex = nextNidIndexes(nodes);
    fields.fileEnd = m_parts->space.fileEnd();
    fields.lastMapOffset = m_parts->space.lastMapOffset();
    fields.mapFreeBytes = m_parts->space.freeBytes();
    fields.nodeTree = *nodeTree;
    fields.blockTree = *blockTree;
    const auto header = buildHeader(fields);
    if (!m_parts->space.writeMaps(m_parts->file)
        || !m_parts->file.writeAt(0, header.data(), header.size()))
        return store.fail("cannot write the store file: " + m_parts->file.lastError());
    return true;
}

bool PstWriter::close()
{
    m_error.clear();
    if (m_state == State::Idle || m_state == State::Closed || !m_parts)
        return fail("the store is not open");
    bool written = false;
    try {
        if (m_state == State::Broken)
            fail(m_brokenReason);
        else if (!(written = finishStore()))
            fail(m_parts->store.failed() ? m_parts->store.error() : "cannot finish the store");
    } catch (...) {
        written = false;
        fail("not enough memory to finish the store");
    }
    const bool flushed = m_parts->file.flush();
    const bool closed = m_parts->file.close();
    if (written && (!flushed || !closed))
        fail("cannot write the store file: " + m_parts->file.lastError());
    m_state = State::Closed;
    // Without its trees and header the file is no store at all: it goes.
    if (!(written && flushed && closed))
        platform::removeFile(m_parts->path);
    m_folders.clear();
    m_parts.reset();
    return written && flushed && closed;
}

} // namespace mailmend::mailstore::pst
