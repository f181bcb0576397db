// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/directory_listing.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "platform/system_calls.h"

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

// What an entry is, from its directory-entry type or, where the file system does not
// tell, from its status; a link is judged by what it leads to.
void classify(int dirFd, const RawEntry& raw, DirectoryEntry& entry)
{
    unsigned char type = raw.type;
    struct stat info {};
    if (type == DT_UNKNOWN && ::fstatat(dirFd, raw.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0)
        type = S_ISLNK(info.st_mode) ? DT_LNK
            : S_ISDIR(info.st_mode)  ? DT_DIR
            : S_ISREG(info.st_mode)  ? DT_REG
                                     : DT_FIFO; // any other special file
    entry.isSymlink = type == DT_LNK;
    if (type == DT_LNK) {
        // A link that leads nowhere is reported as a plain entry.
        const bool leads = ::fstatat(dirFd, raw.name.c_str(), &info, 0) == 0;
        entry.isDirectory = leads && S_ISDIR(info.st_mode);
        entry.isSpecial = !leads || !(S_ISDIR(info.st_mode) || S_ISREG(info.st_mode));
    } else {
        entry.isDirectory = type == DT_DIR;
        entry.isSpecial = type != DT_DIR && type != DT_REG && type != DT_UNKNOWN;
    }
}

// Whole paths are built from the directory's string: a path object splits itself into
// its names, which for a folder thousands of levels deep costs more than the listing.
class PosixListing final : public DirectoryListing {
public:
    PosixListing(std::unique_ptr<DIR, DirCloser> dir, const std::filesystem::path& directory,
                 std::vector<RawEntry> entries, bool dotsWithPaths)
        : m_dir(std::move(dir))
        , m_prefix(directory.native())
        , m_entries(std::move(entries))
        , m_dotsWithPaths(dotsWithPaths)
    {
        if (!m_prefix.empty() && m_prefix.back() != '/')
            m_prefix += '/';
    }

    bool next(DirectoryEntry& entry) override
    {
        if (m_next >= m_entries.size())
            return false;
        const RawEntry& raw = m_entries[m_next++];
        entry.name = raw.name;
        entry.isDots = raw.name == "." || raw.name == "..";
        if (entry.isDots && !m_dotsWithPaths)
            entry.fullPath.clear();
        else
            entry.fullPath = m_prefix + raw.name;
        entry.isSymlink = false;
        entry.isSpecial = false;
        entry.isDirectory = entry.isDots;
        if (!entry.isDots)
            classify(::dirfd(m_dir.get()), raw, entry);
        return true;
    }

private:
    std::unique_ptr<DIR, DirCloser> m_dir;
    std::string m_prefix; // the directory and a slash
    std::vector<RawEntry> m_entries;
    bool m_dotsWithPaths;
    std::size_t m_next = 0;
};

// Reads an open directory whole, in name order after "." and "..".
std::unique_ptr<DirectoryListing> listOpen(std::unique_ptr<DIR, DirCloser> dir,
                                           const std::filesystem::path& directory,
                                           std::string_view pattern, bool dotsWithPaths = true)
{
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
    return std::make_unique<PosixListing>(std::move(dir), directory, std::move(entries), dotsWithPaths);
}

// The creation time is the file's birth time where the file system records it and the
// kernel hands it out (statx). Elsewhere it is the older of the last status change and
// the last modification: the earliest moment the system still knows the file by.
std::optional<FileStatus> statusAt(int dirFd, const char* name)
{
#ifdef STATX_BTIME
    struct statx extended {};
    const unsigned wanted = STATX_SIZE | STATX_BTIME | STATX_CTIME | STATX_MTIME;
    if (::statx(dirFd, name, 0, wanted, &extended) == 0) {
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
    if (::fstatat(dirFd, name, &info, 0) != 0)
        return std::nullopt;
    FileStatus status;
    status.size = static_cast<std::uint64_t>(info.st_size);
    status.created = std::min(info.st_ctime, info.st_mtime);
    return status;
}

class PosixDirectoryLister final : public DirectoryLister {
public:
    std::unique_ptr<DirectoryListing> list(const std::filesystem::path& directory,
                                           std::string_view pattern) const override
    {
        std::unique_ptr<DIR, DirCloser> dir(sys::listDirectory(directory.c_str()));
        if (!dir)
            return nullptr;
        return listOpen(std::move(dir), directory, pattern);
    }

    std::optional<FileStatus> status(const std::filesystem::path& file) const override
    {
        return statusAt(AT_FDCWD, file.c_str());
    }

    std::unique_ptr<DirectoryLister> startWalk() const override;
};

// `inner` is the string of a path below `outer`: the names that lead from one to the
// other, else nothing.
std::optional<std::string_view> namesBelow(const std::string& outer, const std::string& inner)
{
    if (inner.size() <= outer.size() || inner.compare(0, outer.size(), outer) != 0)
        return std::nullopt;
    std::string_view rest(inner);
    rest.remove_prefix(outer.size());
    if (outer.empty() || outer.back() != '/') {
        if (rest.front() != '/')
            return std::nullopt;
        rest.remove_prefix(1);
    }
    return rest;
}

// The folders a walk opened last, by path. A folder is opened relative to the nearest of
// them that holds it, one name at a time, never through a symbolic link; the first one
// opened (where the walk starts) stays open for the whole walk.
class OpenFolders {
public:
    ~OpenFolders()
    {
        for (const Folder& f : m_folders)
            ::close(f.fd);
    }

    // A descriptor of `directory`, owned here; -1 with errno set when it cannot be opened.
    int open(const std::filesystem::path& directory)
    {
        const std::string& path = directory.native();
        Folder* base = nullptr;
        std::string_view names;
        for (Folder& f : m_folders) {
            if (f.path == path) {
                f.used = ++m_clock;
                return f.fd;
            }
            const auto below = namesBelow(f.path, path);
            if (below && (!base || f.path.size() > base->path.size())) {
                base = &f;
                names = *below;
            }
        }
        int fd = -1;
        if (!base) {
            fd = sys::openDirectory(AT_FDCWD, path.c_str(), O_RDONLY | O_CLOEXEC);
        } else {
            base->used = ++m_clock;
            fd = base->fd;
            while (!names.empty()) {
                const std::size_t slash = names.find('/');
                const std::string name(names.substr(0, slash));
                names.remove_prefix(slash == std::string_view::npos ? names.size() : slash + 1);
                if (name.empty())
                    continue;
                const int next = sys::openDirectory(fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
                const int saved = errno;
                if (fd != base->fd)
                    ::close(fd);
                errno = saved;
                fd = next;
                if (fd < 0)
                    break;
            }
        }
        if (fd < 0)
            return -1;
        if (base && fd == base->fd) // no name below it after all ("a//")
            return fd;
        if (m_folders.size() >= kKept) { // let go of the least recently used, never the first
            auto oldest = std::min_element(m_folders.begin() + 1, m_folders.end(),
                                           [](const Folder& a, const Folder& b) { return a.used < b.used; });
            ::close(oldest->fd);
            m_folders.erase(oldest);
        }
        m_folders.push_back({path, fd, ++m_clock});
        return fd;
    }

private:
    static constexpr std::size_t kKept = 16;
    struct Folder {
        std::string path;
        int fd;
        std::uint64_t used;
    };
    std::vector<Folder> m_folders;
    std::uint64_t m_clock = 0;
};

class WalkLister final : public DirectoryLister {
public:
    std::unique_ptr<DirectoryListing> list(const std::filesystem::path& directory,
                                           std::string_view pattern) const override
    {
        m_error.clear();
        const int fd = m_folders.open(directory);
        // A listing of its own, with its own position in the directory.
        const int own = fd < 0 ? -1 : sys::openDirectory(fd, ".", O_RDONLY | O_CLOEXEC);
        std::unique_ptr<DIR, DirCloser> dir(own < 0 ? nullptr : ::fdopendir(own));
        if (!dir) {
            m_error = std::strerror(errno);
            if (own >= 0)
                ::close(own);
            return nullptr;
        }
        return listOpen(std::move(dir), directory, pattern, false); // walks pass over "." and ".."
    }

    std::optional<FileStatus> status(const std::filesystem::path& file) const override
    {
        const int fd = m_folders.open(file.parent_path());
        return fd < 0 ? std::nullopt : statusAt(fd, file.filename().c_str());
    }

    std::string lastListError() const override { return m_error; }

private:
    mutable OpenFolders m_folders;
    mutable std::string m_error;
};

std::unique_ptr<DirectoryLister> PosixDirectoryLister::startWalk() const
{
    return std::make_unique<WalkLister>();
}

// A walk over a lister that keeps nothing open: the lister itself.
class SameLister final : public DirectoryLister {
public:
    explicit SameLister(const DirectoryLister& lister) : m_lister(lister) {}
    std::unique_ptr<DirectoryListing> list(const std::filesystem::path& directory,
                                           std::string_view pattern) const override
    {
        return m_lister.list(directory, pattern);
    }
    std::optional<FileStatus> status(const std::filesystem::path& file) const override
    {
        return m_lister.status(file);
    }
    std::string lastListError() const override { return m_lister.lastListError(); }

private:
    const DirectoryLister& m_lister;
};

} // namespace

std::unique_ptr<DirectoryLister> DirectoryLister::startWalk() const
{
    return std::make_unique<SameLister>(*this);
}

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
