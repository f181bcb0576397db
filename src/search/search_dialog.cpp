// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/search_dialog.h"

#include <algorithm>
#include <climits>
#include <system_error>
#include <utility>

#include "search/search_walk.h"

namespace mailmend::search {

CSearchDlg::CSearchDlg(SearchView& view, MainFileList& mainList, const platform::DirectoryLister& lister)
    : m_view(view)
    , m_mainList(mainList)
    , m_lister(lister)
{
}

CSearchDlg::~CSearchDlg()
{
    m_bSearching.store(false);
    try {
        waitForSearchThread();
    } catch (...) {
        // A view that fails while the dialog goes away: still release the worker.
        if (m_hSearchThread.joinable())
            m_hSearchThread.join();
    }
}

void CSearchDlg::OnInitDialog()
{
    m_view.setText(SearchControl::FolderEdit, text::NoFolder);
    m_view.setText(SearchControl::Status, text::NoneFound);
    m_view.setText(SearchControl::SearchStop, text::Search);
    m_view.enable(SearchControl::SearchStop, false);
    m_view.setText(SearchControl::SelectAll, text::SelectAll);
    m_view.enable(SearchControl::SelectAll, false);
    m_strFolder.reset();
    m_nFound = 0;
    m_bSearching.store(false);
}

void CSearchDlg::OnBrowseFolder()
{
    const auto chosen = m_view.pickFolder(text::PickerTitle);
    if (chosen && !chosen->empty()) {
        m_view.setText(SearchControl::FolderEdit, *chosen);
        m_strFolder = *chosen;
        m_view.enable(SearchControl::SearchStop, true);
        return;
    }
    m_view.showMessage(text::BadFolder, text::MessageCaption, platform::MessageStyle::Ok);
    // While a search runs the same button is Stop, and it must stay usable.
    if (!m_bSearching.load())
        m_view.enable(SearchControl::SearchStop, false);
}

void CSearchDlg::OnSearch()
{
    m_view.setText(SearchControl::SelectAll, text::SelectAll);
    const std::string caption = m_view.text(SearchControl::SearchStop);
    if (caption == text::Search) {
        if (!m_strFolder)
            return;
        // Only one worker at a time: one that was stopped may still be on its way out.
        waitForSearchThread();
        if (m_hSearchThread.joinable())
            return;
        m_bSearching.store(true);
        m_bWorkerEnded.store(false);
        // The caption changes before the worker starts, so that a worker quick enough to
        // end at once still has the last word on it.
        m_view.setText(SearchControl::SearchStop, text::Stop);
        try {
            m_hSearchThread = std::thread(&CSearchDlg::runWorker, this, *m_strFolder);
        } catch (const std::system_error&) {
            m_bSearching.store(false);
            m_bWorkerEnded.store(true);
            m_view.setText(SearchControl::SearchStop, text::Search);
        }
    } else if (caption == text::Stop) {
        m_bSearching.store(false);
        m_view.setText(SearchControl::Status, text::Stopped);
        m_view.setText(SearchControl::SearchStop, text::Search);
    }
}

void CSearchDlg::runWorker(std::string folder)
{
    int exitCode = -1;
    try {
        SearchJob job {m_view, m_lister, std::move(folder), m_bSearching, m_nFound};
        exitCode = DBX_Search_thread(job);
    } catch (...) {
        // Nothing may leave the thread; end as a stopped search would.
        try {
            ResetAfterStop(m_view, m_bSearching);
        } catch (...) {
            m_bSearching.store(false);
        }
    }
    m_nExitCode.store(exitCode);
    m_bWorkerEnded.store(true);
}

void CSearchDlg::waitForSearchThread()
{
    if (!m_hSearchThread.joinable())
        return;
    m_view.waitUntil([this] { return m_bWorkerEnded.load(); });
    m_hSearchThread.join();
}

void CSearchDlg::OnSelectAll()
{
    const int rows = m_view.rowCount();
    const std::string caption = m_view.text(SearchControl::SelectAll);
    if (caption == text::SelectAll) {
        for (int i = 0; i < rows; ++i)
            m_view.setTicked(i, true);
        m_view.setText(SearchControl::SelectAll, text::UnselectAll);
    } else if (caption == text::UnselectAll) {
        for (int i = 0; i < rows; ++i)
            m_view.setTicked(i, false);
        m_view.setText(SearchControl::SelectAll, text::SelectAll);
    }
}

void CSearchDlg::OnItemChanging(int row, TickState current)
{
    (void)row;
    if (m_bSearching.load())
        return;
    if (current != TickState::Unticked) {
        m_view.setText(SearchControl::SelectAll, text::SelectAll);
        return;
    }
    // This row is being ticked; when it was the last unticked one, all will be ticked.
    int unticked = 0;
    const int rows = m_view.rowCount();
    for (int i = 0; i < rows && unticked <= 1; ++i) {
        if (!m_view.isTicked(i))
            ++unticked;
    }
    if (unticked <= 1)
        m_view.setText(SearchControl::SelectAll, text::UnselectAll);
}

std::string CSearchDlg::OnGetInfoTip(int row) const
{
    return m_view.isTicked(row) ? std::string() : std::string(text::TickTip);
}

void CSearchDlg::copyTicked(bool finishing)
{
    const std::string start = text::AlreadyPresent;
    std::string message = start;
    bool somethingHappened = false;

    const int rows = m_view.rowCount();
    for (int i = 0; i < rows; ++i) {
        if (!m_view.isTicked(i))
            continue;
        const app::FileRowTexts row = m_view.row(i);
        bool present = false;
        const int mainRows = m_mainList.rowCount();
        for (int j = 0; j < mainRows && !present; ++j)
            present = m_mainList.rowPath(j) == row.path;
        if (present) {
            message += row.path;
            message += '\n';
            // Finish closes the dialog anyway; it does not stop to report duplicates only.
            if (!finishing)
                somethingHappened = true;
            continue;
        }
        const long long index = static_cast<long long>(m_nFound) + i;
        m_mainList.insertRow(static_cast<int>(std::min<long long>(index, INT_MAX)), row);
        somethingHappened = true;
    }

    if (rows == 0 || !somethingHappened)
        return;
    if (message.size() > start.size())
        m_view.showMessage(message, text::MessageCaption, platform::MessageStyle::Ok);
    else if (finishing)
        m_view.showMessage(text::Added, text::MessageCaption, platform::MessageStyle::Ok);
    else
        m_view.setText(SearchControl::Status, text::Added);
}

void CSearchDlg::OnAddToList()
{
    // The button is disabled while a search runs.
    if (m_bSearching.load())
        return;
    waitForSearchThread();
    copyTicked(false);
}

void CSearchDlg::OnFinish()
{
    if (m_bSearching.load())
        return;
    waitForSearchThread();
    copyTicked(true);
    m_view.endDialog();
}

bool CSearchDlg::OnClose()
{
    if (m_bSearching.load())
        return false;
    m_bSearching.store(false);
    // A stopped worker may still be finishing; it must not outlive the dialog.
    waitForSearchThread();
    m_view.endDialog();
    return true;
}

} // namespace mailmend::search
