// SPDX-License-Identifier: GPL-3.0-or-later
// The extractor against the plain Advanced Scan of the test support library on random
// inputs. The inputs are mostly noise with the things that matter planted in them: size
// words alone, overlapping and 13 bytes apart, block headers whose selfOffset shows a
// size word early, mail texts in every case the carve knows and some it must not take,
// packed 13 bytes apart, split by block headers, across window edges and in the last
// bytes of the file. Every input comes from its own seed, and a failure names it.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/mapped_file.h"
#include "support/advanced_scan_checks.h"
#include "support/dbx_fixture.h"
#include "support/temp_dir.h"

namespace mailmend::testing {
namespace {

namespace fs = std::filesystem;

// splitmix64: the same inputs from the same seed on every platform.
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}

    std::uint64_t next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t bound) { return bound == 0 ? 0 : static_cast<std::size_t>(next() % bound); }
    bool oneIn(std::size_t n) { return below(n) == 0; }
    std::uint8_t byte() { return static_cast<std::uint8_t>(next()); }
    template <typename T, std::size_t N>
    const T& pick(const T (&items)[N])
    {
        return items[below(N)];
    }

private:
    std::uint64_t m_state;
};

const std::size_t kPage = platform::mappingGranularity();

// The texts of the carve, and near misses it must pass over.
const std::string kTexts[] = {
    "From:", "from:", "FROM:", "MIME-Version:", "MIME-version:", "Return-path:", "Received:",
    "Return-Path:", "fROM:", "MIME-VERSION:", "mime-version:", "received:", "From", "MIME-Version",
};

std::string mailTextFor(Random& r)
{
    std::string out;
    if (r.oneIn(2))
        out += "Return-path: <a@b.example>\r\n";
    for (std::size_t i = r.below(3); i > 0; --i)
        out += "Received: from relay" + std::to_string(i) + " by mx\r\n";
    out += r.oneIn(4) ? "from: x\r\n" : "From: \"X\" <x@y.example>\r\n";
    out += r.oneIn(4) ? "MIME-version: 1.0\r\n" : "MIME-Version: 1.0\r\n";
    out += "Subject: s\r\n\r\n";
    for (std::size_t i = r.below(6); i > 0; --i)
        out += "Some body text, line " + std::to_string(i) + ".\r\n";
    return out;
}

ByteString bytesOf(const std::string& s)
{
    return ByteString(s.begin(), s.end());
}

// Overwrites bytes from `at`, as far as the input reaches.
void put(ByteString& into, std::size_t at, const ByteString& piece)
{
    for (std::size_t i = 0; i < piece.size() && at + i < into.size(); ++i)
        into[at + i] = piece[i];
}

// Where to plant a piece of `length` bytes: anywhere, across a page edge, or among the
// last bytes of the input.
std::size_t spot(Random& r, std::size_t size, std::size_t length)
{
    if (size == 0)
        return 0;
    switch (r.below(4)) {
    case 0:
        if (size > kPage) {
            const std::size_t edge = kPage * (1 + r.below(size / kPage));
            const std::size_t back = 1 + r.below(length + 16);
            if (edge >= back)
                return std::min(edge - back, size - 1);
        }
        break;
    case 1: {
        const std::size_t back = 1 + r.below(length + 16);
        return size >= back ? size - back : 0;
    }
    default:
        break;
    }
    return r.below(size);
}

std::size_t randomSize(Random& r)
{
    switch (r.below(6)) {
    case 0: return r.below(40);
    case 5: return kPage * (1 + r.below(3)) + r.below(33) - 16; // ends near a window edge
    case 1: return 40 + r.below(600);
    case 2: return kPage + r.below(3 * kPage);
    case 3: return 4 * kPage + r.below(3 * kPage);
    default: return 600 + r.below(kPage);
    }
}

ByteString le32(std::uint32_t v)
{
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

ByteString join(const ByteString& a, const ByteString& b)
{
    ByteString out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

const ByteString kSizeWord {0x00, 0x02, 0x00, 0x00};

// A dataLength for a header: often at the edges of what counts as plausible.
std::uint32_t dataLength(Random& r)
{
    static const std::uint32_t edges[] = {0, 1, 2, 511, 512, 513, 0x200, 0x10000, 0xFFFFFFFFu};
    return r.oneIn(2) ? r.pick(edges) : static_cast<std::uint32_t>(r.below(600));
}

// Something pass 1 cuts, or nearly cuts.
ByteString headerPiece(Random& r)
{
    switch (r.below(6)) {
    case 0: return kSizeWord;
    case 1: return {0x00, 0x02, 0x00, 0x00, 0x02, 0x00, 0x00};
    case 2: { // a selfOffset of 0x000200xx before the size word
        ByteString out {r.byte(), 0x00, 0x02, 0x00, 0x00, 0x02, 0x00, 0x00};
        out = join(out, le32(dataLength(r)));
        return join(out, le32(static_cast<std::uint32_t>(r.next())));
    }
    case 3:
        return blockHeader(static_cast<std::uint32_t>(r.next()), dataLength(r),
                           static_cast<std::uint32_t>(r.next()));
    case 4: { // size words 13 bytes apart, each stepping back 3 bytes net
        ByteString out;
        for (std::size_t i = 1 + r.below(5); i > 0; --i) {
            out = join(out, kSizeWord);
            for (int k = 0; k < 9; ++k)
                out.push_back(r.oneIn(3) ? 0x00 : r.byte());
        }
        return out;
    }
    default: { // size words at random small distances
        ByteString out;
        for (std::size_t i = 2 + r.below(4); i > 0; --i) {
            out = join(out, kSizeWord);
            for (std::size_t k = r.below(16); k > 0; --k)
                out.push_back(r.oneIn(2) ? 0x00 : 0x02);
        }
        return out;
    }
    }
}

// Something pass 2 looks for, or nearly.
ByteString textPiece(Random& r)
{
    switch (r.below(5)) {
    case 0: return bytesOf(r.pick(kTexts));
    case 1: return bytesOf(mailTextFor(r));
    case 2: { // texts 13 bytes apart
        std::string out;
        for (std::size_t i = 2 + r.below(4); i > 0; --i) {
            std::string text = r.pick(kTexts);
            text.resize(13, r.oneIn(2) ? ' ' : 'x');
            out += text;
        }
        return bytesOf(out);
    }
    case 3: { // a text cut in two by a block header, whole again in the working file
        const std::string text = r.pick(kTexts);
        const std::size_t cut = r.below(text.size() + 1);
        ByteString out = bytesOf(text.substr(0, cut));
        out = join(out, blockHeader(static_cast<std::uint32_t>(r.next()), 1 + static_cast<std::uint32_t>(r.below(512)), 0));
        return join(out, bytesOf(text.substr(cut)));
    }
    default: { // texts that touch or overlap
        std::string out;
        for (std::size_t i = 2 + r.below(3); i > 0; --i) {
            const std::string text = r.pick(kTexts);
            const std::size_t shared = out.empty() ? 0 : r.below(3);
            out.resize(out.size() - std::min(shared, out.size()));
            out += text;
        }
        return bytesOf(out);
    }
    }
}

ByteString randomSource(Random& r)
{
    const std::size_t size = randomSize(r);
    ByteString out(size);
    const std::size_t fill = r.below(3);
    static const char letters[] = "abcdefghij MIRsonm:-\r\n";
    for (auto& b : out) {
        if (fill == 0)
            b = r.oneIn(3) ? 0x00 : r.oneIn(4) ? 0x02 : r.byte();
        else if (fill == 1)
            b = static_cast<std::uint8_t>(letters[r.below(sizeof letters - 1)]);
        else
            b = r.oneIn(2) ? 0x00 : static_cast<std::uint8_t>(letters[r.below(sizeof letters - 1)]);
    }
    const std::size_t plants = 1 + size / (r.oneIn(2) ? 48 : 400);
    for (std::size_t i = 0; i < plants; ++i) {
        const ByteString piece = r.oneIn(2) ? headerPiece(r) : textPiece(r);
        put(out, spot(r, size, piece.size()), piece);
    }
    return out;
}

ByteString randomWorking(Random& r)
{
    const std::size_t size = randomSize(r);
    ByteString out;
    if (r.oneIn(4)) // a MIME-Version: line or more before the first From:
        out = bytesOf(r.oneIn(2) ? "MIME-Version: 1.0\r\n" : "x MIME-version:MIME-Version:");
    static const char filler[] = "abcdefgh xyz,.<>@\r\n:";
    while (out.size() < size) {
        switch (r.below(6)) {
        case 0:
            out = join(out, bytesOf(mailTextFor(r)));
            break;
        case 1:
            out = join(out, textPiece(r));
            break;
        case 2:
            out.insert(out.end(), r.below(20), 0x00);
            break;
        default:
            for (std::size_t i = r.below(300); i > 0; --i)
                out.push_back(static_cast<std::uint8_t>(filler[r.below(sizeof filler - 1)]));
            break;
        }
    }
    out.resize(size);
    for (std::size_t i = size / 1000 + r.below(4); i > 0; --i) {
        const ByteString piece = bytesOf(r.pick(kTexts));
        put(out, spot(r, size, piece.size()), piece);
    }
    return out;
}

std::size_t randomWindow(Random& r)
{
    switch (r.below(4)) {
    case 0: return 0; // the extractor's own: every input here fits in one window
    case 1: return kPage + 1; // rounded up to two pages
    default: return kPage;
    }
}

// A clean folder for one run.
fs::path freshFolder(const TempDir& dir)
{
    const fs::path folder = dir / "run";
    fs::remove_all(folder);
    fs::create_directory(folder);
    return folder;
}

bool startsWith(const ByteString& bytes, std::uint64_t at, const std::string& text)
{
    return at + text.size() <= bytes.size()
        && std::equal(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
                      [](char c, std::uint8_t b) { return static_cast<std::uint8_t>(c) == b; });
}

// How often the inputs reached the cases that matter, so that a change to the
// generators cannot quietly stop testing them.
struct Reached {
    int selfOffsetMend = 0; // the early size word was passed over
    int staleTail = 0;      // the tail cut changed the working file
    int zeroStartAgain = 0; // unmended, a start of 0 would have been taken again
    int endAtReturnPath = 0;
    int endAtReceived = 0;
    int endAtMimeVersion = 0;
    int endAtFileEnd = 0;
    int mails = 0;
};

void count(Reached& reached, const ByteString& working)
{
    const auto ranges = literalCarve(working);
    reached.mails += static_cast<int>(ranges.size());
    for (const auto& [first, second] : ranges) {
        if (second == working.size())
            ++reached.endAtFileEnd;
        else if (startsWith(working, second, "Return-path:"))
            ++reached.endAtReturnPath;
        else if (startsWith(working, second, "Received:"))
            ++reached.endAtReceived;
        else
            ++reached.endAtMimeVersion;
    }
    if (literalCarve(working, {true, true, false}).size() != ranges.size())
        ++reached.zeroStartAgain;
}

TEST(AdvancedScanRandom, BothPassesAgreeWithThePlainProcedure)
{
    TempDir dir;
    Reached reached;
    constexpr std::uint64_t kFirstSeed = 1000;
    constexpr int kInputs = 1200;
    for (std::uint64_t seed = kFirstSeed; seed < kFirstSeed + kInputs; ++seed) {
        Random r(seed);
        const ByteString source = randomSource(r);
        const std::size_t window = randomWindow(r);
        const fs::path folder = freshFolder(dir);
        writeFile(folder / "source.dbx", source);

        const AdvancedScanRun run = runAdvancedScan(folder / "source.dbx", folder, window);
        const auto verdict = matchesOracle(run, source);
        if (!verdict) {
            ADD_FAILURE() << "seed " << seed << " (" << source.size() << " bytes, window "
                          << window << "): " << verdict.message();
            break;
        }

        const ByteString working = literalCopy(source);
        if (literalCopy(source, {false, true, true}) != working)
            ++reached.selfOffsetMend;
        if (literalCopy(source, {true, false, true}) != working)
            ++reached.staleTail;
        count(reached, working);
    }
    EXPECT_GE(reached.selfOffsetMend, 200);
    EXPECT_GE(reached.staleTail, 70);
    EXPECT_GE(reached.zeroStartAgain, 20);
    EXPECT_GE(reached.endAtReturnPath, 50);
    EXPECT_GE(reached.endAtReceived, 50);
    EXPECT_GE(reached.endAtMimeVersion, 100);
    EXPECT_GE(reached.endAtFileEnd, 100);
}

TEST(AdvancedScanRandom, CarveOfWorkingFilesAgreesWithThePlainProcedure)
{
    TempDir dir;
    Reached reached;
    constexpr std::uint64_t kFirstSeed = 50000;
    constexpr int kInputs = 1000;
    for (std::uint64_t seed = kFirstSeed; seed < kFirstSeed + kInputs; ++seed) {
        Random r(seed);
        const ByteString working = randomWorking(r);
        const std::size_t window = randomWindow(r);
        const fs::path folder = freshFolder(dir);
        writeFile(folder / "working.tmp", working);

        const AdvancedScanRun run = runCarve(folder / "working.tmp", folder, window);
        const auto verdict = carveMatchesOracle(run, working);
        if (!verdict) {
            ADD_FAILURE() << "seed " << seed << " (" << working.size() << " bytes, window "
                          << window << "): " << verdict.message();
            break;
        }
        count(reached, working);
    }
    EXPECT_GE(reached.zeroStartAgain, 60);
    EXPECT_GE(reached.endAtReturnPath, 200);
    EXPECT_GE(reached.endAtReceived, 200);
    EXPECT_GE(reached.endAtMimeVersion, 200);
    EXPECT_GE(reached.endAtFileEnd, 200);
}

} // namespace
} // namespace mailmend::testing
