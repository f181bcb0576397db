// SPDX-License-Identifier: GPL-3.0-or-later
// The execution and error logs: header, line layout, CR LF, append-only, which file a
// line goes to, and that lines written from two threads never mix.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "log/log.h"

namespace fs = std::filesystem;
using namespace mailmend;

namespace {

class FixedClock final : public platform::Clock {
public:
    FixedClock(platform::CalendarDate d, platform::WallTime t) : m_date(d), m_time(t) {}
    platform::CalendarDate utcDate() const override { return m_date; }
    platform::WallTime localTime() const override { return m_time; }

    std::int64_t utcNow() const override { return 0; }

private:
    platform::CalendarDate m_date;
    platform::WallTime m_time;
};

std::string slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class LogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_base = fs::temp_directory_path()
            / ("mailmend-log-" + std::to_string(::getpid()) + "-"
               + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_base);
        fs::create_directories(m_base);
    }
    void TearDown() override
    {
        forgetLogDirectory();
        fs::remove_all(m_base);
    }
    fs::path execLog() const { return m_base / "Log Files" / "ExecLog.log"; }
    fs::path errorLog() const { return m_base / "Log Files" / "ErrorLog.log"; }

    fs::path m_base;
};

const std::string kRule(79, '=');

std::string header(const std::string& date, const std::string& time)
{
    return kRule + "\r\nLast Log On\r\nDate : " + date + "\r\nTime : " + time + "\r\n" + kRule
        + "\r\n";
}

TEST_F(LogTest, InitStampsBothLogsWithUnpaddedDateAndTime)
{
    InitLogs(m_base, FixedClock({6, 3, 2011}, {9, 5, 3}));
    EXPECT_EQ(slurp(errorLog()), header("6/3/2011", "9:5:3"));
    EXPECT_EQ(slurp(execLog()), header("6/3/2011", "9:5:3"));
}

TEST_F(LogTest, LinesFollowTheLayoutAndGoToExactlyOneFile)
{
    InitLogs(m_base, FixedClock({31, 12, 1999}, {23, 59, 59}));
    EXPECT_TRUE(WriteLog(0, 0, "In SAVEASEML", false));
    EXPECT_TRUE(WriteLog(0, 0, "Could not create session", true));
    EXPECT_TRUE(WriteLog(-7, 42, "", false));

    const std::string h = header("31/12/1999", "23:59:59");
    EXPECT_EQ(slurp(execLog()), h + "Code:0  Error:0  MSG:In SAVEASEML\r\nCode:-7  Error:42  MSG:\r\n");
    EXPECT_EQ(slurp(errorLog()), h + "Code:0  Error:0  MSG:Could not create session\r\n");
}

TEST_F(LogTest, LineBreakInsideAMessageIsWrittenAsCrLf)
{
    InitLogs(m_base, FixedClock({1, 1, 2020}, {0, 0, 0}));
    WriteLog(0, 0, "Error Opening x.dbx file. \nConvertion fails for this file", true);
    const std::string text = slurp(errorLog());
    EXPECT_NE(text.find("MSG:Error Opening x.dbx file. \r\nConvertion fails for this file\r\n"),
              std::string::npos);
}

TEST_F(LogTest, SecondStartAppendsASecondHeaderBelowTheFirstRun)
{
    InitLogs(m_base, FixedClock({1, 2, 2003}, {4, 5, 6}));
    WriteLog(0, 0, "first run", false);
    InitLogs(m_base, FixedClock({2, 2, 2003}, {7, 8, 9}));
    WriteLog(0, 0, "second run", false);
    EXPECT_EQ(slurp(execLog()), header("1/2/2003", "4:5:6") + "Code:0  Error:0  MSG:first run\r\n"
                                    + header("2/2/2003", "7:8:9")
                                    + "Code:0  Error:0  MSG:second run\r\n");
    EXPECT_EQ(slurp(errorLog()), header("1/2/2003", "4:5:6") + header("2/2/2003", "7:8:9"));
}

TEST_F(LogTest, WriteLogNeverCreatesTheFolder)
{
    InitLogs(m_base, FixedClock({1, 1, 2020}, {0, 0, 0}));
    fs::remove_all(m_base / "Log Files");
    EXPECT_FALSE(WriteLog(0, 0, "lost", false));
    EXPECT_FALSE(fs::exists(m_base / "Log Files"));
}

TEST_F(LogTest, LinesFromTwoThreadsNeverInterleave)
{
    InitLogs(m_base, FixedClock({1, 1, 2020}, {0, 0, 0}));
    constexpr int kLines = 2000;
    const std::string a(300, 'a');
    const std::string b(300, 'b');
    std::thread first([&] {
        for (int i = 0; i < kLines; ++i)
            WriteLog(0, 0, a, false);
    });
    std::thread second([&] {
        for (int i = 0; i < kLines; ++i)
            WriteLog(0, 0, b, false);
    });
    first.join();
    second.join();

    std::istringstream in(slurp(execLog()));
    std::string line;
    int as = 0;
    int bs = 0;
    for (int skip = 0; skip < 5; ++skip)
        std::getline(in, line);
    while (std::getline(in, line)) {
        if (line == "Code:0  Error:0  MSG:" + a + "\r")
            ++as;
        else if (line == "Code:0  Error:0  MSG:" + b + "\r")
            ++bs;
        else
            ADD_FAILURE() << "mixed line: " << line.substr(0, 60);
    }
    EXPECT_EQ(as, kLines);
    EXPECT_EQ(bs, kLines);
}

} // namespace
