// SPDX-License-Identifier: GPL-3.0-or-later
// mailmend-cli against what the system can do to it: output files that cannot grow, a
// FIFO where a folder file should be, blocks that overlap into an endless mail, and
// names that would act on the terminal.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/cli_runner.h"
#include "support/dbx_fixture.h"

namespace mailmend {
namespace {

namespace fs = std::filesystem;
using testing::DbxFixture;
using testing::mailText;
using testing::quoted;
using testing::readFile;
using testing::runCli;
using testing::TempDir;

// Files may grow to 16 KiB (or 32 KiB, as the shell counts blocks) only; the signal
// that would end the program is ignored, so writes simply fail, as on a full disk.
const std::string kSmallFiles = "trap '' XFSZ; ulimit -f 32; ";

TEST(CliHostile, WritesThatFailLeaveNoMailLookingWhole)
{
    TempDir dir;
    const std::vector<std::string> mails {mailText(1, 2000), mailText(2, 40000), mailText(3, 3000),
                                          mailText(4, 60000), mailText(5, 1000)};
    DbxFixture(mails).writeTo(dir / "Inbox.dbx");

    const auto eml = runCli(dir, quoted(dir / "Inbox.dbx") + " -o " + quoted(dir / "eml"), kSmallFiles);
    EXPECT_EQ(eml.status, 1);
    EXPECT_NE(eml.out.find(": 3 mails written, 2 failed -> "), std::string::npos) << eml.out;
    EXPECT_NE(eml.out.find("\nTotal: 1 of 1 file read, 3 mails written, 2 failed\n"), std::string::npos);
    const fs::path folder = testing::outputRoot(dir / "eml") / "1_Recovered_Inbox_As_EML";
    for (int n = 1; n <= 5; ++n) {
        const fs::path file = folder / ("Inbox_00000" + std::to_string(n) + ".eml");
        const bool small = mails[static_cast<std::size_t>(n - 1)].size() < 16384;
        EXPECT_EQ(fs::exists(file), small) << file;
        if (small) {
            EXPECT_EQ(readFile(file), mails[static_cast<std::size_t>(n - 1)]);
        }
    }

    // The Advanced Scan's working copy cannot be written: the file fails, no copy stays.
    const auto advanced
        = runCli(dir, "-f advanced " + quoted(dir / "Inbox.dbx") + " -o " + quoted(dir / "adv"), kSmallFiles);
    EXPECT_EQ(advanced.status, 1);
    EXPECT_NE(advanced.out.find("but 1 of 1 file could not be written in full"),
              std::string::npos)
        << advanced.out;
    EXPECT_FALSE(fs::exists(testing::outputRoot(dir / "adv") / "1_Recovered_Inbox_As_EMLwithAdvacedScan" / "temp.dbx"));
}

TEST(CliHostile, FifoNamedLikeAFolderFileIsRefusedAtOnce)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "Inbox.dbx").c_str(), 0600), 0);
    const auto result = runCli(dir, quoted(dir / "Inbox.dbx") + " -o " + quoted(dir / "out"), "exec timeout 30 env ");
    EXPECT_EQ(result.status, 1) << "(124: it hung)";
    EXPECT_EQ(result.err, "mailmend-cli: " + (dir / "Inbox.dbx").string()
                              + ": Not a regular file\nmailmend-cli: nothing to recover\n");
    EXPECT_FALSE(fs::exists(dir / "out"));
}

// A header every 12 bytes, each linking to the next, chains 512 bytes of data per 12
// bytes of file: the mail is cut where it reaches the size of the file.
TEST(CliHostile, OverlappingBlocksGiveNoMailLongerThanTheFile)
{
    TempDir dir;
    std::vector<unsigned char> bytes(200000, 'x');
    for (std::uint32_t p = testing::kFirstBlockPosition; p + 16 <= bytes.size(); p += 12) {
        const std::uint32_t next = p + 12 + 16 <= bytes.size() ? p + 12 : 0;
        const auto header = testing::blockHeader(p, 512, next);
        std::copy(header.begin(), header.end(), bytes.begin() + p);
    }
    testing::writeFile(dir / "Dense.dbx", std::string(bytes.begin(), bytes.end()));

    const auto result = runCli(dir, quoted(dir / "Dense.dbx") + " -o " + quoted(dir / "out"));
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find(": 1 mail written (1 cut short by damage), 0 failed -> "), std::string::npos)
        << result.out;
    EXPECT_EQ(fs::file_size(testing::outputRoot(dir / "out") / "1_Recovered_Dense_As_EML" / "Dense_000001.eml"),
              bytes.size());
}

TEST(CliHostile, NamesThatWouldActOnTheTerminalAreShownEscaped)
{
    TempDir dir;
    const std::string name = "In\x1b[31mbox\nx.dbx";
    DbxFixture({mailText(1, 100)}).writeTo(dir / name);
    const auto result = runCli(dir, quoted(dir / name) + " -o " + quoted(dir / "out"));
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("In\\x1B[31mbox\\x0Ax.dbx: 1 mail written, 0 failed -> 1_Recovered_In\\x1B[31mbox\\x0Ax_As_EML\n"),
              std::string::npos)
        << result.out;
    EXPECT_EQ(result.out.find('\x1b'), std::string::npos);
}

} // namespace
} // namespace mailmend
