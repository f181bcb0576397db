// SPDX-License-Identifier: GPL-3.0-or-later
// mailmend-bench-memory: the reader's peak memory while it finds the mails of a folder
// (scan and linking, as when a file is opened), on the densest block layouts a hostile
// file can hold, on the benchmark fixtures and on real folders. Each file is read by a
// child run of this program, which counts its own allocations; the parent adds the
// child's peak resident size. Every figure is a ratio to the input size and to the limit
// of two bytes per input byte, measured in this run.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <malloc.h>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "bench_common.h"
#include "dbx/dbx_file.h"
#include "log/text.h"

namespace {

std::atomic<std::size_t> g_live {0};
std::atomic<std::size_t> g_peak {0};

// Counts what the allocator really hands out, so no header of our own is needed.
void* allocate(std::size_t n)
{
    void* block = std::malloc(n);
    if (!block)
        return nullptr;
    const std::size_t live = g_live.fetch_add(malloc_usable_size(block)) + malloc_usable_size(block);
    for (std::size_t peak = g_peak.load(); live > peak && !g_peak.compare_exchange_weak(peak, live);) {
    }
    return block;
}

void release(void* p) noexcept
{
    if (!p)
        return;
    g_live.fetch_sub(malloc_usable_size(p));
    std::free(p);
}

} // namespace

void* operator new(std::size_t n)
{
    if (void* p = allocate(n))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return allocate(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return allocate(n); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }

namespace {

using namespace mailmend::bench;
using mailmend::strprintf;

constexpr double kLimit = 2.0; // bytes of memory per input byte
constexpr double kMiB = 1024.0 * 1024.0;

// The child: open the folder, find its mails, print what it found and the peak of the
// allocations made while finding them.
int child(const char* path)
{
    mailmend::dbx::DbxFile file;
    if (!file.open(path))
        return 1;
    const std::size_t before = g_live.load();
    g_peak = before;
    std::int32_t mails = 0;
    file.findConvertableMails(mails);
    std::printf("%llu %d %zu\n", static_cast<unsigned long long>(file.blocksFound()), mails,
                g_peak.load() - before);
    return 0;
}

void put32(std::vector<unsigned char>& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (8 * i));
}

// The dense layouts: a header every `step` bytes (12 or 16), linked to the next one, or
// to nothing (`broken`), or linked in a random order (`shuffled`, chains of eight); or
// the 9-byte unit 02 00 00 xx 00 02 00 00 00, whose headers can never link.
std::vector<unsigned char> denseFile(std::size_t size, unsigned step, bool broken, bool shuffled)
{
    std::vector<unsigned char> bytes(size, 0);
    const std::size_t first = 60120;
    if (step == 9) {
        for (std::size_t p = first, x = 1; p + 9 <= size; p += 9, x = x % 255 + 1) {
            bytes[p] = 2;
            bytes[p + 3] = static_cast<unsigned char>(x);
            bytes[p + 5] = 2;
        }
        return bytes;
    }
    std::vector<std::uint32_t> at;
    for (std::size_t p = first; p + 16 <= size; p += step)
        at.push_back(static_cast<std::uint32_t>(p));
    std::uint32_t x = 2463534242u;
    for (std::size_t i = at.size(); shuffled && i > 1; --i) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        std::swap(at[i - 1], at[x % i]);
    }
    for (std::size_t k = 0; k < at.size(); ++k) {
        const bool last = k + 1 == at.size() || (shuffled && k % 8 == 7);
        put32(bytes, at[k], at[k]);
        put32(bytes, at[k] + 4, 512);
        put32(bytes, at[k] + 8, 512);
        put32(bytes, at[k] + 12, broken ? at[k] + 8 : last ? 0 : at[k + 1]);
    }
    return bytes;
}

struct Measured {
    bool ok = false;
    unsigned long long blocks = 0;
    long long mails = 0;
    double counted = 0;  // peak of the allocations
    double resident = 0; // peak resident size of the child
};

Measured measure(const std::string& self, const fs::path& file, const fs::path& scratch)
{
    Measured m;
    const ChildRun run = runChild({self, "--child", file.string()}, scratch.string());
    std::ifstream in(scratch);
    std::size_t counted = 0;
    if (run.started && (in >> m.blocks >> m.mails >> counted)) {
        m.ok = true;
        m.counted = static_cast<double>(counted);
        m.resident = static_cast<double>(run.peakBytes);
    }
    return m;
}

// Real folders are small: the scan's fixed read buffer (100000 bytes) outweighs what
// grows with the file, so they are shown, not judged.
void report(const std::string& name, const fs::path& file, const Measured& m, double baseline,
            bool judged = true)
{
    const auto size = static_cast<double>(fs::file_size(file));
    if (!m.ok) {
        figure(name.c_str(), "could not be measured");
        return;
    }
    const double perByte = m.counted / size;
    figure(name.c_str(),
           strprintf("%7.3f B/B  %5.0f%% of limit  (%.1f MiB, %llu blocks, %lld mails)", perByte,
                     100.0 * perByte / kLimit, size / kMiB, m.blocks, m.mails),
           judged ? "<= 2 B/B" : "", judged ? std::optional<bool>(perByte <= kLimit) : std::nullopt);
    figure("  resident above an empty run",
           strprintf("%7.3f B/B  (%.1f MiB)", std::max(0.0, m.resident - baseline) / size,
                     std::max(0.0, m.resident - baseline) / kMiB));
}

int usage(const char* program)
{
    std::fprintf(stderr,
                 "Usage: %s --work DIR [--size BYTES] [--real DIR] [FIXTURE.dbx ...]\n"
                 "Writes the dense layouts (--size each, default 100 MB) into DIR, measures\n"
                 "them, every .dbx file in the --real folder and the fixtures given, and\n"
                 "removes what it wrote.\n",
                 program);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0)
        return child(argv[2]);
    if (argc == 7 && std::strcmp(argv[1], "--write") == 0) {
        const auto bytes = denseFile(std::strtoull(argv[2], nullptr, 10),
                                     static_cast<unsigned>(std::atoi(argv[3])),
                                     argv[4][0] == '1', argv[5][0] == '1');
        std::ofstream out(argv[6], std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return out ? 0 : 1;
    }
    fs::path work;
    fs::path real;
    std::size_t size = 100000000;
    std::vector<fs::path> fixtures;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--work" && i + 1 < argc)
            work = argv[++i];
        else if (arg == "--real" && i + 1 < argc)
            real = argv[++i];
        else if (arg == "--size" && i + 1 < argc)
            size = std::max<std::size_t>(200000, std::strtoull(argv[++i], nullptr, 10));
        else if (arg.rfind("--", 0) == 0)
            return usage(argv[0]);
        else
            fixtures.emplace_back(arg);
    }
    if (work.empty())
        return usage(argv[0]);
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const fs::path scratch = work / "bench-memory-child.txt";
    const fs::path empty = work / "bench-memory-empty.dbx";
    std::ofstream(empty, std::ios::binary).write(std::string(100000, '\0').data(), 100000);
    const Measured emptyRun = measure(self, empty, scratch);
    const double baseline = emptyRun.ok ? emptyRun.resident : 0;

    std::printf("Reader memory while finding mails: peak of its allocations per input byte\n"
                "(limit %.0f), and the child's peak resident size above that of a run on an\n"
                "empty file (%.1f MiB).\n",
                kLimit, baseline / kMiB);
    section(strprintf("Dense layouts, %.0f MB each", static_cast<double>(size) / 1e6).c_str());
    struct Dense {
        const char* name;
        unsigned step;
        bool broken;
        bool shuffled;
    };
    for (const Dense& d : {Dense {"every 12 bytes, linked", 12, false, false},
                           Dense {"every 16 bytes, linked", 16, false, false},
                           Dense {"every 16 bytes, all broken", 16, true, false},
                           Dense {"every 16 bytes, shuffled links", 16, false, true},
                           Dense {"every 9 bytes, unlinkable", 9, false, false}}) {
        // Written by a child too: a child's peak resident size starts from this
        // program's, which must stay small.
        const fs::path file = work / "bench-memory-dense.dbx";
        const ChildRun written = runChild({self, "--write", std::to_string(size), std::to_string(d.step),
                                           d.broken ? "1" : "0", d.shuffled ? "1" : "0", file.string()});
        if (!written.started || written.status != 0) {
            figure(d.name, "could not be written");
            continue;
        }
        report(d.name, file, measure(self, file, scratch), baseline);
        std::error_code ec;
        fs::remove(file, ec);
        std::fflush(stdout);
    }
    if (!fixtures.empty()) {
        section("Benchmark fixtures");
        for (const fs::path& f : fixtures)
            report(f.filename().string(), f, measure(self, f, scratch), baseline);
    }
    if (!real.empty()) {
        section("Real folders (small: the scan's 100000-byte read buffer outweighs the rest)");
        std::vector<fs::path> files;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(real, ec))
            if (entry.path().extension() == ".dbx")
                files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const fs::path& f : files)
            report(f.filename().string(), f, measure(self, f, scratch), baseline, false);
    }
    std::error_code ec;
    fs::remove(scratch, ec);
    fs::remove(empty, ec);
    std::printf("\nDone. PASS/MISS are reported, never enforced.\n");
    return 0;
}
