// SPDX-License-Identifier: GPL-3.0-or-later
// Whole recovery runs over built .dbx files: the output tree byte for byte, the log
// lines and every call to the window, in order.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "log/text.h"
#include "recovery/folder_names.h"
#include "recovery/recovery_job.h"
#include "support/job_harness.h"

namespace mailmend::recovery {
namespace {

namespace fs = std::filesystem;
using testing::DbxFixture;
using testing::errorLine;
using testing::execLine;
using testing::JobHarness;
using testing::LogLine;
using testing::mailText;
using testing::tempStamp;
using Calls = std::vector<std::string>;
using Tree = std::map<std::string, std::string>;

Calls operator+(Calls a, const Calls& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Calls kStart {"disable 1002", "disable 1022", "disable 1006", "disable 1009", "disable 1008",
                    "disable 1007", "disable 1023", "disable 1025", "disable 1027", "disable 1010", "disable 1003",
                    "gray 57601",   "gray 32775",   "gray 32780",   "gray 32782",   "gray 32783"};
const Calls kBarsAtZero {"bar 1012 0", "bar 1011 0", "text 1016 Progress Report : 0%"};

Calls endOfRun(const fs::path& destination)
{
    return {"text 1015 Scan Complete", "text 1016 Progress Report : 100%", "bar 1011 100",
            "bar 1012 100", "enable 1002", "enable 1022", "enable 1006", "enable 1009",
            "enable 1008", "enable 1007", "enable 1023", "enable 1025", "enable 1027", "enable 1010",
            "enable 1003", "ungray 57601", "ungray 32780", "ungray 32775", "ungray 32782",
            "ungray 32783", "text 1020 &Recover", "clearRunning",
            "box Norvale Mailmend|Files recovered Successfully to " + destination.string() + " folder",
            "uncheck 1009 repaint", "uncheck 1008", "uncheck 1007", "uncheck 1023", "uncheck 1025",
            "uncheck 1027", "uncheck 1010", "disable 1020", "bar 1012 0", "bar 1011 0",
            "text 1016 Progress Report : Ready", "text 1015 Ready to Scan"};
}

// The lines of one file's preparation, up to the output step.
std::vector<LogLine> preparing(const JobHarness& h, const std::string& name, const std::string& folder,
                               std::size_t index)
{
    const std::string base = baseNameOf(name);
    return {execLine("Preparing to Scan File : " + name),
            execLine((h.destination / folder).string() + " directory created for " + base + " "),
            execLine((h.temp / "RUN" / ("Norvale_Recovered_" + base + "_" + tempStamp(index))).string()
                     + " directory created for " + base + " ")};
}

std::vector<LogLine> operator+(std::vector<LogLine> a, const std::vector<LogLine>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(RecoveryJob, OneFileAsEmlEndToEnd)
{
    JobHarness h;
    const DbxFixture fixture({mailText(1, 600), mailText(2, 100)});
    const std::string path = h.addSource("Inbox.dbx", fixture);
    ASSERT_EQ(h.run(), 0);

    const fs::path out = h.destination / "1_Recovered_Inbox_As_EML";
    EXPECT_EQ(h.tree(), (Tree {{"dest/1_Recovered_Inbox_As_EML/", ""},
                               {"dest/1_Recovered_Inbox_As_EML/Inbox_000001.eml", mailText(1, 600)},
                               {"dest/1_Recovered_Inbox_As_EML/Inbox_000002.eml", mailText(2, 100)}}));
    EXPECT_EQ(h.lines(),
              (preparing(h, "Inbox.dbx", "1_Recovered_Inbox_As_EML", 0)
                  + std::vector<LogLine> {
                      execLine("In SAVEASEML"),
                      execLine(path + " DBX File opened succssfully."),
                      execLine("2 Convertable mails found."),
                      execLine("In " + path + " file 2 recoverable mails were found"),
                      execLine(strprintf("Mail 0 Starts at %llu Offset",
                                         static_cast<unsigned long long>(fixture.block(0, 0).position))),
                      execLine("Mail:0 saved successfully to file:" + (out / "Inbox_000001.eml").string()),
                      execLine(strprintf("Mail 1 Starts at %llu Offset",
                                         static_cast<unsigned long long>(fixture.block(1, 0).position))),
                      execLine("Mail:1 saved successfully to file:" + (out / "Inbox_000002.eml").string()),
                      execLine("SAVEASEML Recovery Succeeded for file " + path),
                      execLine(path + " DBX File closed succssfully."),
                      execLine("DBX File closed")}));
    EXPECT_EQ(h.view.calls(),
              (kStart + kBarsAtZero
                  + Calls {"bar 1012 0", "text 1015 Preparing to Scan File : Inbox.dbx",
                           "text 1015 Scanning File : Inbox.dbx",
                           "bar 1012 50", "bar 1011 50", "text 1016 Progress Report : 50%",
                           "bar 1012 100", "bar 1011 100", "text 1016 Progress Report : 100%",
                           "bar 1012 100", "fileFinished 0",
                           "bar 1011 100", "text 1016 Progress Report : 100%"}
                  + endOfRun(h.destination)));
    EXPECT_FALSE(h.running);
}

// A good file, a damaged one, one that is not there and one without mails; then the
// same run again into the same destination.
TEST(RecoveryJob, SeveralFilesAndASecondRun)
{
    JobHarness h;
    const DbxFixture good({mailText(1, 700), mailText(2, 1500), mailText(3, 40)});
    DbxFixture damaged({mailText(4, 300), mailText(5, 1100), mailText(6, 200)});
    damaged.zero(damaged.block(1, 0).position, damaged.block(2, 0).position); // mail 5 is gone
    const std::string goodPath = h.addSource("Inbox.dbx", good);
    const std::string damagedPath = h.addSource("Sent.dbx", damaged);
    const std::string missingPath = h.addMissing("Gone.dbx");
    h.addSource("Empty.dbx", std::string(70000, '\0'));

    const Tree expected {
        {"dest/1_Recovered_Inbox_As_EML/", ""},
        {"dest/1_Recovered_Inbox_As_EML/Inbox_000001.eml", mailText(1, 700)},
        {"dest/1_Recovered_Inbox_As_EML/Inbox_000002.eml", mailText(2, 1500)},
        {"dest/1_Recovered_Inbox_As_EML/Inbox_000003.eml", mailText(3, 40)},
        {"dest/2_Recovered_Sent_As_EML/", ""},
        {"dest/2_Recovered_Sent_As_EML/Sent_000001.eml", mailText(4, 300)},
        {"dest/2_Recovered_Sent_As_EML/Sent_000002.eml", mailText(6, 200)},
        {"dest/3_Recovered_Gone_As_EML/", ""},
        {"dest/4_Recovered_Empty_As_EML/", ""}};
    ASSERT_EQ(h.run(), 0);
    EXPECT_EQ(h.tree(), expected);

    // The file that is not there: the reader says so, and the file counts as processed.
    const std::string openError = "Error Opening " + missingPath + " file. \nConvertion fails for this file";
    EXPECT_EQ(h.boxes.texts(), std::vector<std::string> {openError + "\nNo such file or directory"});
    // The run went through, but says plainly that it could not read every file.
    EXPECT_EQ(h.closingBox(),
              "box Norvale Mailmend|Files recovered to " + h.destination.string()
                  + " folder, but 1 of 4 files could not be read. The logs have the details.");
    EXPECT_EQ(h.errors(),
              (std::vector<std::string> {openError, "Trying to find convertable mails without opening the file",
                                         "Error: Trying to close file without opening DBX file first"}));
    for (const std::string& path : {goodPath, damagedPath, missingPath})
        EXPECT_TRUE(h.log.contains(execLine("SAVEASEML Recovery Succeeded for file " + path))) << path;
    EXPECT_TRUE(h.log.contains(execLine("In " + missingPath + " file -1 recoverable mails were found")));
    EXPECT_EQ(h.view.positions(ControlId::OverallProgress),
              (std::vector<int> {0, 8, 16, 25, 25, 37, 50, 50, 75, 100, 100, 0}))
        << "the missing and the empty file move the overall bar on";

    const std::vector<FileResult> results = h.view.results();
    ASSERT_EQ(results.size(), 4u);
    EXPECT_EQ(results[0].mailsWritten, 3);
    EXPECT_EQ(results[1].mailsFound, 2);
    EXPECT_EQ(results[1].mailsWritten, 2);
    EXPECT_FALSE(results[2].sourceOpened);
    EXPECT_EQ(results[2].mailsFound, -1);
    EXPECT_FALSE(results[2].openError.empty());
    EXPECT_TRUE(results[3].sourceOpened);
    EXPECT_EQ(results[3].mailsFound, 0);
    for (const FileResult& result : results)
        EXPECT_TRUE(result.completed);

    // Again: the counter starts at 1 once more and the folders' plain files are replaced.
    testing::writeFile(h.destination / "2_Recovered_Sent_As_EML/stale.eml", "old");
    fs::create_directory(h.destination / "2_Recovered_Sent_As_EML/keep");
    testing::writeFile(h.destination / "2_Recovered_Sent_As_EML/keep/x", "kept");
    h.running = true;
    ASSERT_EQ(h.run(), 0);
    Tree again = expected;
    again["dest/2_Recovered_Sent_As_EML/keep/"] = "";
    again["dest/2_Recovered_Sent_As_EML/keep/x"] = "kept";
    EXPECT_EQ(h.tree(), again);
}

TEST(RecoveryJob, NamesOfOddFilesAndTheStatusCut)
{
    JobHarness h;
    const std::string longName = "A folder with a name long enough to be cut.dbx";
    h.addSource("a.dbx.dbx", DbxFixture({mailText(1, 50)}));
    h.addSource("Inbox.DBX", DbxFixture({mailText(2, 50)}));
    h.addSource(longName, DbxFixture({mailText(3, 50)}));
    h.request.m_bFolderTagOn = false;
    h.request.m_nFileCounter = 7;
    ASSERT_EQ(h.run(), 0);

    const Tree tree = h.tree();
    // The job's base name drops the first ".dbx"; the reader's names drop the last four characters.
    EXPECT_EQ(tree.at("dest/7_a.dbx_As_EML/a.dbx_000001.eml"), mailText(1, 50));
    EXPECT_EQ(tree.at("dest/8_Inbox.DBX_As_EML/Inbox_000001.eml"), mailText(2, 50));
    EXPECT_EQ(h.request.m_nFileCounter, 7) << "the request's first value stays";

    const std::string preparingLong = "Preparing to Scan File : " + longName;
    const Calls calls = h.view.calls();
    for (const std::string& shown : {std::string("text 1015 Scanning File : a.dbx.dbx"),
                                     std::string("text 1015 Scanning File : Inbox.DBX.dbx"),
                                     "text 1015 " + preparingLong.substr(0, 53)})
        EXPECT_NE(std::find(calls.begin(), calls.end(), shown), calls.end()) << shown;
    EXPECT_TRUE(h.log.contains(execLine(preparingLong))) << "the log keeps the whole text";
}

TEST(RecoveryJob, OverallBarOverThreeFilesOfTenMails)
{
    JobHarness h;
    for (int f = 0; f < 3; ++f) {
        std::vector<std::string> mails;
        for (int m = 0; m < 10; ++m)
            mails.push_back(mailText(f * 10 + m, 100));
        h.addSource("F" + std::to_string(f) + ".dbx", DbxFixture(mails));
    }
    ASSERT_EQ(h.run(), 0);
    EXPECT_EQ(h.view.positions(ControlId::OverallProgress),
              (std::vector<int> {0,  3,  6,  9,  13, 16, 19, 23, 26, 29, 33, 33,
                                 36, 39, 42, 46, 49, 52, 56, 59, 62, 66, 66,
                                 69, 72, 75, 79, 82, 85, 89, 92, 95, 99, 100, 100, 0}));
    const std::vector<int> perFile = h.view.positions(ControlId::FileProgress);
    EXPECT_EQ(std::vector<int>(perFile.begin() + 1, perFile.begin() + 13),
              (std::vector<int> {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 100}));
}

TEST(RecoveryJob, EmptyListEndsAtOnceAsASuccess)
{
    JobHarness h;
    ASSERT_EQ(h.run(), 0);
    EXPECT_EQ(h.view.calls(), (kStart + kBarsAtZero + endOfRun(h.destination)));
    EXPECT_TRUE(fs::is_directory(h.destination));
    EXPECT_TRUE(h.log.lines().empty());
}

// Mails as a relay hands them on: a "Received:" line before the header, so that the
// Advanced Scan cuts each one where the next begins. 1024 bytes: two full blocks.
std::string relayedMail(int n)
{
    const std::string relay = "Received: by relay.example.org; mail " + std::to_string(n) + "\r\n";
    return relay + mailText(n, 1024 - relay.size());
}

std::string carved(int n)
{
    const std::string mail = relayedMail(n);
    return mail.substr(mail.find("From:"));
}

TEST(RecoveryJob, AdvancedScanEndToEnd)
{
    JobHarness h;
    h.request.m_nSaveOption = SaveOption::ADVANCEDSCAN;
    const std::string path = h.addSource("Inbox.dbx", DbxFixture({relayedMail(1), relayedMail(2), relayedMail(3)}));
    const std::string missing = h.addMissing("Gone.dbx");
    ASSERT_EQ(h.run(), 0);

    const std::string inbox = "dest/1_Recovered_Inbox_As_EMLwithAdvacedScan/";
    EXPECT_EQ(h.tree(), (Tree {{inbox, ""},
                               {inbox + "Inbox_1.eml", carved(1)},
                               {inbox + "Inbox_2.eml", carved(2)},
                               {inbox + "Inbox_3.eml", carved(3)},
                               {"dest/2_Recovered_Gone_As_EMLwithAdvacedScan/", ""}}));

    const std::vector<FileResult> results = h.view.results();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].mailsWritten, 3);
    EXPECT_FALSE(results[1].sourceOpened);
    const LogLine closedUnopened = errorLine("Error: Trying to close file without opening DBX file first");
    EXPECT_EQ(h.lines(),
              (preparing(h, "Inbox.dbx", "1_Recovered_Inbox_As_EMLwithAdvacedScan", 0)
                  + std::vector<LogLine> {execLine("In ADVANCEDSCAN"),
                                          execLine("SAVEASEML Recovery Succeeded for file " + path),
                                          closedUnopened, execLine("DBX File closed")}
                  + preparing(h, "Gone.dbx", "2_Recovered_Gone_As_EMLwithAdvacedScan", 1)
                  + std::vector<LogLine> {
                      execLine("In ADVANCEDSCAN"),
                      errorLine("Advanced Scan could not open " + missing + " (" + results[1].openError + ")"),
                      execLine("SAVEASEML Recovery Succeeded for file " + missing), closedUnopened,
                      execLine("DBX File closed")}));

    // The per-file bar climbs from 0 through 50 to 100; the overall bar waits for the file.
    const std::vector<int> perFile = h.view.positions(ControlId::FileProgress);
    EXPECT_TRUE(std::is_sorted(perFile.begin() + 1, perFile.end() - 3));
    EXPECT_NE(std::find(perFile.begin(), perFile.end(), 50), perFile.end());
    EXPECT_EQ(h.view.positions(ControlId::OverallProgress), (std::vector<int> {0, 50, 100, 100, 0}));
    EXPECT_TRUE(h.boxes.texts().empty());
}

TEST(RecoveryJob, AdvancedScanLeavesNoWorkingFileWhenTheCarveCannotRun)
{
    JobHarness h;
    h.request.m_nSaveOption = SaveOption::ADVANCEDSCAN;
    h.extractor.setMapper([](const fs::path& path) {
        if (path.filename() == "temp.dbx")
            return platform::MappingResult {nullptr, "refused"};
        return platform::mapFileForReading(path);
    });
    h.addSource("Inbox.dbx", DbxFixture({relayedMail(1)}));
    ASSERT_EQ(h.run(), 0);
    EXPECT_EQ(h.tree(), (Tree {{"dest/1_Recovered_Inbox_As_EMLwithAdvacedScan/", ""}}));
}

TEST(RecoveryJob, AdvancedScanWithTheExtractorStoppedIsNoSuccess)
{
    JobHarness h;
    h.request.m_nSaveOption = SaveOption::ADVANCEDSCAN;
    h.extractor.setActive(false);
    const std::string path = h.addSource("Inbox.dbx", DbxFixture({relayedMail(1)}));
    EXPECT_EQ(h.run(), -1);
    EXPECT_EQ(h.view.calls().back(), "RestoreIdleControls");
    EXPECT_FALSE(h.log.contains(execLine("SAVEASEML Recovery Succeeded for file " + path)));
    EXPECT_EQ(h.tree().count("dest/1_Recovered_Inbox_As_EMLwithAdvacedScan/temp.dbx"), 0u);
}

TEST(RecoveryJob, UnknownOptionsEndTheRunBeforeAnythingIsMade)
{
    for (const int option : {0, 8}) {
        SCOPED_TRACE(option);
        JobHarness h;
        h.request.m_nSaveOption = static_cast<SaveOption>(option);
        h.addSource("Inbox.dbx", DbxFixture({mailText(1, 50)}));
        EXPECT_FALSE(isSaveOptionAvailable(h.request.m_nSaveOption));
        EXPECT_EQ(h.run(), -1);
        EXPECT_EQ(h.view.calls(), (kStart + Calls {"RestoreIdleControls"}));
        EXPECT_EQ(h.log.lines(), std::vector<LogLine> {errorLine(strprintf("Save option %d is not available", option))});
        EXPECT_FALSE(fs::exists(h.destination));
        EXPECT_TRUE(h.boxes.texts().empty());
    }
    for (int option = 1; option <= 7; ++option)
        EXPECT_TRUE(isSaveOptionAvailable(static_cast<SaveOption>(option))) << option;
}

// A folder name that is no plain entry would make the job empty the destination itself
// or a folder outside it.
TEST(RecoveryJob, OutputFolderNeverLeavesTheDestination)
{
    struct Case {
        std::string file;
        std::string tag;
        bool counter;
    };
    for (const Case& c : {Case {".dbx", "", false}, Case {"Inbox.dbx", "../..", false},
                          Case {"Inbox.dbx", "x/../..", true}}) {
        SCOPED_TRACE(c.file + " " + c.tag);
        JobHarness h;
        fs::create_directory(h.destination);
        testing::writeFile(h.destination / "keep.txt", "mine");
        testing::writeFile(h.dir / "outside.txt", "mine too");
        h.request.m_bCounterOn = c.counter;
        h.request.m_bFolderTagOn = !c.tag.empty();
        h.request.m_strFolderTag = c.tag;
        h.request.m_bTypeTagOn = false;
        h.addSource(c.file, DbxFixture({mailText(1, 50)}));
        EXPECT_EQ(h.run(), -1);
        EXPECT_EQ(h.tree(), (Tree {{"dest/keep.txt", "mine"}}));
        EXPECT_TRUE(fs::exists(h.dir / "outside.txt"));
        EXPECT_EQ(h.errors().size(), 1u);
        EXPECT_EQ(h.view.calls().back(), "RestoreIdleControls");
        ASSERT_EQ(h.view.results().size(), 1u);
        EXPECT_FALSE(h.view.results()[0].completed);
    }
    JobHarness h; // no destination chosen: nothing goes to the file system's root
    h.request.m_strDestination.clear();
    h.addSource("Inbox.dbx", DbxFixture({mailText(1, 50)}));
    EXPECT_EQ(h.run(), -1);
    EXPECT_TRUE(h.tree().empty());
}

TEST(RecoveryJob, LoggingOffWritesNoLine)
{
    JobHarness h;
    h.request.m_bLog = false;
    h.addSource("Inbox.dbx", DbxFixture({mailText(1, 50)}));
    h.addMissing("Gone.dbx");
    ASSERT_EQ(h.run(), 0);
    EXPECT_TRUE(h.log.lines().empty());
    EXPECT_EQ(h.boxes.texts().size(), 1u) << "the reader's box shows whether or not logging is on";
}

TEST(RecoveryJob, AnExceptionEndsTheRunIdle)
{
    for (const bool restoreThrows : {false, true}) {
        JobHarness h;
        h.addSource("Inbox.dbx", DbxFixture({mailText(1, 50)}));
        h.view.onCall([&](const std::string& call, std::size_t) {
            if (call.rfind("text 1015 Scanning", 0) == 0 || (restoreThrows && call == "RestoreIdleControls"))
                throw std::runtime_error("window gone");
        });
        EXPECT_EQ(h.run(), -1);
        EXPECT_EQ(h.errors(), std::vector<std::string> {"Exception In DBX_Recover_thread"});
        EXPECT_EQ(h.view.calls().back(), "RestoreIdleControls");
    }
}

// Two files of one name (one store's identities found by a search), the counter off: the
// second never empties the first's folder. A folder that cannot be made ends its file
// as failed, and the run goes on and says so.
TEST(RecoveryJob, EveryFileKeepsItsOwnFolderOrFailsAlone)
{
    JobHarness h;
    h.request.m_bCounterOn = false;
    fs::create_directories(h.dir / "src" / "a");
    fs::create_directories(h.dir / "src" / "b");
    for (const auto& [folder, number] : {std::pair {"a", 1}, std::pair {"b", 2}}) {
        const fs::path path = h.dir / "src" / folder / "Inbox.dbx";
        DbxFixture({mailText(number, 80)}).writeTo(path);
        h.request.files.push_back({path.string(), "Inbox.dbx"});
    }
    h.addSource(std::string(240, 'x') + ".dbx", DbxFixture({mailText(3, 80)}));
    ASSERT_EQ(h.run(), 0);

    const Tree tree = h.tree();
    EXPECT_EQ(tree.at("dest/Recovered_Inbox_As_EML/Inbox_000001.eml"), mailText(1, 80));
    EXPECT_EQ(tree.at("dest/Recovered_Inbox_As_EML (2)/Inbox_000001.eml"), mailText(2, 80));
    EXPECT_EQ(tree.size(), 4u);
    const std::vector<FileResult> results = h.view.results();
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[2].folderError, "File name too long");
    EXPECT_EQ(results[2].mailsFound, -1) << "not a mail was tried";
    EXPECT_EQ(h.closingBox(),
              "box Norvale Mailmend|Files recovered to " + h.destination.string()
                  + " folder, but 1 output folder could not be made. The logs have the details.");
}

// Scratch folders live in a folder of the run's own (0700, under a name nobody can
// foresee) in the system's temporary directory: a link or an open folder planted at the
// names a run computes is never used, and nothing of the run stays there afterwards.
TEST(RecoveryJob, ScratchFoldersAreThePrivateBusinessOfTheRun)
{
    JobHarness h;
    h.services.tempDirectory.clear();
    const char* previous = std::getenv("TMPDIR");
    const std::string saved = previous ? previous : "";
    ::setenv("TMPDIR", h.temp.c_str(), 1);
    const std::string planted = "Norvale_Recovered_Inbox_" + tempStamp(0);
    fs::create_directory(h.dir / "victim");
    testing::writeFile(h.dir / "victim" / "precious.txt", "keep");
    fs::create_directory_symlink(h.dir / "victim", h.temp / planted);
    fs::create_directory(h.temp / ("Norvale_Recovered_Sent_" + tempStamp(1)));
    fs::permissions(h.temp / ("Norvale_Recovered_Sent_" + tempStamp(1)), fs::perms::all);
    const Tree before = h.tree();

    h.addSource("Inbox.dbx", DbxFixture({mailText(1, 50)}));
    h.addSource("Sent.dbx", DbxFixture({mailText(2, 50)}));
    fs::perms privateMode = fs::perms::none;
    h.view.onCall([&](const std::string& call, std::size_t) {
        if (call == "fileFinished 0")
            for (const auto& entry : fs::directory_iterator(h.temp))
                if (entry.path().filename().string().rfind("mailmend-", 0) == 0)
                    privateMode = entry.status().permissions();
    });
    const int result = h.run();
    previous ? ::setenv("TMPDIR", saved.c_str(), 1) : ::unsetenv("TMPDIR");
    ASSERT_EQ(result, 0);
    EXPECT_EQ(privateMode, fs::perms::owner_all);
    EXPECT_EQ(h.lines()[2], execLine((h.temp / "RUN" / planted).string() + " directory created for Inbox "));
    EXPECT_EQ(testing::readFile(h.dir / "victim" / "precious.txt"), "keep");
    EXPECT_EQ(h.tree().size(), before.size() + 4) << "tmp/ holds what was planted, and nothing more";

    // Stopped or failed runs leave nothing behind either.
    for (const bool stop : {true, false}) {
        JobHarness again;
        again.addSource("Inbox.dbx", DbxFixture({mailText(1, 50)}));
        if (stop)
            again.view.onCall([&](const std::string& call, std::size_t) {
                if (call == "text 1015 Scanning File : Inbox.dbx")
                    again.stop();
            });
        else
            again.request.m_strDestination.clear();
        EXPECT_EQ(again.run(), -1);
        EXPECT_TRUE(fs::is_empty(again.temp));
    }
}

} // namespace
} // namespace mailmend::recovery
