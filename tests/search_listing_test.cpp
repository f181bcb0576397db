// SPDX-License-Identifier: GPL-3.0-or-later
// Directory listing on real folders, the row texts, and the walk over real folders.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

#include "app/row_texts.h"
#include "platform/directory_listing.h"
#include "search/search_walk.h"
#include "support/temp_dir.h"

namespace mailmend {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

void writeFile(const fs::path& path, std::size_t bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << std::string(bytes, 'x');
}

// Each entry as its name, with "/" after a directory and "@" after a symbolic link.
std::vector<std::string> listAll(const fs::path& dir, std::string_view pattern)
{
    std::vector<std::string> out;
    auto listing = platform::systemDirectoryLister().list(dir, pattern);
    platform::DirectoryEntry entry;
    while (listing && listing->next(entry)) {
        EXPECT_EQ(entry.fullPath, dir / entry.name);
        EXPECT_EQ(entry.isDots, entry.name == "." || entry.name == "..");
        out.push_back(entry.name + (entry.isDirectory ? "/" : "") + (entry.isSymlink ? "@" : ""));
    }
    return out;
}

TEST(DirectoryListing, ListsDotsFirstThenNamesInOrder)
{
    testing::TempDir tmp;
    for (const char* name : {"b.dbx", "INBOX.DBX", "a.dbxx", "noext"})
        writeFile(tmp / name, 1);
    fs::create_directory(tmp / "Sub.dbx");
    fs::create_directory_symlink(tmp.path(), tmp / "up");
    fs::create_symlink(tmp / "missing", tmp / "dangling.dbx");

    EXPECT_THAT(listAll(tmp.path(), "*.*"), ElementsAre("./", "../", "a.dbxx", "b.dbx", "dangling.dbx@",
                                                        "INBOX.DBX", "noext", "Sub.dbx/", "up/@"));
    EXPECT_THAT(listAll(tmp.path(), "*.dbx"), ElementsAre("b.dbx", "dangling.dbx@", "INBOX.DBX", "Sub.dbx/"));
}

TEST(DirectoryListing, UnlistablePlacesGiveNoListing)
{
    testing::TempDir tmp;
    writeFile(tmp / "file.dbx", 1);
    EXPECT_EQ(platform::systemDirectoryLister().list(tmp / "missing", "*.*"), nullptr);
    EXPECT_EQ(platform::systemDirectoryLister().list(tmp / "file.dbx", "*.*"), nullptr);
}

TEST(DirectoryListing, FileStatus)
{
    testing::TempDir tmp;
    writeFile(tmp / "a.dbx", 1536);
    const std::time_t before = std::time(nullptr);
    const auto status = platform::systemDirectoryLister().status(tmp / "a.dbx");
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(status->size, 1536u);
    EXPECT_LE(status->created, before + 1);
    EXPECT_GT(status->created, before - 3600);
    EXPECT_FALSE(platform::systemDirectoryLister().status(tmp / "missing").has_value());
}

TEST(DirectoryListing, WildcardMatching)
{
    using platform::matchesWildcard;
    EXPECT_TRUE(matchesWildcard("noext", "*.*"));
    EXPECT_TRUE(matchesWildcard(".", "*.*"));
    EXPECT_TRUE(matchesWildcard("Inbox.dbx", "*.dbx"));
    EXPECT_TRUE(matchesWildcard("INBOX.DBX", "*.dbx"));
    EXPECT_TRUE(matchesWildcard("a.b.Dbx", "*.dbx"));
    EXPECT_TRUE(matchesWildcard(".dbx", "*.dbx"));
    EXPECT_FALSE(matchesWildcard("a.dbxx", "*.dbx"));
    EXPECT_FALSE(matchesWildcard("adbx", "*.dbx"));
    EXPECT_FALSE(matchesWildcard(".", "*.dbx"));
    EXPECT_FALSE(matchesWildcard("..", "*.dbx"));
    EXPECT_TRUE(matchesWildcard("a1.dbx", "a?.dbx"));
    EXPECT_FALSE(matchesWildcard("a.dbx", "a?.dbx"));
}

TEST(RowTexts, SizeIsWholeKilobytes)
{
    EXPECT_EQ(app::sizeText(0), "0 Kb");
    EXPECT_EQ(app::sizeText(1023), "0 Kb");
    EXPECT_EQ(app::sizeText(1024), "1 Kb");
    EXPECT_EQ(app::sizeText(1536), "1 Kb");
    // Past 2 GiB and past 4 GiB the size neither turns negative nor wraps.
    EXPECT_EQ(app::sizeText(3ull << 30), "3145728 Kb");
    EXPECT_EQ(app::sizeText((5ull << 30) + 1023), "5242880 Kb");
}

class RowTextsInUtc : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* tz = std::getenv("TZ"))
            m_saved = tz;
        ::setenv("TZ", "UTC0", 1);
        ::tzset();
    }
    void TearDown() override
    {
        if (m_saved)
            ::setenv("TZ", m_saved->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::optional<std::string> m_saved;
};

TEST_F(RowTextsInUtc, CreationTimeInCtimeLayoutWithZeroPaddedDay)
{
    EXPECT_EQ(app::createdOnText(1306919103), "Wed Jun 01 09:05:03 2011");
    EXPECT_EQ(app::createdOnText(1324857599), "Sun Dec 25 23:59:59 2011");
    EXPECT_EQ(app::createdOnText(0), "Thu Jan 01 00:00:00 1970");
    EXPECT_EQ(app::createdOnText(1306919103).size(), 24u);
}

TEST(SearchOnRealFolders, FindsFilesBreadthFirstAndSurvivesLinkLoops)
{
    testing::TempDir tmp;
    fs::create_directories(tmp / "b" / "deep");
    fs::create_directories(tmp / "a");
    fs::create_directories(tmp / "RECYCLER");
    writeFile(tmp / "Inbox.dbx", 10);
    writeFile(tmp / "Folders.dbx", 10);
    writeFile(tmp / "a" / "Sent.DBX", 10);
    writeFile(tmp / "b" / "deep" / "Old.dbx", 10);
    writeFile(tmp / "b" / "notes.txt", 10);
    writeFile(tmp / "RECYCLER" / "Deleted.dbx", 10);
    fs::create_directory_symlink(tmp.path(), tmp / "b" / "loop");

    EXPECT_THAT(search::findDbxFiles(tmp.path()),
                ElementsAre(tmp / "Inbox.dbx", tmp / "a" / "Sent.DBX", tmp / "b" / "deep" / "Old.dbx"));
    EXPECT_TRUE(search::findDbxFiles(tmp / "missing").empty());
}

} // namespace
} // namespace mailmend
