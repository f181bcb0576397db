// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/output_root.h"

#include "log/text.h"
#include "platform/directories.h"
#include "platform/file_system.h"

namespace mailmend::app {
namespace {

bool endsInSeparator(const std::string& path)
{
#ifdef _WIN32
    return !path.empty() && (path.back() == '\\' || path.back() == '/');
#else
    return !path.empty() && path.back() == '/';
#endif
}

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

// Names to try before giving up, and pauses to wait for the clock's next second.
constexpr int kNamesTried = 5;
constexpr int kPausesPerName = 30;
// Names Browse tries, one second apart, before giving up: an hour's worth.
constexpr int kSecondsStepped = 3600;

platform::WallTime nextSecond(platform::WallTime time)
{
    if (++time.second == 60) {
        time.second = 0;
        if (++time.minute == 60) {
            time.minute = 0;
            time.hour = (time.hour + 1) % 24;
        }
    }
    return time;
}

} // namespace

std::string outputRootName(const platform::Clock& clock)
{
    return outputRootName(clock.utcDate(), clock.localTime());
}

std::string outputRootName(const platform::CalendarDate& date, const platform::WallTime& time)
{
    return strprintf("Norvale_Recover_DBX_(DATE=%d-%d-%d)_(TIME=%dhr.%dm.%ds)", date.month,
                     date.day, date.year, time.hour, time.minute, time.second);
}

std::string outputRootPath(const std::string& parent, const std::string& name)
{
    return endsInSeparator(parent) ? parent + name : parent + kSeparator + name;
}

NewOutputRoot createFreeOutputRoot(const std::string& parent, const platform::Clock& clock)
{
    const platform::CalendarDate date = clock.utcDate();
    platform::WallTime time = clock.localTime();
    std::string path;
    for (int tried = 0; tried < kSecondsStepped; ++tried) {
        path = outputRootPath(parent, outputRootName(date, time));
        std::string error;
        if (platform::createDirectory(path, &error))
            return {path, {}};
        if (!platform::pathEntryExists(path))
            return {{}, strprintf("cannot create the folder %s: %s", path.c_str(), error.c_str())};
        time = nextSecond(time);
    }
    return {{}, strprintf("the folder %s already exists", path.c_str())};
}

NewOutputRoot createNewOutputRoot(const std::string& parent, const platform::Clock& clock,
                                  const std::function<void()>& pause)
{
    std::string name = outputRootName(clock);
    std::string path;
    for (int attempt = 0; attempt < kNamesTried; ++attempt) {
        path = outputRootPath(parent, name);
        std::string error;
        if (platform::createDirectory(path, &error))
            return {path, {}};
        if (!platform::pathEntryExists(path)) // not merely there already
            return {{}, strprintf("cannot create the folder %s: %s", path.c_str(), error.c_str())};
        std::string next = name;
        for (int i = 0; i < kPausesPerName && next == name; ++i) {
            pause();
            next = outputRootName(clock);
        }
        if (next == name)
            break; // the clock does not move on
        name = next;
    }
    return {{}, strprintf("the folder %s already exists", path.c_str())};
}

} // namespace mailmend::app
