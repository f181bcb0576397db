// SPDX-License-Identifier: GPL-3.0-or-later
// The extractor of the Advanced Scan on built .dbx folders and on hand-made files: what
// it must get back where the answer is known by construction, the edges of windows and
// files, the progress bar, stopping, and the faults it must survive without claiming
// what it did not do. Last, the real .dbx files, whose mail count is printed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <sys/stat.h>

#include "dbx/mapped_mail_extractor.h"
#include "platform/cancellation.h"
#include "platform/mapped_file.h"
#include "support/advanced_scan_checks.h"
#include "support/dbx_fixture.h"
#include "support/real_corpus.h"
#include "support/temp_dir.h"

namespace mailmend::testing {
namespace {

namespace fs = std::filesystem;
using dbx::MappedMailExtractor;

const std::size_t kPage = platform::mappingGranularity();
constexpr std::size_t kHeader = 16;
constexpr std::size_t kData = 512;

// A fixture mail that another mail's carve ends before: Return-path: and Received:
// lines above its From: line.
std::string relayedMail(int n, std::size_t size)
{
    const std::string id = std::to_string(n);
    const std::string top = "Return-path: <sender" + id + "@example.org>\r\n"
        "Received: from relay.example.org by mx.example.net; Mon, 7 Mar 2011\r\n";
    return top + mailText(n, size - top.size());
}

// What the carve gets of a relayed mail packed in its blocks: from its From: line to its
// end; the zeros that fill up its last data area are not part of it.
std::string carvedOf(const std::string& text)
{
    return text.substr(text.find("From:"));
}

// The source without its planned block headers: what the copy must give for a folder
// whose data areas hold no 00 02 00 00 word.
std::string withoutHeaders(const DbxFixture& folder)
{
    std::vector<std::uint64_t> headers;
    for (const MailPlan& mail : folder.mails())
        for (const BlockPlan& block : mail.blocks)
            headers.push_back(block.position);
    std::sort(headers.begin(), headers.end());
    std::string out;
    std::uint64_t from = 0;
    for (const std::uint64_t at : headers) {
        out.append(folder.bytes().begin() + static_cast<std::ptrdiff_t>(from),
                   folder.bytes().begin() + static_cast<std::ptrdiff_t>(at));
        from = at + kHeader;
    }
    out.append(folder.bytes().begin() + static_cast<std::ptrdiff_t>(from), folder.bytes().end());
    return out;
}

std::vector<std::string> relayedMails(int count, std::size_t smallest, std::size_t spread)
{
    std::vector<std::string> mails;
    for (int n = 1; n <= count; ++n)
        mails.push_back(relayedMail(n, smallest + static_cast<std::size_t>(n) * 7919 % spread));
    return mails;
}

// Some 40 pages of mails, for runs over many windows.
DbxFixture manyWindows()
{
    return DbxFixture(relayedMails(60, 600, 2000));
}

fs::path written(const TempDir& dir, const std::string& name, const ByteString& bytes)
{
    writeFile(dir / name, bytes);
    return dir / name;
}

fs::path written(const TempDir& dir, const std::string& name, const std::string& bytes)
{
    return written(dir, name, toBytes(bytes));
}

std::string mailFile(const fs::path& folder, int k)
{
    return readFile(folder / ("mail_" + std::to_string(k) + ".eml"));
}

bool mailFileExists(const fs::path& folder, int k)
{
    return fs::exists(folder / ("mail_" + std::to_string(k) + ".eml"));
}

class RecordingBar : public dbx::ProgressSink {
public:
    void setPosition(int percent) override { positions.push_back(percent); }
    std::vector<int> positions;
};

// Stops the run at its k-th position: clears the running flag, or sets the token.
class StoppingBar final : public RecordingBar {
public:
    StoppingBar(MappedMailExtractor& extractor, std::size_t stopAt, platform::CancellationToken* token)
        : m_extractor(extractor), m_stopAt(stopAt), m_token(token)
    {
    }
    void setPosition(int percent) override
    {
        RecordingBar::setPosition(percent);
        if (positions.size() != m_stopAt)
            return;
        if (m_token)
            m_token->cancel();
        else
            m_extractor.setActive(false);
    }

private:
    MappedMailExtractor& m_extractor;
    std::size_t m_stopAt;
    platform::CancellationToken* m_token;
};

bool isPrefix(const std::string& part, const ByteString& whole)
{
    return part.size() <= whole.size() && part == toText(ByteString(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(part.size())));
}

// --- Built folders -----------------------------------------------------------------

TEST(AdvancedScanFolders, PackedFolderGivesEveryMailBackFromItsFromLine)
{
    TempDir dir;
    std::vector<std::string> mails = relayedMails(12, 300, 1800);
    mails.push_back(relayedMail(13, 512));  // one full block
    mails.push_back(relayedMail(14, 1024)); // two
    const DbxFixture folder(mails);
    const fs::path source = written(dir, "folder.dbx", folder.bytes());

    for (const std::size_t window : {std::size_t {0}, kPage}) {
        SCOPED_TRACE(window);
        const fs::path out = dir / ("out" + std::to_string(window));
        fs::create_directory(out);
        const AdvancedScanRun run = runAdvancedScan(source, out, window);
        EXPECT_TRUE(matchesOracle(run, folder.bytes()));
        EXPECT_EQ(run.working, withoutHeaders(folder));
        ASSERT_EQ(run.mails.size(), mails.size());
        for (std::size_t m = 0; m < mails.size(); ++m)
            EXPECT_EQ(run.mails[m], carvedOf(mails[m])) << "mail " << m + 1;
    }
}

// A block at 0x20000 + x has the selfOffset bytes xx 00 02 00: with the blockSize word
// after them the file holds xx 00 02 00 00 02 00 00.
class SelfOffsetShowsASizeWord : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(SelfOffsetShowsASizeWord, TheMailTextStaysWhole)
{
    const std::uint64_t target = 0x20000 + GetParam();
    Layout layout;
    layout.firstBlockAt = target - 100 * (kHeader + kData);
    const DbxFixture folder(relayedMails(50, 700, 1500), layout);
    std::size_t hit = folder.mails().size();
    for (std::size_t m = 0; m < folder.mails().size(); ++m)
        for (const BlockPlan& block : folder.mails()[m].blocks)
            if (block.position == target)
                hit = m;
    ASSERT_LT(hit, folder.mails().size()) << "no block at " << target;

    // Taking the early word would lose text; the case is real.
    const ByteString unmended = literalCopy(folder.bytes(), {false, true, true});
    ASSERT_NE(toText(unmended), withoutHeaders(folder));

    TempDir dir;
    const AdvancedScanRun run = runAdvancedScan(written(dir, "folder.dbx", folder.bytes()), dir.path(), kPage);
    EXPECT_TRUE(matchesOracle(run, folder.bytes()));
    EXPECT_EQ(run.working, withoutHeaders(folder));
    ASSERT_EQ(run.mails.size(), folder.mails().size());
    EXPECT_EQ(run.mails[hit], carvedOf(folder.mails()[hit].text));
}

INSTANTIATE_TEST_SUITE_P(LowByte, SelfOffsetShowsASizeWord, ::testing::Values(0x00u, 0x10u, 0xFFu));

TEST(AdvancedScanFolders, ShuffledGappyAndDamagedFoldersAgreeWithThePlainProcedure)
{
    TempDir dir;
    for (std::uint32_t seed = 1; seed <= 24; ++seed) {
        Layout layout;
        layout.seed = seed;
        layout.order = seed % 3 == 0 ? Order::Shuffled : seed % 3 == 1 ? Order::Reversed : Order::Sequential;
        layout.maxGap = seed % 2 == 0 ? 40 : 0;
        layout.garbage = seed % 4 < 2;
        layout.fakeMarkers = seed % 5 < 3;
        layout.leftoverTail = seed % 3 != 1;
        layout.lyingOffsets = seed % 7 == 0;
        layout.trailing = seed * 3;
        DbxFixture folder(relayedMails(8 + static_cast<int>(seed), 200, 3000), layout);
        if (seed % 4 == 3)
            folder.zero(folder.size() / 3, folder.size() / 3 + seed * 37);
        if (seed % 6 == 5)
            folder.truncate(folder.size() - seed * 101);

        const fs::path out = dir / ("out" + std::to_string(seed));
        fs::create_directory(out);
        const AdvancedScanRun run = runAdvancedScan(written(dir, "folder.dbx", folder.bytes()), out,
                                                    seed % 2 == 0 ? kPage : 0);
        EXPECT_TRUE(matchesOracle(run, folder.bytes())) << "layout seed " << seed;
    }
}

// --- Edges of files and windows ------------------------------------------------------

TEST(AdvancedScanEdges, SizeWordsAmongTheLastBytesOfTheSource)
{
    TempDir dir;
    // A size word needs a byte 12 on from its start to be cut.
    for (std::size_t tail = 0; tail <= 16; ++tail) {
        std::string source = "abcdef" + std::string("\0\2\0\0", 4) + std::string(tail, 'z');
        const AdvancedScanRun run = runAdvancedScan(written(dir, "tail.dbx", source), dir.path());
        EXPECT_TRUE(matchesOracle(run, toBytes(source))) << tail;
        if (tail <= 8)
            EXPECT_EQ(run.working, source) << tail;
        else
            EXPECT_EQ(run.working, "ab" + std::string(tail - 8, 'z')) << tail;
    }
}

TEST(AdvancedScanEdges, BlockHeaderAcrossAWindowEdge)
{
    TempDir dir;
    const std::string text = "the data area goes on after the header";
    for (const std::uint32_t selfOffset : {0x10000u, 0x00020010u}) {
        for (std::size_t back = 1; back <= kHeader + 4; ++back) {
            const std::string before(2 * kPage - back, 'a');
            const ByteString header = blockHeader(selfOffset, static_cast<std::uint32_t>(text.size()), 0);
            const std::string source = before + toText(header) + text;
            const AdvancedScanRun run = runAdvancedScan(written(dir, "edge.dbx", source), dir.path(), kPage);
            EXPECT_EQ(run.working, before + text) << "header " << back << " bytes before the edge";
            EXPECT_TRUE(matchesOracle(run, toBytes(source))) << back;
        }
    }
}

TEST(AdvancedScanEdges, MailTextsAcrossAWindowEdge)
{
    TempDir dir;
    const std::string mailB = "Return-path: <b>\r\nFrom: b\r\nMIME-Version: 1.0\r\n\r\nbody b\r\n";
    for (std::size_t back = 0; back <= 14; ++back) {
        // Mail A's MIME-Version: line, then mail B's Return-path:, each across an edge.
        std::string working = "From: a\r\n";
        working += std::string(kPage - back - working.size(), 'a');
        working += "MIME-Version: 1.0\r\n";
        working += std::string(2 * kPage - back - working.size(), 'b');
        const std::string mailA = working;
        working += mailB;
        const AdvancedScanRun run = runCarve(written(dir, "working.tmp", working), dir.path(), kPage);
        EXPECT_TRUE(carveMatchesOracle(run, toBytes(working))) << back;
        EXPECT_EQ(run.mails, (std::vector<std::string> {mailA, mailB.substr(mailB.find("From:"))})) << back;
    }
}

TEST(AdvancedScanEdges, HowMailsStartAndEnd)
{
    TempDir dir;
    const std::string mailA = "From: a\r\nMIME-Version: 1.0\r\n\r\nbody a\r\n";
    const std::string mailB = "From: b\r\nMIME-Version: 1.0\r\n\r\nbody b\r\n";
    const std::string relayed = "Return-path: <b>\r\nReceived: from x\r\nReceived: from y\r\n";
    struct Case {
        std::string working;
        std::vector<std::string> mails;
    };
    const Case cases[] = {
        // One mail and no second MIME-Version: it runs to the end.
        {"garbage\r\n" + mailA + "trailing bytes", {mailA + "trailing bytes"}},
        // The next mail's Return-path: ends a mail, before its Received: lines.
        {mailA + relayed + mailB, {mailA, mailB}},
        // MIME-Version: before any From: starts a mail at byte 0, written once.
        {"MIME-Version: 1.0\r\nMIME-Version: 1.0\r\n" + mailA + mailB,
         {"MIME-Version: 1.0\r\n", mailA + "From: b\r\n", mailB}},
    };
    for (const Case& c : cases) {
        const fs::path out = dir / "out";
        fs::remove_all(out);
        fs::create_directory(out);
        const AdvancedScanRun run = runCarve(written(dir, "working.tmp", c.working), out);
        EXPECT_EQ(run.mails, c.mails);
        EXPECT_TRUE(carveMatchesOracle(run, toBytes(c.working)));
    }
}

TEST(AdvancedScanEdges, MailLargerThanAWindowIsWrittenWholeAndNoFurther)
{
    TempDir dir;
    std::string mailA = "From: a\r\nMIME-Version: 1.0\r\n\r\n";
    for (int line = 0; mailA.size() < 3 * kPage + 100; ++line)
        mailA += "body line " + std::to_string(line) + " of the long mail\r\n";
    const std::string mailB = "Return-path: <b>\r\nFrom: b\r\nMIME-Version: 1.0\r\n\r\nbody b\r\n";
    const std::string working = mailA + mailB;
    const AdvancedScanRun run = runCarve(written(dir, "working.tmp", working), dir.path(), kPage);
    ASSERT_EQ(run.mails.size(), 2u);
    EXPECT_EQ(run.mails[0], mailA);
    EXPECT_EQ(run.mails[1], mailB.substr(mailB.find("From:")));
}

TEST(AdvancedScanEdges, TinyWorkingFiles)
{
    TempDir dir;
    const fs::path empty = written(dir, "empty.tmp", std::string());
    MappedMailExtractor extractor;
    EXPECT_FALSE(extractor.openMapping(empty));
    EXPECT_FALSE(extractor.lastOpenError().empty());

    // Texts are looked for only where a whole MIME-Version: would still fit.
    const std::string mime = "MIME-Version:";
    for (std::size_t size = 1; size <= 13; ++size) {
        const fs::path out = dir / ("out" + std::to_string(size));
        fs::create_directory(out);
        const std::string working = mime.substr(0, size);
        const AdvancedScanRun run = runCarve(written(dir, "working.tmp", working), out);
        EXPECT_TRUE(carveMatchesOracle(run, toBytes(working))) << size;
        EXPECT_EQ(run.mails.size(), size == 13 ? 1u : 0u) << size;
        const fs::path out2 = dir / ("from" + std::to_string(size));
        fs::create_directory(out2);
        const std::string fromFirst = "From:" + mime.substr(0, size);
        EXPECT_TRUE(carveMatchesOracle(runCarve(written(dir, "working.tmp", fromFirst), out2), toBytes(fromFirst)))
            << size;
    }
}

TEST(AdvancedScanEdges, SourcesLargerThanTheOutputBuffer)
{
    // The copy's output buffer holds 1 MiB. Size words whose selfOffset has already
    // left it: after a run longer than the buffer, and just after the point where it
    // fills up, which with one-page windows falls at the start of a window.
    TempDir dir;
    const std::size_t mebibyte = std::size_t {1} << 20;
    std::string filler;
    while (filler.size() < mebibyte + 64 * 1024)
        filler += "a long run of text without any block header in it, ";
    const std::string header = toText(blockHeader(0x10000, 3, 0));
    const std::string early = toText(blockHeader(0x00020010, 3, 0));
    const std::string word("\0\2\0\0", 4);
    const std::string chain = word + "12345678x" + word + "12345678y" + word + "12345678z";

    std::vector<std::string> sources;
    sources.push_back(filler + header + "abc" + early + "def" + filler.substr(0, 100));
    for (std::size_t past = 0; past <= 5; ++past)
        sources.push_back(filler.substr(0, mebibyte + past) + chain + "tail" + header + "end");
    // Zeros are left as holes in the working copy, also where a header's selfOffset is
    // taken back from among them.
    const std::string zeros(3 * mebibyte, '\0');
    for (const std::size_t past : {0, 3})
        sources.push_back(zeros.substr(0, mebibyte + past) + chain + zeros + "tail" + header + zeros);
    for (const std::string& source : sources) {
        for (const std::size_t window : {std::size_t {0}, kPage}) {
            const fs::path out = dir / "out";
            fs::remove_all(out);
            fs::create_directory(out);
            const AdvancedScanRun run = runAdvancedScan(written(dir, "big.dbx", source), out, window);
            EXPECT_TRUE(matchesOracle(run, toBytes(source))) << source.size() << " bytes, window " << window;
            struct stat working {};
            if (source.starts_with(zeros.substr(0, 16)) && ::stat((out / "working.tmp").c_str(), &working) == 0) {
                EXPECT_LT(working.st_blocks * 512, working.st_size / 2);
            }
        }
    }
}

// --- The calling sequence -----------------------------------------------------------

TEST(AdvancedScanSequence, ResetStartsTheCountAgainAndKeepsTheRunningFlag)
{
    TempDir dir;
    const std::string working = "From: a\r\nMIME-Version: 1.0\r\n\r\nFrom: b\r\nMIME-Version: 1.0\r\n\r\n";
    const fs::path path = written(dir, "working.tmp", working);
    MappedMailExtractor extractor;
    extractor.setActive(true);
    RecordingBar bar;
    for (const char* prefix : {"first", "second"}) {
        extractor.reset();
        ASSERT_TRUE(extractor.openMapping(path));
        extractor.carveMails((dir / prefix).string(), bar);
        extractor.closeMapping();
        EXPECT_EQ(extractor.mailsWritten(), 2u) << prefix;
        EXPECT_EQ(extractor.nextCounter(), 3u) << prefix;
        EXPECT_TRUE(extractor.isActive());
    }
    EXPECT_TRUE(fs::exists(dir / "second_1.eml"));
    EXPECT_TRUE(fs::exists(dir / "second_2.eml"));
    EXPECT_FALSE(fs::exists(dir / "second_3.eml"));
}

// --- Progress and stopping ------------------------------------------------------------

TEST(AdvancedScanProgress, CopyClimbsTo50AndCarveTo100)
{
    TempDir dir;
    const DbxFixture folder = manyWindows();
    const AdvancedScanRun run = runAdvancedScan(written(dir, "folder.dbx", folder.bytes()), dir.path(), kPage);
    EXPECT_TRUE(matchesOracle(run, folder.bytes())); // both climb, without a step back
    // Positions along the way, not just the two ends.
    EXPECT_GT(run.copyPositions.size(), 10u);
    EXPECT_GT(run.carvePositions.size(), 10u);
}

TEST(AdvancedScanProgress, WithTheRunningFlagClearNothingIsDone)
{
    TempDir dir;
    const DbxFixture folder = manyWindows();
    const fs::path source = written(dir, "folder.dbx", folder.bytes());
    const fs::path working = written(dir, "working.tmp", literalCopy(folder.bytes()));

    MappedMailExtractor extractor;
    extractor.reset();
    RecordingBar copyBar;
    ASSERT_TRUE(extractor.openMapping(source));
    extractor.copyWithoutBlockHeaders(dir / "other.tmp", copyBar);
    extractor.closeMapping();
    EXPECT_FALSE(copyBar.positions.empty());
    EXPECT_EQ(std::count(copyBar.positions.begin(), copyBar.positions.end(), 0),
              static_cast<std::ptrdiff_t>(copyBar.positions.size()));
    EXPECT_EQ(fs::exists(dir / "other.tmp") ? fs::file_size(dir / "other.tmp") : 0u, 0u);

    RecordingBar carveBar;
    ASSERT_TRUE(extractor.openMapping(working));
    extractor.carveMails((dir / "mail").string(), carveBar);
    extractor.closeMapping();
    EXPECT_TRUE(carveBar.positions.empty());
    EXPECT_FALSE(mailFileExists(dir.path(), 1));
    EXPECT_EQ(extractor.mailsWritten(), 0u);
    EXPECT_EQ(extractor.nextCounter(), 1u);
}

class StopAt : public ::testing::TestWithParam<std::tuple<std::size_t, bool>> {};

TEST_P(StopAt, StopDuringTheCopyKeepsWhatWasCopied)
{
    const auto [stopAt, byToken] = GetParam();
    TempDir dir;
    const DbxFixture folder = manyWindows();
    const ByteString whole = literalCopy(folder.bytes());

    MappedMailExtractor extractor;
    platform::CancellationToken token;
    extractor.setCancellation(&token);
    extractor.setActive(true);
    extractor.setWindowSize(kPage);
    extractor.reset();
    StoppingBar bar(extractor, stopAt, byToken ? &token : nullptr);
    ASSERT_TRUE(extractor.openMapping(written(dir, "folder.dbx", folder.bytes())));
    extractor.copyWithoutBlockHeaders(dir / "working.tmp", bar);
    extractor.closeMapping();

    const std::string working = readFile(dir / "working.tmp");
    EXPECT_TRUE(isPrefix(working, whole));
    EXPECT_LT(working.size(), whole.size());
    EXPECT_TRUE(extractor.copyFailed());
    ASSERT_FALSE(bar.positions.empty());
    EXPECT_EQ(bar.positions.back(), 50);
    EXPECT_TRUE(std::is_sorted(bar.positions.begin(), bar.positions.end()));

    // The carve that follows does nothing either.
    RecordingBar carveBar;
    ASSERT_TRUE(extractor.openMapping(written(dir, "whole.tmp", whole)));
    extractor.carveMails((dir / "mail").string(), carveBar);
    extractor.closeMapping();
    EXPECT_TRUE(carveBar.positions.empty());
    EXPECT_FALSE(mailFileExists(dir.path(), 1));
}

TEST_P(StopAt, StopDuringTheCarveKeepsTheMailsWrittenBefore)
{
    const auto [stopAt, byToken] = GetParam();
    TempDir dir;
    const DbxFixture folder = manyWindows();
    const ByteString working = literalCopy(folder.bytes());
    const std::vector<std::string> all = rangeTexts(working, literalCarve(working));

    MappedMailExtractor extractor;
    platform::CancellationToken token;
    extractor.setCancellation(&token);
    extractor.setActive(true);
    extractor.setWindowSize(kPage);
    extractor.reset();
    StoppingBar bar(extractor, stopAt, byToken ? &token : nullptr);
    ASSERT_TRUE(extractor.openMapping(written(dir, "working.tmp", working)));
    extractor.carveMails((dir / "mail").string(), bar);
    extractor.closeMapping();

    int written = 0;
    while (mailFileExists(dir.path(), written + 1))
        ++written;
    ASSERT_LT(static_cast<std::size_t>(written), all.size());
    for (int k = 1; k <= written; ++k)
        EXPECT_EQ(mailFile(dir.path(), k), all[static_cast<std::size_t>(k - 1)]) << k;
    EXPECT_EQ(extractor.mailsWritten(), static_cast<std::uint32_t>(written));
    EXPECT_EQ(extractor.mailsFailed(), 0u);
    std::ptrdiff_t files = 0;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        files += entry.path().extension() == ".eml";
    EXPECT_EQ(files, written); // none after the gap
    EXPECT_TRUE(std::is_sorted(bar.positions.begin(), bar.positions.end()));
    EXPECT_NE(bar.positions.back(), 100);
}

INSTANTIATE_TEST_SUITE_P(Positions, StopAt,
                         ::testing::Combine(::testing::Values(std::size_t {2}, std::size_t {7}, std::size_t {20}),
                                            ::testing::Bool()));

// --- Faults -------------------------------------------------------------------------

// Views of files mapped through mapWithBudget map this many windows between them, then
// fail.
int g_mapsLeft = 0;

class BudgetView final : public platform::MappedView {
public:
    explicit BudgetView(std::unique_ptr<platform::MappedView> real) : m_real(std::move(real)) {}
    const std::uint8_t* map(std::uint64_t start, std::size_t length, bool whole) override
    {
        if (g_mapsLeft <= 0) {
            m_real->unmap();
            return nullptr;
        }
        --g_mapsLeft;
        return m_real->map(start, length, whole);
    }
    void unmap() override { m_real->unmap(); }

private:
    std::unique_ptr<platform::MappedView> m_real;
};

class BudgetMapping final : public platform::FileMapping {
public:
    explicit BudgetMapping(std::unique_ptr<platform::FileMapping> real) : m_real(std::move(real)) {}
    std::uint64_t size() const override { return m_real->size(); }
    std::unique_ptr<platform::MappedView> newView() override
    {
        return std::make_unique<BudgetView>(m_real->newView());
    }

private:
    std::unique_ptr<platform::FileMapping> m_real;
};

platform::MappingResult mapWithBudget(const fs::path& path)
{
    platform::MappingResult result = platform::mapFileForReading(path);
    if (result.mapping)
        result.mapping = std::make_unique<BudgetMapping>(std::move(result.mapping));
    return result;
}

platform::MappingResult refuse(const fs::path&)
{
    return {nullptr, "refused by the test"};
}

TEST(AdvancedScanFaults, ViewsThatFailToMapEndThePassWithoutFalseClaims)
{
    TempDir dir;
    const DbxFixture folder = manyWindows();
    const fs::path source = written(dir, "folder.dbx", folder.bytes());
    const ByteString working = literalCopy(folder.bytes());
    const fs::path workingPath = written(dir, "whole.tmp", working);
    const std::vector<std::string> all = rangeTexts(working, literalCarve(working));

    for (const int budget : {0, 1, 2, 5, 30}) {
        SCOPED_TRACE(budget);
        MappedMailExtractor extractor;
        extractor.setActive(true);
        extractor.setWindowSize(kPage);
        extractor.setMapper(&mapWithBudget);
        extractor.reset();

        g_mapsLeft = budget;
        RecordingBar copyBar;
        ASSERT_TRUE(extractor.openMapping(source));
        extractor.copyWithoutBlockHeaders(dir / "working.tmp", copyBar);
        extractor.closeMapping();
        const std::string copied = readFile(dir / "working.tmp");
        EXPECT_TRUE(extractor.copyFailed() || copied == toText(working));
        EXPECT_TRUE(extractor.copyFailed()); // the budgets all run out before the end
        ASSERT_FALSE(copyBar.positions.empty());
        EXPECT_EQ(copyBar.positions.back(), 50);

        const fs::path out = dir / ("out" + std::to_string(budget));
        fs::create_directory(out);
        g_mapsLeft = budget;
        RecordingBar carveBar;
        ASSERT_TRUE(extractor.openMapping(workingPath));
        extractor.carveMails((out / "mail").string(), carveBar);
        extractor.closeMapping();
        // Every mail counted as written is on disk whole, and no file lies beyond the
        // counter.
        std::uint32_t whole = 0;
        for (std::uint32_t k = 1; k < extractor.nextCounter(); ++k)
            if (mailFileExists(out, static_cast<int>(k))
                && std::find(all.begin(), all.end(), mailFile(out, static_cast<int>(k))) != all.end())
                ++whole;
        EXPECT_LE(extractor.mailsWritten(), whole);
        EXPECT_EQ(extractor.mailsWritten() + extractor.mailsFailed(), extractor.nextCounter() - 1);
        EXPECT_FALSE(mailFileExists(out, static_cast<int>(extractor.nextCounter())));
        EXPECT_LT(extractor.mailsWritten(), all.size());
        if (budget == 0) {
            EXPECT_EQ(extractor.mailsWritten(), 0u);
        }
    }
}

TEST(AdvancedScanFaults, FilesThatCannotBeOpened)
{
    TempDir dir;
    MappedMailExtractor extractor;
    EXPECT_FALSE(extractor.openMapping(dir / "missing.dbx"));
    EXPECT_FALSE(extractor.lastOpenError().empty());
    EXPECT_FALSE(extractor.openMapping(dir.path()));
    EXPECT_FALSE(extractor.lastOpenError().empty());
    EXPECT_FALSE(extractor.openMapping(written(dir, "empty.dbx", std::string())));
    EXPECT_FALSE(extractor.lastOpenError().empty());

    extractor.setMapper(&refuse);
    EXPECT_FALSE(extractor.openMapping(written(dir, "some.dbx", std::string("some bytes"))));
    EXPECT_EQ(extractor.lastOpenError(), "refused by the test");
}

TEST(AdvancedScanFaults, FilesOver4GiBAreRefused)
{
    TempDir dir;
    const fs::path path = dir / "huge.dbx";
    writeFile(path, std::string());
    std::error_code ec;
    fs::resize_file(path, std::uint64_t {1} << 32, ec); // sparse: no data is written
    if (ec)
        GTEST_SKIP() << "cannot make a sparse 4 GiB file here: " << ec.message();
    MappedMailExtractor extractor;
    EXPECT_TRUE(extractor.openMapping(path)) << extractor.lastOpenError();
    extractor.closeMapping();
    fs::resize_file(path, (std::uint64_t {1} << 32) + 1);
    EXPECT_FALSE(extractor.openMapping(path));
    EXPECT_FALSE(extractor.lastOpenError().empty());
}

TEST(AdvancedScanFaults, OutputThatCannotBeCreated)
{
    TempDir dir;
    const DbxFixture folder(relayedMails(5, 400, 600));
    const ByteString working = literalCopy(folder.bytes());
    const std::size_t mails = literalCarve(working).size();
    ASSERT_EQ(mails, 5u);

    MappedMailExtractor extractor;
    extractor.setActive(true);
    extractor.reset();
    RecordingBar bar;
    ASSERT_TRUE(extractor.openMapping(written(dir, "folder.dbx", folder.bytes())));
    extractor.copyWithoutBlockHeaders(dir / "no such folder" / "working.tmp", bar);
    extractor.closeMapping();
    EXPECT_TRUE(extractor.copyFailed());
    ASSERT_FALSE(bar.positions.empty());
    EXPECT_EQ(bar.positions.back(), 50);

    // Each mail that cannot be created is counted, and still takes its number.
    ASSERT_TRUE(extractor.openMapping(written(dir, "working.tmp", working)));
    extractor.carveMails((dir / "no such folder" / "mail").string(), bar);
    extractor.closeMapping();
    EXPECT_EQ(extractor.mailsWritten(), 0u);
    EXPECT_EQ(extractor.mailsFailed(), mails);
    EXPECT_EQ(extractor.nextCounter(), mails + 1);
}

// --- Real files -----------------------------------------------------------------------

TEST(AdvancedScanRealFiles, AgreeWithThePlainProcedure)
{
    const std::vector<fs::path> files = realCorpusFiles();
    if (files.empty())
        GTEST_SKIP() << realCorpusMissing();

    std::size_t total = 0;
    for (const fs::path& file : files) {
        const ByteString source = toBytes(readFile(file));
        std::size_t carved = 0;
        for (const std::size_t window : {std::size_t {0}, kPage}) {
            TempDir dir;
            const AdvancedScanRun run = runAdvancedScan(file, dir.path(), window);
            EXPECT_TRUE(matchesOracle(run, source)) << file.filename() << ", window " << window;
            for (const std::string& mail : run.mails)
                EXPECT_TRUE(mail.empty() || mail.back() != '\0') << file.filename();
            carved = run.mails.size();
        }
        std::cout << "[ carved   ] " << file.filename().string() << ": " << carved << " mails\n";
        total += carved;
    }
    std::cout << "[ carved   ] " << files.size() << " files: " << total << " mails\n";
    RecordProperty("mails", static_cast<int>(total));
}

} // namespace
} // namespace mailmend::testing
