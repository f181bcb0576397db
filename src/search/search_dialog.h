// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "platform/directory_listing.h"
#include "search/search_view.h"

namespace mailmend::search {

// The Search Files dialog without its window: the user picks a folder, a worker thread
// walks the tree below it and lists the .dbx files found, and the ticked ones go into
// the main window's file list.
//
// The handlers run on the window's thread. The view and the main list must outlive the
// dialog; destroying it stops a running search and waits for its worker.
class CSearchDlg {
public:
    CSearchDlg(SearchView& view, MainFileList& mainList,
               const platform::DirectoryLister& lister = platform::systemDirectoryLister());
    ~CSearchDlg();
    CSearchDlg(const CSearchDlg&) = delete;
    CSearchDlg& operator=(const CSearchDlg&) = delete;

    void OnInitDialog();
    void OnBrowseFolder(); // "..."
    void OnSearch();       // the Search/Stop toggle
    void OnSelectAll();    // the Select All/Unselect All toggle
    // The result list is about to change row `row`, whose tick is `current`.
    void OnItemChanging(int row, TickState current);
    // Hover tip of a result row; empty for none.
    std::string OnGetInfoTip(int row) const;
    void OnAddToList();
    void OnFinish();
    // The close box: true when the dialog ended, false when it was ignored.
    bool OnClose();

    bool isSearching() const { return m_bSearching.load(); }
    // Files listed by all searches of this dialog, read when no search runs.
    int foundCount() const { return m_nFound; }
    const std::optional<std::string>& folder() const { return m_strFolder; }
    // Exit code of the last worker that ended: 0 after a full walk, -1 after a stop.
    int lastExitCode() const { return m_nExitCode.load(); }
    // Waits (through the view) until the last worker has ended and releases it.
    void waitForSearchThread();

private:
    void runWorker(std::string folder);
    void copyTicked(bool finishing);

    SearchView& m_view;
    MainFileList& m_mainList;
    const platform::DirectoryLister& m_lister;

    std::optional<std::string> m_strFolder;
    int m_nFound = 0;
    std::atomic<bool> m_bSearching {false};
    std::atomic<bool> m_bWorkerEnded {true};
    std::atomic<int> m_nExitCode {0};
    std::thread m_hSearchThread;
};

} // namespace mailmend::search
