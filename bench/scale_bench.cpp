// SPDX-License-Identifier: GPL-3.0-or-later
// Every output form at scale: a 4 GiB sparse folder with mails at both ends, a folder of
// a million small mails, one 100 MB mail, one mail with 10 000 attachments. Each case is
// a whole run of mailmend-cli per form; the figures are its time, its peak memory
// against a fixed limit, and whether what it wrote holds every mail, counted by the
// installed peer readers where one exists (undbx, readpst, Python's mailbox, olefile,
// unrtf) and by the files written otherwise.
//
// Usage: mailmend-bench-scale --work DIR --cli PATH [--mails N] [--only CASE,...] [--keep 1]
//        CASE: sparse, many, large, attachments
// Each case's folder and outputs are removed before the next case (--keep 1 keeps them).

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "bench_common.h"
#include "log/text.h"
#include "mail_folders.h"

namespace mailmend::bench {
namespace {

constexpr std::uint64_t kMemoryLimit = 256ull << 20;
constexpr const char* kForms[] {"eml", "advanced", "mbox", "dbx", "pst", "msg", "rtf"};

struct Case {
    std::string name;
    std::string title;
    std::uint64_t mails = 0;       // every form must give this many
    std::uint64_t attachments = 0; // files beside the .msg / .rtf outputs
    std::function<bool(const fs::path&)> make;
};

struct Found {
    std::uint64_t count = 0;
    std::vector<fs::path> firstFew; // at most a few: a million paths would swell this
                                    // process, and every child's peak starts from it
};

Found filesEndingIn(const fs::path& root, const std::string& ending)
{
    Found found;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (it->is_regular_file(ec) && name.size() >= ending.size()
            && name.compare(name.size() - ending.size(), ending.size(), ending) == 0) {
            if (++found.count <= 4)
                found.firstFew.push_back(it->path());
        }
    }
    return found;
}

// Runs a peer and reads the number it prints; -1 when it cannot run or says nothing.
long long peerCount(const std::vector<std::string>& args, const fs::path& work)
{
    const fs::path answer = work / "bench-out-scale-peer.txt";
    const ChildRun run = runChild(args, answer.string());
    std::ifstream in(answer);
    long long count = -1;
    if (!(run.status == 0 && in >> count))
        count = -1;
    fs::remove(answer);
    return count;
}

const std::string kPython = "/usr/bin/python3";

const char* kMboxCount = "import mailbox,sys\nprint(sum(1 for _ in mailbox.mbox(sys.argv[1])))\n";
// Attachments at any depth, less the embedded messages that only carry more of them.
const char* kMsgAttachments =
    "import olefile,sys\no=olefile.OleFileIO(sys.argv[1])\n"
    "a=set()\nc=set()\n"
    "for e in o.listdir():\n"
    "  for i,p in enumerate(e[:-1]):\n"
    "    if p.startswith('__attach'):\n"
    "      a.add(tuple(e[:i+1]))\n"
    "      if e[i+1]=='__substg1.0_3701000D' and len(e)>i+2: c.add(tuple(e[:i+1]))\n"
    "print(len(a)-len(c))\n";

struct Check {
    long long mails = -1;
    long long attachments = -1;
    std::string by;
};

// Counts what a form wrote, through a peer where one reads that form.
Check checkOutput(const std::string& form, const fs::path& out, const fs::path& work)
{
    Check check;
    if (form == "eml" || form == "advanced") {
        check.mails = static_cast<long long>(filesEndingIn(out, ".eml").count);
        check.by = "files";
    } else if (form == "mbox") {
        const auto boxes = filesEndingIn(out, ".mbox");
        check.by = "python mailbox";
        if (boxes.count == 1)
            check.mails = peerCount({kPython, "-c", kMboxCount, boxes.firstFew[0].string()}, work);
    } else if (form == "pst") {
        // readpst rather than pypff: libpff takes time that grows with the square of a
        // folder's mails (50 s for 100 000, over 20 minutes for a million).
        const auto stores = filesEndingIn(out, ".pst");
        const std::string readpst = findOnPath("readpst");
        check.by = "readpst, python mailbox";
        const fs::path into = work / "bench-out-scale-readpst";
        fs::remove_all(into);
        fs::create_directories(into);
        if (stores.count == 1 && !readpst.empty()
            && runChild({readpst, "-q", "-o", into.string(), stores.firstFew[0].string()}).status == 0) {
            check.mails = 0;
            for (const fs::path& box : filesEndingIn(into, ".mbox").firstFew)
                check.mails += std::max(0LL, peerCount({kPython, "-c", kMboxCount, box.string()}, work));
        }
        fs::remove_all(into);
    } else if (form == "dbx") {
        check.by = "undbx";
        const std::string undbx = findOnPath("undbx");
        long long total = 0;
        for (const fs::path& folder : filesEndingIn(out, ".dbx").firstFew) {
            if (folder.filename() == "Folders.dbx" || undbx.empty())
                continue;
            const fs::path into = work / "bench-out-scale-undbx";
            fs::remove_all(into);
            fs::create_directories(into);
            const ChildRun run = runChild({undbx, folder.string(), into.string()});
            total += run.status == 0 ? static_cast<long long>(filesEndingIn(into, ".eml").count) : 0;
            fs::remove_all(into);
        }
        check.mails = undbx.empty() ? -1 : total;
    } else { // msg, rtf: one file per mail, attachments in a folder beside it
        const auto mails = filesEndingIn(out, "." + form);
        check.mails = static_cast<long long>(mails.count);
        check.attachments = static_cast<long long>(filesEndingIn(out, ".txt").count);
        check.by = "files";
        if (mails.count > 0 && form == "msg") {
            // The peer reads the first one.
            const long long seen = peerCount({kPython, "-c", kMsgAttachments, mails.firstFew[0].string()}, work);
            check.by = seen < 0 ? "files (olefile could not read it)" : "files, olefile";
            if (seen < 0)
                check.mails = -1;
            check.attachments = seen; // a .msg holds its attachments; none are written beside
        } else if (mails.count > 0) {
            const std::string unrtf = findOnPath("unrtf");
            if (!unrtf.empty()) {
                const ChildRun run = runChild({unrtf, "--text", mails.firstFew[0].string()});
                check.by = run.status == 0 ? "files, unrtf" : "files (unrtf refused it)";
                if (run.status != 0)
                    check.mails = -1;
            }
        }
    }
    return check;
}

bool runCase(const Case& c, const std::string& self, const std::string& cli,
             const fs::path& work, std::uint32_t many, bool keep)
{
    const fs::path source = work / ("bench-out-scale-" + c.name + ".dbx");
    const double made = now();
    // Made by a child of its own, so that what the writer held does not count in the peak
    // of the runs that follow (a spawned child starts from this process's high-water mark).
    const ChildRun make = runChild({self, "--make", c.name, "--mails", std::to_string(many),
                                    "--file", source.string()});
    if (make.status != 0) {
        std::fprintf(stderr, "could not write %s\n", source.c_str());
        return false;
    }
    section(strprintf("%s (%llu mail%s; fixture written in %.1f s)", c.title.c_str(),
                      static_cast<unsigned long long>(c.mails), c.mails == 1 ? "" : "s", now() - made)
                .c_str());
    bool allOk = true;
    for (const char* form : kForms) {
        const fs::path out = work / ("bench-out-scale-" + c.name + "-" + form);
        fs::remove_all(out);
        fs::create_directories(out);
        // The DBX output's store goes into the bench's own folder, never the user's.
        const fs::path data = work / ("bench-out-scale-data-" + c.name);
        ::setenv("XDG_DATA_HOME", data.c_str(), 1);
        const ChildRun run = runChild({cli, "-q", "-f", form, source.string(), "-o", out.string()});
        const Check check = checkOutput(form, out, work);
        const bool whole = check.mails == static_cast<long long>(c.mails)
            && (c.attachments == 0 || check.attachments < 0
                || check.attachments == static_cast<long long>(c.attachments));
        const bool ok = run.status == 0 && run.peakBytes < kMemoryLimit && whole;
        allOk = allOk && ok;
        std::string counted = strprintf("%lld mails", check.mails);
        if (c.attachments > 0 && check.attachments >= 0)
            counted += strprintf(", %lld attachments", check.attachments);
        figure(strprintf("-f %s", form).c_str(),
               strprintf("%.1f s, peak %s, exit %d; %s (%s)", run.wall, mib(run.peakBytes).c_str(),
                         run.status, counted.c_str(), check.by.c_str()),
               "< 256 MiB, every mail", ok);
        if (!keep) {
            fs::remove_all(out);
            fs::remove_all(data);
        }
    }
    if (!keep)
        fs::remove(source);
    return allOk;
}

} // namespace
} // namespace mailmend::bench

int main(int argc, char** argv)
{
    using namespace mailmend;
    using namespace mailmend::bench;
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // figures show as they come, also into a file
    auto args = optionPairs(argc, argv);
    if (!args.count("--make") && (!args.count("--work") || !args.count("--cli"))) {
        std::fprintf(stderr, "usage: %s --work DIR --cli PATH [--mails N] [--only CASE,...]\n", argv[0]);
        return 2;
    }
    const fs::path work = args["--work"];
    const std::string cli = args["--cli"];
    const std::string only = args.count("--only") ? "," + args["--only"] + "," : "";
    const auto many = static_cast<std::uint32_t>(args.count("--mails") ? std::stoul(args["--mails"]) : 1000000);

    const std::vector<Case> cases {
        {"sparse", "A 4 GiB sparse folder, mails at both ends", 100, 0,
         [](const fs::path& f) { return writeSparseFolder(f, std::uint64_t {1} << 32, 50); }},
        {"many", strprintf("A folder of %u small mails", many), many, 0,
         [many](const fs::path& f) { return writeSmallMailsFolder(f, many); }},
        {"large", "One 100 MB mail", 1, 0,
         [](const fs::path& f) { return writeLargeMailFolder(f, 100ull << 20); }},
        {"attachments", "One mail with 10 000 attachments", 1, 10000,
         [](const fs::path& f) { return writeManyAttachmentsFolder(f, 10000); }},
    };
    if (args.count("--make")) {
        for (const Case& c : cases)
            if (c.name == args["--make"])
                return c.make(args["--file"]) ? 0 : 1;
        return 2;
    }
    bool allOk = true;
    for (const Case& c : cases)
        if (only.empty() || only.find("," + c.name + ",") != std::string::npos)
            allOk = runCase(c, fs::read_symlink("/proc/self/exe").string(), cli, work, many, args.count("--keep") > 0) && allOk;
    return allOk ? 0 : 1;
}
