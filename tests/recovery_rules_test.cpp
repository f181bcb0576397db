// SPDX-License-Identifier: GPL-3.0-or-later
// The job's rules on their own: folder names, the status cut, progress arithmetic, the
// idle look, and emptying folders.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "recovery/folder_names.h"
#include "recovery/job_context.h"
#include "recovery/progress.h"
#include "support/dbx_fixture.h"
#include "support/job_harness.h"

namespace mailmend::recovery {
namespace {

namespace fs = std::filesystem;
using testing::errorLine;
using testing::execLine;
using testing::LogLine;

TEST(RecoveryNames, BaseNameLosesOnlyTheFirstLowerCaseDbx)
{
    EXPECT_EQ(baseNameOf("Inbox.dbx"), "Inbox");
    EXPECT_EQ(baseNameOf("a.dbx.dbx"), "a.dbx");
    EXPECT_EQ(baseNameOf("Inbox.DBX"), "Inbox.DBX");
    EXPECT_EQ(baseNameOf("old.dbxmail.dbx"), "oldmail.dbx");
    EXPECT_EQ(baseNameOf(".dbx"), "");
}

TEST(RecoveryNames, OutputFolderFollowsTheNamingOptions)
{
    RecoveryRequest request;
    request.m_nSaveOption = SaveOption::SAVEASPST;
    std::int64_t counter = 1;
    EXPECT_EQ(outputFolderName(request, counter, "Inbox"), "1_Recovered_Inbox_As_PST");
    EXPECT_EQ(counter, 2);
    EXPECT_EQ(inFolder("D:/out", "x"), fs::path("D:/out/x"));
    EXPECT_EQ(inFolder("D:/out/", "x"), fs::path("D:/out/x"));

    request.m_bCounterOn = false;
    EXPECT_EQ(outputFolderName(request, counter, "Inbox"), "Recovered_Inbox_As_PST");
    EXPECT_EQ(counter, 2) << "the counter moves only while it is part of the name";
    request.m_bFolderTagOn = false;
    request.m_bTypeTagOn = false;
    EXPECT_EQ(outputFolderName(request, counter, "Inbox"), "Inbox");

    const std::vector<std::string> tags {"", "_As_DBX", "_As_EML", "_As_PST", "_As_MSG", "_As_RTF",
                                         "_As_EMLwithAdvacedScan", "_As_MBOX", ""};
    for (int option = 0; option <= 8; ++option)
        EXPECT_EQ(typeTag(static_cast<SaveOption>(option)), tags[option]) << option;
}

TEST(RecoveryNames, OnlyAPlainEntryIsAnOutputFolder)
{
    for (const std::string& bad : std::vector<std::string> {"", ".", "..", "a/b", "../x", "x/", std::string("a\0b", 3)})
        EXPECT_FALSE(isUsableFolderName(bad)) << bad;
    for (const std::string& good : std::vector<std::string> {"1_Recovered_.._As_EML", ".dbx", "a b", "a\\b"})
        EXPECT_TRUE(isUsableFolderName(good)) << good;
}

TEST(RecoveryNames, TempFolderNamesFileIndexDateAndTime)
{
    const testing::FixedClock clock;
    EXPECT_EQ(tempFolderName("Inbox", 2, clock),
              "Norvale_Recovered_Inbox_2_(DATE=3-7-2011)_(TIME=9hr.5m.3s)");
}

TEST(RecoveryNames, StatusTextIsCutAfter53Characters)
{
    const std::string fits(53, 'a');
    EXPECT_EQ(cutStatusText(fits), fits);
    EXPECT_EQ(cutStatusText(fits + "bc"), fits);
    // Characters, not bytes: a two-byte character is kept whole.
    const std::string accented = std::string(52, 'a') + "\xC3\xA9";
    EXPECT_EQ(cutStatusText(accented + "xyz"), accented);
    std::string wide;
    for (int i = 0; i < 60; ++i)
        wide += "\xC3\xA9";
    EXPECT_EQ(cutStatusText(wide), wide.substr(0, 106));
}

TEST(RecoveryProgress, BarsFollowTheWorkedExamples)
{
    // Three files of ten mails: mail 5 of the second file, the end of the second file,
    // the end of the run.
    EXPECT_EQ(overallProgress(4, 10, 1, 3, progressShare(SaveOption::SAVEASEML)), 49);
    EXPECT_EQ(finishedFilesProgress(1, 3), 66);
    EXPECT_EQ(finishedFilesProgress(2, 3), 100);
    // The DBX output fills four fifths per file: trunc(0.5 x 26) + 33.
    EXPECT_EQ(overallProgress(4, 10, 1, 3, progressShare(SaveOption::SAVEASDBX)), 46);
    EXPECT_EQ(fileProgress(4, 10, 80), 40);
    // Cut toward zero, never rounded up.
    EXPECT_EQ(fileProgress(0, 3, 100), 33);
    EXPECT_EQ(fileProgress(1, 3, 100), 66);
    EXPECT_EQ(overallProgress(9, 10, 2, 3, 100), 99);
    EXPECT_EQ(overallProgress(0, 1, 0, 7, 100), 14);
}

TEST(RecoveryView, DefaultRestoreIdleControlsResetsTheWindow)
{
    std::atomic<bool> running {true};
    testing::RecordingJobView view(&running);
    view.expandRestore(true);
    EXPECT_EQ(view.RestoreIdleControls(), -1);
    EXPECT_FALSE(running);
    EXPECT_EQ(view.calls(),
              (std::vector<std::string> {
                  "enable 1002", "enable 1022", "enable 1006", "enable 1009", "enable 1008",
                  "enable 1007", "enable 1023", "enable 1025", "enable 1027", "enable 1010", "enable 1003",
                  "ungray 57601", "ungray 32780", "ungray 32775", "ungray 32782", "ungray 32783",
                  "text 1020 &Recover", "clearRunning", "bar 1012 0", "bar 1011 0",
                  "text 1016 Progress Report : Ready", "text 1015 Ready to Scan"}));
}

class RecoveryFolders : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(folder / "sub");
        for (const char* name : {"a.eml", "b.txt", "sub/c.eml"})
            testing::writeFile(folder / name, std::string(name));
    }

    testing::TempDir dir;
    fs::path folder = dir / "folder";
    std::atomic<bool> running {true};
    RecoveryRequest request = [this] {
        RecoveryRequest r;
        r.m_bLog = true;
        r.m_bRunning = &running;
        return r;
    }();
    platform::CancellationToken token;
    testing::RecordingJobView view;
    testing::RecordingLog log;
    dbx::DbxFile reader;
    dbx::MappedMailExtractor extractor;
    JobContext job {request, view, token, &log, reader, extractor};
};

TEST_F(RecoveryFolders, EmptyingKeepsSubfoldersAndStopsWhenAsked)
{
    EXPECT_TRUE(EmptyFolderFiles(job, folder));
    EXPECT_FALSE(fs::exists(folder / "a.eml"));
    EXPECT_FALSE(fs::exists(folder / "b.txt"));
    EXPECT_TRUE(fs::exists(folder / "sub/c.eml"));

    testing::writeFile(folder / "d.eml", "d");
    token.cancel();
    EXPECT_FALSE(EmptyFolderFiles(job, folder));
    EXPECT_TRUE(fs::exists(folder / "d.eml"));
    EXPECT_TRUE(EmptyFolderFiles(job, dir / "none")) << "a folder that is not there is empty";
}

TEST_F(RecoveryFolders, TempFolderCleaningSaysWhetherTheFolderWent)
{
    cleanTempFolder(job, folder);
    EXPECT_FALSE(fs::exists(folder / "a.eml"));
    EXPECT_TRUE(fs::exists(folder / "sub/c.eml")) << "only plain files are deleted";
    fs::remove_all(folder / "sub");
    cleanTempFolder(job, folder);
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_EQ(log.lines(), (std::vector<LogLine> {errorLine("Error cleaning temp directory"),
                                                  execLine("Temp Directory clean successfully")}));
}

} // namespace
} // namespace mailmend::recovery
