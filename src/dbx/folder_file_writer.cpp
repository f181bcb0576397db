// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbx/folder_file_writer.h"

#include <algorithm>
#include <cstring>

#include "dbx/index_tree.h"
#include "dbx/indexed_info.h"
#include "dbx/mail_header_fields.h"
#include "dbx/message_info.h"
#include "platform/system_time.h"

namespace mailmend::dbx {
namespace {

// Text is held until this much has arrived, then written as whole blocks.
constexpr std::size_t kHeldText = 64 * 1024;
// The start of a message kept for reading its header fields.
constexpr std::size_t kHeaderBytesKept = 64 * 1024;

constexpr std::uint32_t kFirstMessageIndex = 2;
constexpr std::uint32_t kLastMessageIndex = 0xFFFFFF00;

// The one object of a mail folder's first variable segment.
constexpr char kMessageConditions[] =
    "((MSGCOL_FLAGS & ARF_WATCH) != 0 || (MSGCOL_FLAGS & ARF_IGNORE) != 0)";
constexpr std::uint32_t kMessageConditionsLength = 0x48; // the text, its NUL, padding
constexpr std::uint32_t kMessageConditionsSize = 8 + kMessageConditionsLength;

std::string mailFileInfo(const FolderFileIdentity& identity)
{
    std::string info(kMailFileInfoSize, '\0');
    auto* bytes = reinterpret_cast<unsigned char*>(info.data());
    putLe32(bytes, 1);
    bytes[0x004] = 3; // a local folder
    std::memcpy(bytes + 0x005, "LocalStore", 10);
    const std::string name
        = identity.name.substr(0, std::min(identity.name.find('\0'), std::size_t {258}));
    std::memcpy(bytes + 0x105, name.data(), name.size());
    putLe32(bytes + 0x210, 3);
    putLe32(bytes + 0x21C, 0xFFA);
    putLe32(bytes + 0x224, identity.folderId);
    bytes[0x34A] = 1;
    return info;
}

std::uint32_t clamp32(std::uint64_t value)
{
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(value, 0xFFFFFFFFu));
}

} // namespace

// ---- MessageDraft ----

MessageDraft::~MessageDraft()
{
    if (m_writer)
        m_writer->abandon(*this);
}

bool MessageDraft::write(const void* data, std::size_t count)
{
    if (!m_writer || m_failed || m_committed)
        return false;
    if (count == 0)
        return true;
    try {
        if (m_size + count > 0xFFFFFFFFu) {
            m_failed = true;
            return m_writer->fail("the message is larger than a folder can hold");
        }
        const char* bytes = static_cast<const char*>(data);
        if (m_headerBytes.size() < kHeaderBytesKept)
            m_headerBytes.append(bytes, std::min(count, kHeaderBytesKept - m_headerBytes.size()));
        while (count > 0) {
            const std::size_t take = std::min(count, kHeldText + kBlockDataSize - m_pending.size());
            m_pending.append(bytes, take);
            bytes += take;
            count -= take;
            m_size += take;
            if (m_pending.size() > kHeldText) {
                // Whole blocks go out; at least one byte stays, so the chain's end is
                // always written by the commit.
                const std::size_t blocks = (m_pending.size() - 1) / kBlockDataSize;
                if (!emitBlocks(blocks, false)) {
                    m_failed = true;
                    return false;
                }
                m_pending.erase(0, blocks * kBlockDataSize);
            }
        }
        return true;
    } catch (...) {
        m_failed = true;
        return false;
    }
}

bool MessageDraft::emitBlocks(std::size_t count, bool final)
{
    std::string run; // consecutive blocks, written at once
    std::uint32_t runStart = 0;
    const auto flushRun = [&] {
        if (run.empty())
            return true;
        const auto blocks = static_cast<std::uint32_t>(run.size() / kBlockSize);
        if (!m_writer->writeAt(runStart, run.data(), run.size()))
            return false;
        if (!m_written.empty()
            && m_written.back().first + m_written.back().second * kBlockSize == runStart)
            m_written.back().second += blocks;
        else
            m_written.emplace_back(runStart, blocks);
        run.clear();
        return true;
    };

    for (std::size_t i = 0; i < count; ++i) {
        if (m_nextBlock == 0) {
            const auto block = m_writer->takeBlock();
            if (!block)
                return false;
            ++m_blocksTaken;
            m_nextBlock = *block;
        }
        const std::uint32_t offset = m_nextBlock;
        if (m_firstBlock == 0)
            m_firstBlock = offset;
        const bool last = final && i + 1 == count;
        m_nextBlock = 0;
        if (!last) {
            const auto block = m_writer->takeBlock();
            if (!block)
                return false;
            ++m_blocksTaken;
            m_nextBlock = *block;
        }
        const std::size_t start = i * kBlockDataSize;
        const std::size_t length = std::min<std::size_t>(kBlockDataSize, m_pending.size() - start);

        if (!run.empty() && runStart + run.size() != offset && !flushRun())
            return false;
        if (run.empty())
            runStart = offset;
        unsigned char blockHeader[kBlockHeaderSize] {};
        putLe32(blockHeader + kSelfOffsetAt, offset);
        putLe32(blockHeader + kBlockSizeAt, kBlockSizeMarker);
        putLe32(blockHeader + kDataLengthAt, static_cast<std::uint32_t>(length));
        putLe32(blockHeader + kNextOffsetAt, m_nextBlock);
        run.append(reinterpret_cast<const char*>(blockHeader), kBlockHeaderSize);
        run.append(m_pending, start, length);
        run.append(kBlockDataSize - length, '\0');
    }
    return flushRun();
}

// ---- FolderFileWriter ----

FolderFileWriter::FolderFileWriter() = default;

FolderFileWriter::~FolderFileWriter()
{
    try {
        close();
    } catch (...) {
        // A destructor reports nothing; close() itself does not throw.
    }
}

void FolderFileWriter::reset()
{
    m_header = FileHeader {};
    m_space = SpaceAllocator {};
    m_existing.clear();
    m_existingNodes = 0;
    m_added.clear();
    m_nextIndex = kFirstMessageIndex;
    m_changed = false;
    m_infoBytes = m_blockBytes = m_droppedBytes = 0;
    m_error.clear();
}

bool FolderFileWriter::fail(std::string reason)
{
    m_error = std::move(reason);
    return false;
}

bool FolderFileWriter::writeAt(std::uint64_t offset, const void* data, std::size_t count)
{
    if (m_writeFilter && !m_writeFilter(offset, count))
        return fail("the file refused a write");
    if (!m_file.writeAt(offset, data, count))
        return fail(m_file.lastError());
    return true;
}

std::optional<std::uint32_t> FolderFileWriter::takeBlock()
{
    const auto block = m_space.allocate(SegmentKind::Message, kBlockSize);
    if (!block)
        fail("the folder file would pass 4 GiB");
    m_changed = true;
    return block;
}

bool FolderFileWriter::create(const std::filesystem::path& path, const FolderFileIdentity& identity)
{
    try {
        close();
        reset();
        if (!m_file.create(path))
            return fail(m_file.lastError());
        m_header.setConstants(false);
        // A new file's first object opens its middle sector.
        const std::uint32_t conditions =
            m_space.allocate(SegmentKind::Variable, kMessageConditionsSize).value_or(0);
        std::string object = le32String(conditions) + le32String(kMessageConditionsLength);
        object += kMessageConditions;
        object.resize(kMessageConditionsSize, '\0');

        m_header.set(header::kMessageConditions, conditions);
        m_header.set(header::kConditionBytes, kMessageConditionsSize);
        m_header.set(header::kAllocatedBytes, kMessageConditionsSize);
        m_header.set(header::kLastId, kFirstMessageIndex - 1);
        m_space.store(m_header);
        const std::string info = mailFileInfo(identity);
        if (writeAt(0, m_header.data(), kFileHeaderSize)
            && writeAt(kFileHeaderSize, info.data(), info.size())
            && writeAt(conditions, object.data(), object.size()) && padFile())
            return true;
        m_file.close();
        return false;
    } catch (...) {
        m_file.close();
        return fail("out of memory");
    }
}

bool FolderFileWriter::openExisting(const std::filesystem::path& path)
{
    try {
        close();
        reset();
        if (!m_file.openExisting(path))
            return fail(m_file.lastError());
        const std::uint64_t fileSize = m_file.size();
        bool valid = fileSize >= kMailFirstSectorEnd && fileSize <= kLargestReadableFile
            && m_file.readAt(0, m_header.data(), kFileHeaderSize) == kFileHeaderSize;
        for (std::uint32_t i = 0; valid && i < kMailFolderSignature.size(); ++i)
            valid = m_header.get(4 * i) == kMailFolderSignature[i];
        valid = valid && m_header.get(header::kFileInfoLength) == kMailFileInfoSize
            && m_space.load(m_header, kMailFirstSectorEnd, fileSize)
            && m_header.get(header::kLastId) < kLastMessageIndex;
        const std::uint32_t count = m_header.get(header::kTreeCounts);
        const std::uint32_t usedEnd = m_space.usedEnd();
        // Every value is an info object of its own, at least twelve bytes long.
        valid = valid && count <= usedEnd / kInfoHeaderSize;
        if (valid) {
            const auto readNode = [&](std::uint32_t offset, TreeNodeBytes& node) {
                return offset >= kMailFirstSectorEnd && offset <= usedEnd - kTreeNodeSize
                    && m_file.readAt(offset, node.data(), node.size()) == node.size();
            };
            auto values = readIndexTree(m_header.get(header::kTreeRoots), count, readNode,
                                        &m_existingNodes);
            valid = values.has_value();
            if (valid)
                m_existing = std::move(*values);
        }
        if (!valid) {
            m_file.close();
            return fail("not an intact mail folder file");
        }
        m_nextIndex = std::max(m_header.get(header::kLastId) + 1, kFirstMessageIndex);
        return true;
    } catch (...) {
        m_file.close();
        return fail("out of memory");
    }
}

std::unique_ptr<MessageDraft> FolderFileWriter::beginMessage()
{
    if (!isOpen() || m_nextIndex >= kLastMessageIndex)
        return nullptr;
    try {
        std::unique_ptr<MessageDraft> draft(new MessageDraft(this, m_nextIndex));
        m_drafts.push_back(draft.get());
        ++m_nextIndex;
        m_changed = true;
        return draft;
    } catch (...) {
        return nullptr;
    }
}

bool FolderFileWriter::commit(MessageDraft& draft)
{
    if (draft.m_writer != this || draft.m_committed || draft.m_failed || !isOpen())
        return false;
    if (draft.m_size == 0)
        return fail("an empty message cannot be stored");
    try {
        const std::size_t blocks = (draft.m_pending.size() + kBlockDataSize - 1) / kBlockDataSize;
        if (!draft.emitBlocks(blocks, true)) {
            draft.m_failed = true;
            return false;
        }
        draft.m_pending.clear();

        StoredMessage stored;
        stored.index = draft.m_index;
        stored.firstBlock = draft.m_firstBlock;
        stored.size = static_cast<std::uint32_t>(draft.m_size);
        stored.savedTime = platform::secondsSinceEpoch();
        const auto attributes
            = messageInfoAttributes(readMailHeaderFields(draft.m_headerBytes), stored);
        const auto size = static_cast<std::uint32_t>(indexedInfoSize(attributes));
        const auto at = m_space.allocate(SegmentKind::Variable, size);
        if (!at) {
            draft.m_failed = true;
            return fail("the folder file would pass 4 GiB");
        }
        m_infoBytes += size;
        const std::string object = encodeIndexedInfo(*at, attributes);
        if (!writeAt(*at, object.data(), object.size())) {
            draft.m_failed = true;
            m_droppedBytes += size; // the object's space is lost, not counted as an info
            m_infoBytes -= size;
            return false;
        }
        m_added.push_back({draft.m_index, *at});
        m_blockBytes += std::uint64_t {draft.m_blocksTaken} * kBlockSize;
        draft.m_committed = true;
        draft.m_headerBytes = std::string();
        forget(draft);
        return true;
    } catch (...) {
        draft.m_failed = true;
        return fail("out of memory");
    }
}

void FolderFileWriter::forget(MessageDraft& draft)
{
    m_drafts.erase(std::remove(m_drafts.begin(), m_drafts.end(), &draft), m_drafts.end());
    draft.m_writer = nullptr;
}

void FolderFileWriter::abandon(MessageDraft& draft)
{
    // The blocks it wrote are zeroed, so that a reader scanning for blocks does not take
    // them for a message; their space counts as freed.
    static const std::string zeros(kMessageSegmentSize, '\0');
    for (const auto& [offset, count] : draft.m_written) {
        std::uint64_t at = offset;
        std::uint64_t left = std::uint64_t {count} * kBlockSize;
        while (left > 0) {
            const std::size_t piece
                = static_cast<std::size_t>(std::min<std::uint64_t>(left, zeros.size()));
            if (!writeAt(at, zeros.data(), piece))
                break;
            at += piece;
            left -= piece;
        }
    }
    m_droppedBytes += std::uint64_t {draft.m_blocksTaken} * kBlockSize;
    forget(draft);
    // No index record leads to the dropped blocks (zeroed or not): the file is whole.
    m_file.clearFailure();
}

std::uint32_t FolderFileWriter::messageCount() const
{
    return static_cast<std::uint32_t>(m_existing.size() + m_added.size());
}

bool FolderFileWriter::padFile()
{
    const std::uint64_t padded = m_space.paddedFileSize();
    if (m_file.size() >= padded)
        return true;
    const char zero = 0;
    return writeAt(padded - 1, &zero, 1);
}

bool FolderFileWriter::writeIndexAndHeader()
{
    // Messages keep their index order even when drafts were committed out of order.
    std::sort(m_added.begin(), m_added.end(),
              [](const IndexRecord& a, const IndexRecord& b) { return a.index < b.index; });
    std::vector<std::uint32_t> values;
    values.reserve(m_existing.size() + m_added.size());
    values = m_existing;
    for (const auto& record : m_added)
        values.push_back(record.infoOffset);

    const auto tree = buildIndexTree(values, [this] {
        return m_space.allocate(SegmentKind::Tree, kTreeNodeSize);
    });
    if (!tree)
        return fail("the folder file would pass 4 GiB");
    for (const auto& node : tree->nodes)
        if (!writeAt(node.offset, node.bytes.data(), node.bytes.size()))
            return false;

    // The old tree's nodes are left where they are and count as freed space.
    const std::uint64_t oldNodeBytes = std::uint64_t {m_existingNodes} * kTreeNodeSize;
    const std::uint64_t newNodeBytes = std::uint64_t {tree->nodes.size()} * kTreeNodeSize;
    const auto add = [this](std::uint32_t field, std::uint64_t amount) {
        m_header.set(field, clamp32(m_header.get(field) + amount));
    };
    add(header::kAllocatedBytes, m_infoBytes + m_blockBytes + m_droppedBytes + newNodeBytes);
    add(header::kFreedBytes, m_droppedBytes + oldNodeBytes);
    add(header::kInfoBytes, m_infoBytes);
    add(header::kBlockBytes, m_blockBytes);
    const std::uint32_t nodeBytes = m_header.get(header::kNodeBytes);
    m_header.set(header::kNodeBytes,
                 clamp32((nodeBytes > oldNodeBytes ? nodeBytes - oldNodeBytes : 0) + newNodeBytes));
    m_header.set(header::kLastId, m_nextIndex - 1);
    m_header.set(header::kTreeCounts, static_cast<std::uint32_t>(values.size()));
    m_header.set(header::kTreeRoots, tree->root);
    m_space.store(m_header);
    // The header goes last: until it is written the file shows its earlier state.
    return padFile() && writeAt(0, m_header.data(), kFileHeaderSize);
}

bool FolderFileWriter::close()
{
    if (!isOpen())
        return false;
    bool written = true;
    try {
        while (!m_drafts.empty())
            abandon(*m_drafts.back());
        if (m_changed)
            written = writeIndexAndHeader();
    } catch (...) {
        written = fail("out of memory");
    }
    written = m_file.flush() && written;
    return m_file.close() && written;
}

} // namespace mailmend::dbx
