// SPDX-License-Identifier: GPL-3.0-or-later
// mailmend-bench-advanced: the Advanced Scan (copy without block headers, then carving)
// on a large folder file, against a plain read of the same file, a plain write of the
// bytes the scan writes, and the byte-at-a-time procedure the tests check it against.
// Every figure is a ratio within one run; nothing fails.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <unistd.h>
#include <string>
#include <vector>

#include "bench_common.h"
#include "dbx/mapped_mail_extractor.h"
#include "log/text.h"
#include "support/advanced_scan_oracle.h"

namespace {

using namespace mailmend::bench;
using mailmend::strprintf;

constexpr double kMB = 1e6;
constexpr double kTargetMBps = 300;
constexpr double kTargetOverOracle = 20;

class NoProgress final : public mailmend::dbx::ProgressSink {
public:
    void setPosition(int) override {}
};

struct ScanTimes {
    double copy = 0;
    double carve = 0;
    std::uint32_t mails = 0;
    std::uint64_t workingBytes = 0;
};

ScanTimes runExtractor(const fs::path& source, const fs::path& folder)
{
    ScanTimes t;
    fs::create_directories(folder);
    auto& extractor = mailmend::dbx::mappedMailExtractor();
    NoProgress bar;
    extractor.setActive(true);
    extractor.reset();
    const fs::path working = folder / "temp.dbx";
    double start = now();
    if (extractor.openMapping(source)) {
        extractor.copyWithoutBlockHeaders(working, bar);
        extractor.closeMapping();
    }
    t.copy = now() - start;
    std::error_code ec;
    t.workingBytes = fs::file_size(working, ec);
    start = now();
    if (extractor.openMapping(working)) {
        extractor.carveMails((folder / "mails").string(), bar);
        extractor.closeMapping();
    }
    fs::remove(working, ec);
    t.carve = now() - start;
    t.mails = extractor.mailsWritten();
    return t;
}

bool writeWhole(const fs::path& path, const std::uint8_t* data, std::size_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

// The reference procedure, whole files in memory, writing what the scan writes.
double runOracle(const fs::path& source, const fs::path& folder, std::uint32_t& mails)
{
    using namespace mailmend::testing;
    fs::create_directories(folder);
    const double start = now();
    std::ifstream in(source, std::ios::binary);
    ByteString bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const ByteString working = literalCopy(bytes);
    bytes = ByteString();
    writeWhole(folder / "temp.dbx", working.data(), working.size());
    const auto ranges = literalCarve(working);
    std::uint32_t n = 0;
    for (const auto& [from, to] : ranges)
        writeWhole(folder / strprintf("mails_%u.eml", ++n), working.data() + from,
                   static_cast<std::size_t>(to - from));
    std::error_code ec;
    fs::remove(folder / "temp.dbx", ec);
    mails = n;
    return now() - start;
}

int usage(const char* program)
{
    std::fprintf(stderr,
                 "usage: %s --mails FILE --work DIR [--rounds N] [--no-oracle] [--keep]\n"
                 "  FILE  a large folder file (mailmend-bench-fixture --size 1G)\n"
                 "  DIR   where the scan writes (about twice FILE's size while it runs)\n"
                 "  --keep  leave the output in DIR/bench-out-advanced-* (for a run that\n"
                 "          benchmarks more afterwards and removes it at the very end)\n",
                 program);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    fs::path mails;
    fs::path work;
    int rounds = 3;
    bool oracle = true;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--mails" && hasValue)
            mails = argv[++i];
        else if (arg == "--work" && hasValue)
            work = argv[++i];
        else if (arg == "--rounds" && hasValue)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--no-oracle")
            oracle = false;
        else if (arg == "--keep")
            keep = true;
        else
            return usage(argv[0]);
    }
    if (mails.empty() || work.empty())
        return usage(argv[0]);
    std::error_code ec;
    const std::uint64_t size = fs::file_size(mails, ec);
    if (ec || size == 0) {
        std::fprintf(stderr, "cannot read %s\n", mails.c_str());
        return 1;
    }
    const double megabytes = static_cast<double>(size) / kMB;

    // Every round writes into a folder of its own; all are deleted at the end, so no
    // run creates files right after many were deleted (see README.md).
    std::vector<fs::path> folders;
    auto folder = [&](const char* what, int round) {
        folders.push_back(work / strprintf("bench-out-advanced-%s-%d", what, round));
        fs::create_directories(folders.back());
        return folders.back();
    };

    section(strprintf("[1] Advanced Scan of %s (%.0f MB), best of %d", mails.filename().c_str(),
                      megabytes, rounds)
                .c_str());
    plainRead(mails, 1 << 20); // into the page cache
    std::vector<double> reads;
    std::vector<double> scans;
    std::vector<double> writes;
    ScanTimes last;
    for (int r = 0; r < rounds; ++r) {
        // Each round starts with the previous rounds' output on disk, not queued for it.
        ::sync();
        double start = now();
        plainRead(mails, 1 << 20);
        reads.push_back(now() - start);
        last = runExtractor(mails, folder("scan", r));
        scans.push_back(last.copy + last.carve);
        const TreeSize written = measureTree(folders.back());
        writes.push_back(plainWrite(folder("write", r) / "plain", last.workingBytes + written.bytes));
    }
    const double scan = best(scans);
    const double speed = megabytes / scan;
    figure("mails carved", strprintf("%u", last.mails));
    figure("copy + carve (last round)", strprintf("%.2f s + %.2f s", last.copy, last.carve));
    figure("Advanced Scan throughput", strprintf("%.0f MB/s (%.2f s)", speed, scan),
           strprintf(">= %.0f MB/s", kTargetMBps), speed >= kTargetMBps);
    figure("plain read of the file", strprintf("%.0f MB/s", megabytes / best(reads)));
    figure("scan time / plain read time", strprintf("%.1f", scan / best(reads)));
    figure("scan time / plain write of its output",
           strprintf("%.2f (%.2f s to write %.0f MB)", scan / best(writes), best(writes),
                     static_cast<double>(last.workingBytes) / kMB * 2));

    if (oracle) {
        section("[2] Against the byte-at-a-time procedure (same output, whole files in memory)");
        std::uint32_t oracleMails = 0;
        ::sync();
        const double literal = runOracle(mails, folder("oracle", 0), oracleMails);
        figure("byte-at-a-time procedure", strprintf("%.0f MB/s (%.2f s)", megabytes / literal, literal));
        figure("mails carved by it", strprintf("%u", oracleMails), strprintf("%u", last.mails),
               oracleMails == last.mails);
        figure("speed-up over it", strprintf("%.1fx", literal / scan),
               strprintf(">= %.0fx", kTargetOverOracle), literal / scan >= kTargetOverOracle);
    }

    // Creating many files soon after many were deleted is slow on ext4, so a caller
    // that measures more afterwards removes the output only at the very end.
    if (!keep)
        for (const auto& f : folders)
            fs::remove_all(f, ec);
    return 0;
}
