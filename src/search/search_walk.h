// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cancellation.h"
#include "platform/directory_listing.h"
#include "search/search_view.h"

namespace mailmend::search {

// What the walk tells its caller as it goes.
class WalkObserver {
public:
    virtual ~WalkObserver() = default;
    // Polled before each directory entry is fetched and between directories.
    virtual bool keepGoing() = 0;
    // A directory is about to be searched.
    virtual void directoryEntered(const std::filesystem::path& directory) = 0;
    // Every entry of a directory's .dbx listing, whether it is taken or not.
    virtual void entrySeen(const std::filesystem::path& path) = 0;
    // True for a file that is already among the results; it is passed over.
    virtual bool alreadyListed(const std::filesystem::path& file) = 0;
    virtual void fileFound(const platform::DirectoryEntry& entry) = 0;
    // A directory that could not be listed, and why in words (empty when unknown).
    virtual void directoryUnlistable(const std::filesystem::path& directory, const std::string& reason)
    {
        (void)directory;
        (void)reason;
    }
};

struct WalkOutcome {
    bool stopped = false;
    // Sum over the directories listed of their entry count ("." and ".." included) minus
    // one: exactly 1 when the chosen folder holds nothing at all.
    long long entryTally = 0;
};

// Walks the tree below `folder` breadth first: every directory's subdirectories are
// queued before its own .dbx files are listed. Directories named "RECYCLER" and symbolic
// links to directories are not entered; only regular files (or links to them) are taken,
// not the folder-list and bookkeeping files (isSkippedFileName). A directory that cannot
// be listed is passed over and told to the observer. Each directory is reached from one
// listed before it (DirectoryLister::startWalk), so no depth is too deep to list; the
// paths handed out are whole paths all the same, however long.
WalkOutcome walkDbxTree(const std::filesystem::path& folder, const platform::DirectoryLister& lister,
                        WalkObserver& observer);

// Names compared exactly, letter case included.
bool isSkippedDirectoryName(std::string_view name);
bool isSkippedFileName(std::string_view name);

// What one search worker works on; the two counters belong to the dialog.
struct SearchJob {
    SearchView& view;
    const platform::DirectoryLister& lister;
    std::filesystem::path folder;
    std::atomic<bool>& searching; // cleared by Stop; cleared by the worker when it ends
    int& found;                   // files listed by all searches of the dialog; next row index
};

// The search worker: empties the result list, walks `job.folder` and lists every .dbx
// file found, driving the dialog's controls through the view. Returns 0 when the walk
// ran to its end and -1 when it was stopped.
int DBX_Search_thread(SearchJob& job);

// The controls after a stopped search: rows found so far stay listed.
void ResetAfterStop(SearchView& view, std::atomic<bool>& searching);

// The same walk without a dialog, for the command line: the .dbx files below `folder`
// in the order the search dialog would list them. When `cancel` is set part-way, the
// files found until then. `unlistable` hears of each directory that could not be listed,
// with the reason.
using UnlistableHandler = std::function<void(const std::filesystem::path&, const std::string&)>;
std::vector<std::filesystem::path> findDbxFiles(
    const std::filesystem::path& folder,
    const platform::DirectoryLister& lister = platform::systemDirectoryLister(),
    const platform::CancellationToken* cancel = nullptr,
    const UnlistableHandler& unlistable = {});

} // namespace mailmend::search
