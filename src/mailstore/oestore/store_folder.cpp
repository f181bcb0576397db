// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/oestore/store_folder.h"

#include "mailstore/oestore/store_catalog.h"

namespace mailmend::mailstore::oestore {

StoreStatus MessageStream::Write(const void* data, std::size_t count, std::size_t* written)
{
    if (written)
        *written = 0;
    if (m_committed || !m_draft)
        return StoreStatus::WrongStream;
    if (platform::cancelled(m_cancel))
        return StoreStatus::Cancelled;
    if (count > 0 && !data)
        return StoreStatus::InvalidArgument;
    if (!m_draft->write(data, count))
        return StoreStatus::WriteFailed;
    if (written)
        *written = count;
    return StoreStatus::Ok;
}

StoreFolder::StoreFolder(std::shared_ptr<StoreCatalog> catalog, FolderId id)
    : m_catalog(std::move(catalog)), m_id(id)
{
}

StoreFolder::~StoreFolder()
{
    Close();
}

void StoreFolder::setWriteFilter(dbx::FolderFileWriter::WriteFilter filter)
{
    m_writer.setWriteFilter(std::move(filter));
}

StoreStatus StoreFolder::CreateStream(std::unique_ptr<MessageStream>& stream, MessageId& id)
{
    if (!m_open)
        return StoreStatus::NotInitialized;
    if (platform::cancelled(m_cancel))
        return StoreStatus::Cancelled;
    try {
        auto draft = m_writer.beginMessage();
        if (!draft)
            return StoreStatus::WriteFailed;
        id = draft->messageIndex();
        stream.reset(new MessageStream(this, std::move(draft), m_cancel));
        return StoreStatus::Ok;
    } catch (...) {
        return StoreStatus::Unexpected;
    }
}

StoreStatus StoreFolder::CommitStream(MessageStream& stream, MessageId id)
{
    if (!m_open)
        return StoreStatus::NotInitialized;
    if (stream.m_folder != this || !stream.m_draft || stream.m_committed
        || stream.m_draft->messageIndex() != id)
        return StoreStatus::WrongStream;
    if (platform::cancelled(m_cancel))
        return StoreStatus::Cancelled;
    if (stream.m_draft->size() == 0)
        return StoreStatus::EmptyMessage;
    if (!m_writer.commit(*stream.m_draft))
        return StoreStatus::WriteFailed;
    stream.m_committed = true;
    return StoreStatus::Ok;
}

StoreStatus StoreFolder::Close()
{
    if (!m_open)
        return StoreStatus::Ok;
    m_open = false;
    const bool written = m_writer.close();
    // The count is recorded only when the folder file's index holds it.
    const StoreStatus listed = m_catalog->releaseFolder(
        m_id, written ? std::optional<std::uint32_t>(m_writer.messageCount()) : std::nullopt);
    if (!written)
        return StoreStatus::WriteFailed;
    return isFailure(listed) ? StoreStatus::ListNotUpdated : listed;
}

} // namespace mailmend::mailstore::oestore
