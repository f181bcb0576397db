// SPDX-License-Identifier: GPL-3.0-or-later
// The programs as the system sees them: manual pages, shell completion, the desktop entry
// and the .dbx file type, the desktop program's version. A check that needs a system tool
// skips when the tool is not installed.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "support/cli_runner.h"
#include "support/dbx_fixture.h"
#include "version.h"

namespace mailmend {
namespace {

namespace fs = std::filesystem;
using testing::quoted;

const fs::path kData = fs::path(MAILMEND_SOURCE_DIR) / "data";

// Standard output (and standard error, unless redirected in `command`) and the status.
std::pair<int, std::string> shell(const std::string& command)
{
    std::string out;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    char buffer[4096];
    for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    const int status = pipe ? ::pclose(pipe) : -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

bool installed(const std::string& tool)
{
    return shell("command -v " + tool).first == 0;
}

// The page as text, or with `warnings` what man and groff say about it.
std::string manPage(const std::string& page, bool warnings = false)
{
    return shell("LC_ALL=C MANWIDTH=100 man --warnings -l " + quoted(fs::path(MAILMEND_MAN_DIR) / (page + ".1"))
                 + (warnings ? " 2>&1 >/dev/null" : " 2>/dev/null")).second;
}

// The options of each line that starts with one, before its description.
std::set<std::string> listedOptions(const std::string& text)
{
    std::set<std::string> options;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t start = line.find_first_not_of(' ');
        if (start == 0 || start == std::string::npos || line[start] != '-')
            continue;
        const std::string head = line.substr(start, line.find("  ", start) - start);
        const std::regex option("--?[a-z][a-z-]*");
        for (std::sregex_iterator it(head.begin(), head.end(), option), end; it != end; ++it)
            options.insert(it->str());
    }
    return options;
}

TEST(ManualPages, RenderWithoutWarningsAndTheCommandLinePageListsEveryOptionThatRuns)
{
    if (!installed("man"))
        GTEST_SKIP() << "man is not installed";
    for (const std::string page : {"mailmend-cli", "mailmend"}) {
        if (!fs::exists(fs::path(MAILMEND_MAN_DIR) / (page + ".1")))
            continue; // the desktop program's page comes with the desktop program
        EXPECT_NE(manPage(page).find(std::string("Mailmend ") + MAILMEND_VERSION), std::string::npos) << page;
        EXPECT_EQ(manPage(page, true), "") << page;
    }
    // Every option the page lists is one the program has, and the other way round, and
    // the program takes each as the page writes it.
    testing::TempDir dir;
    const std::string page = manPage("mailmend-cli");
    const std::size_t from = page.find("\nOPTIONS\n");
    const std::set<std::string> options = listedOptions(page.substr(from, page.find("\nOUTPUT FORMS\n") - from));
    ASSERT_GT(options.size(), 10u) << page;
    EXPECT_EQ(options, listedOptions(testing::runCli(dir, "--help").out));
    testing::DbxFixture({testing::mailText(1, 400)}).writeTo(dir / "Inbox.dbx");
    const std::map<std::string, std::string> values {{"-o", quoted(dir.path())}, {"--output", quoted(dir.path())},
        {"-s", quoted(dir.path())}, {"--search", quoted(dir.path())}, {"-f", "mbox"}, {"--format", "advanced"},
        {"--counter", "7"}, {"--tag", "Box"}};
    int run = 0;
    for (const std::string& option : options) {
        std::string arguments = option + (values.count(option) ? ' ' + values.at(option) : std::string());
        if (option != "-h" && option != "--help" && option != "--version") // each run its own -o: no wait
            arguments += " -q -o " + quoted(dir / "out" / std::to_string(++run)) + ' ' + quoted(dir / "Inbox.dbx");
        EXPECT_EQ(testing::runCli(dir, arguments).status, 0) << arguments;
    }
}

TEST(Completion, ScriptsParseAndBashOffersTheFormsTheProgramNames)
{
    if (installed("zsh")) {
        EXPECT_EQ(shell("zsh -n " + quoted(kData / "completion" / "_mailmend-cli")), std::make_pair(0, std::string()));
    }
    const fs::path bash = kData / "completion" / "mailmend-cli";
    EXPECT_EQ(shell("bash -n " + quoted(bash)), std::make_pair(0, std::string()));
    // The program names its forms when it refuses one.
    testing::TempDir dir;
    const std::string refusal = testing::runCli(dir, "-f none a.dbx -o out").err;
    std::smatch forms;
    ASSERT_TRUE(std::regex_search(refusal, forms, std::regex("\\(use ([a-z, ]+) or ([a-z]+)\\)"))) << refusal;
    EXPECT_EQ(shell("bash -c 'source " + quoted(bash) + "; COMP_WORDS=(mailmend-cli -f \"\"); COMP_CWORD=2;"
                    " _mailmend_cli; echo \"${COMPREPLY[*]}\"'").second,
              std::regex_replace(forms[1].str(), std::regex(","), "") + " " + forms[2].str() + "\n");
}

TEST(DesktopEntry, ValidatesAndOpensTheDbxFileTypeWithTheFilesGiven)
{
    const std::string entry = testing::readFile(kData / "mailmend.desktop");
    EXPECT_NE(entry.find("\nExec=mailmend %F\n"), std::string::npos);
    EXPECT_NE(entry.find("\nMimeType=application/x-outlook-express-dbx;\n"), std::string::npos);
    if (installed("desktop-file-validate")) {
        EXPECT_EQ(shell("desktop-file-validate " + quoted(kData / "mailmend.desktop")), std::make_pair(0, std::string()));
    }
    if (!installed("update-mime-database"))
        GTEST_SKIP() << "update-mime-database is not installed";
    testing::TempDir mime;
    fs::create_directories(mime / "packages");
    fs::copy_file(kData / "mailmend-dbx.xml", mime / "packages" / "mailmend-dbx.xml");
    ASSERT_EQ(shell("update-mime-database " + quoted(mime.path())).first, 0);
    EXPECT_NE(testing::readFile(mime / "globs2").find(":application/x-outlook-express-dbx:*.dbx\n"), std::string::npos);
    EXPECT_NE(testing::readFile(mime / "magic").find("application/x-outlook-express-dbx"), std::string::npos);
}

TEST(DesktopProgram, AnswersVersionWithoutADisplay)
{
    if (!std::string(MAILMEND_GUI_PATH).empty()) {
        EXPECT_EQ(shell("DISPLAY= WAYLAND_DISPLAY= " + quoted(MAILMEND_GUI_PATH) + " a.dbx --version"),
                  std::make_pair(0, std::string("mailmend ") + MAILMEND_VERSION + "\n"));
    }
}

} // namespace
} // namespace mailmend
