// SPDX-License-Identifier: GPL-3.0-or-later
// The search walk over a directory tree the input describes, against a plain walk: the
// same .dbx files in the same order (breadth first, a directory's subdirectories queued
// before its files are taken), no link or RECYCLER folder entered, no folder-list file
// taken, every unlistable folder told, and a walk stopped part-way giving a prefix.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "search/search_walk.h"
#include "support/fake_lister.h"

namespace mailmend::fuzz {
namespace {

namespace fs = std::filesystem;

struct Entry {
    std::string name;
    bool directory = false;
    bool symlink = false;
};

struct Tree {
    std::vector<std::string> directories {"/r"};
    std::map<std::string, std::vector<Entry>> entries;
    std::set<std::string> unlistable;
};

// A name as a file system could hold it: no separator, no zero byte, not . or ..
std::string entryName(InputFields& in)
{
    static const char* const kNames[]
        = {"RECYCLER",          "Folders.dbx", "Pop3uidl.dbx", "Offline.dbx",
           "Local Folders.dbx", "Inbox.dbx",   "x.DBX",        "a.dbx.bak"};
    std::string name = in.flag() ? kNames[in.byte() % std::size(kNames)] : in.text(12);
    for (char& c : name)
        if (c == '/' || c == '\0')
            c = '_';
    if (name.empty() || name == "." || name == "..")
        name += "n";
    if (in.flag())
        name += ".dbx";
    return name;
}

Tree buildTree(InputFields& in, testing::FakeLister& lister)
{
    Tree tree;
    std::set<std::string> taken; // full paths: a directory holds a name once
    while (!in.empty() && tree.directories.size() < 200) {
        const std::uint8_t op = in.byte() % 4;
        const std::string parent = tree.directories[in.below(tree.directories.size())];
        if (op == 3) {
            lister.makeUnlistable(parent);
            tree.unlistable.insert(parent);
            continue;
        }
        const std::string name = entryName(in);
        const std::string path = (fs::path(parent) / name).string();
        if (!taken.insert(path).second)
            continue;
        if (op == 0) {
            lister.addFile(parent, name);
            tree.entries[parent].push_back({name, false, false});
        } else {
            const bool symlink = op == 2;
            lister.addDirectory(parent, name, symlink);
            tree.entries[parent].push_back({name, true, symlink});
            if (!symlink)
                tree.directories.push_back(path);
        }
    }
    return tree;
}

bool endsWithDbx(const std::string& name)
{
    if (name.size() < 4)
        return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return tail == ".dbx";
}

// The walk written out plainly.
std::vector<fs::path> plainWalk(const Tree& tree, std::vector<fs::path>& unlistable)
{
    static const std::set<std::string> kSkipped {"Folders.dbx", "Pop3uidl.dbx", "Offline.dbx",
                                                 "Local Folders.dbx"};
    std::vector<fs::path> files;
    std::deque<std::string> queue {"/r"};
    while (!queue.empty()) {
        const std::string directory = queue.front();
        queue.pop_front();
        if (tree.unlistable.count(directory)) {
            unlistable.push_back(directory);
            continue;
        }
        const auto found = tree.entries.find(directory);
        if (found == tree.entries.end())
            continue;
        for (const Entry& e : found->second)
            if (e.directory && !e.symlink && e.name != "RECYCLER")
                queue.push_back((fs::path(directory) / e.name).string());
        for (const Entry& e : found->second)
            if (!e.directory && endsWithDbx(e.name) && !kSkipped.count(e.name))
                files.push_back(fs::path(directory) / e.name);
    }
    return files;
}

// Stops the walk after a number of polls.
class StoppingObserver final : public search::WalkObserver {
public:
    explicit StoppingObserver(std::size_t polls) : m_polls(polls) { }
    bool keepGoing() override { return m_polls-- > 0; }
    void directoryEntered(const fs::path&) override { }
    void entrySeen(const fs::path&) override { }
    bool alreadyListed(const fs::path& file) override { return m_seen.count(file.string()) != 0; }
    void fileFound(const platform::DirectoryEntry& entry) override
    {
        files.push_back(entry.fullPath);
        m_seen.insert(entry.fullPath.string());
    }
    std::vector<fs::path> files;

private:
    std::size_t m_polls;
    std::set<std::string> m_seen;
};

} // namespace
} // namespace mailmend::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace mailmend::fuzz;
    InputFields in(data, size);
    const std::size_t stopAfter = in.below(4096);
    mailmend::testing::FakeLister lister;
    const Tree tree = buildTree(in, lister);

    std::vector<std::filesystem::path> wantUnlistable;
    const std::vector<std::filesystem::path> want = plainWalk(tree, wantUnlistable);
    std::vector<std::filesystem::path> gotUnlistable;
    const auto got = mailmend::search::findDbxFiles(
        "/r", lister, nullptr, [&](const std::filesystem::path& directory, const std::string&) {
            gotUnlistable.push_back(directory);
        });
    check(got == want, "the walk found ", got.size(), " files, the plain walk ", want.size());
    check(gotUnlistable == wantUnlistable, "unlistable folders told wrongly");

    StoppingObserver stopping(stopAfter);
    const auto outcome = mailmend::search::walkDbxTree("/r", lister, stopping);
    check(stopping.files.size() <= want.size()
              && std::equal(stopping.files.begin(), stopping.files.end(), want.begin()),
          "a stopped walk is not a prefix of the whole");
    check(outcome.stopped || stopping.files == want, "a walk that was not stopped missed files");
    return 0;
}
