// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "platform/clock.h"

// The output root: the time-stamped folder made inside the parent folder the user
// chooses, under which a run makes one folder per source file.
namespace mailmend::app {

// "Norvale_Recover_DBX_(DATE=<month>-<day>-<year>)_(TIME=<h>hr.<m>m.<s>s)": the UTC date
// and the local time, read separately, as plain numbers without leading zeros.
std::string outputRootName(const platform::Clock& clock);

// `name` inside `parent`, with one separator between them: none is added when the parent
// already ends in one (a file-system root).
std::string outputRootPath(const std::string& parent, const std::string& name);

std::string outputRootName(const platform::CalendarDate& date, const platform::WallTime& time);

struct NewOutputRoot {
    std::string path;  // empty when no root was made
    std::string error; // why, then
};

// Browse's way, which never removes a finished run's output: the root is made under the
// current second's name, or, when a folder of that name is there (a second Browse within
// the same second, or the hour repeated when the clocks go back), under the name of the
// next second whose name is free, counted on from the clock's reading.
NewOutputRoot createFreeOutputRoot(const std::string& parent, const platform::Clock& clock);

// The way that never removes anything, for a caller that has nobody to ask (the command
// line): the root is made under a name no entry of `parent` holds yet. When the name of
// the current second is taken (another run within the same second, or the clock went
// back an hour), it waits with `pause` until the clock shows another second and takes
// that name. `parent` must exist.
NewOutputRoot createNewOutputRoot(const std::string& parent, const platform::Clock& clock,
                                  const std::function<void()>& pause);

} // namespace mailmend::app
