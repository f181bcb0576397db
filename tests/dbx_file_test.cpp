// SPDX-License-Identifier: GPL-3.0-or-later
// DbxFile end to end: built .dbx files in, .eml files and log lines out.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <sys/resource.h>
#include <cctype>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "dbx/dbx_file.h"
#include "log/text.h"
#include "support/dbx_fixture.h"
#include "support/recording.h"
#include "support/temp_dir.h"

namespace mailmend::dbx {
namespace {

namespace fs = std::filesystem;
using testing::DbxFixture;
using testing::errorLine;
using testing::execLine;
using testing::Layout;
using testing::LogLine;
using testing::mailText;
using testing::Order;
using testing::readFile;

// Everything one run of the reader over a file gave.
struct ReaderRun {
    std::int32_t count = -1;
    std::vector<MailWriteResult> results;
    std::vector<std::uint64_t> heads; // file position of each mail's first block
    std::vector<std::string> paths;
};

class DbxFileTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directory(out); }

    std::string source(const DbxFixture& fixture, const std::string& name = "Inbox.dbx")
    {
        const fs::path path = dir / name;
        fixture.writeTo(path);
        return path.string();
    }

    void attach(DbxFile& file, bool recovery = false)
    {
        file.setLogging(true);
        file.setLogWriter(&log);
        file.setRecoveryMode(recovery);
    }

    ReaderRun recoverAll(const std::string& path, bool recovery = false)
    {
        DbxFile file;
        attach(file, recovery);
        ReaderRun run;
        EXPECT_TRUE(file.open(path));
        EXPECT_EQ(file.findConvertableMails(run.count), run.count);
        for (std::int32_t i = 0; i < run.count; ++i) {
            std::string written;
            const bool ok = file.saveMailToEML(out, written, i);
            EXPECT_EQ(ok, file.lastWriteResult() == MailWriteResult::Written);
            run.results.push_back(file.lastWriteResult());
            run.heads.push_back(file.blockTable()[file.mailHeads()[i]].fileOffset);
            run.paths.push_back(written);
        }
        file.close();
        return run;
    }

    fs::path outFile(const std::string& name) const { return out / name; }

    testing::TempDir dir;
    fs::path out = dir / "out";
    testing::RecordingLog log;
    testing::ScopedMessageSink boxes;
};

// Every mail the damage left whole comes out once, byte for byte, from its own head.
void expectWholeMailsRecovered(const DbxFixture& fixture, const ReaderRun& run)
{
    for (const auto& mail : fixture.expected()) {
        SCOPED_TRACE("planned mail " + std::to_string(mail.mail));
        int found = 0;
        for (std::size_t i = 0; i < run.heads.size(); ++i) {
            if (run.heads[i] != mail.headPosition || run.results[i] != MailWriteResult::Written)
                continue;
            ++found;
            EXPECT_EQ(readFile(run.paths[i]), mail.text) << "mail number " << i;
        }
        EXPECT_EQ(found, 1);
    }
}

TEST_F(DbxFileTest, LogLinesOfAWholeRun)
{
    const DbxFixture fixture({mailText(1, 600), mailText(2, 100)});
    const std::string path = source(fixture);
    const ReaderRun run = recoverAll(path);
    ASSERT_EQ(run.count, 2);

    const std::string first = (out / "Inbox_000001.eml").string();
    const std::string second = (out / "Inbox_000002.eml").string();
    EXPECT_EQ(run.paths, (std::vector<std::string> {first, second}));
    EXPECT_EQ(log.lines(),
              (std::vector<LogLine> {
                  execLine(path + " DBX File opened succssfully."),
                  execLine("Advance Search Initialized"),
                  execLine("Scanning from offset:0 to ReadCount:61700"),
                  execLine("3 Normal object found"),
                  errorLine("Total 0 suspecious object identified"),
                  execLine("2 Mail headers identified"),
                  execLine("2 Convertable mails found."),
                  execLine("Mail 0 Starts at 60116 Offset"),
                  execLine("Mail:0 saved successfully to file:" + first),
                  execLine("Mail 1 Starts at 61172 Offset"),
                  execLine("Mail:1 saved successfully to file:" + second),
                  execLine(path + " DBX File closed succssfully."),
              }));
    EXPECT_EQ(readFile(first), fixture.mails()[0].text);
    EXPECT_EQ(readFile(second), fixture.mails()[1].text);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(DbxFileTest, LoggingOffWritesNoLines)
{
    const std::string path = source(DbxFixture({mailText(1, 900)}));
    DbxFile file;
    file.setLogWriter(&log);
    ASSERT_TRUE(file.open(path));
    std::int32_t count = 0;
    EXPECT_EQ(file.findConvertableMails(count), 1);
    std::string written;
    EXPECT_TRUE(file.saveMailToEML(out, written, 0));
    file.close();
    EXPECT_TRUE(log.lines().empty());
}

// Fixtures of every layout and kind of damage; the whole mails must come out exact.
struct Scenario {
    const char* name;
    std::function<DbxFixture()> build;
    bool undamaged;
};

void PrintTo(const Scenario& s, std::ostream* os)
{
    *os << s.name;
}

std::vector<std::string> mailsOfSizes(const std::vector<std::size_t>& sizes)
{
    std::vector<std::string> mails;
    for (std::size_t i = 0; i < sizes.size(); ++i)
        mails.push_back(mailText(static_cast<int>(i), sizes[i]));
    return mails;
}

std::vector<std::string> manyMails(int count, int seed)
{
    std::vector<std::string> mails;
    for (int m = 0; m < count; ++m)
        mails.push_back(mailText(m, 1 + static_cast<std::size_t>((m * 1237 + seed * 71) % 4700)));
    return mails;
}

const std::vector<std::size_t> kEdgeSizes {1, 511, 512, 513, 1024, 1025, 5000, 300, 2048};

Layout layoutOf(Order order, std::size_t maxGap = 0, std::uint32_t seed = 1)
{
    Layout layout;
    layout.order = order;
    layout.maxGap = maxGap;
    layout.seed = seed;
    return layout;
}

std::vector<Scenario> scenarios()
{
    return {
        {"Sequential", [] { return DbxFixture(mailsOfSizes(kEdgeSizes)); }, true},
        {"Reversed", [] { return DbxFixture(mailsOfSizes(kEdgeSizes), layoutOf(Order::Reversed)); },
         true},
        {"Shuffled", [] { return DbxFixture(manyMails(40, 1), layoutOf(Order::Shuffled)); }, true},
        {"ShuffledOtherSeed",
         [] { return DbxFixture(manyMails(40, 2), layoutOf(Order::Shuffled, 0, 9)); }, true},
        {"UnalignedWithGarbage",
         [] {
             auto layout = layoutOf(Order::Sequential, 700, 3);
             layout.garbage = true;
             layout.trailing = 333;
             return DbxFixture(mailsOfSizes(kEdgeSizes), layout);
         },
         true},
        {"FakeMarkersBetweenBlocks",
         [] {
             auto layout = layoutOf(Order::Shuffled, 120, 4);
             layout.fakeMarkers = true;
             return DbxFixture(manyMails(30, 4), layout);
         },
         true},
        {"LyingOffsets",
         [] {
             auto layout = layoutOf(Order::Shuffled, 30, 5);
             layout.lyingOffsets = true;
             return DbxFixture(manyMails(30, 5), layout);
         },
         true},
        {"LeftoverTails",
         [] {
             auto layout = layoutOf(Order::Sequential, 0, 6);
             layout.leftoverTail = true;
             return DbxFixture(mailsOfSizes(kEdgeSizes), layout);
         },
         true},
        {"SeveralChunks",
         [] {
             auto layout = layoutOf(Order::Sequential, 45, 7);
             layout.fakeMarkers = true;
             layout.leftoverTail = true;
             return DbxFixture(manyMails(150, 7), layout);
         },
         true},
        {"SeveralChunksShuffledLying",
         [] {
             auto layout = layoutOf(Order::Shuffled, 45, 8);
             layout.lyingOffsets = true;
             return DbxFixture(manyMails(150, 8), layout);
         },
         true},
        {"Truncated",
         [] {
             DbxFixture fixture(manyMails(100, 9), layoutOf(Order::Sequential, 20, 9));
             fixture.truncate(fixture.size() * 7 / 10);
             return fixture;
         },
         false},
        {"TruncatedShuffled",
         [] {
             DbxFixture fixture(manyMails(100, 10), layoutOf(Order::Shuffled, 20, 10));
             fixture.truncate(fixture.size() * 6 / 10 + 5);
             return fixture;
         },
         false},
        {"ZeroedRanges",
         [] {
             auto layout = layoutOf(Order::Shuffled, 10, 11);
             layout.garbage = true;
             DbxFixture fixture(manyMails(120, 11), layout);
             fixture.zero(70000, 74000);
             fixture.zero(testing::kChunkStride * 2 - 100, testing::kChunkStride * 2 + 1700);
             fixture.zero(fixture.size() - 3000, fixture.size() - 2990);
             return fixture;
         },
         false},
        {"BlocksOnChunkEdges",
         [] {
             // One three-block mail per read-chunk edge, its middle block starting
             // j = -8..+8 bytes from the edge, its neighbours close by on either side.
             std::vector<std::string> mails;
             std::vector<std::uint64_t> positions;
             for (int k = 1; k <= 17; ++k) {
                 mails.push_back(mailText(k, 1400));
                 const std::uint64_t middle = k * testing::kChunkStride + (k - 9);
                 positions.insert(positions.end(), {middle - 600, middle, middle + 529});
             }
             Layout layout;
             layout.positions = positions;
             layout.garbage = true;
             layout.fakeMarkers = true;
             return DbxFixture(mails, layout);
         },
         true},
    };
}

class DamageKinds : public DbxFileTest, public ::testing::WithParamInterface<Scenario> {};

TEST_P(DamageKinds, WholeMailsComeOutExact)
{
    const DbxFixture fixture = GetParam().build();
    if (GetParam().undamaged) {
        ASSERT_EQ(fixture.expected().size(), fixture.mails().size());
    }
    const ReaderRun run = recoverAll(source(fixture));
    expectWholeMailsRecovered(fixture, run);

    int written = 0;
    for (std::size_t i = 0; i < run.results.size(); ++i) {
        if (run.results[i] == MailWriteResult::Written)
            ++written;
        else
            EXPECT_EQ(run.results[i], MailWriteResult::TakenOver) << "mail number " << i;
    }
    if (GetParam().undamaged) {
        EXPECT_EQ(written, static_cast<int>(fixture.mails().size()));
    }
    EXPECT_TRUE(boxes.shown().empty());
}

INSTANTIATE_TEST_SUITE_P(Fixtures, DamageKinds, ::testing::ValuesIn(scenarios()),
                         [](const auto& p) { return std::string(p.param.name); });

// A middle block lost: its chain ends in a link to nothing and is dropped; the block
// after the gap starts a mail of its own.
TEST_F(DbxFileTest, CutChainIsRejectedAndItsTailStandsAlone)
{
    DbxFixture fixture(mailsOfSizes({300, 1536, 200}));
    const auto& middle = fixture.block(1, 1);
    fixture.zero(middle.position, middle.position + 16);
    const ReaderRun run = recoverAll(source(fixture));

    ASSERT_EQ(run.count, 3);
    EXPECT_TRUE(log.contains(errorLine(
        strprintf("Mail 1 rejected as last object in chain has nextoffset=%x", middle.selfOffset))));
    EXPECT_EQ(run.heads, (std::vector<std::uint64_t> {fixture.block(0, 0).position,
                                                      fixture.block(1, 2).position,
                                                      fixture.block(2, 0).position}));
    EXPECT_EQ(readFile(run.paths[1]), fixture.mails()[1].text.substr(1024));
    expectWholeMailsRecovered(fixture, run);
}

TEST_F(DbxFileTest, LastBlockLinkingToNoBlockIsRejected)
{
    DbxFixture fixture(mailsOfSizes({1024, 100}));
    fixture.setNextOffset(0, 1, 60117);
    const ReaderRun run = recoverAll(source(fixture));
    ASSERT_EQ(run.count, 1);
    EXPECT_EQ(run.heads[0], fixture.block(1, 0).position);
    EXPECT_TRUE(
        log.contains(errorLine("Mail 0 rejected as last object in chain has nextoffset=ead5")));
}

TEST_F(DbxFileTest, TruncatedInsideTheLastUsedBytesSavesWhatIsThere)
{
    DbxFixture fixture(mailsOfSizes({700}));
    const auto& last = fixture.block(0, 1);
    fixture.truncate(last.position + 16 + 100);
    const ReaderRun run = recoverAll(source(fixture));
    ASSERT_EQ(run.count, 1);
    EXPECT_EQ(run.results[0], MailWriteResult::Written);
    EXPECT_EQ(readFile(run.paths[0]), fixture.mails()[0].text.substr(0, 612));
    EXPECT_TRUE(log.contains(errorLine("Mail 0 is cut short by the end of the file")));
}

TEST_F(DbxFileTest, TruncatedInsideTheLastHeaderLosesTheMail)
{
    DbxFixture fixture(mailsOfSizes({700}));
    const auto& last = fixture.block(0, 1);
    fixture.truncate(last.position + 15);
    const ReaderRun run = recoverAll(source(fixture));
    EXPECT_EQ(run.count, 0);
    EXPECT_TRUE(log.contains(errorLine(
        strprintf("Mail 0 rejected as last object in chain has nextoffset=%x", last.selfOffset))));
}

// The last block links back to the first: the list procedure would lose the head, so it
// goes back at the end of the list, and each block is written once.
TEST_F(DbxFileTest, LoopBackToTheFirstBlockIsWrittenLast)
{
    DbxFixture fixture(mailsOfSizes({300, 1024, 200}));
    fixture.linkLastBlockTo(1, 1, 0);
    const ReaderRun run = recoverAll(source(fixture));
    ASSERT_EQ(run.count, 3);
    EXPECT_EQ(run.heads, (std::vector<std::uint64_t> {fixture.block(0, 0).position,
                                                      fixture.block(2, 0).position,
                                                      fixture.block(1, 0).position}));
    ASSERT_EQ(run.results, std::vector<MailWriteResult>(3, MailWriteResult::Written));
    EXPECT_EQ(readFile(run.paths[0]), fixture.mails()[0].text);
    EXPECT_EQ(readFile(run.paths[1]), fixture.mails()[2].text);
    EXPECT_EQ(readFile(run.paths[2]), fixture.mails()[1].text);
}

TEST_F(DbxFileTest, BlockLinkingToItselfIsOneMail)
{
    DbxFixture fixture(mailsOfSizes({512, 100}));
    fixture.linkLastBlockTo(0, 0, 0);
    const ReaderRun run = recoverAll(source(fixture));
    ASSERT_EQ(run.count, 2);
    EXPECT_EQ(run.heads[1], fixture.block(0, 0).position);
    ASSERT_EQ(run.results[1], MailWriteResult::Written);
    EXPECT_EQ(readFile(run.paths[1]), fixture.mails()[0].text);
}

// Looping into the middle: when the middle block lies before the last one, the list
// procedure never finds the last block's successor and the chain is dropped.
TEST_F(DbxFileTest, LoopIntoTheMiddleInFileOrderIsRejected)
{
    DbxFixture fixture(mailsOfSizes({300, 1536, 200}));
    fixture.linkLastBlockTo(1, 1, 1);
    const ReaderRun run = recoverAll(source(fixture));
    ASSERT_EQ(run.count, 2);
    EXPECT_TRUE(log.contains(errorLine(strprintf(
        "Mail 1 rejected as last object in chain has nextoffset=%x", fixture.block(1, 1).selfOffset))));
    expectWholeMailsRecovered(fixture, run);
}

// ... and when it lies after it, the chain is linked with its loop; the walk ends at the
// repeated block and the mail holds each block once.
TEST_F(DbxFileTest, LoopIntoTheMiddleEndsAtTheRepeatedBlock)
{
    Layout layout;
    layout.placement = {{0, 0}, {1, 0}, {1, 2}, {1, 1}, {2, 0}};
    DbxFixture fixture(mailsOfSizes({300, 1536, 200}), layout);
    fixture.linkLastBlockTo(1, 1, 1);
    const ReaderRun run = recoverAll(source(fixture));
    ASSERT_EQ(run.count, 3);
    EXPECT_EQ(run.heads[1], fixture.block(1, 0).position);
    ASSERT_EQ(run.results[1], MailWriteResult::Written);
    EXPECT_EQ(readFile(run.paths[1]), fixture.mails()[1].text);
}

TEST_F(DbxFileTest, TwoChainsSharingASuccessor)
{
    DbxFixture fixture(mailsOfSizes({1024, 1536}));
    fixture.linkLastBlockTo(0, 1, 1);
    const ReaderRun run = recoverAll(source(fixture));
    ASSERT_EQ(run.count, 1);
    EXPECT_TRUE(log.contains(errorLine(strprintf(
        "Mail 0 rejected as last object in chain has nextoffset=%x", fixture.block(1, 1).selfOffset))));
    EXPECT_EQ(run.heads[0], fixture.block(1, 0).position);
    EXPECT_EQ(readFile(run.paths[0]), fixture.mails()[1].text);
}

// Blocks of one mail in the order first, last, middle: the last block is taken for a
// head of its own until the middle block joins the two pieces. Its entry stays in the
// list and is refused as part of another mail.
TEST_F(DbxFileTest, HeadTakenOverByAnotherChainIsNotWritten)
{
    Layout layout;
    layout.placement = {{0, 0}, {0, 2}, {0, 1}};
    const DbxFixture fixture({mailText(1, 1300)}, layout);
    const std::string path = source(fixture);
    DbxFile file;
    attach(file);
    ASSERT_TRUE(file.open(path));
    std::int32_t count = 0;
    ASSERT_EQ(file.findConvertableMails(count), 2);

    std::string first;
    EXPECT_TRUE(file.saveMailToEML(out, first, 0));
    EXPECT_EQ(readFile(first), fixture.mails()[0].text);
    std::string second;
    EXPECT_FALSE(file.saveMailToEML(out, second, 1));
    EXPECT_EQ(file.lastWriteResult(), MailWriteResult::TakenOver);
    EXPECT_EQ(log.lines().back(), errorLine("could not write  file to " + out.string() + " folder"));
    EXPECT_FALSE(fs::exists(outFile("Inbox_000002.eml")));
}

struct NameCase {
    const char* file;
    const char* firstOutput;
};

void PrintTo(const NameCase& c, std::ostream* os)
{
    *os << c.file;
}

class OutputNames : public DbxFileTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(OutputNames, BaseNameIsTheFileNameWithoutItsLastFourCharacters)
{
    const ReaderRun run = recoverAll(source(DbxFixture({mailText(1, 50)}), GetParam().file));
    ASSERT_EQ(run.count, 1);
    EXPECT_EQ(run.paths[0], outFile(GetParam().firstOutput).string());
    EXPECT_TRUE(fs::exists(outFile(GetParam().firstOutput)));
}

INSTANTIATE_TEST_SUITE_P(Names, OutputNames,
                         ::testing::Values(NameCase {"Inbox.dbx", "Inbox_000001.eml"},
                                           NameCase {"Sent Items.dbx", "Sent Items_000001.eml"},
                                           NameCase {"Posteingang.DBX", "Posteingang_000001.eml"},
                                           NameCase {"mail.dbx.bak", "mail.dbx_000001.eml"},
                                           NameCase {"abcde", "a_000001.eml"},
                                           NameCase {"abcd", "_000001.eml"},
                                           NameCase {"abc", "_000001.eml"}),
                         [](const auto& p) {
                             std::string name;
                             for (const char c : std::string(p.param.file))
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

TEST_F(DbxFileTest, SavingTheSameNumberTwiceOverwrites)
{
    const DbxFixture fixture({mailText(1, 400)});
    const std::string path = source(fixture);
    DbxFile file;
    attach(file);
    ASSERT_TRUE(file.open(path));
    std::int32_t count = 0;
    ASSERT_EQ(file.findConvertableMails(count), 1);
    std::string written;
    ASSERT_TRUE(file.saveMailToEML(out, written, 0));
    testing::writeFile(written, std::string(5000, 'z'));
    ASSERT_TRUE(file.saveMailToEML(out, written, 0));
    EXPECT_EQ(readFile(written), fixture.mails()[0].text);
}

TEST_F(DbxFileTest, IndexOutOfRange)
{
    const std::string path = source(DbxFixture(mailsOfSizes({10, 20})));
    DbxFile file;
    attach(file);
    ASSERT_TRUE(file.open(path));
    std::int32_t count = 0;
    ASSERT_EQ(file.findConvertableMails(count), 2);
    for (const std::int32_t i : {2, -1}) {
        log.clear();
        std::string written;
        EXPECT_FALSE(file.saveMailToEML(out, written, i));
        EXPECT_EQ(file.lastWriteResult(), MailWriteResult::IndexOutOfRange);
        EXPECT_EQ(log.lines(),
                  (std::vector<LogLine> {
                      errorLine(strprintf("Email index out of bound, Trying to recover email "
                                          "no=%d out of 2",
                                          i)),
                      errorLine("could not write  file to " + out.string() + " folder"),
                  }));
    }
}

TEST_F(DbxFileTest, NullPathIsRefusedWithABox)
{
    for (const bool logging : {true, false}) {
        log.clear();
        DbxFile file;
        attach(file);
        file.setLogging(logging);
        EXPECT_FALSE(file.open("Null"));
        EXPECT_FALSE(file.isOpen());
        EXPECT_EQ(log.lines(),
                  logging ? std::vector<LogLine> {errorLine("ERROR: Invalid file path")}
                          : std::vector<LogLine> {});
    }
    const auto shown = boxes.shown();
    ASSERT_EQ(shown.size(), 2u);
    for (const auto& box : shown) {
        EXPECT_EQ(box.text, "ERROR: Invalid file path");
        EXPECT_EQ(box.caption, "Mailmend");
    }
}

TEST_F(DbxFileTest, CallsBeforeOpen)
{
    DbxFile file;
    attach(file);
    std::int32_t count = 77;
    EXPECT_EQ(file.findConvertableMails(count), -1);
    EXPECT_EQ(count, 77);
    std::string written = "unchanged";
    EXPECT_FALSE(file.saveMailToEML(out, written, 0));
    EXPECT_EQ(file.lastWriteResult(), MailWriteResult::NotOpen);
    EXPECT_EQ(written, "unchanged");
    file.close();
    EXPECT_EQ(log.lines(),
              (std::vector<LogLine> {
                  errorLine("Trying to find convertable mails without opening the file"),
                  errorLine("trying to save mail to EML without opening DBX file"),
                  errorLine("Error: Trying to close file without opening DBX file first"),
              }));
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(DbxFileTest, OutputFolderThatDoesNotExist)
{
    const std::string path = source(DbxFixture({mailText(1, 10)}));
    DbxFile file;
    attach(file);
    ASSERT_TRUE(file.open(path));
    std::int32_t count = 0;
    ASSERT_EQ(file.findConvertableMails(count), 1);
    const fs::path missing = dir / "no" / "such";
    std::string written;
    EXPECT_FALSE(file.saveMailToEML(missing, written, 0));
    EXPECT_EQ(file.lastWriteResult(), MailWriteResult::CannotCreate);
    EXPECT_EQ(written, (missing / "Inbox_000001.eml").string());
    EXPECT_EQ(log.lines().back(), errorLine("could not write " + written + " file to "
                                            + missing.string() + " folder"));
}

TEST_F(DbxFileTest, OutputNameLongerThanTheSystemAllows)
{
    const std::string name = std::string(NAME_MAX - 4, 'n') + ".dbx"; // output adds 7 more
    const std::string path = source(DbxFixture({mailText(1, 10)}), name);
    DbxFile file;
    attach(file);
    ASSERT_TRUE(file.open(path));
    std::int32_t count = 0;
    ASSERT_EQ(file.findConvertableMails(count), 1);
    std::string written;
    EXPECT_FALSE(file.saveMailToEML(out, written, 0));
    EXPECT_EQ(file.lastWriteResult(), MailWriteResult::CannotCreate);
    EXPECT_EQ(log.lines().back(),
              errorLine("could not write " + written + " file to " + out.string() + " folder"));
}

TEST_F(DbxFileTest, PathsLongerThan260Characters)
{
    fs::path deep = dir.path();
    for (int i = 0; i < 8; ++i)
        deep /= std::string(40, static_cast<char>('a' + i));
    fs::create_directories(deep);
    const DbxFixture fixture({mailText(1, 800)});
    const fs::path input = deep / (std::string(100, 'i') + ".dbx");
    fixture.writeTo(input);
    ASSERT_GT(input.string().size(), 400u);

    DbxFile file;
    attach(file);
    ASSERT_TRUE(file.open(input.string()));
    std::int32_t count = 0;
    ASSERT_EQ(file.findConvertableMails(count), 1);
    std::string written;
    ASSERT_TRUE(file.saveMailToEML(deep, written, 0));
    EXPECT_EQ(readFile(written), fixture.mails()[0].text);
}

TEST_F(DbxFileTest, LinkAtTheMailsNameIsRefusedAndAShortWriteLeavesNoFile)
{
    const std::string path = source(DbxFixture({mailText(1, 3000)}));
    const fs::path target = dir / "target.txt";
    testing::writeFile(target, std::string("keep"));
    fs::create_symlink(target, outFile("Inbox_000001.eml"));
    DbxFile file;
    attach(file);
    ASSERT_TRUE(file.open(path));
    std::int32_t count = 0;
    ASSERT_EQ(file.findConvertableMails(count), 1);
    std::string written;
    EXPECT_FALSE(file.saveMailToEML(out, written, 0));
    EXPECT_EQ(file.lastWriteResult(), MailWriteResult::CannotCreate);
    EXPECT_EQ(readFile(target), "keep");

    // A disk that fills up: files may grow to 1000 bytes only.
    fs::remove(outFile("Inbox_000001.eml"));
    struct rlimit before {};
    ::getrlimit(RLIMIT_FSIZE, &before);
    const struct rlimit small {1000, before.rlim_max};
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    const bool saved = file.saveMailToEML(out, written, 0);
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved);
    EXPECT_EQ(file.lastWriteResult(), MailWriteResult::WriteFailed);
    EXPECT_FALSE(fs::exists(written));
    EXPECT_FALSE(log.contains(execLine("Mail:0 saved successfully to file:" + written)));
}

// Opens files through a wrapper with one unreadable byte: a read that reaches it stops
// short just before it.
std::atomic<std::uint64_t> g_badByte {UINT64_MAX};

class WithBadByte final : public platform::ReadableFile {
public:
    explicit WithBadByte(std::unique_ptr<platform::ReadableFile> file) : m_file(std::move(file)) {}
    std::uint64_t size() const override { return m_file->size(); }
    std::size_t readAt(std::uint64_t position, void* buffer, std::size_t count) override
    {
        const std::uint64_t bad = g_badByte;
        if (position <= bad && bad - position < count)
            count = static_cast<std::size_t>(bad - position);
        return count == 0 ? 0 : m_file->readAt(position, buffer, count);
    }

private:
    std::unique_ptr<platform::ReadableFile> m_file;
};

platform::OpenResult openWithBadByte(const fs::path& path)
{
    auto result = platform::openForReading(path);
    if (result.file)
        result.file = std::make_unique<WithBadByte>(std::move(result.file));
    return result;
}

TEST_F(DbxFileTest, UnreadableMiddleBlockFailsTheMailAndLeavesNoFile)
{
    const DbxFixture fixture({mailText(1, 1400)});
    const auto& middle = fixture.block(0, 1);
    const std::string path = source(fixture);
    DbxFile file;
    attach(file);
    file.setOpener(&openWithBadByte);
    ASSERT_TRUE(file.open(path));
    std::int32_t count = 0;
    ASSERT_EQ(file.findConvertableMails(count), 1);
    g_badByte = middle.position + 16 + 100; // goes bad after the scan
    std::string written;
    EXPECT_FALSE(file.saveMailToEML(out, written, 0));
    g_badByte = UINT64_MAX;

    EXPECT_EQ(file.lastWriteResult(), MailWriteResult::ReadFailed);
    EXPECT_FALSE(fs::exists(written));
    EXPECT_TRUE(log.contains(errorLine(strprintf("Error reading block No:1 (offset=%llu) of Email No:0 ",
                                                 static_cast<unsigned long long>(middle.position)))));
}

// Recovery mode: the header test over the used bytes of the first five blocks.
std::string headerLines(const std::vector<std::string>& names)
{
    std::string text;
    for (const auto& name : names)
        text += name + " value\r\n";
    return text + "\r\nBody of the mail.\r\n";
}

// Header names, then "X-MimeOLE:" starting at byte `at` of the mail.
std::string mimeOleAt(std::size_t at)
{
    std::string text = headerLines({"From:", "To:", "Subject:", "Date:", "MIME-Version:"});
    text.resize(at, 'x');
    return text + "X-MimeOLE: V6\r\n\r\nBody\r\n";
}

struct HeaderCase {
    const char* name;
    std::string text;
    bool passes;
};

void PrintTo(const HeaderCase& c, std::ostream* os)
{
    *os << c.name;
}

class RecoveryMode : public DbxFileTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(RecoveryMode, HeaderTest)
{
    const HeaderCase& c = GetParam();
    const DbxFixture fixture({c.text});
    const ReaderRun run = recoverAll(source(fixture), true);
    ASSERT_EQ(run.count, 1);
    const fs::path output = outFile("Inbox_000001.eml");
    if (c.passes) {
        EXPECT_EQ(run.results[0], MailWriteResult::Written);
        EXPECT_EQ(readFile(output), c.text);
        return;
    }
    EXPECT_EQ(run.results[0], MailWriteResult::HeaderTestFailed);
    EXPECT_FALSE(fs::exists(output));
    const auto lines = log.lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3],
              errorLine("Mail 0 rejected as no valid mail header found in it."));
    EXPECT_EQ(lines[lines.size() - 2],
              errorLine("could not write " + output.string() + " file to " + out.string() + " folder"));
}

INSTANTIATE_TEST_SUITE_P(
    Conditions, RecoveryMode,
    ::testing::Values(
        HeaderCase {"WrittenByOutlookExpress",
                    headerLines({"From:", "To:", "Subject:", "Date:", "MIME-Version:", "X-MimeOLE:"}), true},
        HeaderCase {"WrittenLowerCaseVariants",
                    headerLines({"Date:", "X-mimeOLE:", "Subject:", "MIME-version:", "To:", "From:"}), true},
        HeaderCase {"NoMimeOle", headerLines({"From:", "To:", "Subject:", "Date:", "MIME-Version:"}), false},
        HeaderCase {"OnlyFromToSubjectDate", headerLines({"From:", "To:", "Subject:", "Date:"}), false},
        HeaderCase {"ReceivedCapitalised",
                    headerLines({"Received:", "Delivered-To:", "Return-Path:", "From:", "To:", "Subject:"}), true},
        HeaderCase {"ReceivedCapitalisedAlternatives",
                    headerLines({"Received:", "Envelope-To:", "Reply-To:", "From:", "To:", "Subject:"}), true},
        HeaderCase {"ReceivedLowerCase",
                    headerLines({"Received:", "Delivered-to:", "Return-path:", "From:", "To:", "Subject:"}), true},
        HeaderCase {"ReceivedLowerCaseAlternatives",
                    headerLines({"Received:", "Envelope-to:", "Reply-to:", "From:", "To:", "Subject:"}), true},
        HeaderCase {"MixedDeliveredLowerReturnUpper",
                    headerLines({"Received:", "Delivered-to:", "Return-Path:", "From:", "To:", "Subject:"}), false},
        HeaderCase {"MixedDeliveredUpperReturnLower",
                    headerLines({"Received:", "Delivered-To:", "Return-path:", "From:", "To:", "Subject:"}), false},
        HeaderCase {"ReceivedWithoutSubject",
                    headerLines({"Received:", "Delivered-To:", "Return-Path:", "From:", "To:"}), false},
        HeaderCase {"ToFoundInsideOtherNames",
                    headerLines({"Received:", "Delivered-To:", "Return-Path:", "From:", "Subject:"}), true},
        HeaderCase {"LowerCaseNames",
                    headerLines({"from:", "to:", "subject:", "date:", "MIME-Version:", "X-MimeOLE:"}), false},
        HeaderCase {"ZeroByteEndsTheText",
                    std::string("From: a\r\nTo: b\r\n") + '\0' + headerLines({"Subject:", "Date:", "MIME-Version:", "X-MimeOLE:"}),
                    false},
        HeaderCase {"HeaderInTheFifthBlock", mimeOleAt(4 * 512 + 10), true},
        HeaderCase {"HeaderAcrossFourthAndFifthBlock", mimeOleAt(4 * 512 - 4), true},
        HeaderCase {"HeaderInTheSixthBlock", mimeOleAt(5 * 512 + 10), false},
        HeaderCase {"HeaderAcrossFifthAndSixthBlock", mimeOleAt(5 * 512 - 4), false}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(DbxFileTest, RecoveryModeLooksOnlyAtUsedBytes)
{
    const std::string text = headerLines({"From:", "To:", "Subject:", "Date:", "MIME-Version:"});
    DbxFixture fixture({text});
    const std::string tail = "X-MimeOLE: V6\r\n";
    fixture.overwrite(fixture.block(0, 0).position + 16 + text.size(),
                      std::vector<unsigned char>(tail.begin(), tail.end()));
    const ReaderRun run = recoverAll(source(fixture), true);
    ASSERT_EQ(run.count, 1);
    EXPECT_EQ(run.results[0], MailWriteResult::HeaderTestFailed);
}

TEST_F(DbxFileTest, RecoveryModeOffWritesWhateverTheChainHolds)
{
    const DbxFixture fixture({std::string(700, 'q')});
    const ReaderRun run = recoverAll(source(fixture), false);
    ASSERT_EQ(run.count, 1);
    EXPECT_EQ(run.results[0], MailWriteResult::Written);
}

// The file ends right after the used bytes of the last mail: the header test has all it
// needs, so the mail is not refused.
TEST_F(DbxFileTest, RecoveryModeKeepsTheLastMailOfATruncatedFile)
{
    DbxFixture fixture({mailText(1, 700), mailText(2, 300)});
    const auto& last = fixture.block(1, 0);
    fixture.truncate(last.position + 16 + 300);
    const ReaderRun run = recoverAll(source(fixture), true);
    ASSERT_EQ(run.count, 2);
    ASSERT_EQ(run.results, std::vector<MailWriteResult>(2, MailWriteResult::Written));
    EXPECT_EQ(readFile(run.paths[1]), fixture.mails()[1].text);
}

TEST_F(DbxFileTest, RecoveryModeLastMailCutInsideItsFirstBlock)
{
    DbxFixture fixture({mailText(1, 700), mailText(2, 300)});
    const auto& last = fixture.block(1, 0);
    fixture.truncate(last.position + 16 + 299);
    const std::string path = source(fixture);
    const ReaderRun recovering = recoverAll(path, true);
    ASSERT_EQ(recovering.count, 2);
    EXPECT_EQ(recovering.results[1], MailWriteResult::HeaderTestFailed);
    EXPECT_TRUE(log.contains(errorLine("Error reading even first block of Email No:1")));

    // Without the header test, what the file still holds of the block is written.
    const ReaderRun plain = recoverAll(path, false);
    ASSERT_EQ(plain.count, 2);
    EXPECT_EQ(plain.results[1], MailWriteResult::Written);
    EXPECT_EQ(readFile(plain.paths[1]), fixture.mails()[1].text.substr(0, 299));
}

TEST_F(DbxFileTest, RecoveryModeLastMailCutInsideALaterBlock)
{
    DbxFixture fixture({mailText(1, 1300)});
    const auto& last = fixture.block(0, 2);
    fixture.truncate(last.position + 16 + 100);
    const ReaderRun run = recoverAll(source(fixture), true);
    ASSERT_EQ(run.count, 1);
    EXPECT_EQ(run.results[0], MailWriteResult::Written);
    EXPECT_EQ(readFile(run.paths[0]), fixture.mails()[0].text.substr(0, 1124));
}

// Bad input: a clear result, no crash.
TEST_F(DbxFileTest, MissingFileOrDirectoryFailsToOpenWithABox)
{
    for (const fs::path& input : {dir / "absent.dbx", dir.path()}) {
        SCOPED_TRACE(input);
        log.clear();
        const std::string path = input.string();
        DbxFile file;
        attach(file);
        EXPECT_FALSE(file.open(path));
        EXPECT_FALSE(file.isOpen());
        EXPECT_FALSE(file.lastOpenError().empty());
        const std::string message = "Error Opening " + path + " file. \nConvertion fails for this file";
        EXPECT_EQ(log.lines(), std::vector<LogLine> {errorLine(message)});
        const auto shown = boxes.shown();
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back().text, message + "\n" + file.lastOpenError());
        EXPECT_EQ(shown.back().caption, "Mailmend");
        std::int32_t count = 3;
        EXPECT_EQ(file.findConvertableMails(count), -1);
        EXPECT_EQ(count, 3);
    }
    EXPECT_EQ(boxes.shown().size(), 2u);
}

TEST_F(DbxFileTest, FilesTooSmallForABlockHoldNoMails)
{
    for (const std::size_t size : {0, 7, 8, 15, 100}) {
        SCOPED_TRACE(size);
        log.clear();
        std::vector<unsigned char> bytes(size, 0);
        std::copy_n(testing::kMailFolderHeader, std::min<std::size_t>(size, 8), bytes.begin());
        testing::writeFile(dir / "small.dbx", bytes);
        DbxFile file;
        attach(file);
        ASSERT_TRUE(file.open((dir / "small.dbx").string()));
        std::int32_t count = -5;
        EXPECT_EQ(file.findConvertableMails(count), 0);
        EXPECT_EQ(count, 0);
        EXPECT_TRUE(log.contains(execLine("0 Normal object found")));
        EXPECT_TRUE(log.contains(execLine("0 Mail headers identified")));
        EXPECT_TRUE(log.contains(execLine("0 Convertable mails found.")));
        EXPECT_EQ(log.contains(execLine("Scanning from offset:0 to ReadCount:" + std::to_string(size))),
                  size > 0);
        std::string written;
        EXPECT_FALSE(file.saveMailToEML(out, written, 0));
        EXPECT_EQ(file.lastWriteResult(), MailWriteResult::IndexOutOfRange);
        file.close();
    }
}

TEST_F(DbxFileTest, RandomBytes)
{
    std::vector<unsigned char> bytes(700000);
    std::uint64_t state = 12345;
    for (auto& byte : bytes) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        byte = static_cast<unsigned char>(state >> 56);
    }
    testing::writeFile(dir / "noise.dbx", bytes);
    const ReaderRun run = recoverAll((dir / "noise.dbx").string());
    EXPECT_GE(run.count, 0);
    EXPECT_EQ(static_cast<std::size_t>(run.count), run.results.size());
}

// Counts the reads made through files opened for a test; the read numbered
// g_cancelAtRead sets g_cancel, as a Stop arriving while a mail is being read.
std::atomic<int> g_reads {0};
std::atomic<int> g_cancelAtRead {-1};
platform::CancellationToken g_cancel;

class CountingFile final : public platform::ReadableFile {
public:
    explicit CountingFile(std::unique_ptr<platform::ReadableFile> file) : m_file(std::move(file)) {}
    std::uint64_t size() const override { return m_file->size(); }
    std::size_t readAt(std::uint64_t position, void* buffer, std::size_t count) override
    {
        if (++g_reads == g_cancelAtRead)
            g_cancel.cancel();
        return m_file->readAt(position, buffer, count);
    }

private:
    std::unique_ptr<platform::ReadableFile> m_file;
};

platform::OpenResult openCounting(const fs::path& path)
{
    auto result = platform::openForReading(path);
    if (result.file)
        result.file = std::make_unique<CountingFile>(std::move(result.file));
    return result;
}

// A sparse file of the given size; only `block` is written, at `at`.
void makeSparse(const fs::path& path, std::uint64_t size, std::uint64_t at = 0,
                const std::vector<unsigned char>& block = {})
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
    if (!block.empty()) {
        ASSERT_EQ(::pwrite(fd, block.data(), block.size(), static_cast<off_t>(at)),
                  static_cast<ssize_t>(block.size()));
    }
    ::close(fd);
}

class FilesBeyondFourGiB : public DbxFileTest, public ::testing::WithParamInterface<std::uint64_t> {};

TEST_P(FilesBeyondFourGiB, AreRefusedUnread)
{
    const fs::path path = dir / "huge.dbx";
    makeSparse(path, GetParam());
    g_reads = 0;
    DbxFile file;
    attach(file);
    file.setOpener(&openCounting);
    EXPECT_FALSE(file.open(path.string()));
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(g_reads, 0);
    const std::string failure
        = "Error Opening " + path.string() + " file. \nConvertion fails for this file";
    const auto errors = log.messages(true);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_NE(errors[0].find(std::to_string(GetParam())), std::string::npos) << errors[0];
    EXPECT_EQ(errors[1], failure);
    EXPECT_EQ(boxes.texts(), std::vector<std::string> {failure + "\nlarger than 4 GB"});
    std::int32_t count = 9;
    EXPECT_EQ(file.findConvertableMails(count), -1);
    EXPECT_EQ(count, 9);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FilesBeyondFourGiB,
                         ::testing::Values((std::uint64_t {1} << 32) + 1, std::uint64_t {5} << 30));

// One real block past 2 GiB in an otherwise empty sparse file is read with 64-bit
// positions.
TEST_F(DbxFileTest, BlockBeyondTwoGiB)
{
    const std::uint64_t at = (std::uint64_t {1} << 31) + 1001;
    const std::string text = mailText(7, 333);
    auto block = testing::blockHeader(static_cast<std::uint32_t>(at), 333, 0);
    block.insert(block.end(), text.begin(), text.end());
    const fs::path path = dir / "large.dbx";
    makeSparse(path, at + 4096, at, block);

    const ReaderRun run = recoverAll(path.string());
    ASSERT_EQ(run.count, 1);
    EXPECT_EQ(run.heads[0], at);
    EXPECT_TRUE(log.contains(execLine(strprintf("Mail 0 Starts at %llu Offset",
                                                static_cast<unsigned long long>(at)))));
    EXPECT_EQ(readFile(run.paths[0]), text);
}

// A stop while a mail is being read: nothing of it stays behind, and no later mail is
// started.
TEST_F(DbxFileTest, CancelledInsideAMailLeavesNoPartOfIt)
{
    Layout layout;
    layout.order = Order::Shuffled; // each block of the big mail is a read of its own
    layout.maxGap = 3000;
    const DbxFixture fixture({mailText(1, 200), mailText(2, 120 * 512), mailText(3, 200)}, layout);
    const std::string path = source(fixture);
    g_reads = 0;
    g_cancelAtRead = -1;
    g_cancel.reset();
    DbxFile file;
    attach(file);
    file.setOpener(&openCounting);
    file.setCancellation(&g_cancel);
    ASSERT_TRUE(file.open(path));
    std::int32_t count = 0;
    file.findConvertableMails(count);
    // Shuffled blocks leave extra entries in the mail list; find the planned mails' own.
    auto entryOf = [&](std::size_t mail) {
        const std::uint64_t head = fixture.expected()[mail].headPosition;
        for (std::int32_t i = 0; i < count; ++i) {
            const auto& block = file.blockTable()[static_cast<std::size_t>(file.mailHeads()[static_cast<std::size_t>(i)])];
            if (block.fileOffset == head && block.role == BlockRole::MailHead)
                return i;
        }
        return -1;
    };
    const std::int32_t small = entryOf(0);
    const std::int32_t big = entryOf(1);
    ASSERT_GE(small, 0);
    ASSERT_GE(big, 0);
    std::string written;
    ASSERT_TRUE(file.saveMailToEML(out, written, small));

    const int before = g_reads;
    g_cancelAtRead = before + 10;
    EXPECT_FALSE(file.saveMailToEML(out, written, big));
    EXPECT_EQ(file.lastWriteResult(), MailWriteResult::Cancelled);
    EXPECT_GE(g_reads, before + 10) << "the stop came before the mail was read";
    EXPECT_FALSE(fs::exists(written));

    // Nothing is started after the stop.
    for (std::int32_t i = 0; i < count; ++i) {
        if (i == small)
            continue;
        EXPECT_FALSE(file.saveMailToEML(out, written, i));
        EXPECT_NE(file.lastWriteResult(), MailWriteResult::Written);
    }
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(out))
        ++files;
    EXPECT_EQ(files, 1u);
    file.close();
    g_cancelAtRead = -1;
}

} // namespace
} // namespace mailmend::dbx
