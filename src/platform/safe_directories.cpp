// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/safe_directories.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/system_calls.h"

namespace mailmend::platform {
namespace {

// Subfolders deeper than this are left in place rather than risk the stack.
constexpr int kDeepestTree = 256;

int openDirectoryNoFollow(int at, const char* name)
{
    return sys::openDirectory(at, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
}

// The names in an open directory, "." and ".." left out. Read whole before anything is
// removed, so that removing does not disturb the listing.
std::vector<std::string> entryNames(int fd)
{
    std::vector<std::string> names;
    const int listFd = ::dup(fd);
    if (listFd < 0)
        return names;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

bool isDirectoryEntry(int at, const std::string& name)
{
    struct stat status {};
    return ::fstatat(at, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0
        && S_ISDIR(status.st_mode);
}

// Empties the open directory `fd` of everything, depth first.
bool removeContents(int fd, int depth)
{
    bool ok = true;
    for (const std::string& name : entryNames(fd)) {
        if (isDirectoryEntry(fd, name)) {
            const int sub = depth < kDeepestTree ? openDirectoryNoFollow(fd, name.c_str()) : -1;
            if (sub < 0) {
                ok = false;
                continue;
            }
            ok = removeContents(sub, depth + 1) && ok;
            ::close(sub);
            ok = sys::removeEntry(fd, name.c_str(), AT_REMOVEDIR) == 0 && ok;
        } else {
            ok = sys::removeEntry(fd, name.c_str(), 0) == 0 && ok;
        }
    }
    return ok;
}

} // namespace

std::filesystem::path makePrivateDirectory(const std::filesystem::path& parent,
                                           const std::string& prefix, std::string& error)
{
    std::string pattern = (parent / (prefix + "XXXXXX")).string();
    // mkdtemp makes the directory with mode 0700 and never takes an existing name.
    if (sys::makeUniqueDirectory(pattern.data()) == nullptr) {
        error = std::strerror(errno);
        return {};
    }
    return pattern;
}

bool isRealDirectory(const std::filesystem::path& path)
{
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

EmptyResult emptyDirectoryFiles(const std::filesystem::path& folder,
                                const std::function<bool()>& stop)
{
    const int fd = openDirectoryNoFollow(AT_FDCWD, folder.c_str());
    if (fd < 0)
        return EmptyResult::NotADirectory;
    EmptyResult result = EmptyResult::Done;
    for (const std::string& name : entryNames(fd)) {
        if (stop && stop()) {
            result = EmptyResult::Stopped;
            break;
        }
        if (!isDirectoryEntry(fd, name))
            sys::removeEntry(fd, name.c_str(), 0);
    }
    ::close(fd);
    return result;
}

bool removeDirectoryTree(const std::filesystem::path& folder)
{
    const int fd = openDirectoryNoFollow(AT_FDCWD, folder.c_str());
    if (fd < 0)
        return errno == ENOENT;
    removeContents(fd, 0);
    ::close(fd);
    return sys::removeEntry(AT_FDCWD, folder.c_str(), AT_REMOVEDIR) == 0;
}

bool removeEmptyDirectory(const std::filesystem::path& folder)
{
    return sys::removeEntry(AT_FDCWD, folder.c_str(), AT_REMOVEDIR) == 0;
}

} // namespace mailmend::platform
