// SPDX-License-Identifier: GPL-3.0-or-later
#include "log/log.h"

#include <mutex>

#include "log/text.h"
#include "platform/directories.h"
#include "platform/whole_writes.h"

namespace mailmend {
namespace {

constexpr const char* kLogFolder = "Log Files";
constexpr const char* kExecLog = "ExecLog.log";
constexpr const char* kErrorLog = "ErrorLog.log";

std::mutex g_rememberedMutex;
std::filesystem::path g_remembered; // written by InitLogs only

std::filesystem::path derivedBaseDirectory()
{
    const auto exeDir = platform::executableDirectory();
    if (platform::usesProgramDirectory(exeDir))
        return exeDir;
    return platform::userStateDirectory();
}

// Log files are text in the system's code page where each line break is CR LF, as the
// program has always written them; a bare LF inside a message becomes CR LF too.
std::string withCrLf(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + 2);
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    out += "\r\n";
    return out;
}

class FileLogWriter final : public LogWriter {
public:
    void write(const std::string& message, bool isError) override
    {
        WriteLog(0, 0, message, isError);
    }
};

} // namespace

void InitLogs()
{
    InitLogs(derivedBaseDirectory(), platform::systemClock());
}

void InitLogs(const std::filesystem::path& baseDirectory, const platform::Clock& clock)
{
    const auto folder = baseDirectory / kLogFolder;
    platform::createDirectories(folder); // failure, or an existing folder, is ignored

    const auto date = clock.utcDate();
    const auto time = clock.localTime();
    const std::string rule(79, '=');
    std::string header;
    header += withCrLf(rule);
    header += withCrLf("Last Log On");
    header += withCrLf(strprintf("Date : %d/%d/%d", date.day, date.month, date.year));
    header += withCrLf(strprintf("Time : %d:%d:%d", time.hour, time.minute, time.second));
    header += withCrLf(rule);

    platform::appendToFile(folder / kErrorLog, header); // each file on its own
    platform::appendToFile(folder / kExecLog, header);

    std::lock_guard lock(g_rememberedMutex);
    g_remembered = baseDirectory;
}

std::filesystem::path logBaseDirectory()
{
    {
        std::lock_guard lock(g_rememberedMutex);
        if (!g_remembered.empty())
            return g_remembered;
    }
    return derivedBaseDirectory();
}

void forgetLogDirectory()
{
    std::lock_guard lock(g_rememberedMutex);
    g_remembered.clear();
}

bool WriteLog(int code, int errorNumber, const std::string& message, bool isError)
{
    try {
        const auto file = logBaseDirectory() / kLogFolder / (isError ? kErrorLog : kExecLog);
        const std::string line
            = withCrLf(strprintf("Code:%d  Error:%d  MSG:", code, errorNumber) + message);
        bool opened = false;
        platform::appendToFile(file, line, &opened);
        return opened;
    } catch (...) {
        return false;
    }
}

LogWriter& fileLog()
{
    static FileLogWriter writer;
    return writer;
}

} // namespace mailmend
