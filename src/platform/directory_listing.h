// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace mailmend::platform {

// One entry of a directory listing.
struct DirectoryEntry {
    std::string name;               // as the file system reports it
    std::filesystem::path fullPath; // the listed directory joined with the name
    bool isDirectory = false;       // a directory, or a symbolic link that leads to one
    bool isSymlink = false;         // the entry itself is a symbolic link
    bool isDots = false;            // the "." or ".." entry
    // Neither a directory nor a regular file (a FIFO, socket or device), or a symbolic
    // link to one or to nothing: nothing a search may offer as a mail folder file.
    bool isSpecial = false;
};

// Size and creation time of a file, as far as the file system tells them.
struct FileStatus {
    std::uint64_t size = 0;
    std::time_t created = 0;
};

// An open listing; entries are fetched one at a time so that a caller can stop between
// any two of them.
class DirectoryListing {
public:
    virtual ~DirectoryListing() = default;
    // Fills `entry` with the next entry; false at the end of the listing.
    virtual bool next(DirectoryEntry& entry) = 0;
};

// Lists directories with a wildcard pattern ("*.*" for everything, "*.dbx" for mail
// folder files) and reads the status of the files found.
//
// A listing starts with the "." and ".." entries whenever the pattern matches them
// ("*.*" does), so a directory with nothing in it lists exactly two entries; the other
// entries follow in name order.
class DirectoryLister {
public:
    virtual ~DirectoryLister() = default;
    // Null when the directory cannot be listed (missing, not a directory, no access).
    virtual std::unique_ptr<DirectoryListing> list(const std::filesystem::path& directory,
                                                   std::string_view pattern) const = 0;
    // Nothing when the file's status cannot be read.
    virtual std::optional<FileStatus> status(const std::filesystem::path& file) const = 0;

    // Why the last list() of this lister gave no listing, in words; empty when unknown.
    virtual std::string lastListError() const { return {}; }

    // A lister for one walk by one thread. The system's keeps the folders it listed last
    // open and opens every other folder relative to one of them, a name at a time and
    // never through a symbolic link, so that a folder nested deeper than a path can name
    // is listed all the same; the folder a walk starts from is opened by its path. Other
    // listers walk as themselves.
    virtual std::unique_ptr<DirectoryLister> startWalk() const;
};

// The lister of the running system.
const DirectoryLister& systemDirectoryLister();

// True when `name` matches the wildcard `pattern`: '*' stands for any run of characters,
// '?' for exactly one, letters match without regard to ASCII case, and "*.*" matches
// every name, also one without a dot.
bool matchesWildcard(std::string_view name, std::string_view pattern);

} // namespace mailmend::platform
