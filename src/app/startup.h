// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>

#include "platform/instance_lock.h"
#include "platform/message_sink.h"

// What happens before the main window is shown.
namespace mailmend::app {

inline constexpr const char* kInstanceName = "Mailmend";
inline constexpr const char* kAnotherInstanceMessage
    = "Another instance of application is already running.";
// The exit code of a second copy that gave way to the first.
inline constexpr int kAnotherInstanceExitCode = 1;

// Takes the single-instance lock "Mailmend", to be held for the life of the process.
// When another copy holds it, tells the user through `sink` and returns nothing; the
// caller then ends with kAnotherInstanceExitCode before showing any window.
std::optional<platform::InstanceLock> claimSingleInstance(
    platform::MessageSink& sink, const std::filesystem::path& lockDirectory = {});

} // namespace mailmend::app
