// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace mailmend::platform {
class CancellationToken;
}

// The mail session the PST, MSG and RTF outputs work through: a session logs on to a new
// .pst store; the store has a default inbox and a root of visible folders; folders have
// child folders and items; a mail item takes a whole .eml file, is saved into its folder
// or saved as a .msg or .rtf file, and hands out its attachments.
//
// Every operation reports failure by its result: a null object or false, never an
// exception. An object lives as long as someone holds it; the store file is closed
// properly (its indexes and header written) when the session closes or the last object
// of the store is let go, whichever comes first, so a stopped run still leaves a store
// that readers open.
namespace mailmend::mailstore::rdo {

class RdoStore;
class RdoFolder;
class RdoFolders;
class RdoItems;
class RdoMail;
class RdoAttachments;
class RdoAttachment;
struct StoreState;

// What GetDefaultFolder is asked for.
inline constexpr int kFolderInbox = 6;
// The item kinds Add and Import are given.
inline constexpr int kMailItem = 0;
inline constexpr int kImportEml = 1024;
// The formats SaveAs writes.
inline constexpr int kSaveAsRtf = 1;
inline constexpr int kSaveAsMsg = 3;

class RdoSession {
public:
    RdoSession();
    ~RdoSession();
    RdoSession(const RdoSession&) = delete;
    RdoSession& operator=(const RdoSession&) = delete;

    // Creates a new Unicode .pst store at `path` (replacing a plain file there) and logs
    // on to it. The format, password and encryption are taken as given and not used.
    std::shared_ptr<RdoStore> LogonPstStore(const std::filesystem::path& path,
                                            const std::string& format,
                                            const std::string& displayName,
                                            const std::string& password,
                                            const std::string& encryption);
    bool LoggedOn() const;
    // Closes the store file properly. Also done by the destructor.
    bool close();

    // A run's stop: a mail being saved then ends before its next block and is dropped.
    void setCancellation(const platform::CancellationToken* token);
    // The dates of a mail that has none (seconds since 1970 UTC).
    void setFallbackTime(std::int64_t time);

private:
    std::shared_ptr<StoreState> m_state;
    const platform::CancellationToken* m_cancel = nullptr;
    std::int64_t m_fallbackTime = 0;
};

class RdoStore {
public:
    explicit RdoStore(std::shared_ptr<StoreState> state) : m_state(std::move(state)) {}
    // The store's call that readies it for use; nothing to do here.
    void prepare() {}
    std::shared_ptr<RdoFolder> GetDefaultFolder(int kind);
    std::shared_ptr<RdoFolder> IPMRootFolder();

private:
    std::shared_ptr<StoreState> m_state;
};

class RdoFolder {
public:
    RdoFolder(std::shared_ptr<StoreState> state, std::uint32_t id) : m_state(std::move(state)), m_id(id) {}
    std::string Name() const;
    // The kind of item the folder holds, passed on to a new child folder.
    std::int32_t DefaultItemType() const { return kMailItem; }
    std::shared_ptr<RdoFolders> Folders();
    std::shared_ptr<RdoItems> Items();

private:
    std::shared_ptr<StoreState> m_state;
    std::uint32_t m_id;
};

class RdoFolders {
public:
    RdoFolders(std::shared_ptr<StoreState> state, std::uint32_t parent) : m_state(std::move(state)), m_parent(parent) {}
    std::int32_t Count() const;
    std::shared_ptr<RdoFolder> Item(std::int32_t oneBasedIndex);
    std::shared_ptr<RdoFolder> Add(const std::string& name, std::int32_t type);

private:
    std::shared_ptr<StoreState> m_state;
    std::uint32_t m_parent;
};

class RdoItems {
public:
    RdoItems(std::shared_ptr<StoreState> state, std::uint32_t folder) : m_state(std::move(state)), m_folder(folder) {}
    std::shared_ptr<RdoMail> Add(std::int32_t type);

private:
    std::shared_ptr<StoreState> m_state;
    std::uint32_t m_folder;
};

struct MailContent;

class RdoMail {
public:
    RdoMail(std::shared_ptr<StoreState> state, std::uint32_t folder);
    ~RdoMail();
    // Takes the whole content of the .eml file at `path`. False when it cannot be read.
    bool Import(const std::filesystem::path& path, std::int32_t type);
    void SetSent(bool sent) { m_sent = sent; }
    // Saves the item into its folder of the store.
    bool Save();
    // Writes the item to `path` as a .msg (kSaveAsMsg) or .rtf (kSaveAsRtf) file, whole
    // or not at all.
    bool SaveAs(const std::filesystem::path& path, std::int32_t format);
    std::shared_ptr<RdoAttachments> Attachments();

private:
    std::shared_ptr<StoreState> m_state;
    std::uint32_t m_folder;
    std::shared_ptr<MailContent> m_content;
    bool m_sent = false;
};

class RdoAttachments {
public:
    explicit RdoAttachments(std::shared_ptr<MailContent> content) : m_content(std::move(content)) {}
    std::int32_t Count() const;
    std::shared_ptr<RdoAttachment> Item(std::int32_t oneBasedIndex);

private:
    std::shared_ptr<MailContent> m_content;
};

class RdoAttachment {
public:
    RdoAttachment(std::shared_ptr<MailContent> content, std::size_t index)
        : m_content(std::move(content)), m_index(index) {}
    // The name the attachment is saved under: the mail's own name made safe for the file
    // system and unique among the mail's attachments.
    std::string FileName() const;
    // Writes the attachment's bytes to `path`, whole or not at all.
    bool SaveAsFile(const std::filesystem::path& path) const;

private:
    std::shared_ptr<MailContent> m_content;
    std::size_t m_index;
};

} // namespace mailmend::mailstore::rdo
