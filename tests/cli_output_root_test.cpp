// SPDX-License-Identifier: GPL-3.0-or-later
// The output root: its name from the clock, Browse's way of making it, and the command
// line's way, which never removes anything.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/output_root.h"
#include "support/dbx_fixture.h"
#include "support/temp_dir.h"

namespace mailmend::app {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

// A clock whose local time the test moves on.
class SettableClock final : public platform::Clock {
public:
    SettableClock(platform::CalendarDate day, platform::WallTime now) : date(day), time(now) {}
    platform::CalendarDate utcDate() const override { return date; }
    platform::WallTime localTime() const override { return time; }
    std::int64_t utcNow() const override { return 0; }
    platform::CalendarDate date;
    platform::WallTime time;
};

const std::string kAtNine = "Norvale_Recover_DBX_(DATE=3-7-2011)_(TIME=9hr.5m.3s)";

TEST(OutputRoot, NameAndPath)
{
    EXPECT_EQ(outputRootName(SettableClock({7, 3, 2011}, {9, 5, 3})), kAtNine);
    // The date is UTC, the time local, and they are not reconciled.
    EXPECT_EQ(outputRootName(SettableClock({31, 12, 2010}, {0, 0, 0})),
              "Norvale_Recover_DBX_(DATE=12-31-2010)_(TIME=0hr.0m.0s)");
    EXPECT_EQ(outputRootPath("/out", "N"), "/out/N");
    EXPECT_EQ(outputRootPath("/out/", "N"), "/out/N");
    EXPECT_EQ(outputRootPath("/", "N"), "/N");
}

TEST(OutputRoot, BrowseTakesTheNextFreeSecondAndNeverTouchesAnExistingRoot)
{
    TempDir dir;
    fs::create_directories(dir / kAtNine / "1_Recovered_Inbox_As_EML");
    writeFile(dir / kAtNine / "1_Recovered_Inbox_As_EML" / "Inbox_000001.eml", std::string("mail"));
    fs::create_directories(dir / "Norvale_Recover_DBX_(DATE=3-7-2011)_(TIME=9hr.5m.4s)");

    SettableClock clock({7, 3, 2011}, {9, 5, 3});
    EXPECT_EQ(createFreeOutputRoot(dir.path().string(), clock).path,
              (dir / "Norvale_Recover_DBX_(DATE=3-7-2011)_(TIME=9hr.5m.5s)").string());
    EXPECT_EQ(readFile(dir / kAtNine / "1_Recovered_Inbox_As_EML" / "Inbox_000001.eml"), "mail");

    clock.time = {23, 59, 59}; // the count wraps over the hour and the day
    fs::create_directories(dir / "Norvale_Recover_DBX_(DATE=3-7-2011)_(TIME=23hr.59m.59s)");
    EXPECT_EQ(createFreeOutputRoot(dir.path().string(), clock).path,
              (dir / "Norvale_Recover_DBX_(DATE=3-7-2011)_(TIME=0hr.0m.0s)").string());
    EXPECT_NE(createFreeOutputRoot((dir / "missing").string(), clock).error, "");
}

TEST(OutputRoot, CommandLineWaitsForAFreeSecondRatherThanTouchAnExistingRoot)
{
    TempDir dir;
    fs::create_directories(dir / kAtNine);
    writeFile(dir / kAtNine / "keep.txt", std::string("keep"));
    fs::create_directories(dir / "Norvale_Recover_DBX_(DATE=3-7-2011)_(TIME=9hr.5m.4s)");

    SettableClock clock({7, 3, 2011}, {9, 5, 3});
    int pauses = 0;
    const auto secondTurnsOverEveryThirdPause = [&] {
        if (++pauses % 3 == 0)
            ++clock.time.second;
    };
    const NewOutputRoot root = createNewOutputRoot(dir.path().string(), clock, secondTurnsOverEveryThirdPause);
    EXPECT_EQ(root.error, "");
    EXPECT_EQ(root.path, (dir / "Norvale_Recover_DBX_(DATE=3-7-2011)_(TIME=9hr.5m.5s)").string());
    EXPECT_TRUE(fs::is_empty(root.path));
    EXPECT_EQ(pauses, 6);
    EXPECT_EQ(readFile(dir / kAtNine / "keep.txt"), "keep");

    // A free name needs no wait.
    clock.time.second = 30;
    EXPECT_EQ(createNewOutputRoot(dir.path().string() + "/", clock, secondTurnsOverEveryThirdPause).path,
              (dir / "Norvale_Recover_DBX_(DATE=3-7-2011)_(TIME=9hr.5m.30s)").string());
    EXPECT_EQ(pauses, 6);
}

TEST(OutputRoot, CommandLineGivesUpWithAReasonAndRemovesNothing)
{
    TempDir dir;
    fs::create_directories(dir / kAtNine);
    writeFile(dir / kAtNine / "keep.txt", std::string("keep"));
    const SettableClock standing({7, 3, 2011}, {9, 5, 3});
    int pauses = 0;
    NewOutputRoot root = createNewOutputRoot(dir.path().string(), standing, [&] { ++pauses; });
    EXPECT_EQ(root.path, "");
    EXPECT_EQ(root.error, "the folder " + (dir / kAtNine).string() + " already exists");
    EXPECT_EQ(readFile(dir / kAtNine / "keep.txt"), "keep");
    EXPECT_LE(pauses, 30); // a bounded wait

    root = createNewOutputRoot((dir / "missing").string(), standing, [] {});
    EXPECT_EQ(root.error,
              "cannot create the folder " + (dir / "missing" / kAtNine).string() + ": No such file or directory");
}

} // namespace
} // namespace mailmend::app
