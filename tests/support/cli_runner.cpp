// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/cli_runner.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <regex>
#include <system_error>
#include <vector>

#include "support/dbx_fixture.h"

namespace mailmend::testing {

namespace fs = std::filesystem;

std::string quoted(const fs::path& path)
{
    std::string out = "'";
    for (const char c : path.string())
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

CliResult runCli(const TempDir& dir, const std::string& arguments, const std::string& shellPrefix)
{
    fs::create_directories(dir / "tmp");
    const std::string command = shellPrefix + "TMPDIR=" + quoted(dir / "tmp") + " XDG_DATA_HOME="
        + quoted(dir / "data") + " " + quoted(MAILMEND_CLI_PATH) + " " + arguments + " 2>"
        + quoted(dir / "stderr.txt");
    CliResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[4096];
    for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        result.out.append(buffer, n);
    const int status = pipe ? ::pclose(pipe) : -1;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = readFile(dir / "stderr.txt");
    return result;
}

fs::path outputRoot(const fs::path& parent)
{
    static const std::regex name(
        R"(Norvale_Recover_DBX_\(DATE=\d{1,2}-\d{1,2}-\d{4}\)_\(TIME=\d{1,2}hr\.\d{1,2}m\.\d{1,2}s\))");
    std::vector<fs::path> roots;
    std::error_code ec;
    for (fs::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec))
        roots.push_back(it->path());
    if (roots.size() != 1)
        return {};
    EXPECT_TRUE(std::regex_match(roots[0].filename().string(), name)) << roots[0];
    return roots[0];
}

} // namespace mailmend::testing
