// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/output_root.h"

#include <system_error>
#include <vector>

#include "log/text.h"
#include "platform/directories.h"

namespace mailmend::app {
namespace {

namespace fs = std::filesystem;

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

} // namespace

std::string outputRootName(const platform::Clock& clock)
{
    const platform::CalendarDate date = clock.utcDate();
    const platform::WallTime time = clock.localTime();
    return strprintf("Norvale_Recover_DBX_(DATE=%d-%d-%d)_(TIME=%dhr.%dm.%ds)", date.month,
                     date.day, date.year, time.hour, time.minute, time.second);
}

std::string outputRootPath(const std::string& parent, const std::string& name)
{
    return endsInSeparator(parent) ? parent + name : parent + kSeparator + name;
}

bool replaceOutputRoot(const fs::path& root)
{
    if (platform::createDirectory(root))
        return true;
    std::error_code ec;
    fs::remove_all(root, ec);
    if (!ec) {
        platform::createDirectory(root);
    } else {
        // Listed first, so that deleting does not disturb the listing.
        std::vector<fs::directory_entry> entries;
        std::error_code listing;
        for (fs::directory_iterator it(root, listing), end; !listing && it != end;
             it.increment(listing))
            entries.push_back(*it);
        for (const fs::directory_entry& entry : entries) {
            std::error_code ignored;
            if (!entry.is_directory(ignored))
                fs::remove(entry.path(), ignored);
        }
    }
    return fs::is_directory(root, ec);
}

NewOutputRoot createNewOutputRoot(const std::string& parent, const platform::Clock& clock,
                                  const std::function<void()>& pause)
{
    std::string name = outputRootName(clock);
    std::string path;
    for (int attempt = 0; attempt < kNamesTried; ++attempt) {
        path = outputRootPath(parent, name);
        std::error_code ec;
        if (fs::create_directory(path, ec))
            return {path, {}};
        if (ec) // not merely there already
            return {{}, strprintf("cannot create the folder %s: %s", path.c_str(),
                                  ec.message().c_str())};
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
