// SPDX-License-Identifier: GPL-3.0-or-later
// The search on real folders where a path-based walk fails: a mail folder file deeper
// than any path can name, special files named like mail folders, and a folder that
// cannot be listed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "search/search_walk.h"
#include "support/dbx_fixture.h"
#include "support/temp_dir.h"

namespace mailmend {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr int kDepth = 10000;

// `levels` folders named "d", one inside the other, below `top`, built a level at a time
// (no path names the deepest); `leaf` is written into the deepest. Returns the leaf's path.
fs::path buildDeepChain(const fs::path& top, int levels, const std::vector<unsigned char>& leaf)
{
    int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY);
    std::string path = top.string();
    for (int i = 0; i < levels && fd >= 0; ++i) {
        ::mkdirat(fd, "d", 0755);
        const int below = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = below;
        path += "/d";
    }
    const int out = ::openat(fd, "Deep.dbx", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    EXPECT_EQ(::write(out, leaf.data(), leaf.size()), static_cast<ssize_t>(leaf.size()));
    ::close(out);
    ::close(fd);
    return path + "/Deep.dbx";
}

std::string readAll(FILE* pipe)
{
    std::string text;
    char buffer[4096];
    for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        text.append(buffer, n);
    return text;
}

TEST(SearchOnRealFolders, ListsRegularFilesAndLinksToThemOnly)
{
    testing::TempDir tmp;
    testing::DbxFixture({testing::mailText(1, 100)}).writeTo(tmp / "Inbox.dbx");
    ASSERT_EQ(::mkfifo((tmp / "Pipe.dbx").c_str(), 0644), 0);
    fs::create_symlink(tmp / "Inbox.dbx", tmp / "Link.dbx");
    fs::create_symlink(tmp / "Pipe.dbx", tmp / "LinkToPipe.dbx");
    fs::create_symlink(tmp / "missing.dbx", tmp / "Dangling.dbx");
    EXPECT_THAT(search::findDbxFiles(tmp.path()), ElementsAre(tmp / "Inbox.dbx", tmp / "Link.dbx"));
}

// Run as root, the program gets no right to read what its mode forbids, so that the
// locked folder is locked for it too.
TEST(CliSearch, FindsAFolderFileTenThousandLevelsDownAndTellsOfAFolderItCannotList)
{
    const bool root = ::geteuid() == 0;
    if (root && ::access("/usr/bin/setpriv", X_OK) != 0)
        GTEST_SKIP() << "running as root without setpriv to drop the right to read any folder";
    testing::TempDir tmp;
    const fs::path top = tmp / "mail";
    fs::create_directories(top / "Locked");
    fs::create_directories(tmp / "tmp");
    const testing::DbxFixture fixture({testing::mailText(1, 300)});
    fixture.writeTo(top / "Inbox.dbx");
    const fs::path deep = buildDeepChain(top, kDepth, fixture.bytes());
    ASSERT_GT(deep.string().size(), 4 * std::size_t {PATH_MAX});
    ::chmod((top / "Locked").c_str(), 0);

    const std::string command = std::string(root ? "setpriv --bounding-set -dac_override,-dac_read_search " : "")
        + "env TMPDIR='" + (tmp / "tmp").string() + "' '" + MAILMEND_CLI_PATH + "' -q -s '" + top.string()
        + "' -o '" + (tmp / "out").string() + "' 2>'" + (tmp / "err.txt").string() + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    const std::string out = readAll(pipe);
    ::pclose(pipe);
    ::chmod((top / "Locked").c_str(), 0755);
    EXPECT_EQ(std::system(("rm -rf '" + top.string() + "'").c_str()), 0); // deeper than remove_all reaches

    // Found, and reported as an input the system will not open by its path.
    const std::string err = testing::readFile(tmp / "err.txt");
    EXPECT_TRUE(err.find("mailmend-cli: " + deep.string() + ": File name too long\n") != std::string::npos);
    EXPECT_THAT(out, HasSubstr((top / "Inbox.dbx").string() + ": 1 mail written, 0 failed"));
    EXPECT_THAT(err, HasSubstr("mailmend-cli: cannot list " + (top / "Locked").string() + ": Permission denied\n"));
}

} // namespace
} // namespace mailmend
