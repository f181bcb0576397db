// SPDX-License-Identifier: GPL-3.0-or-later
// The plain Advanced Scan of the test support library on hand-made inputs whose answer is
// worked out by hand: the cases where the copy or the carve does something that a
// cleverer reading of the rules would get wrong. The extractor is checked against it
// elsewhere, so what it does here is what the extractor must do.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "support/advanced_scan_oracle.h"
#include "support/dbx_fixture.h"

namespace mailmend::testing {
namespace {

const AdvancedScanMends kUnmended {false, false, false};

ByteString join(std::initializer_list<ByteString> parts)
{
    ByteString out;
    for (const ByteString& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

ByteString text(const std::string& s)
{
    return toBytes(s);
}

const ByteString kSizeWord {0x00, 0x02, 0x00, 0x00};

std::string copied(const ByteString& source, AdvancedScanMends mends = {})
{
    return toText(literalCopy(source, mends));
}

std::vector<std::string> carved(const std::string& working, AdvancedScanMends mends = {})
{
    const ByteString bytes = toBytes(working);
    return rangeTexts(bytes, literalCarve(bytes, mends), mends);
}

// --- Pass 1 ---------------------------------------------------------------------------

TEST(AdvancedScanOracleCopy, CutsEveryHeaderOutSoThatTheTextRunsOn)
{
    const ByteString source = join({text("Hello, "), blockHeader(0x10000, 3, 0), text("wor"),
                                    blockHeader(0x10210, 3, 0), text("ld!")});
    EXPECT_EQ(copied(source), "Hello, world!");
}

TEST(AdvancedScanOracleCopy, HeaderWhoseSelfOffsetIs0x000200xx)
{
    // xx 00 02 00 | 00 02 00 00: the first size word starts at the selfOffset's second
    // byte. Taken as the size word it takes back "FGH" and the xx byte, and keeps the 3
    // high bytes of nextOffset.
    const ByteString source = join({text("ABCDEFGH"), blockHeader(0x00020010, 6, 0), text("abcdef")});
    EXPECT_EQ(copied(source), "ABCDEFGHabcdef");
    EXPECT_EQ(copied(source, kUnmended), std::string("ABCDE\0\0\0abcdef", 14));

    // A selfOffset of 0x00020000 makes 00 00 02 00 00 02 00 00: the same.
    const ByteString zeroLow = join({text("ABCDEFGH"), blockHeader(0x00020000, 512, 0), text("abcdef")});
    EXPECT_EQ(copied(zeroLow), "ABCDEFGHabcdef");

    // The mend needs a dataLength of 1 to 512 after the real size word.
    for (const std::uint32_t length : {0u, 513u, 0x01000001u}) {
        const ByteString implausible =
            join({text("ABCDEFGH"), blockHeader(0x00020010, length, 0x11223344), text("abcdef")});
        EXPECT_EQ(copied(implausible), std::string("ABCDE\x33\x22\x11" "abcdef", 14)) << length;
    }

    // ...and the real size word must itself be taken, that is have a byte at q + 12:
    // with the header as the last 16 bytes it is not, and the early word is taken.
    const ByteString atEnd = join({text("ABCDEFGH"), blockHeader(0x00020010, 6, 0)});
    EXPECT_EQ(copied(atEnd), std::string("ABCDE\0\0\0", 8));
    const ByteString oneMore = join({atEnd, text("a")});
    EXPECT_EQ(copied(oneMore), "ABCDEFGHa");
}

TEST(AdvancedScanOracleCopy, WordsInsideASkippedHeaderAreNeverSeen)
{
    // 00 02 00 00 02 00 00 with an implausible dataLength: the word at 6 is taken, the one
    // at 9 lies in the 12 bytes it skips.
    const ByteString source = join({text("abcdef"), {0x00, 0x02, 0x00, 0x00, 0x02, 0x00, 0x00},
                                    text("QRSTUVWXYZ")});
    // Bytes 6..17 skipped ("QRSTU" with them), byte 18 is 'V'.
    EXPECT_EQ(copied(source), "abVWXYZ");

    // A dataLength word of 512 is itself a size word, and is skipped with the header.
    const ByteString full = join({text("abcdef"), blockHeader(0x10000, 512, 0), text("ghi")});
    EXPECT_EQ(copied(full), "abcdefghi");
}

TEST(AdvancedScanOracleCopy, TakingBackReachesNoFurtherThanTheStart)
{
    const ByteString source = join({kSizeWord, text("12345678"), text("xyz")});
    EXPECT_EQ(copied(source), "xyz");
    const ByteString two = join({text("ab"), kSizeWord, text("12345678"), text("xyz")});
    EXPECT_EQ(copied(two), "abxyz");
}

TEST(AdvancedScanOracleCopy, StaleBytesStayAtTheEndOnlyWithoutTheTailCut)
{
    // Size words 13 bytes apart: each takes back 4 bytes and writes 1.
    const ByteString source = join({text("ABCDEFGHIJKL"), kSizeWord, text("12345678x"),
                                    kSizeWord, text("12345678y")});
    EXPECT_EQ(copied(source), "ABCDEy");
    EXPECT_EQ(copied(source, {true, false, true}), "ABCDEyGHxJKL");
}

TEST(AdvancedScanOracleCopy, TheLastBytesOfTheSource)
{
    EXPECT_EQ(copied({}), "");
    EXPECT_EQ(copied(text("ab")), "ab");
    // A size word needs a byte 12 on; without it, it is copied like any other bytes.
    const ByteString lastFour = join({text("abc"), kSizeWord});
    EXPECT_EQ(literalCopy(lastFour), lastFour);
    const ByteString twelve = join({text("abcd"), kSizeWord, text("12345678")});
    EXPECT_EQ(literalCopy(twelve), twelve);
    const ByteString thirteen = join({twelve, text("z")});
    EXPECT_EQ(copied(thirteen), "z");
}

// --- Pass 2 ---------------------------------------------------------------------------

const std::string kMailA = "From: a\nMIME-Version: 1.0\n\nbody a\n";
const std::string kMailB = "From: b\nMIME-Version: 1.0\n\nbody b\n";

TEST(AdvancedScanOracleCarve, AMailEndsAtTheNextMailsMimeVersionLine)
{
    EXPECT_EQ(carved(kMailA + kMailB),
              (std::vector<std::string> {kMailA + "From: b\n", kMailB}));
    // Texts are found anywhere, not only at the start of a line, and in three cases.
    EXPECT_EQ(carved("xxfrom: a MIME-version: 1 aFROM: b MIME-Version: 2 b"),
              (std::vector<std::string> {"from: a MIME-version: 1 aFROM: b ", "FROM: b MIME-Version: 2 b"}));
}

TEST(AdvancedScanOracleCarve, CutAtReturnPathElseAtTheLastReceived)
{
    EXPECT_EQ(carved(kMailA + "Return-path: <b>\nReceived: x\nReceived: y\n" + kMailB),
              (std::vector<std::string> {kMailA, kMailB}));
    // Without Return-path: the last Received: before the second MIME-Version: line.
    EXPECT_EQ(carved(kMailA + "Received: x\nReceived: y\n" + kMailB),
              (std::vector<std::string> {kMailA + "Received: x\n", kMailB}));
    // Once a Return-path: is seen, Received: lines no longer move the cut.
    EXPECT_EQ(carved(kMailA + "Received: x\nReturn-path: <b>\nReceived: y\n" + kMailB),
              (std::vector<std::string> {kMailA + "Received: x\n", kMailB}));
    // Only this spelling is a Return-path: line.
    EXPECT_EQ(carved(kMailA + "Return-Path: <b>\nreturn-path: <b>\n" + kMailB),
              (std::vector<std::string> {kMailA + "Return-Path: <b>\nreturn-path: <b>\nFrom: b\n", kMailB}));
    // The walk starts at the From: line, so a Received: above the mail's own
    // MIME-Version: line cuts it there.
    EXPECT_EQ(carved("From: a\nReceived: x\nMIME-Version: 1.0\n\nbody a\n" + kMailB),
              (std::vector<std::string> {"From: a\n", kMailB}));
}

TEST(AdvancedScanOracleCarve, WithoutASecondMimeVersionTheMailRunsToTheEnd)
{
    EXPECT_EQ(carved("junk\n" + kMailA + "Return-path: <c>\n"),
              (std::vector<std::string> {kMailA + "Return-path: <c>\n"}));
    // A MIME-Version: line that ends with the file is still seen.
    EXPECT_EQ(carved("junk\n" + kMailA + "MIME-Version:"), (std::vector<std::string> {kMailA}));
    EXPECT_EQ(carved("MIME-Version:"), (std::vector<std::string> {"MIME-Version:"}));
    EXPECT_EQ(carved("MIME-Version"), (std::vector<std::string> {}));
    // Before any From: a mail starts at byte 0.
    EXPECT_EQ(carved("xx MIME-Version: 1.0\nbody"), (std::vector<std::string> {"xx MIME-Version: 1.0\nbody"}));
}

TEST(AdvancedScanOracleCarve, AStartIsTakenOnceEvenWhenItIsByteZero)
{
    const std::string lead = "MIME-Version: 1\nMIME-Version: 2\nMIME-Version: 3\n";
    const std::string working = lead + "junk\n" + kMailA + kMailB;
    const std::string first = "MIME-Version: 1\n";
    const std::string rest = "MIME-Version: 2\n";
    EXPECT_EQ(carved(working), (std::vector<std::string> {first, kMailA + "From: b\n", kMailB}));
    EXPECT_EQ(carved(working, kUnmended),
              (std::vector<std::string> {first, first, first, kMailA + "From: b\n", kMailB}));

    // A From: at byte 0 is the same start.
    const std::string twice = kMailA + "MIME-Version: 2\n";
    EXPECT_EQ(carved(twice), (std::vector<std::string> {kMailA}));
    EXPECT_EQ(carved(twice, kUnmended), (std::vector<std::string> {kMailA, kMailA}));

    // A later start seen twice is taken once either way.
    const std::string later = "junk\n" + twice;
    EXPECT_EQ(carved(later), carved(later, kUnmended));
    EXPECT_EQ(carved(later).size(), 1u);
}

TEST(AdvancedScanOracleCarve, ACutAtByteZeroCountsAsNoCut)
{
    // The walk from byte 0 meets a Return-path: there; the mail still runs to the second
    // MIME-Version: line instead of coming out empty.
    EXPECT_EQ(carved("Return-path: MIME-Version: 1 MIME-Version: 2"),
              (std::vector<std::string> {"Return-path: MIME-Version: 1 "}));
}

} // namespace
} // namespace mailmend::testing
