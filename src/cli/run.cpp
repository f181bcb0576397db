// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/run.h"

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <set>
#include <string_view>
#include <system_error>
#include <thread>

#include "app/output_root.h"
#include "cli/console_view.h"
#include "dbx/mapped_mail_extractor.h"
#include "log/log.h"
#include "log/text.h"
#include "naming/naming_arguments.h"
#include "platform/directories.h"
#include "platform/input_check.h"
#include "platform/message_sink.h"
#include "recovery/recovery_job.h"
#include "search/search_walk.h"

namespace mailmend::cli {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// How often the live line may be redrawn, and how long the output root waits between two
// looks at the clock.
constexpr auto kRedrawPeriod = 100ms;
constexpr auto kClockPause = 100ms;

// The reader's boxes reach the console while the run lasts.
class MessageSinkScope {
public:
    explicit MessageSinkScope(platform::MessageSink& sink) { platform::setMessageSink(&sink); }
    ~MessageSinkScope() { platform::setMessageSink(nullptr); }
    MessageSinkScope(const MessageSinkScope&) = delete;
    MessageSinkScope& operator=(const MessageSinkScope&) = delete;
};

void printError(const Console& console, const std::string& program, const std::string& text)
{
    std::fprintf(console.err, "%s: %s\n", program.c_str(), forTerminal(text).c_str());
    std::fflush(console.err);
}

// "1 mail", "2 mails".
std::string count(std::int64_t n, const char* one, const char* many)
{
    return strprintf("%lld %s", static_cast<long long>(n), n == 1 ? one : many);
}

// What became of a file's mails, said as what was written: the chains that turned out
// to be parts of other mails are no loss, and are told as such.
std::string mailCounts(const recovery::FileResult& r, recovery::SaveOption format)
{
    std::string text;
    if (r.mailsWritten == 0 && r.mailsFailed == 0) {
        text = r.mailsFound > 0 ? "no mail written" : "no mail found";
    } else {
        text = count(r.mailsWritten, "mail", "mails") + " written";
        if (r.mailsCutShort > 0)
            text += strprintf(" (%d cut short by damage)", r.mailsCutShort);
        text += strprintf(", %d failed", r.mailsFailed);
    }
    std::string chains;
    if (r.mailsTakenOver > 0)
        chains += strprintf(", %d of them part of another mail", r.mailsTakenOver);
    if (r.mailsRefused > 0)
        chains += strprintf(", %d without mail headers", r.mailsRefused);
    if (!chains.empty())
        text += " (" + count(r.mailsFound, "candidate chain", "candidate chains") + chains + ")";
    if (r.attachmentsFailed > 0)
        text += ", " + count(r.attachmentsFailed, "attachment", "attachments") + " not written";
    if (r.mailsWritten == 0 && r.mailsFailed == 0 && format != recovery::SaveOption::ADVANCEDSCAN)
        text += "; try -f advanced";
    return text;
}

// The recovery job on its own thread; the caller's thread keeps the console up to date.
int runJob(const recovery::RecoveryRequest& request, ConsoleView& view, const std::string& program,
           bool quiet, platform::CancellationToken& token)
{
    dbx::MappedMailExtractor& extractor = dbx::mappedMailExtractor();
    extractor.setActive(true);

    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    int code = -1;
    std::thread worker([&] {
        const int result = recovery::DBX_Recover_thread(request, view, token);
        std::lock_guard lock(mutex);
        code = result;
        done = true;
        ended.notify_one();
    });

    bool stopNoted = false;
    for (bool finished = false; !finished;) {
        {
            std::unique_lock lock(mutex);
            finished = ended.wait_for(lock, kRedrawPeriod, [&] { return done; });
        }
        if (token.isCancelled() && !stopNoted) {
            stopNoted = true;
            extractor.setActive(false);
            if (!quiet)
                view.note(program + ": stopping after the mail being written (Ctrl-C again quits at once)");
        }
        // Once the job has ended the window is back to idle: nothing worth drawing.
        if (!finished)
            view.refresh();
    }
    worker.join();
    extractor.setActive(false);
    view.finish();
    return code;
}

// The files of a run: those given, in order, then what the search found below each search
// folder; a path given or found a second time (spelled exactly the same) is taken once.
std::vector<recovery::FileRow> fileRows(const std::vector<std::string>& given,
                                        const std::vector<std::vector<std::string>>& found)
{
    std::vector<recovery::FileRow> rows;
    std::set<std::string> seen;
    const auto add = [&](const std::string& path) {
        if (seen.insert(path).second)
            rows.push_back({path, fs::path(path).filename().string()});
    };
    for (const std::string& path : given)
        add(path);
    for (const auto& paths : found)
        for (const std::string& path : paths)
            add(path);
    return rows;
}

// The summary line of one file; `stopped` tells a stop from a failure when the file did
// not finish.
std::string describeFile(const recovery::FileResult& r, recovery::SaveOption format, bool stopped)
{
    const std::string shown = forTerminal(r.sourcePath);
    const char* path = shown.c_str();
    const char* ended = stopped ? "stopped" : "the run ended";
    const std::string counts = mailCounts(r, format);
    if (!r.folderError.empty())
        return strprintf("%s: not read, as its folder could not be made (%s)", path,
                         r.folderError.c_str());
    if (!r.sourceOpened) {
        if (!r.openError.empty())
            return strprintf("%s: could not be read (%s)", path, r.openError.c_str());
        if (r.completed)
            return strprintf("%s: could not be read", path);
        return strprintf("%s: %s before it was read", path, ended);
    }
    if (r.completed && r.readIncomplete)
        return strprintf("%s: could not be read in full; %s", path, counts.c_str());
    if (r.completed && r.workingCopyFailed)
        return strprintf("%s: failed, as the Advanced Scan's working copy could not be written in "
                         "full; %s from what was copied",
                         path, counts.c_str());
    if (r.completed)
        return strprintf("%s: %s", path, counts.c_str());
    if (r.mailsFound < 0)
        return strprintf("%s: %s while it was scanned", path, ended);
    return strprintf("%s: %s here; %s", path, ended, counts.c_str());
}

// The line of a file the run never reached.
std::string describeUnreached(const recovery::FileRow& row, bool stopped)
{
    return strprintf("%s: not read (the run %s first)", forTerminal(row.path).c_str(),
                     stopped ? "was stopped" : "ended");
}

bool wasRead(const recovery::FileResult& r)
{
    return r.sourceOpened && r.folderError.empty() && !r.readIncomplete;
}

// A line for every file of the run, each with the folder its mails went to, then the
// totals over the `given` files (those refused before the run included). True when
// every file could be read and every mail written.
bool printSummary(const Console& console, const std::vector<recovery::FileRow>& rows,
                  const std::vector<recovery::FileResult>& results, std::size_t given,
                  recovery::SaveOption format, bool stopped)
{
    bool allRead = results.size() == rows.size();
    std::size_t read = 0;
    std::int64_t written = 0;
    std::int64_t failed = 0;
    for (const recovery::FileResult& result : results) {
        std::string line = describeFile(result, format, stopped);
        if (result.sourceOpened && !result.outputFolder.empty())
            line += " -> " + forTerminal(result.outputFolder.filename().string());
        std::fprintf(console.out, "%s\n", line.c_str());
        read += wasRead(result);
        written += result.mailsWritten;
        failed += result.mailsFailed;
        allRead = allRead && wasRead(result) && !result.workingCopyFailed
            && !result.outputCopyFailed && !result.storeUnfinished
            && result.mailsFailed == 0 && result.attachmentsFailed == 0;
    }
    for (std::size_t i = results.size(); i < rows.size(); ++i)
        std::fprintf(console.out, "%s\n", describeUnreached(rows[i], stopped).c_str());
    std::fprintf(console.out, "Total: %zu of %s read, %s written, %lld failed\n", read,
                 count(static_cast<std::int64_t>(given), "file", "files").c_str(),
                 count(written, "mail", "mails").c_str(), static_cast<long long>(failed));
    std::fflush(console.out);
    return allRead;
}

// The search folders that can be searched; each other one is reported.
std::vector<std::string> searchableFolders(const Console& console, const std::string& program,
                                           const std::vector<std::string>& folders)
{
    std::vector<std::string> usable;
    for (const std::string& folder : folders) {
        if (const std::string why = platform::unsearchableFolderReason(folder); !why.empty())
            printError(console, program, folder + ": " + why);
        else
            usable.push_back(folder);
    }
    return usable;
}

// The rows whose file can be read; each other one is reported, once.
std::vector<recovery::FileRow> readableRows(const Console& console, const std::string& program,
                                            const std::vector<recovery::FileRow>& rows)
{
    std::vector<recovery::FileRow> usable;
    for (const recovery::FileRow& row : rows) {
        if (const std::string why = platform::unreadableFileReason(row.path); !why.empty())
            printError(console, program, row.path + ": " + why);
        else
            usable.push_back(row);
    }
    return usable;
}

} // namespace

int runRecovery(const Arguments& arguments, const std::string& program, const Console& console,
                const platform::Clock& clock, platform::CancellationToken& token)
{
    // Every input is looked at before anything is made; what cannot be used is reported
    // and left out, and the others run.
    const std::vector<std::string> folders
        = searchableFolders(console, program, arguments.searchFolders);
    std::vector<std::vector<std::string>> found;
    for (const std::string& folder : folders) {
        std::vector<std::string> paths;
        const auto unlistable = [&](const fs::path& dir, const std::string& why) {
            printError(console, program, "cannot list " + dir.string() + ": " + why);
        };
        for (const fs::path& path :
             search::findDbxFiles(folder, platform::systemDirectoryLister(), &token, unlistable))
            paths.push_back(path.string());
        if (token.isCancelled()) {
            printError(console, program, "stopped while searching " + folder + "; nothing was written");
            return kExitFailed;
        }
        if (paths.empty())
            printError(console, program, "no .dbx mail folder found below " + folder);
        found.push_back(std::move(paths));
    }
    const std::vector<recovery::FileRow> given = fileRows(arguments.files, found);
    const std::vector<recovery::FileRow> rows = readableRows(console, program, given);
    const bool inputsRefused
        = rows.size() < given.size() || folders.size() < arguments.searchFolders.size();
    if (rows.empty()) {
        printError(console, program, "nothing to recover");
        return kExitFailed;
    }

    recovery::RecoveryRequest request;
    if (const std::string error = naming::applyNamingArguments(arguments.naming, request);
        !error.empty()) {
        printError(console, program, error);
        return kExitUsage;
    }
    request.files = rows;
    request.m_nSaveOption = arguments.format;
    request.m_bLog = arguments.log;
    request.m_bRecovery = arguments.recoveryMode;

    if (arguments.log)
        InitLogs();
    if (token.isCancelled()) {
        printError(console, program, "stopped; nothing was written");
        return kExitFailed;
    }
    if (!platform::createDirectories(arguments.outputDirectory)) {
        printError(console, program, "cannot create the folder " + arguments.outputDirectory);
        return kExitFailed;
    }
    const app::NewOutputRoot root = app::createNewOutputRoot(
        arguments.outputDirectory, clock, [] { std::this_thread::sleep_for(kClockPause); });
    if (root.path.empty()) {
        printError(console, program, root.error);
        return kExitFailed;
    }
    request.m_strDestination = root.path;

    ConsoleOptions options;
    options.err = console.err;
    options.terminal = console.terminal;
    options.quiet = arguments.quiet;
    options.width = console.width;
    for (const recovery::FileRow& row : rows)
        options.fileNames.push_back(row.name);
    options.endMessagePrefix = "Files recovered ";
    ConsoleView view(options);
    int code = -1;
    {
        MessageSinkScope sink(view);
        code = runJob(request, view, program, arguments.quiet, token);
    }

    const bool stopped = token.isCancelled();
    const bool allWritten
        = printSummary(console, rows, view.results(), given.size(), arguments.format, stopped);
    const std::string ended = view.endMessage();
    if (!ended.empty()) {
        std::fprintf(console.out, "%s\n", forTerminal(ended).c_str());
        std::fflush(console.out);
    }
    if (code == 0 && !ended.empty())
        return allWritten && !inputsRefused ? kExitDone : kExitFailed;
    printError(console, program,
               strprintf("the run was %s; what was written so far stays in %s",
                         stopped ? "stopped" : "not finished", root.path.c_str()));
    return kExitFailed;
}

} // namespace mailmend::cli
