// SPDX-License-Identifier: GPL-3.0-or-later
// Existing files: real Outlook Express folders and folder lists taken up by the writer
// and the store, and damaged ones refused without harm.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "dbx/folder_file_writer.h"
#include "dbx/folder_list_file.h"
#include "dbx/format.h"
#include "mailstore/oestore/store_namespace.h"
#include "support/dbx_fixture.h"
#include "support/dbx_folder_maker.h"
#include "support/temp_dir.h"

namespace mailmend::dbx {
namespace {

namespace fs = std::filesystem;
using mailstore::oestore::FolderId;
using mailstore::oestore::kTopLevel;
using mailstore::oestore::StoreNamespace;
using mailstore::oestore::StoreStatus;

std::vector<fs::path> corpusFiles(bool folderLists)
{
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(MAILMEND_REAL_CORPUS, ec)) {
        const bool isList = checkDbxHeader(entry.path()) == DbxHeaderVerdict::NotMailFolder
            && entry.path().filename().string().find("Folders") != std::string::npos;
        if (folderLists ? isList : checkDbxHeader(entry.path()) == DbxHeaderVerdict::MailFolder)
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool append(const fs::path& file, const std::string& mail)
{
    FolderFileWriter writer;
    if (!writer.openExisting(file))
        return false;
    auto draft = writer.beginMessage();
    return draft->write(mail.data(), mail.size()) && writer.commit(*draft) && writer.close();
}

TEST(ExistingFiles, MailsAppendToRealFolders)
{
    const auto files = corpusFiles(false);
    if (files.empty() || !testing::programInstalled("undbx"))
        GTEST_SKIP() << "needs the real .dbx files and undbx";
    const std::string added =
        "From: x@example.org\r\nSubject: added\r\n\r\n" + std::string(900, 'a');
    for (const auto& original : files) {
        SCOPED_TRACE(original.filename().string());
        testing::TempDir dir;
        const fs::path copy = dir / original.filename();
        fs::copy_file(original, copy);
        auto expected = testing::undbxMails(copy);
        ASSERT_TRUE(expected.has_value());
        ASSERT_TRUE(append(copy, added));
        expected->push_back(added);
        std::sort(expected->begin(), expected->end());
        EXPECT_EQ(testing::undbxMails(copy), expected);
    }
}

std::vector<std::string> summaries(const fs::path& list)
{
    std::vector<std::string> lines;
    for (const auto& f : readFolderList(list).value_or(FolderList {}).folders)
        lines.push_back(std::to_string(f.id) + " " + std::to_string(f.parent) + " " + f.name + "|"
                        + f.fileName + "|" + f.account + " " + std::to_string(f.flags) + " "
                        + std::to_string(f.messageCount) + " " + std::to_string(f.specialType)
                        + " " + std::to_string(f.storeType));
    std::sort(lines.begin(), lines.end());
    return lines;
}

TEST(ExistingFiles, RealFolderListsKeepEveryFolder)
{
    const auto files = corpusFiles(true);
    if (files.empty())
        GTEST_SKIP() << "no real Folders.dbx at " << MAILMEND_REAL_CORPUS;
    for (const auto& original : files) {
        SCOPED_TRACE(original.filename().string());
        testing::TempDir dir;
        fs::copy_file(original, dir / "Folders.dbx");
        auto expected = summaries(dir / "Folders.dbx");
        ASSERT_GT(expected.size(), 2u);
        StoreNamespace store(dir.path());
        ASSERT_EQ(store.Initialize(), StoreStatus::Ok);
        FolderId id = 0;
        ASSERT_EQ(store.CreateFolder(kTopLevel, "Recovered_1_Inbox", id), StoreStatus::Ok);

        StoreNamespace reopened(dir.path());
        ASSERT_EQ(reopened.Initialize(), StoreStatus::Ok);
        std::vector<mailstore::oestore::FolderProps> folders;
        reopened.GetSubFolders(kTopLevel, folders);
        ASSERT_FALSE(folders.empty());
        EXPECT_EQ(folders.back().name, "Recovered_1_Inbox");
        expected.push_back(std::to_string(id)
                           + " 1 Recovered_1_Inbox|Recovered_1_Inbox.dbx| 262177 0 0 3");
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(summaries(dir / "Folders.dbx"), expected);
    }
}

// Damage that goes for the fields a reader trusts, and anywhere else.
std::string damaged(std::string bytes, std::mt19937& random)
{
    static const std::uint32_t kFields[] {0x24, 0x28, 0x2C, 0x30, 0x38, 0x3C, 0x44, 0x5C,
                                          0x7C, 0xC4, 0xE4, 0xE8, 0xEC};
    const std::uint32_t kValues[] {0, 1, 0xFFFFFFFF, 0x7FFFFFFF, 0x2AD4, 0x25C4,
                                   static_cast<std::uint32_t>(bytes.size()), 0x33};
    if (random() % 5 == 0) {
        bytes.resize(random() % bytes.size());
        return bytes;
    }
    for (int n = 1 + static_cast<int>(random() % 4); n > 0; --n) {
        const std::size_t at = random() % 2 ? kFields[random() % std::size(kFields)]
                                            : random() % (bytes.size() - 4);
        const std::uint32_t value = random() % 2 ? kValues[random() % std::size(kValues)]
                                                 : static_cast<std::uint32_t>(random());
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<char>(value >> (8 * i));
    }
    return bytes;
}

TEST(ExistingFiles, DamagedFilesAreRefusedOrStillWork)
{
    testing::TempDir dir;
    std::vector<std::string> mails;
    for (std::size_t i = 0; i < 120; ++i)
        mails.push_back("Subject: " + std::to_string(i) + "\r\n\r\n" + std::string(i * 9, 'm'));
    ASSERT_EQ(testing::makeDbxFolder(dir / "sample.dbx", mails), 120);
    {
        StoreNamespace store(dir / "store");
        ASSERT_EQ(store.Initialize(), StoreStatus::Ok);
        FolderId id = 0;
        for (const char* name : {"one", "two", "three"})
            ASSERT_EQ(store.CreateFolder(kTopLevel, name, id), StoreStatus::Ok);
    }
    const std::string folder = testing::readFile(dir / "sample.dbx");
    const std::string list = testing::readFile(dir / "store" / "Folders.dbx");

    std::mt19937 random(20240611);
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        testing::writeFile(dir / "damaged.dbx", damaged(folder, random));
        FolderFileWriter writer;
        if (writer.openExisting(dir / "damaged.dbx")) {
            auto draft = writer.beginMessage();
            EXPECT_TRUE(draft->write("Subject: x\r\n\r\ny", 15) && writer.commit(*draft));
            EXPECT_TRUE(writer.close());
        }

        testing::TempDir store;
        testing::writeFile(store / "Folders.dbx", damaged(list, random));
        StoreNamespace damagedStore(store.path());
        if (damagedStore.Initialize() == StoreStatus::Ok) {
            FolderId id = 0;
            EXPECT_EQ(damagedStore.CreateFolder(kTopLevel, "new", id), StoreStatus::Ok);
        }
    }
}

} // namespace
} // namespace mailmend::dbx
