// SPDX-License-Identifier: GPL-3.0-or-later
// mailmend-bench: measures the .dbx reader on large folders and prints every figure as a
// ratio against something measured in the same run (a plain read of the same file, the
// installed peer) or against a fixed limit. The machine may be busy, so nothing here
// fails: each figure says PASS or MISS and the program exits 0.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "bench_common.h"
#include "log/text.h"
#include "dbx/block_scan.h"
#include "dbx/chain_linker.h"
#include "dbx/dbx_file.h"
#include "platform/file_reader.h"

namespace {

using namespace mailmend::bench;
using mailmend::dbx::PackedBlockTable;

constexpr std::size_t kPlainReadSize = 100000;
constexpr double kMiB = 1024.0 * 1024.0;

using mailmend::strprintf;

// What the fixture generator wrote beside a fixture (FILE.info, key=value lines).
struct FixtureInfo {
    bool known = false;
    std::uint64_t mails = 0;
    std::uint64_t blocks = 0;
    std::uint64_t mailBytes = 0;
};

FixtureInfo readInfo(const fs::path& file)
{
    FixtureInfo info;
    std::ifstream in(file.string() + ".info");
    std::map<std::string, std::string> values;
    for (std::string line; std::getline(in, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    if (values.count("mails") && values.count("blocks") && values.count("mailBytes")) {
        info.known = true;
        info.mails = std::strtoull(values["mails"].c_str(), nullptr, 10);
        info.blocks = std::strtoull(values["blocks"].c_str(), nullptr, 10);
        info.mailBytes = std::strtoull(values["mailBytes"].c_str(), nullptr, 10);
    }
    return info;
}

// Scans the file as the reader does when it opens a folder.
std::uint64_t scanFile(const fs::path& file, PackedBlockTable& table)
{
    auto opened = mailmend::platform::openForReading(file);
    if (!opened.file)
        return 0;
    const std::uint64_t size = opened.file->size();
    return mailmend::dbx::scanBlocks(*opened.file, size, table, mailmend::Logger {});
}

struct Options {
    fs::path mails;
    fs::path shuffled;
    fs::path work;
    std::string cli;
    std::string peer;
    bool noPeer = false;
    std::string only; // one part: extract, scan or link
    int rounds = 5;
};

int usage(const char* program)
{
    std::fprintf(stderr,
                 "Usage: %s --mails FILE.dbx --shuffled FILE.dbx [--work DIR] [--cli PATH]\n"
                 "          [--peer PATH | --no-peer] [--rounds N] [--only extract|scan|link]\n"
                 "FILE.dbx.info (written by mailmend-bench-fixture) adds the expected counts.\n"
                 "Extraction output goes to fresh folders under DIR (default: beside the\n"
                 "fixture) and is removed afterwards.\n",
                 program);
    return 2;
}

struct ExtractionResult {
    bool ran = false;
    ChildRun run;
};

// Output folders are all removed at the end, not between the runs: some file systems
// (ext4 without a journal) skip recently deleted inodes when creating files, so a run
// that follows the deletion of 20 000 files would pay for it.
ExtractionResult benchExtract(const Options& opt, const FixtureInfo& info,
                              std::vector<fs::path>& outputs)
{
    section(strprintf("[1] Whole extraction to .eml files (%s, output on the same disk)",
                   opt.mails.filename().c_str())
                .c_str());
    ExtractionResult result;
    const fs::path ours = opt.work / "bench-out-mailmend";
    const fs::path theirs = opt.work / "bench-out-peer";
    const fs::path plain = opt.work / "bench-out-plain-write.bin";
    for (const auto& dir : {ours, theirs, plain}) {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    outputs.insert(outputs.end(), {ours, theirs, plain});

    // A reference: the same amount of data written to one file.
    ::sync();
    const double plainSeconds = plainWrite(plain, info.known ? info.mailBytes : fs::file_size(opt.mails));
    std::error_code ec;
    fs::remove(plain, ec);

    ::sync();
    const ChildRun run = runChild({opt.cli, opt.mails.string(), "-o", ours.string()});
    const TreeSize written = measureTree(ours);
    result.run = run;
    result.ran = run.started && WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0;
    if (!result.ran) {
        std::printf("  mailmend-cli failed to run (%s)\n", opt.cli.c_str());
    } else {
        figure("mailmend-cli FILE -o OUTDIR",
               strprintf("%.2f s  (user %.2f, sys %.2f)", run.wall, run.user, run.system));
        figure("  written",
               strprintf("%llu files, %.0f MiB", static_cast<unsigned long long>(written.files),
                      static_cast<double>(written.bytes) / kMiB),
               info.known ? strprintf("= %llu", static_cast<unsigned long long>(info.mails)) : "",
               info.known ? std::optional<bool>(written.files == info.mails
                                                && written.bytes == info.mailBytes)
                          : std::nullopt);
    }
    figure("plain write of as many bytes", strprintf("%.2f s  (one file, 1 MiB write() calls)", plainSeconds));
    if (result.ran)
        figure("  mailmend-cli / plain write", strprintf("%.2f", run.wall / plainSeconds));

    if (opt.noPeer || opt.peer.empty()) {
        std::printf("  peer skipped: undbx %s\n",
                    opt.noPeer ? "was switched off (--no-peer)" : "is not installed (not on PATH)");
        return result;
    }
    ::sync();
    const ChildRun peerRun = runChild({opt.peer, "-r", opt.mails.string(), theirs.string()});
    const TreeSize peerWritten = measureTree(theirs);
    if (!peerRun.started) {
        std::printf("  peer skipped: %s could not be started\n", opt.peer.c_str());
        return result;
    }
    figure("undbx -r FILE OUTDIR",
           strprintf("%.2f s  (user %.2f, sys %.2f)", peerRun.wall, peerRun.user, peerRun.system));
    figure("  written", strprintf("%llu files, %.0f MiB, peak %.1f MiB",
                               static_cast<unsigned long long>(peerWritten.files),
                               static_cast<double>(peerWritten.bytes) / kMiB,
                               static_cast<double>(peerRun.peakBytes) / kMiB));
    if (result.ran) {
        const double ratio = peerRun.wall / run.wall;
        figure("speed-up over undbx (wall time)", strprintf("%.2fx", ratio), ">= 3x", ratio >= 3.0);
    }
    return result;
}

void benchMemory(const ExtractionResult& extraction, std::uint64_t blocksFound,
                 std::uint64_t launcherPeak)
{
    section("[4] Peak memory of mailmend-cli in [1] (ru_maxrss of the child)");
    if (!extraction.ran || blocksFound == 0) {
        std::printf("  no figure: the extraction or the scan did not run\n");
        return;
    }
    const double limit = 64.0 * kMiB + 48.0 * static_cast<double>(blocksFound);
    const auto peak = static_cast<double>(extraction.run.peakBytes);
    figure("peak resident", strprintf("%.1f MiB", peak / kMiB), strprintf("<= %.1f MiB", limit / kMiB),
           peak <= limit);
    figure("  limit", strprintf("64 MiB + 48 B x %llu blocks found",
                             static_cast<unsigned long long>(blocksFound)));
    if (peak > 64.0 * kMiB)
        figure("  bytes per block above 64 MiB",
               strprintf("%.1f", (peak - 64.0 * kMiB) / static_cast<double>(blocksFound)));
    // A child's ru_maxrss starts from the peak of the process that started it.
    figure("  (this program's own peak then)",
           strprintf("%.1f MiB", static_cast<double>(launcherPeak) / kMiB));
}

std::uint64_t benchScan(const Options& opt, const FixtureInfo& info)
{
    const std::uint64_t fileSize = fs::file_size(opt.mails);
    section(strprintf("[2] Block scan against a plain read (%s, %.0f MiB, cached, best of %d)",
                   opt.mails.filename().c_str(), static_cast<double>(fileSize) / kMiB, opt.rounds)
                .c_str());
    plainRead(opt.mails, std::size_t {1} << 20); // bring the file into the page cache

    std::vector<double> plainTimes;
    std::vector<double> scanTimes;
    std::uint64_t blocksFound = 0;
    for (int r = 0; r < opt.rounds; ++r) {
        double t = now();
        const std::uint64_t got = plainRead(opt.mails, kPlainReadSize);
        plainTimes.push_back(now() - t);
        if (got != fileSize)
            std::printf("  warning: plain read returned %llu of %llu bytes\n",
                        static_cast<unsigned long long>(got),
                        static_cast<unsigned long long>(fileSize));

        PackedBlockTable table; // a fresh table each time, as when a folder is opened
        t = now();
        blocksFound = scanFile(opt.mails, table);
        scanTimes.push_back(now() - t);
    }
    const double mib = static_cast<double>(fileSize) / kMiB;
    const double plainRate = mib / best(plainTimes);
    const double scanRate = mib / best(scanTimes);
    figure("plain read, 100000-byte read()",
           strprintf("%6.0f MiB/s  (%.3f s)", plainRate, best(plainTimes)));
    figure("scanBlocks", strprintf("%6.0f MiB/s  (%.3f s)", scanRate, best(scanTimes)));
    figure("  medians plain / scan",
           strprintf("%.3f s / %.3f s", median(plainTimes), median(scanTimes)));
    figure("  blocks found", strprintf("%llu", static_cast<unsigned long long>(blocksFound)),
           info.known ? strprintf("= %llu", static_cast<unsigned long long>(info.blocks)) : "",
           info.known ? std::optional<bool>(blocksFound == info.blocks) : std::nullopt);
    const double ratio = scanRate / plainRate;
    figure("scan / plain throughput", strprintf("%.2f", ratio), ">= 0.50", ratio >= 0.5);
    return blocksFound;
}

void benchLink(const Options& opt, const FixtureInfo& mailsInfo, const FixtureInfo& info)
{
    section(strprintf("[3] Chain linking (best of %d; the scan before each is not timed)", opt.rounds).c_str());
    std::vector<std::int32_t> heads;
    {
        PackedBlockTable table;
        scanFile(opt.mails, table);
        const double t = now();
        const std::int32_t n = mailmend::dbx::linkChains(table, heads, mailmend::Logger {});
        const double seconds = now() - t;
        figure(strprintf("linkChains, %s", opt.mails.filename().c_str()).c_str(),
               strprintf("%.3f s  (%zu blocks)", seconds, table.size()), "< 3 s", seconds < 3.0);
        figure("  mails found", strprintf("%d", n),
               mailsInfo.known ? strprintf("= %llu", static_cast<unsigned long long>(mailsInfo.mails))
                               : "",
               mailsInfo.known
                   ? std::optional<bool>(static_cast<std::uint64_t>(n) == mailsInfo.mails)
                   : std::nullopt);
    }

    PackedBlockTable scanned;
    const std::uint64_t fileSize = fs::file_size(opt.shuffled);
    plainRead(opt.shuffled, std::size_t {1} << 20);
    const double t = now();
    scanFile(opt.shuffled, scanned);
    const double scanSeconds = now() - t;
    figure(strprintf("scanBlocks, %s", opt.shuffled.filename().c_str()).c_str(),
           strprintf("%6.0f MiB/s  (%.3f s)", static_cast<double>(fileSize) / kMiB / scanSeconds,
                  scanSeconds));

    std::vector<double> times;
    std::int32_t entries = 0;
    std::size_t mails = 0;
    for (int r = 0; r < opt.rounds; ++r) {
        PackedBlockTable table; // the packed table cannot be copied: scanned afresh
        scanFile(opt.shuffled, table);
        const double start = now();
        entries = mailmend::dbx::linkChains(table, heads, mailmend::Logger {});
        times.push_back(now() - start);
        mails = static_cast<std::size_t>(std::count_if(heads.begin(), heads.end(), [&](std::int32_t h) {
            return table[static_cast<std::size_t>(h)].role == mailmend::dbx::BlockRole::MailHead;
        }));
    }
    figure(strprintf("linkChains, %s", opt.shuffled.filename().c_str()).c_str(),
           strprintf("%.3f s  (%zu blocks)", best(times), scanned.size()), "< 3 s", best(times) < 3.0);
    figure("  median", strprintf("%.3f s", median(times)));
    figure("  list entries / mails in them", strprintf("%d / %zu", entries, mails),
           info.known ? strprintf("= %llu", static_cast<unsigned long long>(info.mails)) : "",
           info.known ? std::optional<bool>(mails == info.mails) : std::nullopt);
}

} // namespace

int main(int argc, char** argv)
{
    Options opt;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--mails" && hasValue)
            opt.mails = argv[++i];
        else if (arg == "--shuffled" && hasValue)
            opt.shuffled = argv[++i];
        else if (arg == "--work" && hasValue)
            opt.work = argv[++i];
        else if (arg == "--cli" && hasValue)
            opt.cli = argv[++i];
        else if (arg == "--peer" && hasValue)
            opt.peer = argv[++i];
        else if (arg == "--no-peer")
            opt.noPeer = true;
        else if (arg == "--only" && hasValue)
            opt.only = argv[++i];
        else if (arg == "--rounds" && hasValue)
            opt.rounds = std::max(1, std::atoi(argv[++i]));
        else
            return usage(argv[0]);
    }
    if (opt.mails.empty() || opt.shuffled.empty()
        || !(opt.only.empty() || opt.only == "extract" || opt.only == "scan" || opt.only == "link"))
        return usage(argv[0]);
    for (const auto& f : {opt.mails, opt.shuffled}) {
        std::error_code ec;
        if (!fs::is_regular_file(f, ec)) {
            std::fprintf(stderr, "%s: %s is not a file\n", argv[0], f.c_str());
            return 2;
        }
    }
    if (opt.work.empty())
        opt.work = opt.mails.parent_path().empty() ? fs::path(".") : opt.mails.parent_path();
    if (opt.cli.empty())
        opt.cli = (fs::read_symlink("/proc/self/exe").parent_path() / "mailmend-cli").string();
    if (opt.peer.empty() && !opt.noPeer)
        opt.peer = findOnPath("undbx");

    const FixtureInfo mailsInfo = readInfo(opt.mails);
    const FixtureInfo shuffledInfo = readInfo(opt.shuffled);
    std::printf("Mailmend benchmarks: every ratio below compares figures taken in this run.\n");
    for (const auto& [file, info] :
         {std::pair {opt.mails, mailsInfo}, std::pair {opt.shuffled, shuffledInfo}}) {
        std::printf("  %-14s %8.1f MiB", file.filename().c_str(),
                    static_cast<double>(fs::file_size(file)) / kMiB);
        if (info.known)
            std::printf(", %llu mails in %llu blocks", static_cast<unsigned long long>(info.mails),
                        static_cast<unsigned long long>(info.blocks));
        std::printf("\n");
    }
    std::fflush(stdout);

    // The extraction runs first, while this program is still small: a child's ru_maxrss
    // starts from the peak of the process that started it.
    plainRead(opt.mails, std::size_t {1} << 20); // bring the file into the page cache
    const bool all = opt.only.empty();
    std::vector<fs::path> outputs;
    ExtractionResult extraction;
    const std::uint64_t launcherPeak = ownPeakBytes();
    if (all || opt.only == "extract") {
        extraction = benchExtract(opt, mailsInfo, outputs);
        std::fflush(stdout);
    }
    std::uint64_t blocksFound = 0;
    if (all || opt.only == "scan") {
        blocksFound = benchScan(opt, mailsInfo);
        std::fflush(stdout);
    }
    if (all || opt.only == "link") {
        benchLink(opt, mailsInfo, shuffledInfo);
        std::fflush(stdout);
    }
    if (all)
        benchMemory(extraction, blocksFound, launcherPeak);
    for (const auto& path : outputs) {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::printf("\nDone. PASS/MISS are reported, never enforced.\n");
    return 0;
}
