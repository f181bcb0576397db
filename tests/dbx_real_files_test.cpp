// SPDX-License-Identifier: GPL-3.0-or-later
// The reader on real .dbx files, and against undbx's scan mode where it is installed.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "dbx/dbx_file.h"
#include "dbx/format.h"
#include "support/dbx_fixture.h"
#include "support/real_corpus.h"
#include "support/recording.h"
#include "support/temp_dir.h"

namespace mailmend::dbx {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> corpusFiles()
{
    return testing::realCorpusFiles();
}

// Mails per file, as undbx's scan mode also finds them.
const std::map<std::string, int> kKnownCounts {
    {"DbxOutlookExpress-Folders.dbx", 0},
    {"DbxOutlookExpress-Inbox.dbx", 1},
    {"DbxOutlookExpress-Offline.dbx", 0},
    {"DbxOutlookExpress-Outbox.dbx", 0},
    {"cpan-Mail-Transport-Dbx-t-test.dbx", 2},
    {"cpan-Mail-Transport-Dbx-t-test1.dbx", 1},
    {"dbxconvert-go-fixtures-test.dbx", 2},
    {"iped-test_OutlookDBX.dbx", 28},
    {"kde-mailimporter-oe6-Folders.dbx", 0},
    {"kde-mailimporter-oe6-Mailinglists.dbx", 0},
    {"kde-mailimporter-oe6-Posteingang.dbx", 1},
    {"kde-mailimporter-oe6-acpi-devel.dbx", 4},
    {"kde-mailimporter-oe6-ck.dbx", 5},
    {"kde-mailimporter-oe6-hal-commit.dbx", 4},
    {"kde-mailimporter-oe6-hal.dbx", 3},
    {"kde-mailimporter-oe6-kde.dbx", 5},
    {"kde-mailimporter-oe6-kmail.dbx", 5},
    {"kde-mailimporter-oe6-linux-kernel.dbx", 4},
    {"mbx2mbox-t-test4.dbx", 3},
};

// The contents of the mails the reader writes for `file`, sorted.
std::vector<std::string> recoverContents(const fs::path& file, const fs::path& out)
{
    DbxFile reader;
    EXPECT_TRUE(reader.open(file.string()));
    std::int32_t count = -1;
    reader.findConvertableMails(count);
    EXPECT_GE(count, 0);
    std::vector<std::string> contents;
    for (std::int32_t i = 0; i < count; ++i) {
        std::string written;
        if (reader.saveMailToEML(out, written, i))
            contents.push_back(testing::readFile(written));
        else
            ADD_FAILURE() << "mail " << i << " not written";
    }
    reader.close();
    std::sort(contents.begin(), contents.end());
    return contents;
}

TEST(RealFiles, EveryFileGivesItsMails)
{
    const auto files = corpusFiles();
    if (files.empty())
        GTEST_SKIP() << testing::realCorpusMissing();
    testing::ScopedMessageSink boxes;
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        testing::TempDir out;
        const auto contents = recoverContents(file, out.path());
        if (const auto known = kKnownCounts.find(file.filename().string()); known != kKnownCounts.end()) {
            EXPECT_EQ(contents.size(), static_cast<std::size_t>(known->second));
        }
        for (const auto& mail : contents)
            EXPECT_FALSE(mail.empty());

        const bool otherKind = file.filename().string().find("Folders") != std::string::npos
            || file.filename().string().find("Offline") != std::string::npos;
        EXPECT_EQ(checkDbxHeader(file),
                  otherKind ? DbxHeaderVerdict::NotMailFolder : DbxHeaderVerdict::MailFolder);
    }
    EXPECT_TRUE(boxes.shown().empty());
}

bool onPath(const std::string& program)
{
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');)
        if (!dir.empty() && ::access((fs::path(dir) / program).c_str(), X_OK) == 0)
            return true;
    return false;
}

std::string shellQuoted(const std::string& text)
{
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::vector<std::string> emlContentsUnder(const fs::path& dir)
{
    std::vector<std::string> contents;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.is_regular_file() && entry.path().extension() == ".eml")
            contents.push_back(testing::readFile(entry.path()));
    std::sort(contents.begin(), contents.end());
    return contents;
}

TEST(RealFiles, SameMailsAsUndbxScanMode)
{
    const auto files = corpusFiles();
    if (files.empty())
        GTEST_SKIP() << testing::realCorpusMissing();
    if (!onPath("undbx"))
        GTEST_SKIP() << "undbx is not installed";
    testing::ScopedMessageSink boxes;
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        testing::TempDir ours;
        testing::TempDir theirs;
        const std::string command = "undbx -r " + shellQuoted(file.string()) + " "
            + shellQuoted(theirs.path().string()) + " >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;

        const auto expected = emlContentsUnder(theirs.path());
        const auto actual = recoverContents(file, ours.path());
        EXPECT_EQ(actual.size(), expected.size());
        EXPECT_TRUE(actual == expected) << "the mails differ in content";
    }
}

} // namespace
} // namespace mailmend::dbx
