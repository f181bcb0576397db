// SPDX-License-Identifier: GPL-3.0-or-later
// The search walk and the search dialog, driven headless through a recording view and a
// made-up directory tree.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "log/text.h"
#include "search/search_dialog.h"
#include "search/search_walk.h"
#include "support/fake_lister.h"
#include "support/temp_dir.h"

namespace mailmend::search {
namespace {

using app::FileRowTexts;
using platform::MessageStyle;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

FileRowTexts pathRow(const std::string& path)
{
    FileRowTexts row;
    row.path = path;
    return row;
}

using testing::FakeLister;

struct Shown {
    std::string text;
    std::string caption;
    MessageStyle style;
};

// Records what is done to the dialog; the worker calls it from its own thread.
class FakeView final : public SearchView {
    template <typename F>
    auto locked(F f) const
    {
        std::lock_guard lock(m_mutex);
        return f();
    }

public:
    void setText(SearchControl control, const std::string& text) override { locked([&] { m_texts[control] = text; }); }
    std::string text(SearchControl control) const override { return locked([&] { return m_texts[control]; }); }
    void enable(SearchControl control, bool on) override { locked([&] { m_enabled[control] = on; }); }
    bool isEnabled(SearchControl control) const { return locked([&] { return m_enabled[control]; }); }

    int rowCount() const override { return locked([&] { return static_cast<int>(m_rows.size()); }); }
    void deleteAllRows() override { locked([&] { m_rows.clear(); }); }
    void insertRow(int index, const FileRowTexts& row) override
    {
        locked([&] {
            m_insertIndexes.push_back(index);
            m_rows.insert(m_rows.begin() + std::min<std::ptrdiff_t>(index, std::ssize(m_rows)), {row, false});
        });
    }
    std::string rowPath(int index) const override { return row(index).path; }
    FileRowTexts row(int index) const override { return locked([&] { return m_rows.at(index).texts; }); }
    bool isTicked(int index) const override { return locked([&] { return m_rows.at(index).ticked; }); }
    void setTicked(int index, bool on) override { locked([&] { m_rows.at(index).ticked = on; }); }

    std::optional<std::string> pickFolder(const std::string& title) override
    {
        pickerTitle = title;
        return pick;
    }
    void showMessage(const std::string& text, const std::string& caption, MessageStyle style) override
    {
        locked([&] { m_messages.push_back({text, caption, style}); });
    }
    void endDialog() override { ++ended; }
    void waitUntil(const std::function<bool()>& done) override
    {
        while (!done())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    void addRow(const std::string& path, bool ticked) { locked([&] { m_rows.push_back({pathRow(path), ticked}); }); }
    std::vector<std::string> paths() const
    {
        return locked([&] {
            std::vector<std::string> out;
            for (const auto& row : m_rows)
                out.push_back(row.texts.path);
            return out;
        });
    }
    std::vector<Shown> messages() const { return locked([&] { return m_messages; }); }
    std::vector<std::string> messageTexts() const
    {
        std::vector<std::string> out;
        for (const auto& shown : messages())
            out.push_back(shown.text);
        return out;
    }
    std::vector<int> insertIndexes() const { return locked([&] { return m_insertIndexes; }); }

    std::optional<std::string> pick;
    std::string pickerTitle;
    int ended = 0;

private:
    struct Row {
        FileRowTexts texts;
        bool ticked = false;
    };
    mutable std::mutex m_mutex;
    mutable std::map<SearchControl, std::string> m_texts;
    mutable std::map<SearchControl, bool> m_enabled;
    std::vector<Row> m_rows;
    std::vector<int> m_insertIndexes;
    std::vector<Shown> m_messages;
};

class FakeMainList final : public MainFileList {
public:
    int rowCount() const override { return static_cast<int>(rows.size()); }
    std::string rowPath(int index) const override { return rows.at(index).path; }
    void insertRow(int index, const FileRowTexts& row) override
    {
        insertIndexes.push_back(index);
        rows.insert(rows.begin() + std::min<std::ptrdiff_t>(index, std::ssize(rows)), row);
    }
    std::vector<std::string> paths() const
    {
        std::vector<std::string> out;
        for (const auto& row : rows)
            out.push_back(row.path);
        return out;
    }

    std::vector<FileRowTexts> rows;
    std::vector<int> insertIndexes;
};

class SearchDialogTest : public ::testing::Test {
protected:
    void SetUp() override { dlg.OnInitDialog(); }

    void chooseFolder(const std::string& folder)
    {
        view.pick = folder;
        dlg.OnBrowseFolder();
    }

    // Runs one search to its end.
    void search()
    {
        ASSERT_EQ(view.text(SearchControl::SearchStop), "Search");
        dlg.OnSearch();
        dlg.waitForSearchThread();
    }

    FakeLister lister;
    FakeView view;
    FakeMainList mainList;
    CSearchDlg dlg {view, mainList, lister};
};

// ---------------------------------------------------------------------------------------
// The walk.

TEST_F(SearchDialogTest, FolderIsEmptyOnlyWhenTheChosenFolderHoldsNothing)
{
    chooseFolder("/r");
    search();
    EXPECT_EQ(dlg.lastExitCode(), 0);
    EXPECT_EQ(view.text(SearchControl::Status), "0 files found");
    ASSERT_EQ(view.messages().size(), 1u);
    EXPECT_EQ(view.messages()[0].text, "Folder is Empty.");
    EXPECT_EQ(view.messages()[0].caption, "Norvale Mailmend");
    EXPECT_EQ(view.messages()[0].style, MessageStyle::OkWarning);
    EXPECT_EQ(view.text(SearchControl::SearchStop), "Search");
    EXPECT_FALSE(dlg.isSearching());
    for (auto control : {SearchControl::AddToList, SearchControl::Finish, SearchControl::ResultList,
                         SearchControl::SelectAll})
        EXPECT_TRUE(view.isEnabled(control));

    // Subfolders without mail files: nothing found, but not empty.
    lister.addDirectory("/r", "a");
    lister.addDirectory(lister.addDirectory("/r", "b"), "c");
    search();
    EXPECT_EQ(view.text(SearchControl::Status), "0 files found");
    EXPECT_EQ(view.messages().size(), 1u);

    // A folder that cannot be listed at all is not called empty either.
    lister.makeUnlistable("/r");
    search();
    EXPECT_EQ(view.text(SearchControl::Status), "0 files found");
    EXPECT_EQ(view.messages().size(), 1u);
}

TEST_F(SearchDialogTest, SkipsBookkeepingFilesAndRecyclerWithExactCase)
{
    for (const char* name : {"Folders.dbx", "Inbox.dbx", "Pop3uidl.dbx", "Offline.dbx", "Local Folders.dbx",
                             "folders.dbx", "OFFLINE.DBX", "notes.txt"})
        lister.addFile("/r", name);
    lister.addDirectory("/r", "Sent.dbx"); // a directory, whatever its name
    lister.addFile(lister.addDirectory("/r", "RECYCLER"), "a.dbx");
    lister.addFile(lister.addDirectory("/r", "recycler"), "b.dbx");
    chooseFolder("/r");
    search();

    EXPECT_THAT(view.paths(), ElementsAre("/r/Inbox.dbx", "/r/folders.dbx", "/r/OFFLINE.DBX", "/r/recycler/b.dbx"));
    EXPECT_EQ(view.text(SearchControl::Status), "4 files found");
    for (const auto& call : lister.calls())
        EXPECT_EQ(call.find("RECYCLER"), std::string::npos) << call;
}

TEST_F(SearchDialogTest, WalkIsBreadthFirstWithSubfoldersQueuedBeforeFiles)
{
    lister.addFile("/r", "z.dbx");
    const auto one = lister.addDirectory("/r", "one");
    lister.addFile("/r", "a.dbx");
    const auto two = lister.addDirectory("/r", "two");
    lister.addFile(one, "b.dbx");
    lister.addFile(lister.addDirectory(one, "deep"), "d.dbx");
    lister.addFile(two, "c.dbx");
    chooseFolder("/r");
    search();

    EXPECT_THAT(lister.calls(), ElementsAre("/r *.*", "/r *.dbx", "/r/one *.*", "/r/one *.dbx", "/r/two *.*",
                                            "/r/two *.dbx", "/r/one/deep *.*", "/r/one/deep *.dbx"));
    // Within a directory, the listing's own order.
    EXPECT_THAT(view.paths(), ElementsAre("/r/z.dbx", "/r/a.dbx", "/r/one/b.dbx", "/r/two/c.dbx",
                                          "/r/one/deep/d.dbx"));
}

TEST_F(SearchDialogTest, UnlistableDirectoriesAndDirectoryLinksArePassedOver)
{
    const auto locked = lister.addDirectory("/r", "locked");
    lister.addFile(locked, "hidden.dbx");
    lister.makeUnlistable(locked);
    // A link back up the tree would make the walk go round for ever.
    lister.addFile(lister.addDirectory("/r", "loop", true), "Inbox.dbx");
    lister.addFile("/r", "Inbox.dbx");
    chooseFolder("/r");
    search();

    EXPECT_EQ(dlg.lastExitCode(), 0);
    EXPECT_THAT(view.paths(), ElementsAre("/r/Inbox.dbx"));
    EXPECT_THAT(view.messages(), IsEmpty());
}

TEST_F(SearchDialogTest, RowsCarryNameSizeAndCreationTexts)
{
    lister.addFile("/r", "Inbox.dbx", 1536);
    lister.addFile("/r", "Empty.dbx", 0);
    lister.addFile("/r", "Gone.dbx", 0, false);
    chooseFolder("/r");
    search();

    ASSERT_EQ(view.rowCount(), 3);
    EXPECT_EQ(view.row(0), (FileRowTexts {"/r/Inbox.dbx", "Inbox.dbx", "1 Kb", app::createdOnText(0)}));
    EXPECT_EQ(view.row(1).size, "0 Kb");
    // Gone between listing and status: still listed, without size and time.
    EXPECT_EQ(view.row(2), (FileRowTexts {"/r/Gone.dbx", "Gone.dbx", "", ""}));
}

TEST_F(SearchDialogTest, SecondSearchClearsListCountsItsOwnAndKeepsAppending)
{
    const auto first = lister.addDirectory("/r", "first");
    const auto second = lister.addDirectory("/r", "second");
    for (const char* name : {"a.dbx", "b.dbx", "c.dbx"})
        lister.addFile(first, name);
    for (const char* name : {"d.dbx", "e.dbx"})
        lister.addFile(second, name);

    chooseFolder(first);
    search();
    EXPECT_EQ(dlg.foundCount(), 3);
    EXPECT_EQ(view.text(SearchControl::Status), "3 files found");

    chooseFolder(second);
    search();
    EXPECT_THAT(view.paths(), ElementsAre("/r/second/d.dbx", "/r/second/e.dbx"));
    EXPECT_EQ(view.text(SearchControl::Status), "2 files found");
    EXPECT_EQ(dlg.foundCount(), 5);
    EXPECT_THAT(view.insertIndexes(), ElementsAre(0, 1, 2, 3, 4));

    // The same folder again lists the same files again.
    search();
    EXPECT_THAT(view.paths(), ElementsAre("/r/second/d.dbx", "/r/second/e.dbx"));
    EXPECT_EQ(dlg.foundCount(), 7);
}

TEST(SearchWalk, StopsSoonAfterTheFlagIsClearedInALargeTree)
{
    FakeLister lister;
    for (int i = 0; i < 10; ++i) {
        const auto a = lister.addDirectory("/r", strprintf("d%d", i));
        for (int j = 0; j < 10; ++j) {
            const auto b = lister.addDirectory(a, strprintf("e%d", j));
            for (int k = 0; k < 1000; ++k)
                lister.addFile(b, strprintf("f%d.dbx", k));
        }
    }
    lister.gateAt(30000);
    FakeView view;
    FakeMainList mainList;
    CSearchDlg dlg(view, mainList, lister);
    dlg.OnInitDialog();
    view.pick = "/r";
    dlg.OnBrowseFolder();
    dlg.OnSearch();
    lister.waitReached();

    const auto stoppedAt = std::chrono::steady_clock::now();
    dlg.OnSearch(); // the caption reads "Stop"
    EXPECT_EQ(view.text(SearchControl::Status), "Search Stopped");
    EXPECT_EQ(view.text(SearchControl::SearchStop), "Search");
    lister.release();
    dlg.waitForSearchThread();
    EXPECT_LT(std::chrono::steady_clock::now() - stoppedAt, std::chrono::seconds(2));

    EXPECT_EQ(dlg.lastExitCode(), -1);
    EXPECT_EQ(lister.fetched.load(), 30000);
    EXPECT_EQ(view.text(SearchControl::Status), "Search Stopped");
    EXPECT_TRUE(view.isEnabled(SearchControl::AddToList));
    // What was found so far stays listed.
    EXPECT_GT(view.rowCount(), 0);
    EXPECT_LT(view.rowCount(), 100000);
    EXPECT_EQ(dlg.foundCount(), view.rowCount());
}

TEST_F(SearchDialogTest, NewSearchWaitsForAStoppedWorkerToEnd)
{
    for (int i = 0; i < 50; ++i)
        lister.addFile("/r", strprintf("f%d.dbx", i));
    lister.gateAt(10);
    chooseFolder("/r");
    dlg.OnSearch();
    lister.waitReached();
    dlg.OnSearch(); // Stop

    std::thread releaser([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        lister.release();
    });
    dlg.OnSearch(); // Search again while the first worker is still held
    dlg.waitForSearchThread();
    releaser.join();

    EXPECT_EQ(lister.mostOpenListings.load(), 1);
    EXPECT_EQ(dlg.lastExitCode(), 0);
    EXPECT_EQ(view.rowCount(), 50);
    EXPECT_EQ(view.text(SearchControl::Status), "50 files found");
}

TEST_F(SearchDialogTest, WhileSearchingStopStaysUsableAndCloseIsRefused)
{
    lister.addFile("/r", "a.dbx");
    lister.gateAt(1);
    chooseFolder("/r");
    dlg.OnSearch();
    lister.waitReached();

    view.pick.reset();
    dlg.OnBrowseFolder();
    EXPECT_EQ(view.messageTexts().back(), "Please select proper path.");
    EXPECT_TRUE(view.isEnabled(SearchControl::SearchStop));
    EXPECT_EQ(view.text(SearchControl::SearchStop), "Stop");

    view.setText(SearchControl::SelectAll, "Unselect All");
    dlg.OnItemChanging(0, TickState::Ticked);
    EXPECT_EQ(view.text(SearchControl::SelectAll), "Unselect All");

    EXPECT_FALSE(dlg.OnClose());
    EXPECT_EQ(view.ended, 0);
    dlg.OnSearch(); // Stop
    lister.release();
    EXPECT_TRUE(dlg.OnClose());
    EXPECT_EQ(view.ended, 1);
    EXPECT_EQ(dlg.lastExitCode(), -1); // the worker ended before the dialog did
}

TEST(SearchOnRealFolders, EmptyFolderThenOneFile)
{
    testing::TempDir tmp;
    FakeView view;
    FakeMainList mainList;
    CSearchDlg dlg(view, mainList);
    dlg.OnInitDialog();
    view.pick = tmp.path().string();
    dlg.OnBrowseFolder();
    dlg.OnSearch();
    dlg.waitForSearchThread();
    EXPECT_EQ(view.text(SearchControl::Status), "0 files found");
    EXPECT_THAT(view.messageTexts(), ElementsAre("Folder is Empty."));

    std::filesystem::create_directory(tmp / "sub");
    std::ofstream(tmp / "sub" / "Inbox.dbx") << "x";
    dlg.OnSearch();
    dlg.waitForSearchThread();
    EXPECT_EQ(view.text(SearchControl::Status), "1 files found");
    EXPECT_THAT(view.paths(), ElementsAre((tmp / "sub" / "Inbox.dbx").string()));
    EXPECT_EQ(view.row(0).size, "0 Kb");
    EXPECT_EQ(view.row(0).createdOn.size(), 24u);
    EXPECT_EQ(view.messages().size(), 1u);
}

TEST(FindDbxFiles, FollowsTheSameRulesWithoutADialog)
{
    FakeLister lister;
    lister.addFile("/r", "Folders.dbx");
    lister.addFile("/r", "Inbox.dbx");
    lister.addFile(lister.addDirectory("/r", "RECYCLER"), "x.dbx");
    lister.addFile(lister.addDirectory("/r", "sub"), "Sent.dbx");
    EXPECT_THAT(findDbxFiles("/r", lister),
                ElementsAre(std::filesystem::path("/r/Inbox.dbx"), std::filesystem::path("/r/sub/Sent.dbx")));

    platform::CancellationToken cancel;
    cancel.cancel();
    EXPECT_THAT(findDbxFiles("/r", lister, &cancel), IsEmpty());
}

// ---------------------------------------------------------------------------------------
// The dialog's controls.

TEST_F(SearchDialogTest, OpensIdleAndTakesAFolder)
{
    EXPECT_EQ(view.text(SearchControl::FolderEdit), "Pls. Select the folder");
    EXPECT_EQ(view.text(SearchControl::Status), "0 files found");
    EXPECT_FALSE(view.isEnabled(SearchControl::SearchStop));
    EXPECT_FALSE(view.isEnabled(SearchControl::SelectAll));

    chooseFolder("/r");
    EXPECT_EQ(view.pickerTitle, " Please select the Destination folder ");
    EXPECT_EQ(view.text(SearchControl::FolderEdit), "/r");
    EXPECT_EQ(dlg.folder(), "/r");
    EXPECT_TRUE(view.isEnabled(SearchControl::SearchStop));
    EXPECT_THAT(view.messages(), IsEmpty());

    // Cancelled, or a choice without a path: the message, Search disabled, the folder kept.
    for (const auto& refused : {std::optional<std::string>(), std::optional<std::string>("")}) {
        view.pick = refused;
        dlg.OnBrowseFolder();
        EXPECT_EQ(view.messages().back().text, "Please select proper path.");
        EXPECT_EQ(view.messages().back().caption, "Norvale Mailmend");
        EXPECT_FALSE(view.isEnabled(SearchControl::SearchStop));
        EXPECT_EQ(view.text(SearchControl::FolderEdit), "/r");
        EXPECT_EQ(dlg.folder(), "/r");
    }
}

TEST_F(SearchDialogTest, SelectAllTogglesAndSearchResetsIt)
{
    for (int i = 0; i < 3; ++i)
        view.addRow(strprintf("/r/%d.dbx", i), i == 1);

    dlg.OnSelectAll();
    EXPECT_TRUE(view.isTicked(0) && view.isTicked(1) && view.isTicked(2));
    EXPECT_EQ(view.text(SearchControl::SelectAll), "Unselect All");
    dlg.OnSelectAll();
    EXPECT_FALSE(view.isTicked(0) || view.isTicked(1) || view.isTicked(2));
    EXPECT_EQ(view.text(SearchControl::SelectAll), "Select All");

    dlg.OnSelectAll();
    chooseFolder("/r");
    search();
    EXPECT_EQ(view.text(SearchControl::SelectAll), "Select All");
}

TEST_F(SearchDialogTest, ItemChangingRuleAndHoverTip)
{
    for (int i = 0; i < 3; ++i)
        view.addRow(strprintf("/r/%d.dbx", i), false);
    view.setText(SearchControl::SelectAll, "Unselect All");

    dlg.OnItemChanging(0, TickState::Ticked); // being unticked
    EXPECT_EQ(view.text(SearchControl::SelectAll), "Select All");
    dlg.OnItemChanging(0, TickState::Unticked); // others still unticked: unchanged
    EXPECT_EQ(view.text(SearchControl::SelectAll), "Select All");
    view.setTicked(0, true);
    view.setTicked(1, true);
    dlg.OnItemChanging(2, TickState::Unticked); // the last unticked row
    EXPECT_EQ(view.text(SearchControl::SelectAll), "Unselect All");
    dlg.OnItemChanging(1, TickState::None);
    EXPECT_EQ(view.text(SearchControl::SelectAll), "Select All");

    EXPECT_EQ(dlg.OnGetInfoTip(2), "Check file to add to the list");
    EXPECT_EQ(dlg.OnGetInfoTip(1), "");
}

// ---------------------------------------------------------------------------------------
// Handing rows over to the main list.

TEST_F(SearchDialogTest, NothingTickedOrNothingListedChangesNothing)
{
    dlg.OnFinish(); // an empty result list: just closes
    EXPECT_EQ(view.ended, 1);
    EXPECT_THAT(view.messages(), IsEmpty());

    lister.addFile("/r", "a.dbx");
    chooseFolder("/r");
    search();
    dlg.OnAddToList();
    EXPECT_THAT(mainList.rows, IsEmpty());
    EXPECT_THAT(view.messages(), IsEmpty());
    EXPECT_EQ(view.text(SearchControl::Status), "1 files found");
}

TEST_F(SearchDialogTest, AddToListCopiesTickedRowsThenReportsThemAsPresent)
{
    for (const char* name : {"a.dbx", "b.dbx", "c.dbx"})
        lister.addFile("/r", name, 2048);
    mainList.rows = {pathRow("/m/1.dbx"), pathRow("/m/2.dbx"), pathRow("/m/3.dbx"), pathRow("/m/4.dbx")};
    chooseFolder("/r");
    search();
    view.setTicked(0, true);
    view.setTicked(2, true);

    dlg.OnAddToList();
    // Inserted at m_nFound + row: 3 goes in before the last main row, 5 appends.
    EXPECT_THAT(mainList.insertIndexes, ElementsAre(3, 5));
    EXPECT_THAT(mainList.paths(), ElementsAre("/m/1.dbx", "/m/2.dbx", "/m/3.dbx", "/r/a.dbx", "/m/4.dbx", "/r/c.dbx"));
    EXPECT_EQ(mainList.rows[3], view.row(0)); // all four texts unchanged
    EXPECT_EQ(view.text(SearchControl::Status), "Files Added successfully");
    EXPECT_THAT(view.messages(), IsEmpty());
    EXPECT_EQ(view.ended, 0);
    EXPECT_TRUE(view.isTicked(0));

    // Pressed again: all already there (compared with case), one box, nothing copied.
    mainList.rows.push_back(pathRow("/r/B.dbx"));
    view.setTicked(1, true);
    dlg.OnAddToList();
    EXPECT_THAT(view.messageTexts(), ElementsAre("These files already present\n/r/a.dbx\n/r/c.dbx\n"));
    EXPECT_EQ(view.messages()[0].caption, "Norvale Mailmend");
    EXPECT_EQ(mainList.rows.size(), 8u); // b.dbx was new after all
}

TEST_F(SearchDialogTest, DuplicatesOnlyBoxOnAddToListSilentOnFinish)
{
    lister.addFile("/r", "a.dbx");
    mainList.rows = {pathRow("/r/a.dbx")};
    chooseFolder("/r");
    search();
    view.setTicked(0, true);

    dlg.OnAddToList();
    EXPECT_THAT(view.messageTexts(), ElementsAre("These files already present\n/r/a.dbx\n"));
    dlg.OnFinish();
    EXPECT_EQ(view.messages().size(), 1u);
    EXPECT_EQ(view.ended, 1);
    EXPECT_EQ(mainList.rows.size(), 1u);
}

TEST_F(SearchDialogTest, FinishReportsSuccessOrDuplicatesAndCloses)
{
    lister.addFile("/r", "a.dbx");
    lister.addFile("/r", "b.dbx");
    chooseFolder("/r");
    search();
    view.setTicked(0, true);
    dlg.OnFinish();
    EXPECT_THAT(view.messageTexts(), ElementsAre("Files Added successfully"));
    EXPECT_EQ(view.ended, 1);

    // One copied and one present: the duplicates box instead.
    view.setTicked(1, true);
    dlg.OnFinish();
    EXPECT_EQ(view.messageTexts().back(), "These files already present\n/r/a.dbx\n");
    EXPECT_THAT(mainList.paths(), ElementsAre("/r/a.dbx", "/r/b.dbx"));
}

} // namespace
} // namespace mailmend::search
