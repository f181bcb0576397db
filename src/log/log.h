// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

#include "platform/clock.h"

namespace mailmend {

// The execution log and the error log: "Log Files/ExecLog.log" and
// "Log Files/ErrorLog.log" in the executable's directory, or in the per-user state
// directory when the executable's directory cannot be written. Both are append-only
// text files with CR LF line ends.

// Creates the "Log Files" folder, stamps both logs with the start-up header and
// remembers the directory for WriteLog.
void InitLogs();

// The same with an explicit base directory and clock (tests, portable installs).
void InitLogs(const std::filesystem::path& baseDirectory, const platform::Clock& clock);

// Appends one line, "Code:<code>  Error:<errorNumber>  MSG:<message>" and CR LF, to the
// error log when `isError` is set, else to the execution log. The line reaches the file
// in a single append, so lines from two threads never interleave. Never creates the
// folder. True when the file could be opened.
bool WriteLog(int code, int errorNumber, const std::string& message, bool isError);

// The directory that holds "Log Files": the one InitLogs remembered, else derived afresh.
std::filesystem::path logBaseDirectory();

// Forgets the remembered directory (tests only).
void forgetLogDirectory();

// Where component code sends its log lines. Null means logging is switched off.
class LogWriter {
public:
    virtual ~LogWriter() = default;
    virtual void write(const std::string& message, bool isError) = 0;
};

// Sends lines to WriteLog with code 0 and error number 0.
LogWriter& fileLog();

// Small helper for the components: writes only when a writer is set.
struct Logger {
    LogWriter* writer = nullptr;

    bool enabled() const { return writer != nullptr; }
    void exec(const std::string& message) const
    {
        if (writer)
            writer->write(message, false);
    }
    void error(const std::string& message) const
    {
        if (writer)
            writer->write(message, true);
    }
};

} // namespace mailmend
