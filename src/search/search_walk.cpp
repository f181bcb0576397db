// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/search_walk.h"

#include <deque>
#include <string>
#include <unordered_set>
#include <utility>

#include "app/row_texts.h"
#include "log/text.h"

namespace mailmend::search {

bool isSkippedDirectoryName(std::string_view name)
{
    return name == "RECYCLER";
}

bool isSkippedFileName(std::string_view name)
{
    return name == "Folders.dbx" || name == "Pop3uidl.dbx" || name == "Offline.dbx"
        || name == "Local Folders.dbx";
}

WalkOutcome walkDbxTree(const std::filesystem::path& folder, const platform::DirectoryLister& lister,
                        WalkObserver& observer)
{
    WalkOutcome outcome;
    const auto stop = [&outcome]() -> WalkOutcome& {
        outcome.stopped = true;
        return outcome;
    };

    std::deque<std::filesystem::path> queue {folder};
    if (!observer.keepGoing())
        return stop();

    const std::unique_ptr<platform::DirectoryLister> walker = lister.startWalk();
    platform::DirectoryEntry entry;
    while (!queue.empty()) {
        const std::filesystem::path directory = std::move(queue.front());
        queue.pop_front();

        // Subdirectory pass: queue what lies below before taking this directory's files.
        auto listing = walker->list(directory, "*.*");
        observer.directoryEntered(directory);
        bool told = false;
        auto tellUnlistable = [&] {
            if (!told)
                observer.directoryUnlistable(directory, walker->lastListError());
            told = true;
        };
        if (!listing)
            tellUnlistable();
        if (listing) {
            long long entries = 0;
            for (;;) {
                if (!observer.keepGoing())
                    return stop();
                if (!listing->next(entry))
                    break;
                ++entries;
                // A link to a directory is not followed: it may lead back up the tree.
                if (entry.isDots || !entry.isDirectory || entry.isSymlink
                    || isSkippedDirectoryName(entry.name))
                    continue;
                queue.push_back(std::move(entry.fullPath));
            }
            outcome.entryTally += entries - 1;
        }

        // File pass; the directory's first listing is closed before the second is opened.
        listing.reset();
        listing = walker->list(directory, "*.dbx");
        if (!listing)
            tellUnlistable();
        if (listing) {
            for (;;) {
                if (!observer.keepGoing())
                    return stop();
                if (!listing->next(entry))
                    break;
                observer.entrySeen(entry.fullPath);
                // A FIFO among them would hold the reader up for ever when it opened it.
                if (entry.isDots || entry.isDirectory || entry.isSpecial
                    || isSkippedFileName(entry.name) || observer.alreadyListed(entry.fullPath))
                    continue;
                observer.fileFound(entry);
            }
        }
        listing.reset();

        if (!observer.keepGoing())
            return stop();
    }
    return outcome;
}

namespace {

// Drives the dialog while the walk runs.
class ViewObserver final : public WalkObserver {
public:
    explicit ViewObserver(SearchJob& job)
        : m_job(job)
    {
        // The list was just emptied, so this normally finds nothing; after that every row
        // the list holds is one this walk inserted, so the paths are kept here instead of
        // being read back from the list for each file.
        const int rows = job.view.rowCount();
        for (int i = 0; i < rows; ++i)
            m_listed.insert(job.view.rowPath(i));
    }

    bool keepGoing() override { return m_job.searching.load(); }

    void directoryEntered(const std::filesystem::path& directory) override
    {
        m_job.view.setText(SearchControl::Status, directory.string());
    }

    void entrySeen(const std::filesystem::path& path) override
    {
        m_job.view.setText(SearchControl::Status, path.string());
    }

    bool alreadyListed(const std::filesystem::path& file) override
    {
        return m_listed.count(file.string()) != 0;
    }

    void fileFound(const platform::DirectoryEntry& entry) override
    {
        app::FileRowTexts row;
        row.path = entry.fullPath.string();
        row.name = entry.name;
        // The file was seen a moment ago; should its status be unreadable now (removed,
        // access taken away), its row still lists it, with empty Size and Created On.
        if (const auto status = m_job.lister.status(entry.fullPath)) {
            row.size = app::sizeText(status->size);
            row.createdOn = app::createdOnText(status->created);
        }
        m_job.view.insertRow(m_job.found, row);
        ++m_job.found;
        m_listed.insert(std::move(row.path));
    }

private:
    SearchJob& m_job;
    std::unordered_set<std::string> m_listed;
};

void enableResultControls(SearchView& view)
{
    view.enable(SearchControl::AddToList, true);
    view.enable(SearchControl::Finish, true);
    view.enable(SearchControl::ResultList, true);
    view.enable(SearchControl::SelectAll, true);
}

} // namespace

void ResetAfterStop(SearchView& view, std::atomic<bool>& searching)
{
    enableResultControls(view);
    searching.store(false);
    view.setText(SearchControl::Status, text::Stopped);
    view.setText(SearchControl::SearchStop, text::Search);
}

int DBX_Search_thread(SearchJob& job)
{
    SearchView& view = job.view;
    view.setText(SearchControl::SearchStop, text::Stop);
    view.enable(SearchControl::AddToList, false);
    view.enable(SearchControl::Finish, false);
    view.enable(SearchControl::ResultList, false);
    view.enable(SearchControl::SelectAll, false);
    const int startFound = job.found;
    view.deleteAllRows();

    ViewObserver observer(job);
    const WalkOutcome outcome = walkDbxTree(job.folder, job.lister, observer);
    if (outcome.stopped || !job.searching.load()) {
        ResetAfterStop(view, job.searching);
        return -1;
    }

    view.setText(SearchControl::Status, strprintf(text::FoundFormat, job.found - startFound));
    enableResultControls(view);
    view.setText(SearchControl::SearchStop, text::Search);
    job.searching.store(false);
    if (outcome.entryTally == 1)
        view.showMessage(text::FolderEmpty, text::MessageCaption, platform::MessageStyle::OkWarning);
    return 0;
}

namespace {

class CollectingObserver final : public WalkObserver {
public:
    CollectingObserver(const platform::CancellationToken* cancel, const UnlistableHandler& unlistable)
        : m_cancel(cancel), m_unlistable(unlistable)
    {
    }

    bool keepGoing() override { return !platform::cancelled(m_cancel); }
    void directoryEntered(const std::filesystem::path&) override {}
    void entrySeen(const std::filesystem::path&) override {}
    bool alreadyListed(const std::filesystem::path& file) override { return m_listed.count(file.string()) != 0; }

    void fileFound(const platform::DirectoryEntry& entry) override
    {
        m_listed.insert(entry.fullPath.string());
        files.push_back(entry.fullPath);
    }

    void directoryUnlistable(const std::filesystem::path& directory, const std::string& reason) override
    {
        if (m_unlistable)
            m_unlistable(directory, reason.empty() ? std::string("cannot be read") : reason);
    }

    std::vector<std::filesystem::path> files;

private:
    const platform::CancellationToken* m_cancel;
    const UnlistableHandler& m_unlistable;
    std::unordered_set<std::string> m_listed;
};

} // namespace

std::vector<std::filesystem::path> findDbxFiles(const std::filesystem::path& folder,
                                                const platform::DirectoryLister& lister,
                                                const platform::CancellationToken* cancel,
                                                const UnlistableHandler& unlistable)
{
    CollectingObserver observer(cancel, unlistable);
    walkDbxTree(folder, lister, observer);
    return std::move(observer.files);
}

} // namespace mailmend::search
