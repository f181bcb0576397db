// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/directory_listing.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace mailmend::platform {
namespace {

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool foldedLess(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(lowerAscii(x)) < static_cast<unsigned char>(lowerAscii(y));
    });
}

// Case-insensitive name order, with the bytes deciding between names that differ only in
// case, so that the order never depends on how the directory happens to store them.
bool nameBefore(const std::string& a, const std::string& b)
{
    if (foldedLess(a, b))
        return true;
    if (foldedLess(b, a))
        return false;
    return a < b;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

struct RawEntry {
    std::string name;
    unsigned char type = DT_UNKNOWN;
};

class PosixListing final : public DirectoryListing {
public:
    PosixListing(std::unique_ptr<DIR, DirCloser> dir, std::filesystem::path directory,
                 std::vector<RawEntry> entries)
        : m_dir(std::move(dir))
        , m_directory(std::move(directory))
        , m_entries(std::move(entries))
    {
    }

    bool next(DirectoryEntry& entry) override
    {
        if (m_next >= m_entries.size())
            return false;
        const RawEntry& raw = m_entries[m_next++];
        entry.name = raw.name;
        entry.fullPath = m_directory / raw.name;
        entry.isDots = raw.name == "." || raw.name == "..";
        entry.isSymlink = false;
        entry.isDirectory = false;
        if (entry.isDots) {
            entry.isDirectory = true;
            return true;
        }

        unsigned char type = raw.type;
        const int fd = ::dirfd(m_dir.get());
        struct stat info {};
        if (type == DT_UNKNOWN && ::fstatat(fd, raw.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISLNK(info.st_mode))
                type = DT_LNK;
            else if (S_ISDIR(info.st_mode))
                type = DT_DIR;
        }
        if (type == DT_LNK) {
            entry.isSymlink = true;
            // A link that leads nowhere is reported as a plain entry.
            entry.isDirectory = ::fstatat(fd, raw.name.c_str(), &info, 0) == 0 && S_ISDIR(info.st_mode);
        } else {
            entry.isDirectory = type == DT_DIR;
        }
        return true;
    }

private:
    std::unique_ptr<DIR, DirCloser> m_dir;
    std::filesystem::path m_directory;
    std::vector<RawEntry> m_entries;
    std::size_t m_next = 0;
};

class PosixDirectoryLister final : public DirectoryLister {
public:
    std::unique_ptr<DirectoryListing> list(const std::filesystem::path& directory,
                                           std::string_view pattern) const override
    {
        std::unique_ptr<DIR, DirCloser> dir(::opendir(directory.c_str()));
        if (!dir)
            return nullptr;

        // Some file systems leave "." and ".." out of their listings; they are added here
        // in front of everything, so every listable directory lists them once, first.
        std::vector<RawEntry> entries;
        for (const char* dots : {".", ".."}) {
            if (matchesWildcard(dots, pattern))
                entries.push_back({dots, DT_DIR});
        }
        const std::size_t firstNamed = entries.size();

        errno = 0;
        while (const dirent* raw = ::readdir(dir.get())) {
            const std::string_view name(raw->d_name);
            if (name == "." || name == "..")
                continue;
            if (matchesWildcard(name, pattern))
                entries.push_back({std::string(name), raw->d_type});
        }
        // A read error part-way through ends the listing with what was read so far.

        std::sort(entries.begin() + static_cast<std::ptrdiff_t>(firstNamed), entries.end(),
                  [](const RawEntry& a, const RawEntry& b) { return nameBefore(a.name, b.name); });
        return std::make_unique<PosixListing>(std::move(dir), directory, std::move(entries));
    }

    std::optional<FileStatus> status(const std::filesystem::path& file) const override
    {
        // The creation time is the file's birth time where the file system records it and
        // the kernel hands it out (statx). Elsewhere it is the older of the last status
        // change and the last modification: the earliest moment the system still knows
        // the file by.
#ifdef STATX_BTIME
        struct statx extended {};
        const unsigned wanted = STATX_SIZE | STATX_BTIME | STATX_CTIME | STATX_MTIME;
        if (::statx(AT_FDCWD, file.c_str(), 0, wanted, &extended) == 0) {
            FileStatus status;
            status.size = extended.stx_size;
            if (extended.stx_mask & STATX_BTIME)
                status.created = static_cast<std::time_t>(extended.stx_btime.tv_sec);
            else
                status.created = static_cast<std::time_t>(
                    std::min(extended.stx_ctime.tv_sec, extended.stx_mtime.tv_sec));
            return status;
        }
        if (errno != ENOSYS && errno != EPERM)
            return std::nullopt;
#endif
        struct stat info {};
        if (::stat(file.c_str(), &info) != 0)
            return std::nullopt;
        FileStatus status;
        status.size = static_cast<std::uint64_t>(info.st_size);
        status.created = std::min(info.st_ctime, info.st_mtime);
        return status;
    }
};

} // namespace

const DirectoryLister& systemDirectoryLister()
{
    static const PosixDirectoryLister lister;
    return lister;
}

bool matchesWildcard(std::string_view name, std::string_view pattern)
{
    if (pattern == "*.*" || pattern == "*")
        return true;

    // Greedy match with one remembered star: on a mismatch, let the last star swallow one
    // more character and try again from there.
    std::size_t n = 0;
    std::size_t p = 0;
    std::size_t starPattern = std::string_view::npos;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starPattern = p++;
            starName = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || lowerAscii(pattern[p]) == lowerAscii(name[n]))) {
            ++p;
            ++n;
        } else if (starPattern != std::string_view::npos) {
            p = starPattern + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

} // namespace mailmend::platform
