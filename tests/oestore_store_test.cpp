// SPDX-License-Identifier: GPL-3.0-or-later
// The OE store: folders created, listed and filled, each folder file checked by undbx.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "mailstore/oestore/store_namespace.h"
#include "support/dbx_fixture.h"
#include "support/dbx_folder_maker.h"
#include "support/temp_dir.h"

namespace mailmend::mailstore::oestore {
namespace {

namespace fs = std::filesystem;
using Mails = std::vector<std::string>;

const std::vector<std::string> kSpecialFolders {"Inbox", "Outbox", "Sent Items", "Deleted Items",
                                                "Drafts"};

std::string mail(const std::string& folder, int n)
{
    return "From: a@example.org\r\nSubject: " + folder + " " + std::to_string(n)
        + "\r\n\r\n" + std::string(300 + n * 400, 'x') + "\r\n";
}

std::vector<std::string> names(const StoreNamespace& store)
{
    std::vector<FolderProps> folders;
    EXPECT_EQ(store.GetSubFolders(kTopLevel, folders), StoreStatus::Ok);
    std::vector<std::string> result;
    for (const auto& folder : folders)
        result.push_back(folder.name);
    return result;
}

// Puts `mails` into the folder as the recovery job does: one stream each.
void commitAll(StoreFolder& folder, const Mails& mails)
{
    for (const auto& text : mails) {
        std::unique_ptr<MessageStream> stream;
        MessageId id = 0;
        ASSERT_EQ(folder.CreateStream(stream, id), StoreStatus::Ok);
        ASSERT_EQ(stream->Write(text.data(), text.size()), StoreStatus::Ok);
        ASSERT_EQ(folder.CommitStream(*stream, id), StoreStatus::Ok);
    }
}

Mails sorted(Mails mails)
{
    std::sort(mails.begin(), mails.end());
    return mails;
}

TEST(OeStore, FoldersAreListedInOrderAndHoldTheirMails)
{
    if (!testing::programInstalled("undbx"))
        GTEST_SKIP() << "undbx is not installed";
    testing::TempDir dir;
    const fs::path storeDir = dir / "store";
    const std::vector<std::string> created {"Recovered_1_Inbox", "Recovered_2_Caf\xC3\xA9",
                                            "Recovered_1_Inbox(2)", "Recovered_3_\xD0\x9F"};
    std::vector<Mails> contents(created.size());
    {
        StoreNamespace store(storeDir);
        ASSERT_EQ(store.Initialize(), StoreStatus::Ok);
        EXPECT_EQ(names(store), kSpecialFolders);
        for (std::size_t i = 0; i < created.size(); ++i) {
            FolderId id = 0;
            ASSERT_EQ(store.CreateFolder(kTopLevel, created[i], id), StoreStatus::Ok);
            std::unique_ptr<StoreFolder> folder;
            ASSERT_EQ(store.OpenFolder(id, folder), StoreStatus::Ok);
            for (std::size_t n = 0; n < i * 2; ++n)
                contents[i].push_back(mail(created[i], static_cast<int>(n)));
            commitAll(*folder, contents[i]);
        }
    }

    StoreNamespace reopened(storeDir);
    ASSERT_EQ(reopened.Initialize(), StoreStatus::Ok);
    std::vector<std::string> expected = kSpecialFolders;
    expected.insert(expected.end(), created.begin(), created.end());
    EXPECT_EQ(names(reopened), expected);

    std::vector<FolderProps> folders;
    reopened.GetSubFolders(kTopLevel, folders);
    fs::path directory;
    ASSERT_EQ(reopened.GetDirectory(directory), StoreStatus::Ok);
    for (std::size_t i = 0; i < created.size(); ++i) {
        SCOPED_TRACE(created[i]);
        EXPECT_EQ(folders[kSpecialFolders.size() + i].messageCount, contents[i].size());
        const auto extracted = testing::undbxMails(directory / (created[i] + ".dbx"));
        ASSERT_TRUE(extracted.has_value());
        EXPECT_TRUE(*extracted == sorted(contents[i]));
    }
}

TEST(OeStore, RefusesNamesItCannotTakeAndNeverFollowsALink)
{
    testing::TempDir dir;
    StoreNamespace store(dir.path());
    ASSERT_EQ(store.Initialize(), StoreStatus::Ok);
    FolderId id = 0;
    ASSERT_EQ(store.CreateFolder(kTopLevel, "Taken", id), StoreStatus::Ok);
    fs::create_symlink(dir / "elsewhere.dbx", dir / "Linked.dbx");
    const struct {
        std::string name;
        StoreStatus status;
    } cases[] {
        {"", StoreStatus::InvalidArgument},
        {"a/b", StoreStatus::InvalidArgument},
        {std::string("a\0b", 3), StoreStatus::InvalidArgument},
        {".", StoreStatus::InvalidArgument},
        {"..", StoreStatus::InvalidArgument},
        {"folders", StoreStatus::InvalidArgument},
        {"bad \xFF byte", StoreStatus::InvalidArgument},
        {std::string(252, 'n'), StoreStatus::InvalidArgument},
        {"Taken", StoreStatus::FolderExists},
        {"Inbox", StoreStatus::FolderExists},
        {"Linked", StoreStatus::FolderExists},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(store.CreateFolder(kTopLevel, c.name, id), c.status);
    }
    EXPECT_FALSE(fs::exists(dir / "elsewhere.dbx"));
    std::vector<std::string> expected = kSpecialFolders;
    expected.push_back("Taken");
    EXPECT_EQ(names(store), expected);
}

TEST(OeStore, FolderClosedAfterAFailureKeepsWhatWasCommitted)
{
    if (!testing::programInstalled("undbx"))
        GTEST_SKIP() << "undbx is not installed";
    testing::TempDir dir;
    StoreNamespace store(dir.path());
    ASSERT_EQ(store.Initialize(), StoreStatus::Ok);
    FolderId id = 0;
    ASSERT_EQ(store.CreateFolder(kTopLevel, "Broken", id), StoreStatus::Ok);
    std::unique_ptr<StoreFolder> folder;
    ASSERT_EQ(store.OpenFolder(id, folder), StoreStatus::Ok);
    std::unique_ptr<StoreFolder> again;
    EXPECT_EQ(store.OpenFolder(id, again), StoreStatus::FolderBusy);

    const Mails committed {mail("Broken", 1), mail("Broken", 2), mail("Broken", 3)};
    commitAll(*folder, committed);
    bool diskFull = true;
    folder->setWriteFilter([&](std::uint64_t, std::size_t) { return !diskFull; });
    const std::string refused = mail("Broken", 4);
    std::unique_ptr<MessageStream> stream;
    MessageId messageId = 0;
    ASSERT_EQ(folder->CreateStream(stream, messageId), StoreStatus::Ok);
    ASSERT_EQ(stream->Write(refused.data(), refused.size()), StoreStatus::Ok);
    EXPECT_EQ(folder->CommitStream(*stream, messageId), StoreStatus::WriteFailed);
    diskFull = false;

    // A large message half written when the run stops: its blocks are on disk already.
    const std::string unfinished = mail("Broken", 500);
    ASSERT_EQ(folder->CreateStream(stream, messageId), StoreStatus::Ok);
    ASSERT_EQ(stream->Write(unfinished.data(), unfinished.size()), StoreStatus::Ok);
    folder.reset();
    EXPECT_EQ(stream->Write("x", 1), StoreStatus::WriteFailed);
    stream.reset();

    const fs::path file = dir / "Broken.dbx";
    const auto extracted = testing::undbxMails(file);
    ASSERT_TRUE(extracted.has_value());
    EXPECT_TRUE(*extracted == sorted(committed));
    // Scanning for blocks finds no trace of the dropped text either.
    const auto scanned = testing::undbxMails(file, true);
    ASSERT_TRUE(scanned.has_value());
    EXPECT_TRUE(*scanned == sorted(committed));
    std::vector<FolderProps> folders;
    store.GetSubFolders(kTopLevel, folders);
    EXPECT_EQ(folders.back().messageCount, 3u);
}

} // namespace
} // namespace mailmend::mailstore::oestore
