// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's plain functions: config.ini byte for byte, where it lives, the hint
// regions at their bounds, and the single-instance lock across processes.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

#include "app/hints.h"
#include "app/settings.h"
#include "app/startup.h"
#include "platform/directories.h"
#include "platform/instance_lock.h"
#include "support/dbx_fixture.h"
#include "support/recording.h"
#include "support/temp_dir.h"

namespace mailmend::app {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

TEST(SettingsFile, WrittenAsThirtyEightBytesWithCrLf)
{
    EXPECT_EQ(formatSettings({true, false, false}), "Log = 1\r\nRecovery = 0\r\nCustomize = 0\r\n");
    const std::string all = formatSettings({true, true, true});
    EXPECT_EQ(all.size(), kSettingsFileSize);
    EXPECT_EQ(all[kLogSwitchAt], '1');
    EXPECT_EQ(all[kRecoverySwitchAt], '1');
    EXPECT_EQ(all[kCustomizeSwitchAt], '1');

    for (int bits = 0; bits < 8; ++bits) {
        const Settings settings {(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0};
        EXPECT_EQ(parseSettings(formatSettings(settings)), settings) << bits;
    }
}

TEST(SettingsFile, ReaderLooksOnlyAtTheThreeBytes)
{
    // Bare LF line ends: the second offset falls on a line break, the third past the end.
    EXPECT_EQ(parseSettings("Log = 1\nRecovery = 1\nCustomize = 1\n"), (Settings {true, false, false}));
    EXPECT_EQ(parseSettings("Log = 2\r\nRecovery = 1\r\nCustomize = 1\r\n"), (Settings {false, true, true}));
    EXPECT_EQ(parseSettings("Log =  \r\nRecovery = 1\r\n"), (Settings {false, true, false}));
    EXPECT_EQ(parseSettings(""), Settings {});
    // Keys are never parsed: a 1 at the right place is on, whatever stands around it.
    EXPECT_EQ(parseSettings(std::string(6, 'x') + "1"), (Settings {true, false, false}));
}

TEST(SettingsFile, WriteReplacesTheFileWholeAndReadGetsItBack)
{
    TempDir dir;
    const fs::path file = dir / "conf" / "config.ini"; // the folder is made on the way
    EXPECT_FALSE(readSettingsFile(file).has_value());
    ASSERT_TRUE(writeSettingsFile(file, {false, true, false}));
    ASSERT_TRUE(writeSettingsFile(file, {true, false, true}));
    EXPECT_EQ(readFile(file), "Log = 1\r\nRecovery = 0\r\nCustomize = 1\r\n");
    EXPECT_EQ(readSettingsFile(file), (Settings {true, false, true}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "conf"), fs::directory_iterator()), 1);

    // A place that cannot take the file leaves nothing half-written behind.
    writeFile(dir / "plain", std::string("x"));
    EXPECT_FALSE(writeSettingsFile(dir / "plain" / "config.ini", {true, true, true}));
    fs::create_directory(dir / "taken");
    fs::create_directory(dir / "taken" / "config.ini");
    EXPECT_FALSE(writeSettingsFile(dir / "taken" / "config.ini", {true, true, true}));
    EXPECT_TRUE(fs::is_directory(dir / "taken" / "config.ini"));
    EXPECT_FALSE(fs::exists(dir / "taken" / "config.ini.new"));
}

TEST(SettingsFile, LivesBesideTheExecutableOnlyWhenThatCanBeWritten)
{
    TempDir dir;
    EXPECT_EQ(settingsDirectory(dir.path()), dir.path());
    EXPECT_EQ(settingsDirectory(dir / "missing"), platform::userConfigDirectory());
    EXPECT_EQ(settingsPath().filename(), "config.ini");

    // An installed copy keeps to the user's directories, root or not, unless told otherwise.
    fs::create_directories(dir / "usr" / "bin");
    fs::create_directories(dir / "usr" / "share" / "doc" / "Mailmend");
    EXPECT_EQ(settingsDirectory(dir / "usr" / "bin"), platform::userConfigDirectory());
    writeFile(dir / "usr" / "bin" / "portable", std::string());
    EXPECT_EQ(settingsDirectory(dir / "usr" / "bin"), dir / "usr" / "bin");
}

struct HintCase {
    int x;
    int y;
    const char* caption;
    std::string hint;
};

TEST(Hints, FirstMatchingRegionWinsAtEveryBound)
{
    const std::string add = " Click Add button to select a file.";
    const std::string search = " Click Search button to search file on disk.";
    const std::string list = " Recover file list.";
    const std::string browse = " Click Browse button to specify destination.";
    const std::string options = " Select the output file format.";
    const HintCase cases[] = {
        {2, 0, "&Recover", " Select Menu"},  {1, 0, "&Recover", kReadyHint},
        {900, 1, "&Recover", " Select Menu"}, {2, 2, "&Recover", kReadyHint},
        {3, 3, "&Recover", kBannerHint},      {591, 86, "&Recover", kBannerHint},
        {592, 86, "&Recover", kReadyHint},    {3, 87, "&Recover", kReadyHint},
        {389, 120, "&Recover", kReadyHint},   {390, 105, "&Recover", add},
        {400, 120, "&Recover", add},          {484, 120, "&Recover", add},
        {485, 120, "&Recover", search},       {579, 137, "&Recover", search},
        {580, 137, "&Recover", kReadyHint},   {12, 140, "&Recover", list},
        {11, 140, "&Recover", kReadyHint},    {579, 279, "&Recover", list},
        {473, 280, "&Recover", browse},       {472, 280, "&Recover", kReadyHint},
        {579, 310, "&Recover", browse},       {16, 320, "&Recover", options},
        {579, 399, "&Recover", options},      {16, 400, "&Recover", kReadyHint},
        {500, 500, "&Recover", kRecoverHint}, {500, 500, "&Stop", kStopHint},
        {475, 486, "&Stop", kStopHint},       {579, 514, "Recover", kReadyHint},
        {474, 500, "&Stop", kReadyHint},      {500, 515, "&Stop", kReadyHint},
        {-5, -5, "&Recover", kReadyHint},
    };
    for (const HintCase& c : cases)
        EXPECT_EQ(hintAt(c.x, c.y, c.caption), c.hint) << c.x << "," << c.y << " " << c.caption;
    EXPECT_EQ(std::string(kBannerHint), " Mailmend" + std::string(41, ' '));
}

TEST(InstanceLock, OneHolderAtATimeAndFreedWithIt)
{
    TempDir dir;
    std::optional<platform::InstanceLock> first = platform::InstanceLock::tryAcquire("Mailmend", dir.path());
    ASSERT_TRUE(first.has_value());
    EXPECT_TRUE(first->holdsFile());
    EXPECT_FALSE(platform::InstanceLock::tryAcquire("Mailmend", dir.path()).has_value());
    EXPECT_TRUE(platform::InstanceLock::tryAcquire("Other", dir.path()).has_value());

    platform::InstanceLock moved = std::move(*first);
    first.reset();
    EXPECT_FALSE(platform::InstanceLock::tryAcquire("Mailmend", dir.path()).has_value());
    moved = std::move(*platform::InstanceLock::tryAcquire("Other", dir.path()));
    EXPECT_TRUE(platform::InstanceLock::tryAcquire("Mailmend", dir.path()).has_value());

    // No place for the file: the start is not refused.
    writeFile(dir / "plain", std::string("x"));
    const auto fileless = platform::InstanceLock::tryAcquire("Mailmend", dir / "plain");
    ASSERT_TRUE(fileless.has_value());
    EXPECT_FALSE(fileless->holdsFile());
}

TEST(InstanceLock, SecondCopyIsToldAndAKilledHolderLeavesNoStaleLock)
{
    TempDir dir;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto lock = platform::InstanceLock::tryAcquire(kInstanceName, dir.path());
        const char byte = lock ? 'y' : 'n';
        (void)!::write(ready[1], &byte, 1);
        ::pause(); // held until killed, never released by the program itself
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, 'y');

    testing::RecordingMessageSink sink;
    EXPECT_FALSE(claimSingleInstance(sink, dir.path()).has_value());
    ASSERT_EQ(sink.shown().size(), 1u);
    EXPECT_EQ(sink.shown()[0].text, "Another instance of application is already running.");
    EXPECT_EQ(sink.shown()[0].caption, "Norvale Mailmend");

    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_TRUE(claimSingleInstance(sink, dir.path()).has_value());
    EXPECT_EQ(sink.shown().size(), 1u);
}

} // namespace
} // namespace mailmend::app
