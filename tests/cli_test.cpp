// SPDX-License-Identifier: GPL-3.0-or-later
// mailmend-cli run as a program: exit statuses, messages, the output tree under the
// output root, the search, stopping with a signal and the live line on a terminal.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <map>
#include <ctime>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/cli_runner.h"
#include "support/dbx_fixture.h"
#include "platform/cancellation.h"
#include "platform/terminal.h"
#include "support/temp_dir.h"
#include "version.h"

namespace mailmend {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::DbxFixture;
using testing::mailText;
using testing::readFile;
using testing::TempDir;
using testing::CliResult;
using testing::outputRoot;
using testing::quoted;
using testing::runCli;
using Tree = std::map<std::string, std::string>;

// Every folder ("x/") and file ("x/y", with its bytes) below `root`.
Tree tree(const fs::path& root)
{
    Tree entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string name = entry.path().lexically_relative(root).string();
        entries[entry.is_directory() ? name + "/" : name] = entry.is_directory() ? "" : readFile(entry.path());
    }
    return entries;
}

std::size_t countMails(const fs::path& root)
{
    std::size_t count = 0;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec))
        count += it->path().extension() == ".eml";
    return count;
}

TEST(CliCommandLine, HelpFitsOneScreenAndVersionIsTheProjects)
{
    TempDir dir;
    const CliResult help = runCli(dir, "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: mailmend-cli [options] FILE.dbx... -o DIR\n"
                             "       mailmend-cli [options] -s FOLDER [FILE.dbx...] -o DIR\n", 0),
              0u)
        << help.out;
    EXPECT_NE(help.out.find("eml, advanced, dbx, pst, msg, rtf or mbox"), std::string::npos);
    EXPECT_LE(std::count(help.out.begin(), help.out.end(), '\n'), 24) << "more than one screen";
    EXPECT_FALSE(std::regex_search(help.out, std::regex("(^|\n)[^\n]{80}"))) << "a line of 80 or more";

    const CliResult version = runCli(dir, "--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("mailmend-cli ") + MAILMEND_VERSION + "\n");
}

struct WrongCase {
    const char* name;
    const char* arguments; // OUT stands for an output folder that must not appear
    const char* message;
};

class CliWrongCommandLine : public ::testing::TestWithParam<WrongCase> {};

TEST_P(CliWrongCommandLine, ExitsTwoWithAMessageAndWritesNothing)
{
    TempDir dir;
    std::string arguments = GetParam().arguments;
    for (std::size_t at; (at = arguments.find("OUT")) != std::string::npos;)
        arguments.replace(at, 3, quoted(dir / "out"));
    const CliResult result = runCli(dir, arguments);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, std::string("mailmend-cli: ") + GetParam().message
                              + "\nTry 'mailmend-cli --help' for more information.\n");
    EXPECT_FALSE(fs::exists(dir / "out"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliWrongCommandLine,
    ::testing::Values(
        WrongCase {"NoArguments", "", "no .dbx file given"},
        WrongCase {"OnlyOutput", "-o OUT", "no .dbx file given"},
        WrongCase {"UnknownOption", "--bogus a.dbx -o OUT", "unknown option --bogus"},
        WrongCase {"MissingOutput", "a.dbx", "no output folder given (use -o DIR)"},
        WrongCase {"OutputWithoutFolder", "a.dbx -o", "option -o needs a folder"},
        WrongCase {"EmptyOutputFolder", "a.dbx --output=", "option --output needs a folder"},
        WrongCase {"SearchWithoutFolder", "-o OUT -s", "option -s needs a folder"},
        WrongCase {"UnknownFormat", "-f maildir a.dbx -o OUT",
                   "unknown output format 'maildir' (use eml, advanced, dbx, pst, msg, rtf or mbox)"},
        WrongCase {"FormatWithoutName", "a.dbx -o OUT -f",
                   "option -f needs a format (eml, advanced, dbx, pst, msg, rtf or mbox)"},
        WrongCase {"CounterOfSixDigits", "--counter 123456 a.dbx -o OUT",
                   "option --counter: Counter should not exceed 5 digits"},
        WrongCase {"CounterOfLetters", "--counter abc a.dbx -o OUT", "option --counter: Invalid file counter."},
        WrongCase {"CounterOfTwoZeros", "--counter=00 a.dbx -o OUT", "option --counter: Invalid file counter."},
        WrongCase {"CounterWithoutNumber", "a.dbx -o OUT --counter", "option --counter needs a number"},
        WrongCase {"TagWithSlash", "--tag a/b a.dbx -o OUT",
                   "option --tag: Folder Tag cannot contain following characters: \\/:*?<>|"},
        WrongCase {"UnknownOptionInABundle", "-qz a.dbx -o OUT", "unknown option -z"},
        WrongCase {"BundleEndingInAnOptionWithoutItsValue", "a.dbx -qro", "option -o needs a folder"},
        WrongCase {"FlagGivenAValue", "--quiet=yes a.dbx -o OUT", "option --quiet takes no value"},
        WrongCase {"TagOf51Characters", "--tag 123456789012345678901234567890123456789012345678901 a.dbx -o OUT",
                   "option --tag: Folder Tag should not exceed 50 characters"}),
    [](const auto& p) { return std::string(p.param.name); });

struct InputCase {
    const char* name;
    const char* arguments; // beside Good.dbx; DIR stands for the test's folder
    const char* error;     // the one line on standard error
    const char* files;     // the files the totals count
};

class CliInputs : public ::testing::TestWithParam<InputCase> {};

TEST_P(CliInputs, EachUnusableInputIsReportedOnceGetsNoFolderAndTheOthersRun)
{
    TempDir dir;
    DbxFixture({mailText(1, 400)}).writeTo(dir / "Good.dbx");
    fs::create_directories(dir / "Folder");
    testing::writeFile(dir / "notes.txt", "x");
    const auto expand = [&](const char* text) { return std::regex_replace(text, std::regex("DIR"), dir.path().string()); };
    const CliResult result = runCli(dir, "-q " + expand(GetParam().arguments) + " " + quoted(dir / "Good.dbx")
                                             + " -o " + quoted(dir / "out"));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "mailmend-cli: " + expand(GetParam().error) + "\n");
    EXPECT_NE(result.out.find("\nTotal: 1 of " + std::string(GetParam().files) + " read, 1 mail written"), std::string::npos);
    const fs::path root = outputRoot(dir / "out");
    EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 1); // Good.dbx's alone
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliInputs,
    ::testing::Values(
        InputCase {"MissingFile", "DIR/Inbox.dbx", "DIR/Inbox.dbx: No such file or directory", "2 files"},
        InputCase {"MissingFileGivenTwice", "DIR/Inbox.dbx DIR/Inbox.dbx", "DIR/Inbox.dbx: No such file or directory", "2 files"},
        InputCase {"FolderGivenAsAFile", "DIR/Folder", "DIR/Folder: Is a directory", "2 files"},
        InputCase {"MissingSearchFolder", "-s DIR/nowhere", "DIR/nowhere: No such file or directory", "1 file"},
        InputCase {"FileGivenAsASearchFolder", "-s DIR/notes.txt", "DIR/notes.txt: not a folder", "1 file"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(CliCommandLine, SearchFolderThatHoldsNoMailFolderLeavesNothingToDo)
{
    TempDir dir;
    fs::create_directories(dir / "mail" / "sub");
    DbxFixture({mailText(1, 100)}).writeTo(dir / "mail" / "Folders.dbx"); // never a mail folder
    const CliResult result = runCli(dir, "-s " + quoted(dir / "mail") + " -o " + quoted(dir / "out"));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "mailmend-cli: no .dbx mail folder found below " + (dir / "mail").string()
                              + "\nmailmend-cli: nothing to recover\n");
    EXPECT_FALSE(fs::exists(dir / "out"));
}

TEST(CliRecovery, EmlRunWritesEachFileIntoItsNamedFolderAndResultsGoToStandardOutput)
{
    TempDir dir;
    const DbxFixture inbox({mailText(1, 900), mailText(2, 30), mailText(3, 1024)});
    const DbxFixture sent({mailText(4, 600), mailText(5, 2000)});
    inbox.writeTo(dir / "Inbox.dbx");
    sent.writeTo(dir / "Sent Items.dbx");
    DbxFixture({}).writeTo(dir / "Empty.dbx");
    const fs::path out = dir / "new" / "out"; // made when missing

    const CliResult result = runCli(dir, quoted(dir / "Inbox.dbx") + " " + quoted(dir / "Sent Items.dbx") + " "
                                             + quoted(dir / "Empty.dbx") + " -o " + quoted(out));
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    const fs::path root = outputRoot(out);
    ASSERT_FALSE(root.empty());
    // Off a terminal the progress is the status texts as they change, on standard error.
    EXPECT_EQ(result.err, "Preparing to Scan File : Inbox.dbx\nScanning File : Inbox.dbx\n"
                          "Preparing to Scan File : Sent Items.dbx\nScanning File : Sent Items.dbx\n"
                          "Preparing to Scan File : Empty.dbx\nScanning File : Empty.dbx\nScan Complete\n");
    // A file that gives nothing says so, and where else to look.
    EXPECT_EQ(result.out, (dir / "Inbox.dbx").string() + ": 3 mails written, 0 failed -> 1_Recovered_Inbox_As_EML\n"
                              + (dir / "Sent Items.dbx").string()
                              + ": 2 mails written, 0 failed -> 2_Recovered_Sent Items_As_EML\n"
                              + (dir / "Empty.dbx").string()
                              + ": no mail found; try -f advanced -> 3_Recovered_Empty_As_EML\n"
                              + "Total: 3 of 3 files read, 5 mails written, 0 failed\n"
                              + "Files recovered Successfully to " + root.string() + " folder\n");
    const auto mail = [](const DbxFixture& f, std::size_t i) { return f.mails()[i].text; };
    EXPECT_EQ(tree(root), (Tree {{"1_Recovered_Inbox_As_EML/", ""},
                                 {"1_Recovered_Inbox_As_EML/Inbox_000001.eml", mail(inbox, 0)},
                                 {"1_Recovered_Inbox_As_EML/Inbox_000002.eml", mail(inbox, 1)},
                                 {"1_Recovered_Inbox_As_EML/Inbox_000003.eml", mail(inbox, 2)},
                                 {"2_Recovered_Sent Items_As_EML/", ""},
                                 {"2_Recovered_Sent Items_As_EML/Sent Items_000001.eml", mail(sent, 0)},
                                 {"2_Recovered_Sent Items_As_EML/Sent Items_000002.eml", mail(sent, 1)},
                                 {"3_Recovered_Empty_As_EML/", ""}}));
}

TEST(CliRecovery, WrittenMailsTakeTheirDateAsModificationTime)
{
    // The mail's Date, else the run's start (0 here); before 1970 is no usable date.
    const std::vector<std::pair<std::string, std::time_t>> dates {
        {"Date: Mon, 7 Mar 2011 09:05:03 +0100\r\n", 1299485103}, {"Date: Tue, 1 Jul 2003 10:52:37 +0200\r\n", 1057049557},
        {"DATE:\r\n Sat, 29 Feb 2020 23:59:59 -0800\r\n", 1583049599}, {"Date: Wed, 31 Dec 1969 23:59:59 +0000\r\n", 0},
        {"Date: the day after tomorrow\r\n", 0}, {"", 0}, {"Date: Tue, 1 Jul 2003 10:52:37 +0200 (CEST\r\n", 1057049557},
        {"Date: Wed, 09(Mar 2005 09:00:00 +0000\r\n", 0}, {"Date: (\r\n", 0}}; // comments left open
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < dates.size(); ++i) {
        std::string text = mailText(static_cast<int>(i) + 1, 700);
        const std::size_t at = text.find("Date: ");
        texts.push_back(text.replace(at, text.find('\n', at) + 1 - at, dates[i].first));
    }
    for (const std::string format : {"eml", "advanced"}) {
        TempDir dir;
        DbxFixture(texts).writeTo(dir / "-In.dbx");
        const std::time_t started = std::time(nullptr);
        // Short options bundled, and a file named like an option after --.
        ASSERT_EQ(runCli(dir, "-qf" + format + " -o" + quoted(dir / "out") + " -- " + quoted(dir / "-In.dbx")).status, 0);
        const std::time_t ended = std::time(nullptr);
        const fs::path folder = outputRoot(dir / "out") / ("1_Recovered_-In_As_EML" + std::string(format == "eml" ? "" : "withAdvacedScan"));
        for (std::size_t i = 0; i < dates.size(); ++i) {
            const std::string n = std::to_string(i + 1);
            struct stat status {};
            ASSERT_EQ(::stat((folder / (format == "eml" ? "-In_00000" + n + ".eml" : "-In_" + n + ".eml")).c_str(), &status), 0);
            if (dates[i].second != 0) {
                EXPECT_EQ(status.st_mtime, dates[i].second) << format << " " << n;
            } else {
                EXPECT_TRUE(status.st_mtime >= started && status.st_mtime <= ended) << format << " " << n;
            }
        }
    }
}

TEST(CliRecovery, AdvancedScanCarvesEachMailAndLeavesNoWorkingFile)
{
    TempDir dir;
    DbxFixture({mailText(1, 900), mailText(2, 3000), mailText(3, 200)}).writeTo(dir / "Inbox.dbx");
    DbxFixture({}).writeTo(dir / "Empty.dbx");

    const CliResult result = runCli(dir, "-q --format=advanced " + quoted(dir / "Inbox.dbx") + " "
                                             + quoted(dir / "Empty.dbx") + " -o " + quoted(dir / "out"));
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    const fs::path root = outputRoot(dir / "out");
    ASSERT_FALSE(root.empty());
    const std::string inbox = "1_Recovered_Inbox_As_EMLwithAdvacedScan";
    const std::string empty = "2_Recovered_Empty_As_EMLwithAdvacedScan";
    // Quiet: the results alone. The Advanced Scan suggests nothing further.
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, (dir / "Inbox.dbx").string() + ": 3 mails written, 0 failed -> " + inbox + "\n"
                              + (dir / "Empty.dbx").string() + ": no mail found -> " + empty + "\n"
                              + "Total: 2 of 2 files read, 3 mails written, 0 failed\n"
                              + "Files recovered Successfully to " + root.string() + " folder\n");
    const Tree files = tree(root);
    EXPECT_EQ(files.size(), 5u); // two folders, three mails, no temp.dbx
    EXPECT_EQ(files.count(empty + "/"), 1u);
    for (const std::string n : {"1", "2", "3"}) {
        ASSERT_EQ(files.count(inbox + "/Inbox_" + n + ".eml"), 1u) << n;
        EXPECT_EQ(files.at(inbox + "/Inbox_" + n + ".eml").rfind("From: \"Sender " + n + "\"", 0), 0u) << n;
    }
}

struct NamingCase {
    const char* name;
    const char* options;
    const char* first;  // folder of the first file, Inbox.dbx
    const char* second; // folder of the second, Sent.dbx
};

class CliNaming : public ::testing::TestWithParam<NamingCase> {};

TEST_P(CliNaming, FolderNamesFollowTheOptions)
{
    TempDir dir;
    const DbxFixture inbox({mailText(1, 300)});
    const DbxFixture sent({mailText(2, 400)});
    inbox.writeTo(dir / "Inbox.dbx");
    sent.writeTo(dir / "Sent.dbx");
    const CliResult result = runCli(dir, std::string("-q ") + GetParam().options + " " + quoted(dir / "Inbox.dbx")
                                             + " " + quoted(dir / "Sent.dbx") + " -o " + quoted(dir / "out"));
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    const std::string first = GetParam().first;
    const std::string second = GetParam().second;
    EXPECT_EQ(tree(outputRoot(dir / "out")), (Tree {{first + "/", ""},
                                                     {first + "/Inbox_000001.eml", inbox.mails()[0].text},
                                                     {second + "/", ""},
                                                     {second + "/Sent_000001.eml", sent.mails()[0].text}}));
}

INSTANTIATE_TEST_SUITE_P(
    Options, CliNaming,
    ::testing::Values(
        NamingCase {"Defaults", "", "1_Recovered_Inbox_As_EML", "2_Recovered_Sent_As_EML"},
        NamingCase {"CounterAndTag", "--counter 007 --tag=Box", "7_Box_Inbox_As_EML", "8_Box_Sent_As_EML"},
        NamingCase {"CounterOfZero", "--counter 0", "0_Recovered_Inbox_As_EML", "1_Recovered_Sent_As_EML"},
        NamingCase {"NoCounter", "--no-counter", "Recovered_Inbox_As_EML", "Recovered_Sent_As_EML"},
        NamingCase {"NoTag", "--no-tag", "1_Inbox_As_EML", "2_Sent_As_EML"},
        NamingCase {"EmptyTag", "--tag ''", "1__Inbox_As_EML", "2__Sent_As_EML"},
        NamingCase {"NoTypeTag", "--no-type-tag", "1_Recovered_Inbox", "2_Recovered_Sent"},
        NamingCase {"NothingButTheName", "--no-counter --no-tag --no-type-tag", "Inbox", "Sent"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(CliRecovery, SearchAddsTheMailFoldersBreadthFirstAfterTheFilesGivenAndEachOnce)
{
    TempDir dir;
    const fs::path mail = dir / "mail";
    fs::create_directories(mail / "a" / "b");
    fs::create_directories(mail / "c");
    std::map<std::string, std::string> texts;
    int n = 0;
    for (const fs::path& path : {mail / "Deleted.dbx", mail / "a" / "Inbox.dbx", mail / "a" / "Folders.dbx",
                                 mail / "a" / "b" / "Deep.dbx", mail / "c" / "Sent.dbx"}) {
        const DbxFixture fixture({mailText(++n, 200)});
        fixture.writeTo(path);
        texts[path.stem().string()] = fixture.mails()[0].text;
    }
    // Sent.dbx is given and found: it is recovered once, where it was given.
    const CliResult result = runCli(dir, "-q " + quoted(mail / "c" / "Sent.dbx") + " --search " + quoted(mail)
                                             + " -o " + quoted(dir / "out"));
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    Tree expected;
    const std::vector<std::string> order {"Sent", "Deleted", "Inbox", "Deep"};
    for (std::size_t i = 0; i < order.size(); ++i) {
        const std::string folder = std::to_string(i + 1) + "_Recovered_" + order[i] + "_As_EML/";
        expected[folder] = "";
        expected[folder + order[i] + "_000001.eml"] = texts[order[i]];
    }
    EXPECT_EQ(tree(outputRoot(dir / "out")), expected);
}

TEST(CliRecovery, RecoveryModeRefusesChainsWithoutMailHeaders)
{
    TempDir dir;
    DbxFixture({mailText(1, 700), std::string(700, 'q')}).writeTo(dir / "Mixed.dbx");
    const CliResult result = runCli(dir, "-q -r " + quoted(dir / "Mixed.dbx") + " -o " + quoted(dir / "out"));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out.rfind((dir / "Mixed.dbx").string()
                                   + ": 1 mail written, 0 failed (2 candidate chains, 1 without mail headers) -> ", 0),
              0u)
        << result.out;
    EXPECT_EQ(tree(outputRoot(dir / "out")).size(), 2u); // the folder and Mixed_000001.eml
}

TEST(CliRecovery, RunsInTheSameSecondGetRootsOfTheirOwnAndRemoveNothing)
{
    TempDir dir;
    const DbxFixture fixture({mailText(1, 300)});
    fixture.writeTo(dir / "Inbox.dbx");
    const std::string arguments = "-q " + quoted(dir / "Inbox.dbx") + " -o " + quoted(dir / "out");
    ASSERT_EQ(runCli(dir, arguments).status, 0);
    ASSERT_EQ(runCli(dir, arguments).status, 0);
    std::size_t roots = 0;
    for (const auto& root : fs::directory_iterator(dir / "out")) {
        ++roots;
        EXPECT_EQ(readFile(root.path() / "1_Recovered_Inbox_As_EML" / "Inbox_000001.eml"), fixture.mails()[0].text);
    }
    EXPECT_EQ(roots, 2u);
}

// Files Big1.dbx, Big2.dbx, ... of `mails` mails each, large enough that a run takes a while.
std::vector<std::string> writeLargeSources(const TempDir& dir, int files, int mails,
                                           std::vector<DbxFixture>* fixtures = nullptr)
{
    std::vector<std::string> paths;
    for (int f = 0; f < files; ++f) {
        std::vector<std::string> texts;
        for (int m = 0; m < mails; ++m)
            texts.push_back(mailText(f * mails + m + 1, 300));
        const DbxFixture fixture(std::move(texts));
        paths.push_back((dir / ("Big" + std::to_string(f + 1) + ".dbx")).string());
        fixture.writeTo(paths.back());
        if (fixtures)
            fixtures->push_back(fixture);
    }
    return paths;
}

// Starts the program in a child process: on a new terminal when `terminal` is given
// (its end is stored there), else with its output in dir/stdout.txt and dir/stderr.txt.
pid_t startCli(const TempDir& dir, std::vector<std::string> arguments, int* terminal = nullptr)
{
    fs::create_directories(dir / "tmp");
    arguments.insert(arguments.begin(), MAILMEND_CLI_PATH);
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const std::string tmp = (dir / "tmp").string();
    const std::string out = (dir / "stdout.txt").string();
    const std::string err = (dir / "stderr.txt").string();
    winsize size {};
    size.ws_col = 100;
    const pid_t pid = terminal ? ::forkpty(terminal, nullptr, nullptr, &size) : ::fork();
    if (pid == 0) {
        if (!terminal) {
            ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
            ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        }
        ::setenv("TMPDIR", tmp.c_str(), 1);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

struct StopCase {
    const char* name;
    const char* format;
    int signal;
    bool quiet;
    const char* folder; // of the first file
    const char* first;  // the name of its first mail file
};

class CliStop : public ::testing::TestWithParam<StopCase> {};

TEST_P(CliStop, SignalStopsTheRunAtOnceAndExitsOne)
{
    TempDir dir;
    std::vector<DbxFixture> fixtures;
    std::vector<std::string> arguments = writeLargeSources(dir, 3, 2500, &fixtures);
    arguments.insert(arguments.end(), {"-f", GetParam().format, "-o", (dir / "out").string()});
    if (GetParam().quiet)
        arguments.emplace_back("-q");
    const pid_t pid = startCli(dir, arguments);
    ASSERT_GT(pid, 0);

    // The signal goes as soon as the first mail is on disk.
    fs::path root;
    int status = 0;
    for (const auto deadline = std::chrono::steady_clock::now() + 60s;
         root.empty() || !fs::exists(root / GetParam().folder / GetParam().first);
         std::this_thread::sleep_for(1ms)) {
        root = outputRoot(dir / "out");
        ASSERT_EQ(::waitpid(pid, &status, WNOHANG), 0) << "ended before it could be stopped";
        ASSERT_LT(std::chrono::steady_clock::now(), deadline);
    }
    ::kill(pid, GetParam().signal);
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 1);

    // The stop took effect inside the first file, and no later file was begun.
    EXPECT_LT(countMails(root), 2500u);
    EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 1);
    // What was written is whole.
    for (const auto& entry : fs::directory_iterator(root / GetParam().folder)) {
        const std::string name = entry.path().stem().string(); // Big1_000012 or Big1_12
        const auto number = static_cast<std::size_t>(std::stoi(name.substr(name.find('_') + 1)));
        EXPECT_EQ(readFile(entry.path()).substr(0, 300), fixtures[0].mails()[number - 1].text) << name;
    }

    const std::string out = readFile(dir / "stdout.txt");
    const std::string err = readFile(dir / "stderr.txt");
    EXPECT_NE(out.find((dir / "Big1.dbx").string() + ": stopped here; "), std::string::npos) << out;
    EXPECT_NE(out.find((dir / "Big3.dbx").string() + ": not read (the run was stopped first)\n"), std::string::npos);
    EXPECT_EQ(out.find("Files recovered Successfully"), std::string::npos);
    EXPECT_NE(err.find("mailmend-cli: the run was stopped; what was written so far stays in " + root.string() + "\n"),
              std::string::npos)
        << err;
    const bool noted = err.find("mailmend-cli: stopping after the mail being written (Ctrl-C again quits at once)\n")
        != std::string::npos;
    EXPECT_EQ(noted, !GetParam().quiet) << err;
}

INSTANTIATE_TEST_SUITE_P(Signals, CliStop,
                         ::testing::Values(StopCase {"CtrlCDuringEml", "eml", SIGINT, false,
                                                     "1_Recovered_Big1_As_EML", "Big1_000001.eml"},
                                           StopCase {"TerminationDuringAdvancedScan", "advanced", SIGTERM, true,
                                                     "1_Recovered_Big1_As_EMLwithAdvacedScan", "Big1_1.eml"}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(CliTerminal, ProgressIsOneLineRedrawnInPlaceAtMostTenTimesASecond)
{
    TempDir dir;
    std::vector<std::string> arguments = writeLargeSources(dir, 2, 1500);
    arguments.insert(arguments.end(), {"-o", (dir / "out").string()});
    int terminal = -1;
    const auto started = std::chrono::steady_clock::now();
    const pid_t pid = startCli(dir, arguments, &terminal);
    ASSERT_GT(pid, 0);
    std::string output;
    char buffer[4096];
    for (ssize_t n; (n = ::read(terminal, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR);)
        output.append(buffer, static_cast<std::size_t>(n > 0 ? n : 0));
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(terminal);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;

    // A redraw starts with a carriage return of its own (the terminal sends each line
    // feed as CR LF); the line is blanked out once before the summary.
    std::size_t redraws = 0;
    for (std::size_t i = 0; i + 1 < output.size(); ++i)
        redraws += output[i] == '\r' && output[i + 1] != '\n' && output[i + 1] != '\r';
    EXPECT_LE(static_cast<double>(redraws), seconds * 10 + 3) << seconds << " s";
    if (seconds > 0.5) {
        EXPECT_GE(redraws, 2u) << seconds << " s";
        EXPECT_NE(output.find("Big1.dbx (1/2)  "), std::string::npos) << output;
    }
    EXPECT_EQ(output.find("Preparing to Scan File : Big1.dbx\r\n"), std::string::npos) << output;
    const std::size_t summary = output.find((dir / "Big1.dbx").string()
                                            + ": 1500 mails written, 0 failed -> 1_Recovered_Big1_As_EML\r\n");
    ASSERT_NE(summary, std::string::npos) << output;
    if (redraws > 0) {
        ASSERT_EQ(output[summary - 1], '\r');
        EXPECT_EQ(output.find_first_not_of(' ', output.rfind('\r', summary - 2) + 1), summary - 1);
    }
}

// main()'s handler: the first Ctrl-C only stops the run; the second ends the program by
// SIGINT (the shell's 130), the prompt then on a line of its own after the progress line.
TEST(CliTerminal, SecondCtrlCEndsTheProgramBySignalOnAFreshLine)
{
    int terminal = -1;
    const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        static platform::CancellationToken token;
        platform::installStopSignals(token);
        std::fputs("Big1.dbx  10%", stderr);
        ::raise(SIGINT);
        ::raise(token.isCancelled() ? SIGINT : SIGKILL);
        ::_exit(4);
    }
    char output[64] {};
    for (std::size_t got = 0; ::read(terminal, output + got, 1) == 1 && got + 2 < sizeof output;)
        ++got;
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(terminal);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    EXPECT_STREQ(output, "Big1.dbx  10%\r\n");
}

} // namespace
} // namespace mailmend
