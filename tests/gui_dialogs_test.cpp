// SPDX-License-Identifier: GPL-3.0-or-later
// The Search Files and Save As dialogs as the user meets them: real widgets on the
// offscreen platform, clicked and typed into, with the folder picker and the message
// boxes replaced so that nothing waits for a person.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QToolTip>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "gui/look.h"
#include "gui/save_as_dialog.h"
#include "gui/search_dialog.h"

using namespace mailmend;
using gui::SaveAsDialog;
using gui::SearchDialog;
using naming::SaveAsControl;
using search::SearchControl;

namespace {

struct Message {
    std::string text;
    std::string caption;
    platform::MessageStyle style;
    bool onGuiThread;
};

// Stands in for the message boxes of a dialog and remembers what they said.
struct MessageLog {
    std::vector<Message> shown;

    auto recorder()
    {
        return [this](const std::string& text, const std::string& caption, platform::MessageStyle style) {
            shown.push_back({text, caption, style, QThread::currentThread() == qApp->thread()});
        };
    }
    std::vector<std::string> texts() const
    {
        std::vector<std::string> result;
        for (const Message& message : shown)
            result.push_back(message.text);
        return result;
    }
};

class FakeMainList final : public search::MainFileList {
public:
    std::vector<app::FileRowTexts> rows;

    int rowCount() const override { return static_cast<int>(rows.size()); }
    std::string rowPath(int index) const override { return rows.at(static_cast<std::size_t>(index)).path; }
    void insertRow(int index, const app::FileRowTexts& row) override
    {
        rows.insert(rows.begin() + std::clamp(index, 0, rowCount()), row);
    }
};

// The system's lister, but the first listing holds the worker until release().
class GatedLister final : public platform::DirectoryLister {
public:
    std::unique_ptr<platform::DirectoryListing> list(const std::filesystem::path& directory,
                                                     std::string_view pattern) const override
    {
        m_reached = true;
        while (!m_released)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return platform::systemDirectoryLister().list(directory, pattern);
    }
    std::optional<platform::FileStatus> status(const std::filesystem::path& file) const override
    {
        return platform::systemDirectoryLister().status(file);
    }

    bool reached() const { return m_reached; }
    void release() { m_released = true; }

private:
    mutable std::atomic<bool> m_reached {false};
    std::atomic<bool> m_released {false};
};

// Lets a held worker go however the test ends, before the dialog waits for it.
struct ReleaseOnExit {
    GatedLister& lister;
    ~ReleaseOnExit() { lister.release(); }
};

// A folder tree with mail folders where a search must find them and where it must not.
struct MailTree {
    QTemporaryDir dir;
    std::string root = dir.path().toStdString();

    MailTree()
    {
        file("Inbox.dbx", 2048);
        file("Folders.dbx", 10);      // the folder list, never offered
        file("Sent Items.dbx", 0);
        file("notes.txt", 5);
        file("RECYCLER/Deleted.dbx", 100); // the recycle bin is not searched
        file("recycler/Old.dbx", 1536);    // ... but only under its exact name
        file("Sub/Drafts.DBX", 1023);
    }

    std::string path(const std::string& relative) const { return root + "/" + relative; }

    void file(const std::string& relative, std::size_t size) const
    {
        const std::filesystem::path target = path(relative);
        std::filesystem::create_directories(target.parent_path());
        std::ofstream(target, std::ios::binary) << std::string(size, 'x');
    }
};

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

void saveScreenshot(QWidget& window, const char* name)
{
    const QString folder = QStringLiteral(MAILMEND_SCREENSHOTS);
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(window.grab().save(folder + QLatin1Char('/') + QLatin1String(name)));
}

} // namespace

// ---------------------------------------------------------------------------------------

class SearchDialogTest : public QObject {
    Q_OBJECT

private:
    static QPushButton* button(SearchDialog& dialog, SearchControl id)
    {
        return qobject_cast<QPushButton*>(dialog.control(id));
    }
    static void click(SearchDialog& dialog, SearchControl id)
    {
        QPushButton* target = button(dialog, id);
        QVERIFY(target != nullptr);
        QTest::mouseClick(target, Qt::LeftButton);
    }

    // Where the user clicks to flip a row's tick.
    static QPoint tickBoxCentre(QTableWidget& list, int row)
    {
        const QTableWidgetItem* item = list.item(row, 0);
        QStyleOptionViewItem option;
        option.initFrom(list.viewport());
        option.rect = list.visualItemRect(item);
        option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
        option.text = item->text();
        option.displayAlignment = Qt::Alignment(item->textAlignment());
        option.widget = &list;
        return list.style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, &list).center();
    }
    static void clickTick(QTableWidget& list, int row)
    {
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, tickBoxCentre(list, row));
    }

    static QString tipAt(QTableWidget& list, int row, int column)
    {
        const QPoint at = list.visualItemRect(list.item(row, column)).center();
        QHelpEvent help(QEvent::ToolTip, at, list.viewport()->mapToGlobal(at));
        QApplication::sendEvent(list.viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    }

    static void waitForSearchEnd(SearchDialog& dialog)
    {
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.logic().isSearching()
                                     && dialog.control(SearchControl::AddToList)->isEnabled(),
                                 20000);
        // The worker may still have its last words (a message box) to say.
        dialog.logic().waitForSearchThread();
    }

private slots:
    void opensWithItsControls()
    {
        FakeMainList mainList;
        SearchDialog dialog(nullptr, mainList);

        QCOMPARE(dialog.windowTitle(), QStringLiteral("Search Files"));
        const auto groups = dialog.findChildren<QGroupBox*>();
        QCOMPARE(groups.size(), 1);
        QCOMPARE(groups.front()->title(), QStringLiteral("Search .dbx Files"));
        QCOMPARE(dialog.text(SearchControl::FolderLabel), std::string("Select Directory : "));
        QCOMPARE(dialog.text(SearchControl::FolderEdit), std::string("Pls. Select the folder"));
        QVERIFY(qobject_cast<QLineEdit*>(dialog.control(SearchControl::FolderEdit))->isReadOnly());
        QCOMPARE(dialog.text(SearchControl::BrowseFolder), std::string("..."));
        QCOMPARE(dialog.text(SearchControl::SearchStop), std::string("Search"));
        QCOMPARE(dialog.text(SearchControl::Status), std::string("0 files found"));
        QCOMPARE(dialog.text(SearchControl::SelectAll), std::string("Select All"));
        QCOMPARE(dialog.text(SearchControl::AddToList), std::string("&Add To List"));
        QCOMPARE(dialog.text(SearchControl::Finish), std::string("&Finish"));
        QVERIFY(!dialog.control(SearchControl::SearchStop)->isEnabled());
        QVERIFY(!dialog.control(SearchControl::SelectAll)->isEnabled());
        QVERIFY(dialog.control(SearchControl::AddToList)->isEnabled());
        QVERIFY(dialog.control(SearchControl::BrowseFolder)->isEnabled());

        // The result list: a grid, the four columns in order, each aligned and sized as
        // the list's column table says, and headings that do not sort.
        QTableWidget& list = *dialog.resultList();
        QCOMPARE(dialog.control(SearchControl::ResultList), &list);
        QVERIFY(list.showGrid());
        QVERIFY(!list.isSortingEnabled());
        QVERIFY(!list.horizontalHeader()->sectionsClickable());
        QCOMPARE(list.columnCount(), 4);
        const QStringList headings {"File Name", "Size", "Created On", "File Path."};
        const Qt::Alignment aligned[] {Qt::AlignLeft, Qt::AlignRight, Qt::AlignRight, Qt::AlignLeft};
        const int widths[] {250, 100, 195, 190};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(list.horizontalHeaderItem(i)->text(), headings[i]);
            QCOMPARE(Qt::Alignment(list.horizontalHeaderItem(i)->textAlignment()) & Qt::AlignHorizontal_Mask,
                     aligned[i]);
            if (i < 3)
                QCOMPARE(list.horizontalHeader()->sectionSize(i), widths[i]);
        }
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        // At the dialog's own size every column shows whole.
        QVERIFY(list.horizontalHeader()->sectionSize(3) >= 190);
        QVERIFY(list.horizontalHeader()->length() <= list.viewport()->width());
    }

    void unusableFolderChoiceIsRefused()
    {
        FakeMainList mainList;
        SearchDialog dialog(nullptr, mainList);
        MessageLog messages;
        dialog.messageHandler = messages.recorder();
        std::vector<std::string> titles;
        std::optional<std::string> answer;
        dialog.folderPicker = [&](const std::string& title) {
            titles.push_back(title);
            return answer;
        };
        dialog.show();

        click(dialog, SearchControl::BrowseFolder);
        QCOMPARE(titles, std::vector<std::string> {" Please select the Destination folder "});
        QCOMPARE(messages.texts(), std::vector<std::string> {"Please select proper path."});
        QCOMPARE(messages.shown.front().caption, std::string("Norvale Mailmend"));
        QCOMPARE(dialog.text(SearchControl::FolderEdit), std::string("Pls. Select the folder"));
        QVERIFY(!dialog.control(SearchControl::SearchStop)->isEnabled());

        answer = "/somewhere/mail";
        click(dialog, SearchControl::BrowseFolder);
        QCOMPARE(dialog.text(SearchControl::FolderEdit), std::string("/somewhere/mail"));
        QVERIFY(dialog.control(SearchControl::SearchStop)->isEnabled());
        QCOMPARE(messages.shown.size(), std::size_t(1));
    }

    void searchListsTheTreeAndHandsOverTickedRows()
    {
        MailTree tree;
        FakeMainList mainList;
        SearchDialog dialog(nullptr, mainList);
        MessageLog messages;
        dialog.messageHandler = messages.recorder();
        dialog.folderPicker = [&](const std::string&) { return std::optional<std::string>(tree.root); };
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        click(dialog, SearchControl::BrowseFolder);
        QCOMPARE(dialog.text(SearchControl::FolderEdit), tree.root);
        click(dialog, SearchControl::SearchStop);
        waitForSearchEnd(dialog);

        QCOMPARE(dialog.text(SearchControl::Status), std::string("4 files found"));
        QCOMPARE(dialog.text(SearchControl::SearchStop), std::string("Search"));
        for (const auto id : {SearchControl::Finish, SearchControl::SelectAll, SearchControl::ResultList})
            QVERIFY(dialog.control(id)->isEnabled());
        QVERIFY(messages.shown.empty());

        // Breadth first, the folder's own files before those of its subfolders; no
        // folder list, no recycle bin, upper-case extensions included.
        QTableWidget& list = *dialog.resultList();
        QCOMPARE(list.rowCount(), 4);
        const std::vector<std::string> relative {"Inbox.dbx", "Sent Items.dbx", "recycler/Old.dbx", "Sub/Drafts.DBX"};
        const QStringList names {"Inbox.dbx", "Sent Items.dbx", "Old.dbx", "Drafts.DBX"};
        const QStringList sizes {"2 Kb", "0 Kb", "1 Kb", "0 Kb"};
        const QRegularExpression timeLayout(QStringLiteral("^[A-Z][a-z]{2} [A-Z][a-z]{2} \\d\\d \\d\\d:\\d\\d:\\d\\d \\d{4}$"));
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(list.item(i, 0)->text(), names[i]);
            QCOMPARE(list.item(i, 1)->text(), sizes[i]);
            QVERIFY2(timeLayout.match(list.item(i, 2)->text()).hasMatch(), qPrintable(list.item(i, 2)->text()));
            QCOMPARE(list.item(i, 3)->text(), qs(tree.path(relative[static_cast<std::size_t>(i)])));
            QVERIFY(list.item(i, 0)->flags() & Qt::ItemIsUserCheckable);
            QCOMPARE(list.item(i, 0)->checkState(), Qt::Unchecked);
            QCOMPARE(Qt::Alignment(list.item(i, 1)->textAlignment()) & Qt::AlignHorizontal_Mask, Qt::AlignRight);
            QCOMPARE(Qt::Alignment(list.item(i, 2)->textAlignment()) & Qt::AlignHorizontal_Mask, Qt::AlignRight);
        }

        // An unticked row invites a tick, on any of its cells.
        QCOMPARE(tipAt(list, 0, 0), QStringLiteral("Check file to add to the list"));
        QCOMPARE(tipAt(list, 0, 3), QStringLiteral("Check file to add to the list"));

        // The Select All caption is decided from the ticks as they were before the
        // change: it turns only when the last unticked row is ticked.
        clickTick(list, 0);
        QCOMPARE(list.item(0, 0)->checkState(), Qt::Checked);
        clickTick(list, 1);
        list.setCurrentCell(2, 0);
        QTest::keyClick(list.viewport(), Qt::Key_Space);
        QCOMPARE(list.item(2, 0)->checkState(), Qt::Checked);
        QCOMPARE(dialog.text(SearchControl::SelectAll), std::string("Select All"));
        clickTick(list, 3);
        QCOMPARE(list.item(3, 0)->checkState(), Qt::Checked);
        QCOMPARE(dialog.text(SearchControl::SelectAll), std::string("Unselect All"));
        clickTick(list, 3);
        QCOMPARE(list.item(3, 0)->checkState(), Qt::Unchecked);
        QCOMPARE(dialog.text(SearchControl::SelectAll), std::string("Select All"));

        // A ticked row has no tip.
        QCOMPARE(list.item(0, 0)->data(Qt::ToolTipRole), QVariant());
        QTRY_COMPARE(tipAt(list, 0, 1), QString());

        click(dialog, SearchControl::SelectAll);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(list.item(i, 0)->checkState(), Qt::Checked);
        QCOMPARE(dialog.text(SearchControl::SelectAll), std::string("Unselect All"));
        click(dialog, SearchControl::SelectAll);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(list.item(i, 0)->checkState(), Qt::Unchecked);
        QCOMPARE(dialog.text(SearchControl::SelectAll), std::string("Select All"));

        // Two rows go over with their four texts; the dialog stays open.
        clickTick(list, 1);
        clickTick(list, 3);
        click(dialog, SearchControl::AddToList);
        QCOMPARE(mainList.rows.size(), std::size_t(2));
        QCOMPARE(mainList.rows[0].path, tree.path("Sent Items.dbx"));
        QCOMPARE(mainList.rows[0].name, std::string("Sent Items.dbx"));
        QCOMPARE(mainList.rows[0].size, std::string("0 Kb"));
        QCOMPARE(qs(mainList.rows[0].createdOn), list.item(1, 2)->text());
        QCOMPARE(mainList.rows[1].path, tree.path("Sub/Drafts.DBX"));
        QCOMPARE(mainList.rows[1].name, std::string("Drafts.DBX"));
        QCOMPARE(dialog.text(SearchControl::Status), std::string("Files Added successfully"));
        QVERIFY(messages.shown.empty());
        QVERIFY(dialog.isVisible());

        list.clearSelection();
        saveScreenshot(dialog, "search_dialog.png");

        // Pressed again, both are reported as present and nothing is copied twice.
        click(dialog, SearchControl::AddToList);
        QCOMPARE(mainList.rows.size(), std::size_t(2));
        QCOMPARE(messages.texts(), std::vector<std::string> {"These files already present\n" + tree.path("Sent Items.dbx")
                                                             + "\n" + tree.path("Sub/Drafts.DBX") + "\n"});
        QCOMPARE(messages.shown.front().caption, std::string("Norvale Mailmend"));

        // Enter and Escape neither press the focused button nor close the dialog.
        QPushButton* finish = button(dialog, SearchControl::Finish);
        finish->setFocus();
        QTest::keyClick(finish, Qt::Key_Return);
        QTest::keyClick(finish, Qt::Key_Enter);
        QTest::keyClick(finish, Qt::Key_Escape);
        QTest::keyClick(&list, Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
        QCOMPARE(messages.shown.size(), std::size_t(1));

        // Finish ends the modal run; with only duplicates ticked it says nothing.
        QTimer::singleShot(0, &dialog, [&] { click(dialog, SearchControl::Finish); });
        QCOMPARE(dialog.run(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(messages.shown.size(), std::size_t(1));
        QCOMPARE(mainList.rows.size(), std::size_t(2));
    }

    void emptyFolderIsReportedFromTheWorker()
    {
        QTemporaryDir empty;
        FakeMainList mainList;
        SearchDialog dialog(nullptr, mainList);
        MessageLog messages;
        dialog.messageHandler = messages.recorder();
        dialog.folderPicker = [&](const std::string&) { return std::optional<std::string>(empty.path().toStdString()); };
        dialog.show();

        click(dialog, SearchControl::BrowseFolder);
        click(dialog, SearchControl::SearchStop);
        waitForSearchEnd(dialog);

        QCOMPARE(dialog.text(SearchControl::Status), std::string("0 files found"));
        QCOMPARE(messages.texts(), std::vector<std::string> {"Folder is Empty."});
        QCOMPARE(messages.shown.front().style, platform::MessageStyle::OkWarning);
        // The worker's message box is raised on the dialog's thread.
        QVERIFY(messages.shown.front().onGuiThread);
    }

    void closeBoxIsIgnoredWhileSearching()
    {
        MailTree tree;
        GatedLister lister;
        FakeMainList mainList;
        SearchDialog dialog(nullptr, mainList, lister);
        ReleaseOnExit releaser {lister};
        MessageLog messages;
        dialog.messageHandler = messages.recorder();
        dialog.folderPicker = [&](const std::string&) { return std::optional<std::string>(tree.root); };
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        click(dialog, SearchControl::BrowseFolder);
        click(dialog, SearchControl::SearchStop);
        QTRY_VERIFY(lister.reached());
        QCOMPARE(dialog.text(SearchControl::SearchStop), std::string("Stop"));
        for (const auto id : {SearchControl::AddToList, SearchControl::Finish, SearchControl::SelectAll,
                              SearchControl::ResultList})
            QVERIFY(!dialog.control(id)->isEnabled());

        QVERIFY(!dialog.close());
        QVERIFY(dialog.isVisible());

        // Stop answers at once; the rest comes back when the worker has wound up.
        click(dialog, SearchControl::SearchStop);
        QCOMPARE(dialog.text(SearchControl::SearchStop), std::string("Search"));
        QCOMPARE(dialog.text(SearchControl::Status), std::string("Search Stopped"));
        lister.release();
        waitForSearchEnd(dialog);
        QCOMPARE(dialog.logic().lastExitCode(), -1);
        QCOMPARE(dialog.text(SearchControl::Status), std::string("Search Stopped"));
        QCOMPARE(dialog.resultList()->rowCount(), 0);

        QVERIFY(dialog.close());
        QVERIFY(!dialog.isVisible());
        QVERIFY(messages.shown.empty());
        QVERIFY(mainList.rows.empty());
    }
};

// ---------------------------------------------------------------------------------------

class SaveAsDialogTest : public QObject {
    Q_OBJECT

private:
    static recovery::RecoveryRequest changedRequest(recovery::SaveOption option = recovery::SaveOption::SAVEASPST)
    {
        recovery::RecoveryRequest request;
        request.m_strDestination = "/home/user/Mail recovery";
        request.m_nSaveOption = option;
        request.m_nFileCounter = 42;
        request.m_strFolderTag = "Old";
        request.m_bCounterOn = false;
        request.m_bFolderTagOn = false;
        request.m_bFileNameOn = false;
        request.m_bTypeTagOn = false;
        return request;
    }

    static void expectNamingUnchanged(const recovery::RecoveryRequest& request)
    {
        QCOMPARE(request.m_nFileCounter, 42);
        QCOMPARE(request.m_strFolderTag, std::string("Old"));
        QVERIFY(!request.m_bCounterOn && !request.m_bFolderTagOn && !request.m_bFileNameOn && !request.m_bTypeTagOn);
    }

    template <typename Widget>
    static Widget* widget(SaveAsDialog& dialog, SaveAsControl id)
    {
        auto* found = qobject_cast<Widget*>(dialog.control(id));
        if (found == nullptr)
            qFatal("control %d is missing", static_cast<int>(id));
        return found;
    }

    static void showActive(SaveAsDialog& dialog)
    {
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    }

    static std::string previewSecondLine(SaveAsDialog& dialog)
    {
        const std::string preview = dialog.text(SaveAsControl::Preview);
        return preview.substr(preview.find('\n') + 1);
    }

private slots:
    void opensWithTheDefaultsWhateverTheRequestHolds()
    {
        recovery::RecoveryRequest request = changedRequest();
        SaveAsDialog dialog(nullptr, request);
        showActive(dialog);

        QCOMPARE(dialog.windowTitle(), QStringLiteral("Save As"));
        const auto groups = dialog.findChildren<QGroupBox*>();
        QCOMPARE(groups.size(), 1);
        QCOMPARE(groups.front()->title(), QStringLiteral(" Manual name assignment "));
        QCOMPARE(dialog.text(SaveAsControl::CounterLabel), std::string("File Counter : "));
        QCOMPARE(dialog.text(SaveAsControl::TagLabel), std::string("Folder Tag : "));
        QCOMPARE(dialog.text(SaveAsControl::FileNameLabel), std::string("File Name :"));
        QCOMPARE(dialog.text(SaveAsControl::TypeTagLabel), std::string("Conversion type Tag:"));
        bool headingFound = false;
        for (const QLabel* label : dialog.findChildren<QLabel*>())
            headingFound |= label->text() == QStringLiteral("Pls Note name will appear as follows :");
        QVERIFY(headingFound);

        for (const auto id : {SaveAsControl::CounterCheck, SaveAsControl::TagCheck, SaveAsControl::FileNameCheck,
                              SaveAsControl::TypeTagCheck})
            QVERIFY(widget<QCheckBox>(dialog, id)->isChecked());
        QCOMPARE(dialog.text(SaveAsControl::CounterEdit), std::string("1"));
        QCOMPARE(dialog.text(SaveAsControl::TagEdit), std::string("Recovered"));
        QCOMPARE(dialog.text(SaveAsControl::FileNameEdit), std::string("FileName"));
        QCOMPARE(dialog.text(SaveAsControl::TypeTagEdit), std::string("As_PST"));
        QCOMPARE(dialog.text(SaveAsControl::Preview),
                 std::string(" /home/user/Mail recovery/\n 1_Recovered_FileName_As_PST/..."));

        for (const auto id : {SaveAsControl::FileNameCheck, SaveAsControl::FileNameLabel, SaveAsControl::FileNameEdit,
                              SaveAsControl::TypeTagLabel, SaveAsControl::TypeTagEdit})
            QVERIFY2(!dialog.control(id)->isEnabled(), qPrintable(QString::number(static_cast<int>(id))));
        for (const auto id : {SaveAsControl::CounterCheck, SaveAsControl::CounterLabel, SaveAsControl::CounterEdit,
                              SaveAsControl::TagCheck, SaveAsControl::TagLabel, SaveAsControl::TagEdit,
                              SaveAsControl::TypeTagCheck, SaveAsControl::NextButton, SaveAsControl::CancelButton})
            QVERIFY2(dialog.control(id)->isEnabled(), qPrintable(QString::number(static_cast<int>(id))));

        auto* next = widget<QPushButton>(dialog, SaveAsControl::NextButton);
        QCOMPARE(next->text(), QStringLiteral("Next"));
        QVERIFY(next->isDefault());
        QCOMPARE(widget<QPushButton>(dialog, SaveAsControl::CancelButton)->text(), QStringLiteral("Cancel"));
        QVERIFY(widget<QLabel>(dialog, SaveAsControl::Preview)->wordWrap());
        expectNamingUnchanged(request);
    }

    void typeTagFollowsTheSaveOption_data()
    {
        QTest::addColumn<int>("option");
        QTest::addColumn<QString>("tag");
        QTest::newRow("eml") << int(recovery::SaveOption::SAVEASEML) << "As_EML";
        QTest::newRow("msg") << int(recovery::SaveOption::SAVEASMSG) << "As_MSG";
        QTest::newRow("rtf") << int(recovery::SaveOption::SAVEASRTF) << "As_RTF";
        QTest::newRow("dbx") << int(recovery::SaveOption::SAVEASDBX) << "As_TYPE";
        QTest::newRow("advanced scan") << int(recovery::SaveOption::ADVANCEDSCAN) << "As_TYPE";
    }
    void typeTagFollowsTheSaveOption()
    {
        QFETCH(int, option);
        QFETCH(QString, tag);
        recovery::RecoveryRequest request = changedRequest(static_cast<recovery::SaveOption>(option));
        SaveAsDialog dialog(nullptr, request);
        QCOMPARE(qs(dialog.text(SaveAsControl::TypeTagEdit)), tag);
        QCOMPARE(qs(previewSecondLine(dialog)), QStringLiteral(" 1_Recovered_FileName_") + tag + QStringLiteral("/..."));
    }

    void counterTakesAtMostFiveDigits()
    {
        recovery::RecoveryRequest request = changedRequest();
        SaveAsDialog dialog(nullptr, request);
        MessageLog messages;
        dialog.messageHandler = messages.recorder();
        showActive(dialog);
        auto* counter = widget<QLineEdit>(dialog, SaveAsControl::CounterEdit);
        counter->setFocus();
        counter->end(false);

        QTest::keyClicks(counter, "2345");
        QCOMPARE(counter->text(), QStringLiteral("12345"));
        QCOMPARE(previewSecondLine(dialog), std::string(" 12345_Recovered_FileName_As_PST/..."));
        QVERIFY(messages.shown.empty());

        QTest::keyClick(counter, Qt::Key_6);
        QCOMPARE(counter->text(), QStringLiteral("12345"));
        QCOMPARE(messages.texts(), std::vector<std::string> {"Counter should not exceed 5 digits"});
        QCOMPARE(messages.shown.front().caption, std::string("Norvale Mailmend"));
        QCOMPARE(previewSecondLine(dialog), std::string(" 12345_Recovered_FileName_As_PST/..."));

        // Only digits get in at all, without a word.
        counter->setText(QStringLiteral("12"));
        counter->end(false);
        QTest::keyClicks(counter, "a-*");
        QCOMPARE(counter->text(), QStringLiteral("12"));
        QCOMPARE(messages.shown.size(), std::size_t(1));
    }

    void tagRefusesForbiddenCharactersAndKeepsTheCaret()
    {
        recovery::RecoveryRequest request = changedRequest();
        SaveAsDialog dialog(nullptr, request);
        MessageLog messages;
        dialog.messageHandler = messages.recorder();
        showActive(dialog);
        auto* tag = widget<QLineEdit>(dialog, SaveAsControl::TagEdit);
        tag->setFocus();

        // Typing in the middle leaves the caret after the new letter, although the
        // logic writes the text back after every keystroke.
        tag->setCursorPosition(3);
        QTest::keyClick(tag, 'x');
        QCOMPARE(tag->text(), QStringLiteral("Recxovered"));
        QCOMPARE(tag->cursorPosition(), 4);
        QCOMPARE(previewSecondLine(dialog), std::string(" 1_Recxovered_FileName_As_PST/..."));

        QTest::keyClick(tag, '/');
        QCOMPARE(tag->text(), QStringLiteral("Recxovered"));
        QCOMPARE(messages.texts(),
                 std::vector<std::string> {"Folder Tag cannot contain following characters: \\/:*?<>|"});
        QCOMPARE(previewSecondLine(dialog), std::string(" 1_Recxovered_FileName_As_PST/..."));

        // A tag set by the program is not a user's edit and is not judged.
        tag->setText(QStringLiteral("a:b"));
        QCOMPARE(messages.shown.size(), std::size_t(1));
    }

    void checkBoxesSwitchPartsOfTheName()
    {
        recovery::RecoveryRequest request = changedRequest();
        SaveAsDialog dialog(nullptr, request);
        showActive(dialog);

        QTest::mouseClick(widget<QCheckBox>(dialog, SaveAsControl::CounterCheck), Qt::LeftButton);
        QVERIFY(!dialog.control(SaveAsControl::CounterEdit)->isEnabled());
        QVERIFY(!dialog.control(SaveAsControl::CounterLabel)->isEnabled());
        QCOMPARE(previewSecondLine(dialog), std::string(" Recovered_FileName_As_PST/..."));

        QTest::mouseClick(widget<QCheckBox>(dialog, SaveAsControl::TagCheck), Qt::LeftButton);
        QVERIFY(!dialog.control(SaveAsControl::TagEdit)->isEnabled());
        QTest::mouseClick(widget<QCheckBox>(dialog, SaveAsControl::TypeTagCheck), Qt::LeftButton);
        QCOMPARE(previewSecondLine(dialog), std::string(" FileName_/..."));

        QTest::mouseClick(widget<QCheckBox>(dialog, SaveAsControl::CounterCheck), Qt::LeftButton);
        QVERIFY(dialog.control(SaveAsControl::CounterEdit)->isEnabled());
        QVERIFY(dialog.control(SaveAsControl::CounterLabel)->isEnabled());
        QCOMPARE(previewSecondLine(dialog), std::string(" 1_FileName_/..."));
    }

    void nextHandsTheChoicesOver()
    {
        recovery::RecoveryRequest request = changedRequest();
        SaveAsDialog dialog(nullptr, request);
        MessageLog messages;
        dialog.messageHandler = messages.recorder();
        showActive(dialog);

        auto* counter = widget<QLineEdit>(dialog, SaveAsControl::CounterEdit);
        counter->selectAll();
        QTest::keyClicks(counter, "007");
        auto* tag = widget<QLineEdit>(dialog, SaveAsControl::TagEdit);
        tag->selectAll();
        QTest::keyClicks(tag, "Box");
        QTest::mouseClick(widget<QCheckBox>(dialog, SaveAsControl::TypeTagCheck), Qt::LeftButton);

        QTimer::singleShot(0, &dialog, [&] {
            QTest::mouseClick(widget<QPushButton>(dialog, SaveAsControl::NextButton), Qt::LeftButton);
        });
        QVERIFY(dialog.run());
        QVERIFY(!dialog.isVisible());
        QVERIFY(messages.shown.empty());
        QCOMPARE(request.m_nFileCounter, 7);
        QCOMPARE(request.m_strFolderTag, std::string("Box"));
        QVERIFY(request.m_bCounterOn);
        QVERIFY(request.m_bFolderTagOn);
        QVERIFY(request.m_bFileNameOn);
        QVERIFY(!request.m_bTypeTagOn);
        QCOMPARE(request.m_strDestination, std::string("/home/user/Mail recovery"));
        QCOMPARE(request.m_nSaveOption, recovery::SaveOption::SAVEASPST);
    }

    void nextRefusesAnEmptyCounterAndStaysOpen()
    {
        recovery::RecoveryRequest request = changedRequest();
        SaveAsDialog dialog(nullptr, request);
        MessageLog messages;
        dialog.messageHandler = messages.recorder();
        showActive(dialog);

        auto* counter = widget<QLineEdit>(dialog, SaveAsControl::CounterEdit);
        counter->end(false);
        QTest::keyClick(counter, Qt::Key_Backspace);
        QCOMPARE(counter->text(), QString());
        QTest::mouseClick(widget<QCheckBox>(dialog, SaveAsControl::CounterCheck), Qt::LeftButton);
        QTest::mouseClick(widget<QPushButton>(dialog, SaveAsControl::NextButton), Qt::LeftButton);

        QCOMPARE(messages.texts(), std::vector<std::string> {"Invalid file counter."});
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), naming::DialogResult::Cancel);
        expectNamingUnchanged(request);
    }

    void cancelAndTheCloseBoxLeaveTheChoicesAlone_data()
    {
        QTest::addColumn<bool>("closeBox");
        QTest::newRow("Cancel") << false;
        QTest::newRow("close box") << true;
    }
    void cancelAndTheCloseBoxLeaveTheChoicesAlone()
    {
        QFETCH(bool, closeBox);
        recovery::RecoveryRequest request = changedRequest();
        SaveAsDialog dialog(nullptr, request);
        showActive(dialog);

        auto* tag = widget<QLineEdit>(dialog, SaveAsControl::TagEdit);
        tag->selectAll();
        QTest::keyClicks(tag, "Changed");
        QTest::mouseClick(widget<QCheckBox>(dialog, SaveAsControl::TypeTagCheck), Qt::LeftButton);

        QTimer::singleShot(0, &dialog, [&] {
            if (closeBox)
                dialog.close();
            else
                QTest::mouseClick(widget<QPushButton>(dialog, SaveAsControl::CancelButton), Qt::LeftButton);
        });
        QVERIFY(!dialog.run());
        QVERIFY(!dialog.isVisible());
        expectNamingUnchanged(request);
    }

    void enterAndEscapeDoNothing()
    {
        recovery::RecoveryRequest request = changedRequest();
        SaveAsDialog dialog(nullptr, request);
        MessageLog messages;
        dialog.messageHandler = messages.recorder();
        showActive(dialog);

        auto* tag = widget<QLineEdit>(dialog, SaveAsControl::TagEdit);
        auto* next = widget<QPushButton>(dialog, SaveAsControl::NextButton);
        for (QWidget* target : std::initializer_list<QWidget*> {tag, next, &dialog}) {
            target->setFocus();
            QTest::keyClick(target, Qt::Key_Return);
            QTest::keyClick(target, Qt::Key_Enter);
            QTest::keyClick(target, Qt::Key_Escape);
        }
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), naming::DialogResult::Cancel);
        QVERIFY(messages.shown.empty());
        expectNamingUnchanged(request);
    }

    void screenshot()
    {
        recovery::RecoveryRequest request;
        request.m_strDestination = "/home/user/Documents/Recovered mail from the old laptop/2011";
        request.m_nSaveOption = recovery::SaveOption::SAVEASEML;
        SaveAsDialog dialog(nullptr, request);
        showActive(dialog);
        saveScreenshot(dialog, "save_as_dialog.png");
    }
};

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    gui::applyProgramLook(app);

    int failures = 0;
    {
        SearchDialogTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    {
        SaveAsDialogTest test;
        failures += QTest::qExec(&test, argc, argv);
    }
    return failures == 0 ? 0 : 1;
}

#include "gui_dialogs_test.moc"
