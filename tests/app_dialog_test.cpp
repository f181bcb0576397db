// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's handlers through a recording view: adding files, the destination and
// the save options, the menu's switches, and whole runs on a worker thread with Stop and
// close in the middle.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/dbx_recovery_dialog.h"
#include "app/row_texts.h"
#include "platform/directory_listing.h"
#include "support/dbx_fixture.h"
#include "support/job_harness.h"
#include "support/recording.h"
#include "support/recording_main_view.h"
#include "support/temp_dir.h"

namespace mailmend::app {
namespace {

namespace fs = std::filesystem;
using platform::MessageAnswer;
using recovery::SaveOption;
using testing::DbxFixture;
using testing::errorLine;
using testing::execLine;
using testing::LogLine;
using testing::mailText;
using testing::readFile;
using testing::writeFile;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Tree = std::map<std::string, std::string>;

constexpr const char* kRoot = "Norvale_Recover_DBX_(DATE=3-7-2011)_(TIME=9hr.5m.3s)";
// Every output form is built: each option button may be chosen.
constexpr auto kAvailable = recovery::kSaveOptionButtons;

// Every file under `dir` with its bytes, by path relative to it.
Tree filesUnder(const fs::path& dir)
{
    Tree tree;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file())
            tree[fs::relative(it->path(), dir).string()] = readFile(it->path());
    return tree;
}

std::size_t emlCount(const Tree& tree)
{
    return static_cast<std::size_t>(std::count_if(tree.begin(), tree.end(), [](const auto& file) {
        return file.first.ends_with(".eml");
    }));
}

// Every file left now was there, with the same bytes, at the stop (some may be gone:
// a stopped run removes its working file).
void expectNothingWrittenAfter(const Tree& atStop, const Tree& now)
{
    for (const auto& [name, bytes] : now) {
        const auto before = atStop.find(name);
        if (before == atStop.end())
            ADD_FAILURE() << name << " was made after the stop";
        else if (bytes != before->second)
            ADD_FAILURE() << name << " changed after the stop";
    }
}

std::vector<std::string> texts(const std::vector<testing::ShownMessage>& shown)
{
    std::vector<std::string> out;
    for (const auto& message : shown)
        out.push_back(message.text);
    return out;
}

class MainWindow : public ::testing::Test {
protected:
    MainWindow()
    {
        services.log = &log;
        services.clock = &clock;
        services.settingsFile = dir / "config.ini";
        services.helpDocument = dir / "Help.pdf";
        services.initLogs = [this] { log.write("<InitLogs>", false); };
        services.job.tempDirectory = dir / "tmp";
        services.job.extractor = &extractor;
        fs::create_directories(dir / "tmp");
        fs::create_directories(dir / "src");
        fs::create_directories(dir / "out");
    }

    void open()
    {
        dlg = std::make_unique<CDBXRecoveryDlg>(view, services);
        ASSERT_TRUE(dlg->OnInitDialog());
    }
    void openLogging()
    {
        writeFile(dir / "config.ini", std::string("Log = 1\r\nRecovery = 0\r\nCustomize = 0\r\n"));
        open();
        log.clear();
    }

    std::string source(const std::string& name, const std::string& bytes)
    {
        writeFile(dir / "src" / name, bytes);
        return (dir / "src" / name).string();
    }
    std::string source(const std::string& name, const DbxFixture& fixture)
    {
        fixture.writeTo(dir / "src" / name);
        return (dir / "src" / name).string();
    }
    void add(const std::string& path)
    {
        view.queueFile(path);
        dlg->OnAddbutton();
    }
    void browse(const fs::path& parent)
    {
        view.queueFolder(parent.string());
        dlg->OnBrowsebutton();
    }
    std::string root() const { return (dir / "out" / kRoot).string(); }

    // Add, Browse and an option: ready to press Recover.
    void prepare(const std::vector<std::string>& paths, ControlId option = ControlId::EmlOption)
    {
        for (const std::string& path : paths)
            add(path);
        browse(dir / "out");
        view.clickOption(option);
        if (option == ControlId::EmlOption)
            dlg->OnRadioEml();
        else
            dlg->OnRadioAdvancedscan();
    }

    void expectIdle()
    {
        EXPECT_EQ(view.text(ControlId::RecoverButton), "&Recover");
        EXPECT_FALSE(dlg->isRunning());
        EXPECT_FALSE(dlg->isWorkerAlive());
        for (ControlId id : {ControlId::AddButton, ControlId::SearchButton, ControlId::BrowseButton,
                             ControlId::FileList, ControlId::EmlOption, ControlId::AdvancedOption})
            EXPECT_TRUE(view.isEnabled(id)) << static_cast<int>(id);
        for (const MenuCommand command : recovery::kRunMenusToEnable)
            EXPECT_TRUE(view.isMenuEnabled(command)) << static_cast<int>(command);
        EXPECT_EQ(view.progress(ControlId::FileProgress), 0);
        EXPECT_EQ(view.progress(ControlId::OverallProgress), 0);
        EXPECT_EQ(view.text(ControlId::StatusText), "Ready to Scan");
        EXPECT_EQ(view.text(ControlId::ProgressText), "Progress Report : Ready");
    }

    testing::TempDir dir;
    testing::RecordingMainView view;
    testing::RecordingLog log;
    testing::FixedClock clock;
    dbx::MappedMailExtractor extractor;
    MainServices services;
    std::unique_ptr<CDBXRecoveryDlg> dlg; // last, so that it goes first
};

// ---------------------------------------------------------------------------------------
// Start-up

TEST_F(MainWindow, OpensIdleWithoutSettingsAndLogsNothing)
{
    open();
    EXPECT_TRUE(log.lines().empty());
    EXPECT_FALSE(fs::exists(dir / "config.ini"));
    for (const ControlText& control : kControlTexts)
        EXPECT_EQ(view.text(control.control), control.text);
    EXPECT_EQ(view.text(ControlId::FileEdit), "");
    EXPECT_EQ(view.text(ControlId::DestinationEdit), "");
    EXPECT_TRUE(view.isEnabled(ControlId::AddButton));
    EXPECT_TRUE(view.isEnabled(ControlId::SearchButton));
    EXPECT_FALSE(view.isEnabled(ControlId::BrowseButton));
    EXPECT_FALSE(view.isEnabled(ControlId::RecoverButton));
    for (const ControlId option : recovery::kSaveOptionButtons) {
        EXPECT_FALSE(view.isEnabled(option));
        EXPECT_FALSE(view.isChecked(option));
    }
    for (ControlId id : kAvailable)
        EXPECT_EQ(view.toolTip(id), "");
    EXPECT_THAT(view.columns(), ElementsAre("File Path./0", "File Name/250", "Size/100", "Created On/205"));
    EXPECT_FALSE(view.isMenuCommandChecked(MenuCommand::EnableLog));
    EXPECT_FALSE(dlg->logEnabled() || dlg->recoveryMode() || dlg->customizeEnabled());
    EXPECT_EQ(dlg->message(), "Error opening config file from " + (dir / "config.ini").string());
}

TEST_F(MainWindow, SettingsWithEverythingOnCheckTheMenuAndStartTheLogs)
{
    writeFile(dir / "config.ini", std::string("Log = 1\r\nRecovery = 1\r\nCustomize = 1\r\n"));
    open();
    EXPECT_TRUE(view.isMenuCommandChecked(MenuCommand::EnableLog));
    EXPECT_TRUE(view.isMenuCommandChecked(MenuCommand::EnableRecoveryMode));
    EXPECT_TRUE(view.isMenuCommandChecked(MenuCommand::CustomizeMenu));
    EXPECT_THAT(log.lines(),
                ElementsAre(execLine("<InitLogs>"), execLine("In CDBXRecoveryDlg::OnInitDialog()"),
                            execLine("Initializing Parent Dialog List"),
                            execLine("Parent Dialog List Initialized"),
                            execLine("............preparing.........."),
                            execLine("............prepared.........."),
                            execLine("Initializing labels n buttons"),
                            execLine("Succeeded CDBXRecoveryDlg::OnInitDialog()")));
}

TEST_F(MainWindow, FailureDuringStartUpReachesTheErrorLogEvenWithLoggingOff)
{
    view.throwOn("columns");
    dlg = std::make_unique<CDBXRecoveryDlg>(view, services);
    EXPECT_FALSE(dlg->OnInitDialog());
    EXPECT_THAT(log.lines(), ElementsAre(errorLine("Exception in CDBXRecoveryDlg::OnInitDialog()")));
}

// ---------------------------------------------------------------------------------------
// Adding files

TEST_F(MainWindow, AddingAMailFolderListsItQuietly)
{
    openLogging();
    view.setText(ControlId::DestinationEdit, "/old/destination");
    const DbxFixture folder({mailText(1, 2000)});
    const std::string path = source("Inbox.dbx", folder);
    add(path);

    const auto status = platform::systemDirectoryLister().status(path);
    ASSERT_TRUE(status.has_value());
    EXPECT_THAT(view.rows(), ElementsAre(FileRowTexts {path, "Inbox.dbx", sizeText(folder.size()),
                                                       createdOnText(status->created)}));
    EXPECT_THAT(view.messages(), IsEmpty());
    EXPECT_EQ(view.text(ControlId::FileEdit), path);
    EXPECT_EQ(view.text(ControlId::HintLine), "Ready");
    EXPECT_EQ(view.text(ControlId::DestinationEdit), "");
    EXPECT_TRUE(view.isEnabled(ControlId::BrowseButton));
    EXPECT_EQ(dlg->addedCount(), 1);
    EXPECT_THAT(log.lines(), ElementsAre(execLine("In CDBXRecoveryDlg::OnAddbutton()"),
                                         execLine("initializing Browse Dialog"),
                                         execLine("Browse Dialog succeeded"),
                                         execLine(path + " File added to list successfully"),
                                         execLine("Succeeded CDBXRecoveryDlg::OnAddbutton()")));
}

TEST_F(MainWindow, DoubtfulHeadersWarnButTheFileIsAddedAnyway)
{
    openLogging();
    const std::string folders = source("Folders.dbx", std::string("\xCF\xAD\x12\xFE\x01\x02\x03\x04", 8));
    const std::string text = source("notes.dbx", std::string("Just some text here"));
    const std::string tiny = source("tiny.dbx", std::string("\xCF\xAD\x12\xFE", 4));
    add(folders);
    add(text);
    add(tiny);

    EXPECT_THAT(texts(view.messages()),
                ElementsAre("File is not a valid Message.dbx File.\nProbably, You may have selected  "
                            "Folder.dbx, Pop3uidl.dbx or Offline.dbx files",
                            "File is not a valid dbx file Or File Header is corrupt.",
                            "Error reading file."));
    EXPECT_EQ(view.messages()[0].caption, "Norvale Mailmend");
    ASSERT_EQ(view.rows().size(), 3u);
    EXPECT_EQ(view.rows()[2].size, "0 Kb");
    EXPECT_THAT(log.messages(true),
                ElementsAre(folders + " File is not a valid Message.dbx File",
                            text + " File is not a valid dbx file Or File Header is corrupt."));
}

TEST_F(MainWindow, DuplicatesAndMissingFilesStayOut)
{
    openLogging();
    const std::string inbox = source("Inbox.dbx", DbxFixture({mailText(1, 100)}));
    const std::string upper = source("INBOX.dbx", DbxFixture({mailText(1, 100)}));
    add(inbox);
    add(inbox);
    add(upper); // another file, whatever the letter case says
    add((dir / "src" / "gone.dbx").string());
    add((dir / "src").string()); // a folder is no file

    EXPECT_THAT(texts(view.messages()),
                ElementsAre("This file already present\n" + inbox + "\n",
                            "Error opening file. Pls make sure that the file is present",
                            "Error opening file. Pls make sure that the file is present"));
    ASSERT_EQ(view.rows().size(), 2u);
    EXPECT_EQ(view.rows()[1].path, upper);
    EXPECT_TRUE(log.contains(errorLine("Trying to Add Duplicate File " + inbox + " ")));
    EXPECT_TRUE(log.contains(errorLine("Error Opening " + (dir / "src" / "gone.dbx").string()
                                       + " File.(Probably file not present or used by another program)")));
}

TEST_F(MainWindow, CancelledFileDialogStillEmptiesTheDestinationEdit)
{
    open();
    view.setText(ControlId::DestinationEdit, "/somewhere");
    view.queueFile(std::nullopt);
    dlg->OnAddbutton();
    EXPECT_THAT(view.rows(), IsEmpty());
    EXPECT_THAT(view.messages(), IsEmpty());
    EXPECT_EQ(view.text(ControlId::DestinationEdit), "");
    EXPECT_FALSE(view.isEnabled(ControlId::BrowseButton));

    // So does a failure part-way.
    view.setText(ControlId::DestinationEdit, "/somewhere");
    view.throwOn("pickFile");
    dlg->OnAddbutton();
    EXPECT_EQ(view.text(ControlId::DestinationEdit), "");
}

TEST_F(MainWindow, AddTakesSeveralFilesEachByItsRulesAndSaysAllInOneBox)
{
    open();
    const std::string a = source("a.dbx", DbxFixture({mailText(1, 100)}));
    const std::string junk = source("junk.dbx", std::string(64, 'j'));
    const std::string gone = (dir / "src" / "gone.dbx").string();
    add(a);
    view.queueFiles({a, junk, gone, a});
    dlg->OnAddbutton();
    ASSERT_EQ(view.rows().size(), 2u);
    EXPECT_EQ(view.rows()[1].path, junk); // added after its warning
    ASSERT_EQ(view.messages().size(), 1u);
    EXPECT_EQ(view.messages()[0].text, "This file already present\n" + a + "\n" + a + "\n\n" + junk
                                           + ":\nFile is not a valid dbx file Or File Header is corrupt.\n\n" + gone
                                           + ":\nError opening file. Pls make sure that the file is present\n");
}

TEST_F(MainWindow, AddPutsItsFilesAfterItsOwnAndSearchRowsFollow)
{
    open();
    const std::string a = source("a.dbx", DbxFixture({mailText(1, 100)}));
    const std::string b = source("b.dbx", DbxFixture({mailText(2, 100)}));
    add(a);
    view.searchDialog = [](search::MainFileList& list) {
        for (int i = 0; i < 5; ++i)
            list.insertRow(list.rowCount(), {"/found/" + std::to_string(i) + ".dbx", "x", "0 Kb", ""});
    };
    dlg->OnSearchbutton();
    add(b);
    ASSERT_EQ(view.rows().size(), 7u);
    EXPECT_EQ(view.rows()[1].path, b);

    // Deleting rows never lowers the index: past the end, the next one is appended.
    for (int i = 0; i < 6; ++i) {
        view.select(0);
        dlg->OnKeydownAddlist(kDeleteKey);
    }
    const std::string c = source("c.dbx", DbxFixture({mailText(3, 100)}));
    add(c);
    ASSERT_EQ(view.rows().size(), 2u);
    EXPECT_EQ(view.rows()[1].path, c);
    EXPECT_EQ(dlg->addedCount(), 3);
}

TEST_F(MainWindow, SearchEnablesBrowseOnlyWhenTheListHasRows)
{
    openLogging();
    dlg->OnSearchbutton();
    EXPECT_FALSE(view.isEnabled(ControlId::BrowseButton));
    EXPECT_THAT(log.messages(false),
                ElementsAre("In CDBXRecoveryDlg::OnSearchbutton()", "Initializing search dialog",
                            "Search Dialog Initialized", "Succeeded CDBXRecoveryDlg::OnSearchbutton()"));
    view.searchDialog = [](search::MainFileList& list) { list.insertRow(0, {"/f.dbx", "f.dbx", "1 Kb", ""}); };
    dlg->OnSearchbutton();
    EXPECT_TRUE(view.isEnabled(ControlId::BrowseButton));
    EXPECT_EQ(dlg->OnGetInfoTip(0), "Press Delete to remove item from list");
}

TEST_F(MainWindow, EmptyingTheListDisablesEverythingThatLeadsToARun)
{
    open();
    prepare({source("a.dbx", DbxFixture({mailText(1, 100)}))});
    ASSERT_TRUE(view.isEnabled(ControlId::RecoverButton));

    view.select(std::nullopt);
    dlg->OnKeydownAddlist(kDeleteKey); // nothing selected: nothing goes
    EXPECT_EQ(view.rows().size(), 1u);
    view.select(0);
    dlg->OnKeydownAddlist(65); // not Delete
    EXPECT_EQ(view.rows().size(), 1u);
    EXPECT_TRUE(view.isEnabled(ControlId::BrowseButton));

    dlg->OnKeydownAddlist(kDeleteKey);
    EXPECT_THAT(view.rows(), IsEmpty());
    EXPECT_FALSE(view.isEnabled(ControlId::BrowseButton));
    EXPECT_FALSE(view.isEnabled(ControlId::RecoverButton));
    EXPECT_EQ(view.text(ControlId::RecoverButton), "&Recover");
    for (const ControlId option : recovery::kSaveOptionButtons)
        EXPECT_FALSE(view.isEnabled(option));
    EXPECT_TRUE(view.isChecked(ControlId::EmlOption)); // the checks stay
    EXPECT_EQ(view.text(ControlId::FileEdit), "");
    EXPECT_EQ(view.text(ControlId::DestinationEdit), "");

    // Any key in an empty list does the same again.
    view.setText(ControlId::FileEdit, "x");
    view.enable(ControlId::BrowseButton, true);
    dlg->OnKeydownAddlist(65);
    EXPECT_EQ(view.text(ControlId::FileEdit), "");
    EXPECT_FALSE(view.isEnabled(ControlId::BrowseButton));
}

// ---------------------------------------------------------------------------------------
// Destination and options

TEST_F(MainWindow, BrowseMakesTheRootAndResetsTheOptions)
{
    openLogging();
    prepare({source("a.dbx", DbxFixture({mailText(1, 100)}))});
    view.setProgress(ControlId::FileProgress, 40);
    writeFile(fs::path(root()) / "old.eml", std::string("x"));
    fs::create_directory(fs::path(root()) / "1_Recovered_a_As_EML");
    log.clear();

    // Same second, parent given with a trailing separator: the finished run's root stays
    // as it is, and the next second's name is taken.
    browse((dir / "out").string() + "/");
    const std::string next = (dir / "out" / "Norvale_Recover_DBX_(DATE=3-7-2011)_(TIME=9hr.5m.4s)").string();
    EXPECT_EQ(dlg->destination(), next);
    EXPECT_EQ(view.text(ControlId::DestinationEdit), next);
    EXPECT_TRUE(fs::is_empty(next));
    EXPECT_TRUE(fs::exists(fs::path(root()) / "old.eml"));
    for (ControlId id : kAvailable) {
        EXPECT_TRUE(view.isEnabled(id));
        EXPECT_FALSE(view.isChecked(id));
    }
    EXPECT_FALSE(view.isEnabled(ControlId::RecoverButton));
    EXPECT_EQ(view.progress(ControlId::FileProgress), 0);
    EXPECT_EQ(view.text(ControlId::StatusText), "Ready to Scan");
    EXPECT_THAT(log.messages(false),
                ElementsAre("In CDBXRecoveryDlg::OnBrowsebutton()", "In CDBXRecoveryDlg::GetDirectory()",
                            "Succeeded CDBXRecoveryDlg::GetDirectory()",
                            "Destination folder path is " + next, "Destination directory created",
                            "Succeeded CDBXRecoveryDlg::OnBrowsebutton()"));
}

TEST_F(MainWindow, BrowseCancelledOrFailingChangesNothing)
{
    open();
    prepare({source("a.dbx", DbxFixture({mailText(1, 100)}))});
    const std::vector<std::string> before = view.calls();

    view.queueFolder(std::nullopt);
    dlg->OnBrowsebutton();
    EXPECT_EQ(view.calls().size(), before.size() + 1); // the picker alone
    EXPECT_EQ(dlg->destination(), root());

    // A parent that is not there: told even with logging off, and the last root stays.
    browse(dir / "missing");
    EXPECT_THAT(view.messages(), ElementsAre(::testing::Field(&testing::ShownMessage::text,
                                                             "Unable to create browsed folder. Please browse again.")));
    EXPECT_EQ(view.messages()[0].caption, "Mailmend");
    EXPECT_EQ(dlg->destination(), root());
    EXPECT_EQ(view.text(ControlId::DestinationEdit), root());
    EXPECT_TRUE(view.isChecked(ControlId::EmlOption));
    EXPECT_TRUE(view.isEnabled(ControlId::RecoverButton));
}

TEST_F(MainWindow, OptionGroupsExcludeEachOther)
{
    openLogging();
    struct Handler {
        void (CDBXRecoveryDlg::*handler)();
        ControlId button;
        SaveOption option;
        const char* line;
    };
    const Handler handlers[] = {
        {&CDBXRecoveryDlg::OnRadioDbx, ControlId::DbxOption, SaveOption::SAVEASDBX, "Save option SAVEASDBX selected"},
        {&CDBXRecoveryDlg::OnRadioEml, ControlId::EmlOption, SaveOption::SAVEASEML, "Save option SAVEASEML selected"},
        {&CDBXRecoveryDlg::OnRadioAdvancedscan, ControlId::AdvancedOption, SaveOption::ADVANCEDSCAN,
         "Save option ADVANCEDSCAN selected"},
        {&CDBXRecoveryDlg::OnRadioPst, ControlId::PstOption, SaveOption::SAVEASPST, "Save option SAVEASPST selected"},
        {&CDBXRecoveryDlg::OnRadioMsg, ControlId::MsgOption, SaveOption::SAVEASMSG, "Save option SAVEASMSG selected"},
        {&CDBXRecoveryDlg::OnRadioAdvancedscan, ControlId::AdvancedOption, SaveOption::ADVANCEDSCAN,
         "Save option ADVANCEDSCAN selected"},
        {&CDBXRecoveryDlg::OnRadioRtf, ControlId::RtfOption, SaveOption::SAVEASRTF, "Save option SAVEASRTF selected"},
    };
    for (const Handler& h : handlers) {
        view.setProgress(ControlId::OverallProgress, 70);
        view.enable(ControlId::RecoverButton, false);
        log.clear();
        view.clickOption(h.button);
        (dlg.get()->*h.handler)();
        EXPECT_EQ(dlg->saveOption(), h.option);
        for (const ControlId other : recovery::kSaveOptionButtons)
            EXPECT_EQ(view.isChecked(other), other == h.button) << h.line << " " << static_cast<int>(other);
        EXPECT_TRUE(view.isEnabled(ControlId::RecoverButton));
        EXPECT_EQ(view.progress(ControlId::OverallProgress), 0);
        EXPECT_THAT(log.lines(), ElementsAre(execLine(h.line)));
    }
}

// ---------------------------------------------------------------------------------------
// The menu

TEST_F(MainWindow, TogglesRewriteTheFileAndAlwaysLogTheirMessage)
{
    open();
    dlg->OnFileLog();
    EXPECT_EQ(readFile(dir / "config.ini"), "Log = 1\r\nRecovery = 0\r\nCustomize = 0\r\n");
    EXPECT_TRUE(view.isMenuCommandChecked(MenuCommand::EnableLog));
    dlg->OnFileCustomize();
    dlg->OnFileRecovery();
    dlg->OnFileRecovery();
    EXPECT_EQ(readFile(dir / "config.ini"), "Log = 1\r\nRecovery = 0\r\nCustomize = 1\r\n");
    dlg->OnFileLog();
    dlg->OnAddbutton(); // logging is off now: nothing of it is logged
    EXPECT_THAT(log.lines(),
                ElementsAre(execLine("File Logging Enabled on DATE=3-7-2011 TIME=9hr:5m:3s"),
                            execLine("Customize Name Mode Enabled on DATE=3-7-2011 TIME=9hr:5m:3s"),
                            execLine("File Recovery Mode Enabled on DATE=3-7-2011 TIME=9hr:5m:3s"),
                            execLine("File Recovery Mode Disabled on DATE=3-7-2011 TIME=9hr:5m:3s"),
                            execLine("File Logging Disabled on DATE=3-7-2011 TIME=9hr:5m:3s")));
    EXPECT_EQ(readFile(dir / "config.ini"), "Log = 0\r\nRecovery = 0\r\nCustomize = 1\r\n");

    // The next start reads what the toggles left.
    CDBXRecoveryDlg next(view, services);
    next.ReadSettings();
    EXPECT_FALSE(next.logEnabled());
    EXPECT_TRUE(next.customizeEnabled());
}

TEST_F(MainWindow, UnwritableSettingsStillToggleTheSwitch)
{
    writeFile(dir / "plain", std::string("x"));
    services.settingsFile = dir / "plain" / "config.ini";
    open();
    dlg->OnFileLog(); // was off: the failure is not logged
    dlg->OnFileRecovery();
    EXPECT_TRUE(dlg->logEnabled());
    EXPECT_TRUE(dlg->recoveryMode());
    EXPECT_TRUE(view.isMenuCommandChecked(MenuCommand::EnableRecoveryMode));
    const std::string failure = "Error opening config file from " + services.settingsFile.string();
    EXPECT_THAT(log.lines(), ElementsAre(execLine("File Logging Enabled on DATE=3-7-2011 TIME=9hr:5m:3s"),
                                         errorLine(failure),
                                         execLine("File Recovery Mode Enabled on DATE=3-7-2011 TIME=9hr:5m:3s")));
}

TEST_F(MainWindow, HelpAboutAndHints)
{
    open();
    dlg->OnHelpContents();
    view.documentOpens = false; // no viewer: the help's own window
    dlg->OnHelpContents();
    dlg->OnHelpAbout();
    dlg->OnMouseMove(500, 500);
    EXPECT_EQ(view.text(ControlId::HintLine), " Click Recover button to recover files.");
    view.setText(ControlId::RecoverButton, "&Stop");
    dlg->OnMouseMove(500, 500);
    EXPECT_EQ(view.text(ControlId::HintLine), " Click Stop button to stop recovery.");
    const auto calls = view.calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "open " + (dir / "Help.pdf").string()), 2);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "help"), 1);
    EXPECT_NE(std::find(calls.begin(), calls.end(), "about About Us|Norvale Mailmend 3.1.0.1"), calls.end());
}

// ---------------------------------------------------------------------------------------
// Runs

TEST_F(MainWindow, WholeRunThroughRecover)
{
    openLogging();
    const DbxFixture inbox({mailText(1, 600), mailText(2, 3000), mailText(3, 40)});
    prepare({source("Inbox.dbx", inbox)});
    dlg->OnRecoverbutton();
    dlg->waitForWorker();

    EXPECT_EQ(dlg->lastExitCode(), 0);
    const Tree expected {{"1_Recovered_Inbox_As_EML/Inbox_000001.eml", mailText(1, 600)},
                         {"1_Recovered_Inbox_As_EML/Inbox_000002.eml", mailText(2, 3000)},
                         {"1_Recovered_Inbox_As_EML/Inbox_000003.eml", mailText(3, 40)}};
    EXPECT_EQ(filesUnder(root()), expected);
    EXPECT_THAT(texts(view.messages()), ElementsAre("Files recovered Successfully to " + root() + " folder"));
    expectIdle();
    for (const ControlId option : recovery::kSaveOptionButtons)
        EXPECT_FALSE(view.isChecked(option));
    EXPECT_FALSE(view.isEnabled(ControlId::RecoverButton)); // an option must be chosen again
    // The window's own lines in order; the worker's come between them.
    const auto lines = log.messages(false);
    const auto in = std::find(lines.begin(), lines.end(), "In CDBXRecoveryDlg::OnRecoverbutton()");
    const auto created = std::find(in, lines.end(), "Thread created successfully");
    EXPECT_NE(std::find(created, lines.end(), "Succeeded CDBXRecoveryDlg::OnRecoverbutton()"), lines.end());
    EXPECT_TRUE(log.contains(execLine("DBX File closed")));
}

// Holds the window's thread at the line that follows the start of the worker until the
// worker has ended.
class LateWindowLog final : public LogWriter {
public:
    explicit LateWindowLog(const std::unique_ptr<CDBXRecoveryDlg>& dlg) : m_dlg(dlg) {}
    void write(const std::string& message, bool isError) override
    {
        (void)isError;
        if (message == "Thread created successfully")
            m_dlg->waitForWorker();
    }

private:
    const std::unique_ptr<CDBXRecoveryDlg>& m_dlg;
};

TEST_F(MainWindow, RunThatEndsAtOnceStillLeavesTheWindowIdle)
{
    LateWindowLog late(dlg);
    services.log = &late;
    services.job.log = &log;
    writeFile(dir / "config.ini", std::string("Log = 1\r\nRecovery = 0\r\nCustomize = 0\r\n"));
    open();
    prepare({source("Inbox.dbx", DbxFixture({mailText(1, 600)}))});
    // However late the window's thread comes back from starting the worker, a worker that
    // has already finished has the last word on the running look.
    dlg->OnRecoverbutton();
    EXPECT_FALSE(dlg->isWorkerAlive());
    EXPECT_EQ(view.text(ControlId::RecoverButton), "&Recover");
    EXPECT_FALSE(dlg->isRunning());
    EXPECT_EQ(view.messages().size(), 1u);
}

TEST_F(MainWindow, CustomizeShowsSaveAsFirstAndCancelKeepsTheNaming)
{
    writeFile(dir / "config.ini", std::string("Log = 0\r\nRecovery = 0\r\nCustomize = 1\r\n"));
    open();
    prepare({source("Inbox.dbx", DbxFixture({mailText(1, 600)}))});
    std::string seen;
    view.saveAsDialog = [&](recovery::RecoveryRequest& main) {
        seen = main.m_strDestination + " " + std::to_string(static_cast<int>(main.m_nSaveOption));
        return false;
    };
    dlg->OnRecoverbutton();
    dlg->waitForWorker();
    EXPECT_EQ(seen, root() + " 2");
    EXPECT_TRUE(fs::exists(fs::path(root()) / "1_Recovered_Inbox_As_EML" / "Inbox_000001.eml"));

    view.saveAsDialog = [](recovery::RecoveryRequest& main) {
        main.m_nFileCounter = 7;
        main.m_strFolderTag = "Mine";
        return true;
    };
    view.clickOption(ControlId::EmlOption);
    dlg->OnRadioEml();
    dlg->OnRecoverbutton();
    dlg->waitForWorker();
    EXPECT_TRUE(fs::exists(fs::path(root()) / "7_Mine_Inbox_As_EML" / "Inbox_000001.eml"));
    EXPECT_EQ(dlg->request().m_strFolderTag, "Mine");
}

// Holds the worker, once it has started on Sent.dbx, at its first per-file bar position
// of at least a half, until the window clears its running flag or the test lets it go.
struct Gate {
    Gate(testing::RecordingMainView& view, const CDBXRecoveryDlg& dlg)
    {
        const std::thread::id ui = std::this_thread::get_id();
        view.onCall([this, &dlg, ui](const std::string& call) {
            if (std::this_thread::get_id() == ui || reached)
                return;
            if (call == "text 1015 Preparing to Scan File : Sent.dbx")
                armed = true;
            if (!armed || !call.starts_with("bar 1012 ") || std::stoi(call.substr(9)) < 50)
                return;
            reached = true;
            while (dlg.isRunning() && !released)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
    }
    void waitReached(const CDBXRecoveryDlg& dlg) const
    {
        while (!reached && dlg.isWorkerAlive())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(reached);
    }
    std::atomic<bool> armed {false};
    std::atomic<bool> reached {false};
    std::atomic<bool> released {false};
};

std::vector<std::string> relayedMails(int first, int count)
{
    std::vector<std::string> mails;
    for (int n = first; n < first + count; ++n) {
        const std::string relay = "Received: by relay.example.org; mail " + std::to_string(n) + "\r\n";
        mails.push_back(relay + mailText(n, 1500 - relay.size()));
    }
    return mails;
}

class StopDuringRun : public MainWindow, public ::testing::WithParamInterface<ControlId> {};

TEST_P(StopDuringRun, WindowIsIdleAndNothingIsWrittenAfterwards)
{
    openLogging();
    prepare({source("Inbox.dbx", DbxFixture(relayedMails(1, 12))),
             source("Sent.dbx", DbxFixture(relayedMails(20, 12)))},
            GetParam());
    Gate gate(view, *dlg);
    dlg->OnRecoverbutton();
    gate.waitReached(*dlg);
    ASSERT_TRUE(dlg->isWorkerAlive());
    const Tree atStop = filesUnder(dir / "out");
    EXPECT_GE(emlCount(atStop), 12u); // Inbox's, and some of Sent's
    EXPECT_LT(emlCount(atStop), 24u);

    dlg->OnRecoverbutton(); // Stop
    const std::size_t callsAtReturn = view.calls().size();
    expectIdle();
    EXPECT_TRUE(view.isEnabled(ControlId::RecoverButton));
    EXPECT_EQ(dlg->lastExitCode(), -1);
    EXPECT_FALSE(extractor.isActive());
    EXPECT_THAT(view.messages(), IsEmpty());
    EXPECT_TRUE(log.contains(execLine("Thread stopped successfully by user")));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    expectNothingWrittenAfter(atStop, filesUnder(dir / "out"));
    EXPECT_EQ(view.calls().size(), callsAtReturn);

    // Recover again: a whole new run with the same files, destination and option.
    view.onCall(nullptr);
    dlg->OnRecoverbutton();
    dlg->waitForWorker();
    EXPECT_EQ(dlg->lastExitCode(), 0);
    EXPECT_EQ(view.messages().size(), 1u);
    EXPECT_EQ(emlCount(filesUnder(dir / "out")), 24u);
}

INSTANTIATE_TEST_SUITE_P(Options, StopDuringRun,
                         ::testing::Values(ControlId::EmlOption, ControlId::AdvancedOption),
                         [](const ::testing::TestParamInfo<ControlId>& param) {
                             return param.param == ControlId::EmlOption ? "Eml" : "AdvancedScan";
                         });

TEST_F(MainWindow, CloseDuringARunAsksFirstAndEndsTheWorkerBeforeTheWindow)
{
    open();
    prepare({source("Inbox.dbx", DbxFixture(relayedMails(1, 12))),
             source("Sent.dbx", DbxFixture(relayedMails(20, 12)))});
    Gate gate(view, *dlg);
    dlg->OnRecoverbutton();
    gate.waitReached(*dlg);
    const Tree atClose = filesUnder(dir / "out");

    view.setYesNoAnswer(MessageAnswer::No);
    EXPECT_FALSE(dlg->OnClose()); // the run goes on
    EXPECT_TRUE(dlg->isRunning());
    EXPECT_TRUE(dlg->isWorkerAlive());
    EXPECT_FALSE(view.ended());

    view.setYesNoAnswer(MessageAnswer::Yes);
    EXPECT_TRUE(dlg->OnFileExit());
    EXPECT_TRUE(view.ended());
    EXPECT_FALSE(dlg->isWorkerAlive());
    EXPECT_EQ(dlg->lastExitCode(), -1);
    expectNothingWrittenAfter(atClose, filesUnder(dir / "out"));
    EXPECT_EQ(view.calls().back(), "end");
    ASSERT_EQ(view.messages().size(), 2u);
    for (const auto& question : view.messages()) {
        EXPECT_EQ(question.text, "Are you sure, you want to exit ?    ");
        EXPECT_EQ(question.caption, "Norvale Mailmend");
        EXPECT_EQ(question.style, platform::MessageStyle::YesNoQuestion);
    }
}

} // namespace
} // namespace mailmend::app
