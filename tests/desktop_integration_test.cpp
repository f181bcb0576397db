// SPDX-License-Identifier: GPL-3.0-or-later
// The programs as the system sees them: manual pages, shell completion, the desktop entry
// and the .dbx file type, and the desktop program's command line. Each check that needs a
// system tool skips when the tool is not installed.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "support/cli_runner.h"
#include "support/dbx_fixture.h"
#include "version.h"

namespace mailmend {
namespace {

namespace fs = std::filesystem;
using testing::quoted;
using testing::TempDir;

struct Shell {
    int status = -1;
    std::string out; // standard output and standard error together
};

Shell shell(const std::string& command)
{
    Shell result;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    char buffer[4096];
    for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        result.out.append(buffer, n);
    const int status = pipe ? ::pclose(pipe) : -1;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool installed(const std::string& tool)
{
    return shell("command -v " + tool).status == 0;
}

const fs::path kSource = MAILMEND_SOURCE_DIR;

// The page as text; with `warningsOnly`, what man and groff have to say about it instead.
std::string manPage(const std::string& page, bool warningsOnly = false)
{
    return shell("LC_ALL=C MANWIDTH=100 man --warnings -l " + quoted(fs::path(MAILMEND_MAN_DIR) / (page + ".1"))
                 + (warningsOnly ? " 2>&1 >/dev/null" : " 2>/dev/null"))
        .out;
}

// The options a help or manual text lists: from each line that starts with one, the
// words before the description ("-o, --output DIR", "--no-counter, --no-tag").
std::set<std::string> listedOptions(const std::string& text)
{
    std::set<std::string> options;
    std::istringstream lines(text);
    static const std::regex option("--?[a-z][a-z-]*");
    for (std::string line; std::getline(lines, line);) {
        const std::size_t start = line.find_first_not_of(' ');
        if (start == std::string::npos || start == 0 || line[start] != '-')
            continue;
        const std::string head = line.substr(start, line.find("  ", start) - start);
        for (std::sregex_iterator it(head.begin(), head.end(), option), end; it != end; ++it)
            options.insert(it->str());
    }
    return options;
}

TEST(ManualPages, RenderWithoutWarnings)
{
    if (!installed("man"))
        GTEST_SKIP() << "man is not installed";
    for (const std::string page : {"mailmend-cli", "mailmend"}) {
        if (!fs::exists(fs::path(MAILMEND_MAN_DIR) / (page + ".1")))
            continue; // the desktop program's page comes with the desktop program
        const std::string text = manPage(page);
        EXPECT_NE(text.find("NAME\n       " + page + " - recover the mails"), std::string::npos) << text;
        EXPECT_NE(text.find(std::string("Mailmend ") + MAILMEND_VERSION), std::string::npos) << page;
        EXPECT_EQ(manPage(page, true), "") << page;
    }
}

// Every option the page lists is one the program has (and the other way round), and
// the program takes each as the page writes it.
TEST(ManualPages, CommandLinePageListsEveryOptionAndEachRuns)
{
    if (!installed("man"))
        GTEST_SKIP() << "man is not installed";
    TempDir dir;
    const std::string page = manPage("mailmend-cli");
    const std::set<std::string> options = listedOptions(page.substr(page.find("\nOPTIONS\n"),
                                                                    page.find("\nOUTPUT FORMS\n") - page.find("\nOPTIONS\n")));
    ASSERT_GT(options.size(), 10u) << page;
    EXPECT_EQ(options, listedOptions(testing::runCli(dir, "--help").out));
    testing::DbxFixture({testing::mailText(1, 400)}).writeTo(dir / "Inbox.dbx");
    const std::string folder = quoted(dir.path());
    const std::map<std::string, std::string> values {
        {"-o", folder}, {"--output", folder}, {"-f", "mbox"}, {"--format", "advanced"}, {"-s", folder},
        {"--search", folder}, {"--counter", "7"}, {"--tag", "Box"}};
    int run = 0;
    for (const std::string& option : options) {
        std::string arguments = option;
        if (const auto value = values.find(option); value != values.end())
            arguments += ' ' + value->second;
        // Each run its own output folder: two runs in one second into one would wait.
        if (option != "-h" && option != "--help" && option != "--version")
            arguments += " -q -o " + quoted(dir / "out" / std::to_string(++run)) + ' ' + quoted(dir / "Inbox.dbx");
        EXPECT_EQ(testing::runCli(dir, arguments).status, 0) << arguments;
    }
}

TEST(Completion, ScriptsParse)
{
    for (const auto& [tool, script] : {std::pair {"bash", "mailmend-cli"}, std::pair {"zsh", "_mailmend-cli"}}) {
        if (!installed(tool)) {
            std::printf("  %s is not installed: %s not checked\n", tool, script);
            continue;
        }
        const Shell checked = shell(std::string(tool) + " -n " + quoted(kSource / "data" / "completion" / script));
        EXPECT_EQ(checked.status, 0) << checked.out;
        EXPECT_EQ(checked.out, "");
    }
}

// The forms offered after -f are those the program names when it refuses one.
TEST(Completion, BashOffersTheProgramsOutputFormsAfterF)
{
    if (!installed("bash"))
        GTEST_SKIP() << "bash is not installed";
    TempDir dir;
    const std::string refusal = testing::runCli(dir, "-f none a.dbx -o out").err;
    std::smatch forms;
    ASSERT_TRUE(std::regex_search(refusal, forms, std::regex("\\(use ([a-z, ]+) or ([a-z]+)\\)"))) << refusal;
    const std::string expected = std::regex_replace(forms[1].str(), std::regex(","), "") + " " + forms[2].str() + "\n";
    const Shell offered = shell("bash -c 'source " + quoted(kSource / "data" / "completion" / "mailmend-cli")
                                + "; COMP_WORDS=(mailmend-cli -f \"\"); COMP_CWORD=2; _mailmend_cli;"
                                  " echo \"${COMPREPLY[*]}\"'");
    EXPECT_EQ(offered.out, expected);
}

TEST(DesktopEntry, ValidatesAndOpensTheDbxFileTypeWithTheFilesGiven)
{
    const fs::path entry = kSource / "data" / "mailmend.desktop";
    const std::string text = testing::readFile(entry);
    EXPECT_NE(text.find("\nExec=mailmend %F\n"), std::string::npos);
    EXPECT_NE(text.find("\nMimeType=application/x-outlook-express-dbx;\n"), std::string::npos);
    if (installed("desktop-file-validate")) {
        const Shell validated = shell("desktop-file-validate " + quoted(entry));
        EXPECT_EQ(validated.status, 0);
        EXPECT_EQ(validated.out, "");
    }
    if (!installed("update-mime-database"))
        GTEST_SKIP() << "update-mime-database is not installed";
    TempDir mime;
    fs::create_directories(mime / "packages");
    fs::copy_file(kSource / "data" / "mailmend-dbx.xml", mime / "packages" / "mailmend-dbx.xml");
    ASSERT_EQ(shell("update-mime-database " + quoted(mime.path())).status, 0);
    EXPECT_NE(testing::readFile(mime / "globs2").find("application/x-outlook-express-dbx:*.dbx\n"), std::string::npos);
    EXPECT_NE(testing::readFile(mime / "magic").find("application/x-outlook-express-dbx"), std::string::npos);
}

struct DesktopCase {
    const char* name;
    const char* arguments;
    int status;
    const char* output; // a line of what it writes
};

class DesktopCommandLine : public ::testing::TestWithParam<DesktopCase> {};

TEST_P(DesktopCommandLine, AnswersWithoutAWindow)
{
    if (std::string(MAILMEND_GUI_PATH).empty())
        GTEST_SKIP() << "built without the desktop program";
    const Shell run = shell("QT_QPA_PLATFORM=offscreen " + quoted(MAILMEND_GUI_PATH) + " " + GetParam().arguments);
    EXPECT_EQ(run.status, GetParam().status);
    EXPECT_NE(run.out.find(GetParam().output), std::string::npos) << run.out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DesktopCommandLine,
    ::testing::Values(DesktopCase {"Version", "--version", 0, "mailmend " MAILMEND_VERSION "\n"},
                      DesktopCase {"Help", "a.dbx --help", 0, "Usage: mailmend [FILE.dbx | FOLDER]...\n"},
                      DesktopCase {"UnknownOption", "--bogus", 2, "mailmend: unknown option --bogus\n"}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
} // namespace mailmend
