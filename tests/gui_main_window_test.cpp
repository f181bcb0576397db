// SPDX-License-Identifier: GPL-3.0-or-later
// The real main window on the offscreen platform: a run from Add to the success box, Stop
// and close in the middle of a run, and screenshots of how it looks.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QLineEdit>
#include <QMimeData>
#include <QTextBrowser>
#include <QUrl>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "gui/about_box.h"
#include "gui/desktop_start.h"
#include "gui/look.h"
#include "gui/main_window.h"
#include "gui/save_as_dialog.h"
#include "gui/search_dialog.h"
#include "support/dbx_fixture.h"
#include "support/recording.h"
#include "support/temp_dir.h"

namespace mailmend::gui {
namespace {

namespace fs = std::filesystem;
using app::ControlId;
using testing::DbxFixture;
using testing::mailText;
using testing::TempDir;

// One application for the whole program, on the offscreen platform.
class QtEnvironment final : public ::testing::Environment {
public:
    void SetUp() override
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "gui_tests";
        static char* argv[] = {name, nullptr};
        m_app = new QApplication(argc, argv);
        applyProgramLook(*m_app);
    }
    void TearDown() override { delete m_app; }

private:
    QApplication* m_app = nullptr;
};
const auto* const g_qt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// Serves the window until `done` or the time is up.
bool waitFor(const std::function<bool()>& done, int milliseconds = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

fs::path screenshotFolder()
{
    fs::path folder = fs::path(MAILMEND_SCREENSHOTS);
    fs::create_directories(folder);
    return folder;
}

struct Box {
    std::string text;
    std::string caption;
};

// A main window whose system dialogs are replaced: files and folders come from the test,
// message boxes are recorded and answered.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        app::MainServices services;
        services.log = &log;
        services.initLogs = [] {};
        services.settingsFile = dir / "config.ini";
        services.job.tempDirectory = dir / "tmp";
        fs::create_directories(dir / "tmp");
        window = std::make_unique<MainWindow>(std::move(services));
        window->filePicker = [this](const app::FileFilter&) { return std::vector<std::string> {nextFile}; };
        window->folderPicker = [this](const std::string&) { return std::optional<std::string>((dir / "out").string()); };
        window->messageHandler = [this](const std::string& text, const std::string& caption,
                                        platform::MessageStyle) {
            std::lock_guard lock(boxesMutex);
            boxes.push_back({text, caption});
            return answer;
        };
        fs::create_directories(dir / "out");
        window->show();
    }
    void TearDown() override { window.reset(); }

    QAbstractButton* button(ControlId id) { return qobject_cast<QAbstractButton*>(window->control(id)); }
    void click(ControlId id) { QTest::mouseClick(button(id), Qt::LeftButton); }

    void addFile(const fs::path& path)
    {
        nextFile = path.string();
        click(ControlId::AddButton);
    }

    std::vector<Box> boxesSoFar()
    {
        std::lock_guard lock(boxesMutex);
        return boxes;
    }

    // The output root Browse made, and every .eml file under it.
    std::vector<fs::path> mailsWritten()
    {
        std::vector<fs::path> mails;
        for (const auto& entry : fs::recursive_directory_iterator(dir / "out"))
            if (entry.path().extension() == ".eml")
                mails.push_back(entry.path());
        return mails;
    }

    bool idle() { return button(ControlId::RecoverButton)->text() == "&Recover" && !window->logic().isWorkerAlive(); }

    TempDir dir;
    testing::RecordingLog log;
    std::unique_ptr<MainWindow> window;
    std::string nextFile;
    std::mutex boxesMutex;
    std::vector<Box> boxes;
    platform::MessageAnswer answer = platform::MessageAnswer::Ok;
};

TEST_F(WindowTest, AddBrowseEmlRecoverWritesEveryMailAndEndsWithTheSuccessBox)
{
    const DbxFixture fixture({mailText(1, 700), mailText(2, 3000), mailText(3, 90)});
    fixture.writeTo(dir / "Inbox.dbx");
    addFile(dir / "Inbox.dbx");
    ASSERT_EQ(window->rowCount(), 1);
    EXPECT_EQ(window->row(0).name, "Inbox.dbx");

    click(ControlId::BrowseButton);
    const std::string destination = window->text(ControlId::DestinationEdit);
    EXPECT_NE(destination.find("Norvale_Recover_DBX_(DATE="), std::string::npos) << destination;
    EXPECT_FALSE(button(ControlId::RecoverButton)->isEnabled()) << "an option must be chosen first";
    EXPECT_TRUE(button(ControlId::MboxOption)->isEnabled());

    click(ControlId::EmlOption);
    ASSERT_TRUE(button(ControlId::RecoverButton)->isEnabled());
    click(ControlId::RecoverButton);
    ASSERT_TRUE(waitFor([&] { return !boxesSoFar().empty() && idle(); }));

    const auto shown = boxesSoFar();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Files recovered Successfully to " + destination + " folder");
    EXPECT_EQ(shown[0].caption, "Norvale Mailmend");
    EXPECT_EQ(window->logic().lastExitCode(), 0);
    const fs::path folder = fs::path(destination) / "1_Recovered_Inbox_As_EML";
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(testing::readFile(folder / ("Inbox_00000" + std::to_string(i + 1) + ".eml")),
                  fixture.mails()[static_cast<std::size_t>(i)].text);
    EXPECT_FALSE(button(ControlId::EmlOption)->isChecked()) << "a finished run unchecks the options";
    EXPECT_EQ(window->text(ControlId::StatusText), "Ready to Scan");
}

// Many mails in several files, so that a run lasts long enough to be stopped inside.
void writeLongRun(const fs::path& dir, int files)
{
    std::vector<std::string> mails;
    for (int i = 0; i < 400; ++i)
        mails.push_back(mailText(i + 1, 6000));
    const DbxFixture fixture(mails);
    for (int f = 0; f < files; ++f)
        fixture.writeTo(dir / ("Folder" + std::to_string(f) + ".dbx"));
}

TEST_F(WindowTest, StopInTheMiddleOfARunLeavesTheWindowIdleAndWritesNothingMore)
{
    writeLongRun(dir.path(), 4);
    for (int f = 0; f < 4; ++f)
        addFile(dir / ("Folder" + std::to_string(f) + ".dbx"));
    click(ControlId::BrowseButton);
    click(ControlId::EmlOption);
    click(ControlId::RecoverButton);
    ASSERT_TRUE(waitFor([&] { return mailsWritten().size() >= 50; }));

    const fs::path shot = screenshotFolder() / "main_window_running.png";
    window->grab().save(QString::fromStdString(shot.string()));

    click(ControlId::RecoverButton); // now reads "&Stop"
    EXPECT_TRUE(idle()) << "Stop returns with the worker ended";
    const std::size_t written = mailsWritten().size();
    EXPECT_LT(written, 1600u);
    EXPECT_EQ(window->logic().lastExitCode(), -1);
    EXPECT_EQ(window->text(ControlId::StatusText), "Ready to Scan");
    EXPECT_EQ(qobject_cast<QProgressBar*>(window->control(ControlId::OverallProgress))->value(), 0);
    EXPECT_TRUE(button(ControlId::AddButton)->isEnabled());
    EXPECT_TRUE(boxesSoFar().empty()) << "no success box after a stop";

    QTest::qWait(300);
    EXPECT_EQ(mailsWritten().size(), written) << "nothing is written after Stop";
}

TEST_F(WindowTest, ClosingDuringARunAsksAndYesEndsTheWorker)
{
    writeLongRun(dir.path(), 4);
    for (int f = 0; f < 4; ++f)
        addFile(dir / ("Folder" + std::to_string(f) + ".dbx"));
    click(ControlId::BrowseButton);
    click(ControlId::EmlOption);
    click(ControlId::RecoverButton);
    ASSERT_TRUE(waitFor([&] { return mailsWritten().size() >= 50; }));

    answer = platform::MessageAnswer::No;
    window->close();
    EXPECT_TRUE(window->isVisible()) << "No keeps the window";
    answer = platform::MessageAnswer::Yes;
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->logic().isWorkerAlive());
    const auto shown = boxesSoFar();
    ASSERT_GE(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "Are you sure, you want to exit ?    ");
    const std::size_t written = mailsWritten().size();
    QTest::qWait(300);
    EXPECT_EQ(mailsWritten().size(), written);
}

// Runs `drive` on the modal dialog of type Dialog once it is up.
template <typename Dialog>
void whenModal(std::function<void(Dialog&)> drive)
{
    QTimer::singleShot(20, [drive] {
        if (auto* dialog = dynamic_cast<Dialog*>(QApplication::activeModalWidget())) {
            drive(*dialog);
            return;
        }
        whenModal<Dialog>(drive);
    });
}

TEST_F(WindowTest, SearchFromTheWindowAddsTheTickedFilesToTheList)
{
    const DbxFixture fixture({mailText(1, 300)});
    fs::create_directories(dir / "tree" / "a");
    fs::create_directories(dir / "tree" / "b");
    fixture.writeTo(dir / "tree" / "a" / "Inbox.dbx");
    fixture.writeTo(dir / "tree" / "b" / "Sent.dbx");
    fixture.writeTo(dir / "tree" / "Folders.dbx");

    bool driven = false;
    whenModal<SearchDialog>([&](SearchDialog& search) {
        search.folderPicker = [&](const std::string&) { return std::optional<std::string>((dir / "tree").string()); };
        QTest::mouseClick(qobject_cast<QAbstractButton*>(search.control(search::SearchControl::BrowseFolder)), Qt::LeftButton);
        auto* searchButton = qobject_cast<QAbstractButton*>(search.control(search::SearchControl::SearchStop));
        QTest::mouseClick(searchButton, Qt::LeftButton);
        waitFor([&] { return !search.logic().isSearching() && searchButton->text() == "Search"; });
        QTest::mouseClick(qobject_cast<QAbstractButton*>(search.control(search::SearchControl::SelectAll)), Qt::LeftButton);
        QTest::mouseClick(qobject_cast<QAbstractButton*>(search.control(search::SearchControl::AddToList)), Qt::LeftButton);
        QTest::mouseClick(qobject_cast<QAbstractButton*>(search.control(search::SearchControl::Finish)), Qt::LeftButton);
        driven = true;
    });
    click(ControlId::SearchButton);
    ASSERT_TRUE(driven);
    ASSERT_EQ(window->rowCount(), 2);
    EXPECT_EQ(window->row(0).path, (dir / "tree" / "a" / "Inbox.dbx").string());
    EXPECT_EQ(window->row(1).path, (dir / "tree" / "b" / "Sent.dbx").string());
    EXPECT_EQ(window->row(1).name, "Sent.dbx");
    EXPECT_TRUE(button(ControlId::BrowseButton)->isEnabled());
}

TEST_F(WindowTest, RecoverWithCustomizeOnNamesTheFoldersAsTheSaveAsDialogSays)
{
    const DbxFixture fixture({mailText(1, 300)});
    fixture.writeTo(dir / "Inbox.dbx");
    window->menuAction(app::MenuCommand::CustomizeMenu)->trigger();
    ASSERT_TRUE(window->menuAction(app::MenuCommand::CustomizeMenu)->isChecked());
    addFile(dir / "Inbox.dbx");
    click(ControlId::BrowseButton);
    click(ControlId::EmlOption);

    whenModal<SaveAsDialog>([&](SaveAsDialog& saveAs) {
        auto retype = [](QWidget* edit, const char* text) {
            edit->setFocus();
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(edit, text);
        };
        retype(saveAs.control(naming::SaveAsControl::CounterEdit), "7");
        retype(saveAs.control(naming::SaveAsControl::TagEdit), "Mine");
        QTest::mouseClick(qobject_cast<QAbstractButton*>(saveAs.control(naming::SaveAsControl::NextButton)), Qt::LeftButton);
    });
    click(ControlId::RecoverButton);
    ASSERT_TRUE(waitFor([&] { return !boxesSoFar().empty() && idle(); }));
    const fs::path destination = window->text(ControlId::DestinationEdit);
    EXPECT_EQ(testing::readFile(destination / "7_Mine_Inbox_As_EML" / "Inbox_000001.eml"), fixture.mails()[0].text);
}

TEST_F(WindowTest, ScreenshotsOfTheIdleWindowAndTheAboutBox)
{
    const DbxFixture fixture({mailText(1, 700)});
    fixture.writeTo(dir / "Inbox.dbx");
    fixture.writeTo(dir / "Sent Items.dbx");
    addFile(dir / "Inbox.dbx");
    addFile(dir / "Sent Items.dbx");
    click(ControlId::BrowseButton);
    const fs::path idleShot = screenshotFolder() / "main_window_idle.png";
    EXPECT_TRUE(window->grab().save(QString::fromStdString(idleShot.string())));

    AboutBox about(window.get(), "About Us", "Norvale Mailmend 3.1.0.1");
    about.show();
    QCoreApplication::processEvents();
    const fs::path aboutShot = screenshotFolder() / "about_box.png";
    EXPECT_TRUE(about.grab().save(QString::fromStdString(aboutShot.string())));
    EXPECT_GT(fs::file_size(idleShot), 1000u);
}

// What a file manager's drag of `paths` onto the file list delivers; true when taken.
bool dropOnList(MainWindow& window, const std::vector<fs::path>& paths)
{
    QMimeData data;
    QList<QUrl> urls;
    for (const fs::path& path : paths)
        urls << QUrl::fromLocalFile(QString::fromStdString(path.string()));
    data.setUrls(urls);
    QWidget* viewport = qobject_cast<QTableWidget*>(window.control(ControlId::FileList))->viewport();
    QDragEnterEvent enter(viewport->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QDropEvent drop(viewport->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    return QCoreApplication::sendEvent(viewport, &enter) && QCoreApplication::sendEvent(viewport, &drop)
        && enter.isAccepted() && drop.isAccepted();
}

std::vector<std::string> listedPaths(const MainWindow& window)
{
    std::vector<std::string> paths;
    for (int i = 0; i < window.rowCount(); ++i)
        paths.push_back(window.row(i).path);
    return paths;
}

TEST_F(WindowTest, FilesAndAFolderDroppedOnTheListGoThroughAddAndSearch)
{
    fs::create_directories(dir / "tree" / "sub");
    for (const fs::path& path : {dir / "a.dbx", dir / "b.dbx", dir / "tree" / "sub" / "Old.dbx",
                                 dir / "tree" / "Deleted.dbx", dir / "tree" / "Folders.dbx"})
        DbxFixture({mailText(1, 300)}).writeTo(path);
    ASSERT_TRUE(dropOnList(*window, {dir / "a.dbx", dir / "b.dbx", dir / "tree"}));
    const std::vector<std::string> listed {(dir / "a.dbx").string(), (dir / "b.dbx").string(),
                                           (dir / "tree" / "Deleted.dbx").string(), (dir / "tree" / "sub" / "Old.dbx").string()};
    EXPECT_EQ(listedPaths(*window), listed);
    ASSERT_TRUE(dropOnList(*window, {dir / "b.dbx"}));
    EXPECT_EQ(listedPaths(*window), listed);
    EXPECT_EQ(boxesSoFar().size(), 1u); // Add's box for a file listed already
}

TEST_F(WindowTest, StartedWithFileArgumentsListsThemOnceTheWindowRuns)
{
    fs::create_directories(dir / "tree");
    DbxFixture({mailText(1, 300)}).writeTo(dir / "-a.dbx");
    DbxFixture({mailText(1, 300)}).writeTo(dir / "tree" / "b.dbx");
    const auto paths = startupPaths({"mailmend", "--", QString::fromStdString((dir / "-a.dbx").string()),
                                     QString::fromStdString((dir / "tree").string())});
    ASSERT_TRUE(paths);
    openAtStart(*window, *paths);
    EXPECT_EQ(window->rowCount(), 0) << "the files go in once the window's event loop runs";
    ASSERT_TRUE(waitFor([&] { return window->rowCount() == 2; }));
    EXPECT_EQ(listedPaths(*window), (std::vector<std::string> {(dir / "-a.dbx").string(), (dir / "tree" / "b.dbx").string()}));
}

TEST_F(WindowTest, HelpContentsWithoutAViewerShowsTheHelpInAWindowOfItsOwn)
{
    window->documentOpener = [](const fs::path&) { return false; };
    window->menuAction(app::MenuCommand::HelpContents)->trigger();
    ASSERT_TRUE(window->helpWindow() && window->helpWindow()->isVisible());
    const QString text = window->helpWindow()->findChild<QTextBrowser*>()->toPlainText();
    EXPECT_TRUE(text.startsWith(QStringLiteral("Mailmend Help"))) << text.left(80).toStdString();
}

} // namespace
} // namespace mailmend::gui
