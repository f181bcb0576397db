// SPDX-License-Identifier: GPL-3.0-or-later
// mailmend-cli run as a program: exit codes, messages, where the mails go.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/dbx_fixture.h"
#include "support/temp_dir.h"

namespace mailmend {
namespace {

namespace fs = std::filesystem;
using testing::DbxFixture;
using testing::mailText;
using testing::readFile;
using testing::TempDir;

std::string quoted(const fs::path& path)
{
    std::string out = "'";
    for (const char c : path.string())
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

struct CliResult {
    int status = -1;
    std::string output; // standard output and standard error together
};

CliResult runCli(const std::string& arguments)
{
    const std::string command = quoted(MAILMEND_CLI_PATH) + " " + arguments + " 2>&1";
    CliResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        result.output.append(buffer, n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TEST(Cli, HelpExitsZero)
{
    const CliResult result = runCli("--help");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output.rfind("Usage: mailmend-cli [options] FILE.dbx... -o DIR\n", 0), 0u)
        << result.output;
}

struct WrongCase {
    const char* name;
    const char* arguments;
    const char* message;
};

void PrintTo(const WrongCase& c, std::ostream* os)
{
    *os << c.name;
}

class CliWrongCommandLine : public ::testing::TestWithParam<WrongCase> {};

TEST_P(CliWrongCommandLine, ExitsTwoWithAMessage)
{
    const CliResult result = runCli(GetParam().arguments);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.output, std::string("mailmend-cli: ") + GetParam().message
                                 + "\nTry 'mailmend-cli --help' for more information.\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliWrongCommandLine,
    ::testing::Values(WrongCase {"NoArguments", "", "no .dbx file given"},
                      WrongCase {"OnlyOutput", "-o out", "no .dbx file given"},
                      WrongCase {"UnknownOption", "--bogus a.dbx -o out", "unknown option --bogus"},
                      WrongCase {"MissingOutput", "a.dbx", "no output folder given (use -o DIR)"},
                      WrongCase {"OutputWithoutFolder", "a.dbx -o", "option -o needs a folder"},
                      WrongCase {"EmptyOutputFolder", "a.dbx --output=",
                                 "option --output needs a folder"},
                      WrongCase {"FormatNotBuilt", "-f pst a.dbx -o out",
                                 "unknown output format 'pst' (use eml or advanced)"},
                      WrongCase {"FormatWithoutName", "a.dbx -o out -f",
                                 "option -f needs a format (eml or advanced)"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(Cli, WritesTheMailsOfAFileIntoAFolderNamedAfterIt)
{
    TempDir dir;
    const DbxFixture fixture({mailText(1, 900), mailText(2, 30), mailText(3, 1024)});
    fixture.writeTo(dir / "Inbox.dbx");
    const fs::path out = dir / "new" / "out"; // created when missing

    const CliResult result = runCli(quoted(dir / "Inbox.dbx") + " -o " + quoted(out));
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(result.output, (dir / "Inbox.dbx").string()
                                 + ": 3 mails written, 0 refused by the header test, 0 part of "
                                   "another mail, 0 failed\n  -> "
                                 + (out / "Inbox").string() + "\n");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(readFile(out / "Inbox" / ("Inbox_00000" + std::to_string(i + 1) + ".eml")),
                  fixture.mails()[static_cast<std::size_t>(i)].text);
}

TEST(Cli, AdvancedScanCarvesEachMailIntoItsOwnFileAndLeavesNoWorkingFile)
{
    TempDir dir;
    const DbxFixture fixture({mailText(1, 900), mailText(2, 3000), mailText(3, 200)});
    fixture.writeTo(dir / "Inbox.dbx");
    DbxFixture({}).writeTo(dir / "Empty.dbx");

    const CliResult result = runCli("--format=advanced " + quoted(dir / "Inbox.dbx") + " "
                                    + quoted(dir / "Empty.dbx") + " -o " + quoted(dir / "out"));
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find((dir / "Inbox.dbx").string() + ": 3 mails carved, 0 failed\n"),
              std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find((dir / "Empty.dbx").string() + ": 0 mails carved, 0 failed\n"),
              std::string::npos)
        << result.output;
    for (int i = 1; i <= 3; ++i) {
        const std::string mail = readFile(dir / "out" / "Inbox" / ("Inbox_" + std::to_string(i) + ".eml"));
        EXPECT_EQ(mail.rfind("From: \"Sender " + std::to_string(i) + "\"", 0), 0u) << i;
    }
    // The last mail runs to the end of the working copy: its text and its block's rest.
    EXPECT_EQ(readFile(dir / "out" / "Inbox" / "Inbox_3.eml").substr(0, 200), fixture.mails()[2].text);
    EXPECT_FALSE(fs::exists(dir / "out" / "Inbox" / "Inbox_4.eml"));
    EXPECT_FALSE(fs::exists(dir / "out" / "Inbox" / "temp.dbx"));
    EXPECT_FALSE(fs::exists(dir / "out" / "Empty" / "temp.dbx"));
}

TEST(Cli, AdvancedScanOfAnUnreadableFileExitsOne)
{
    TempDir dir;
    const CliResult result = runCli("-f advanced " + quoted(dir / "Missing.dbx") + " -o " + quoted(dir / "out"));
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.output.find((dir / "Missing.dbx").string() + ": could not be read ("),
              std::string::npos)
        << result.output;
}

TEST(Cli, UnreadableInputExitsOneAndTheOthersAreStillWritten)
{
    TempDir dir;
    DbxFixture({mailText(1, 100)}).writeTo(dir / "Good.dbx");
    const fs::path missing = dir / "Missing.dbx";

    const CliResult result
        = runCli(quoted(missing) + " " + quoted(dir / "Good.dbx") + " -o " + quoted(dir / "out"));
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.output.find(missing.string() + ": could not be read ("), std::string::npos)
        << result.output;
    EXPECT_TRUE(fs::exists(dir / "out" / "Good" / "Good_000001.eml"));
    EXPECT_FALSE(fs::exists(dir / "out" / "Missing"));
}

TEST(Cli, TwoInputsOfTheSameNameGetTheirOwnFolders)
{
    TempDir dir;
    fs::create_directories(dir / "a");
    fs::create_directories(dir / "b");
    const DbxFixture first({mailText(1, 100)});
    const DbxFixture second({mailText(2, 200), mailText(3, 300)});
    first.writeTo(dir / "a" / "Inbox.dbx");
    second.writeTo(dir / "b" / "Inbox.dbx");

    const CliResult result = runCli(quoted(dir / "a" / "Inbox.dbx") + " "
                                    + quoted(dir / "b" / "Inbox.dbx") + " -o " + quoted(dir / "out"));
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(readFile(dir / "out" / "Inbox" / "Inbox_000001.eml"), first.mails()[0].text);
    EXPECT_FALSE(fs::exists(dir / "out" / "Inbox" / "Inbox_000002.eml"));
    EXPECT_EQ(readFile(dir / "out" / "Inbox (2)" / "Inbox_000001.eml"), second.mails()[0].text);
    EXPECT_EQ(readFile(dir / "out" / "Inbox (2)" / "Inbox_000002.eml"), second.mails()[1].text);
}

TEST(Cli, RecoveryModeRefusesChainsWithoutMailHeaders)
{
    TempDir dir;
    DbxFixture({mailText(1, 700), std::string(700, 'q')}).writeTo(dir / "Mixed.dbx");
    const CliResult result = runCli("-r " + quoted(dir / "Mixed.dbx") + " -o " + quoted(dir / "out"));
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.output.find(": 1 mails written, 1 refused by the header test"), std::string::npos)
        << result.output;
    EXPECT_TRUE(fs::exists(dir / "out" / "Mixed" / "Mixed_000001.eml"));
    EXPECT_FALSE(fs::exists(dir / "out" / "Mixed" / "Mixed_000002.eml"));
}

} // namespace
} // namespace mailmend
