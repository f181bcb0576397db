// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/rdo/rdo_session.h"

#include <optional>

#include "mailstore/attachment_names.h"
#include "mailstore/mime/mime_parser.h"
#include "mailstore/msg/msg_writer.h"
#include "mailstore/pst/pst_writer.h"
#include "mailstore/rtf/rtf_writer.h"
#include "platform/file_system.h"
#include "platform/output_file.h"

namespace mailmend::mailstore::rdo {

// The store behind every object of one session.
struct StoreState {
    pst::PstWriter writer;
    bool open = false;
    std::int64_t fallbackTime = 0;
    std::optional<pst::FolderId> inbox; // made when first needed

    // The folder ids the objects hold; the inbox's placeholder is made real here.
    std::optional<pst::FolderId> resolve(std::uint32_t id)
    {
        if (id != kInboxPlaceholder)
            return id;
        if (!inbox && open)
            inbox = writer.addFolder(writer.ipmSubtree(), "Inbox");
        return inbox;
    }

    // Until a mail is saved into it, the default inbox is only a name: stores whose mails
    // go elsewhere get no empty Inbox.
    static constexpr std::uint32_t kInboxPlaceholder = 0;
};

// A mail item's content once a .eml file has been imported.
struct MailContent {
    MailMessage mail;
    std::vector<std::string> attachmentNames;
};

namespace {

// `path`'s sibling that a file is written under until it is whole.
std::filesystem::path partialPath(const std::filesystem::path& path)
{
    std::string name = ".";
    name += path.filename().string();
    name += ".part";
    return path.parent_path() / name;
}

// Moves a finished file into place; a failure removes it.
bool putInPlace(bool written, const std::filesystem::path& partial, const std::filesystem::path& path)
{
    if (written && platform::renameFile(partial, path))
        return true;
    platform::removeFile(partial);
    return false;
}

} // namespace

RdoSession::RdoSession() = default;

RdoSession::~RdoSession()
{
    close();
}

std::shared_ptr<RdoStore> RdoSession::LogonPstStore(const std::filesystem::path& path,
                                                    const std::string& /*format*/,
                                                    const std::string& displayName,
                                                    const std::string& /*password*/,
                                                    const std::string& /*encryption*/)
{
    close();
    auto state = std::make_shared<StoreState>();
    if (!state->writer.create(path, displayName))
        return nullptr;
    state->open = true;
    state->writer.setCancellation(m_cancel);
    state->fallbackTime = m_fallbackTime;
    m_state = state;
    return std::make_shared<RdoStore>(state);
}

bool RdoSession::LoggedOn() const
{
    return m_state && m_state->open && m_state->writer.isOpen();
}

bool RdoSession::close()
{
    if (!m_state || !m_state->open)
        return true;
    m_state->open = false;
    return m_state->writer.close();
}

void RdoSession::setCancellation(const platform::CancellationToken* token)
{
    m_cancel = token;
    if (m_state)
        m_state->writer.setCancellation(token);
}

void RdoSession::setFallbackTime(std::int64_t time)
{
    m_fallbackTime = time;
    if (m_state)
        m_state->fallbackTime = time;
}

std::shared_ptr<RdoFolder> RdoStore::GetDefaultFolder(int kind)
{
    if (kind != kFolderInbox || !m_state->open)
        return nullptr;
    return std::make_shared<RdoFolder>(m_state, StoreState::kInboxPlaceholder);
}

std::shared_ptr<RdoFolder> RdoStore::IPMRootFolder()
{
    if (!m_state->open)
        return nullptr;
    return std::make_shared<RdoFolder>(m_state, m_state->writer.ipmSubtree());
}

std::string RdoFolder::Name() const
{
    if (m_id == StoreState::kInboxPlaceholder && !m_state->inbox)
        return "Inbox";
    const auto id = m_state->resolve(m_id);
    return id ? m_state->writer.folderName(*id) : std::string();
}

std::shared_ptr<RdoFolders> RdoFolder::Folders()
{
    const auto id = m_state->resolve(m_id);
    return id ? std::make_shared<RdoFolders>(m_state, *id) : nullptr;
}

std::shared_ptr<RdoItems> RdoFolder::Items()
{
    return m_state->open ? std::make_shared<RdoItems>(m_state, m_id) : nullptr;
}

std::int32_t RdoFolders::Count() const
{
    return static_cast<std::int32_t>(m_state->writer.childFolders(m_parent).size());
}

std::shared_ptr<RdoFolder> RdoFolders::Item(std::int32_t oneBasedIndex)
{
    const std::vector<pst::FolderId> children = m_state->writer.childFolders(m_parent);
    if (oneBasedIndex < 1 || static_cast<std::size_t>(oneBasedIndex) > children.size())
        return nullptr;
    return std::make_shared<RdoFolder>(m_state, children[static_cast<std::size_t>(oneBasedIndex - 1)]);
}

std::shared_ptr<RdoFolder> RdoFolders::Add(const std::string& name, std::int32_t /*type*/)
{
    if (!m_state->open)
        return nullptr;
    const auto id = m_state->writer.addFolder(m_parent, name);
    return id ? std::make_shared<RdoFolder>(m_state, *id) : nullptr;
}

std::shared_ptr<RdoMail> RdoItems::Add(std::int32_t type)
{
    if (type != kMailItem || !m_state->open)
        return nullptr;
    return std::make_shared<RdoMail>(m_state, m_folder);
}

RdoMail::RdoMail(std::shared_ptr<StoreState> state, std::uint32_t folder)
    : m_state(std::move(state)), m_folder(folder)
{
}

RdoMail::~RdoMail() = default;

bool RdoMail::Import(const std::filesystem::path& path, std::int32_t type)
{
    if (type != kImportEml)
        return false;
    std::optional<MailMessage> mail = parseMailFile(path);
    if (!mail)
        return false;
    m_content = std::make_shared<MailContent>();
    m_content->attachmentNames = attachmentFileNames(*mail);
    m_content->mail = std::move(*mail);
    return true;
}

bool RdoMail::Save()
{
    if (!m_content || !m_state->open)
        return false;
    const auto folder = m_state->resolve(m_folder);
    if (!folder)
        return false;
    pst::MessageOptions options;
    options.sent = m_sent;
    options.fallbackTime = m_state->fallbackTime;
    return m_state->writer.addMessage(*folder, m_content->mail, options);
}

bool RdoMail::SaveAs(const std::filesystem::path& path, std::int32_t format)
{
    if (!m_content || (format != kSaveAsMsg && format != kSaveAsRtf))
        return false;
    const std::filesystem::path partial = partialPath(path);
    std::string error;
    bool written = false;
    if (format == kSaveAsMsg) {
        MsgOptions options;
        options.parseAttachedMail = [](std::string text) { return parseMailText(std::move(text)); };
        written = writeMsgFile(m_content->mail, partial, options, error);
    } else {
        written = writeRtfFile(m_content->mail, partial, error);
    }
    return putInPlace(written, partial, path);
}

std::shared_ptr<RdoAttachments> RdoMail::Attachments()
{
    return m_content ? std::make_shared<RdoAttachments>(m_content) : nullptr;
}

std::int32_t RdoAttachments::Count() const
{
    return static_cast<std::int32_t>(m_content->mail.attachments.size());
}

std::shared_ptr<RdoAttachment> RdoAttachments::Item(std::int32_t oneBasedIndex)
{
    if (oneBasedIndex < 1 || oneBasedIndex > Count())
        return nullptr;
    return std::make_shared<RdoAttachment>(m_content, static_cast<std::size_t>(oneBasedIndex - 1));
}

std::string RdoAttachment::FileName() const
{
    return m_content->attachmentNames.at(m_index);
}

bool RdoAttachment::SaveAsFile(const std::filesystem::path& path) const
{
    const MailAttachment& attachment = m_content->mail.attachments.at(m_index);
    const std::filesystem::path partial = partialPath(path);
    platform::OutputFile out;
    bool written = out.create(partial);
    if (written) {
        const std::unique_ptr<ByteSource> source = attachment.open();
        char buffer[64 * 1024];
        for (std::ptrdiff_t n; written && (n = source->read(buffer, sizeof buffer)) != 0;) {
            if (n < 0)
                written = false;
            else
                out.write(buffer, static_cast<std::size_t>(n));
        }
        written = out.close() && written;
    }
    return putInPlace(written, partial, path);
}

} // namespace mailmend::mailstore::rdo
