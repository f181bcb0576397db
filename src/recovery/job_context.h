// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "dbx/dbx_file.h"
#include "dbx/mapped_mail_extractor.h"
#include "log/log.h"
#include "platform/cancellation.h"
#include "recovery/job_view.h"
#include "recovery/recovery_request.h"

namespace mailmend::recovery {

// The per-file record of a run.
struct FileContext {
    std::string sourcePath;              // list column 0
    std::string fileName;                // list column 1
    std::string baseName;                // see baseNameOf
    std::filesystem::path outputFolder;
    std::filesystem::path tempFolder;
    std::size_t fileIndex = 0;
    FileResult result;
};

// How an output step left its file: finished, or the run must end (stopped or failed).
enum class StepResult { Finished, Abort };

class JobContext;

// One save option's work on one file (the job's per-file step 6).
using OutputStep = StepResult (*)(JobContext& job, FileContext& file);

// The running job as the output steps see it: the request, the window, the logs, the
// reader and the extractor, and the stop signals.
class JobContext {
public:
    JobContext(const RecoveryRequest& request, JobView& view,
               const platform::CancellationToken& token, LogWriter* log, dbx::DbxFile& reader,
               dbx::MappedMailExtractor& extractor);

    const RecoveryRequest& request() const { return m_request; }
    JobView& view() const { return m_view; }
    // Writes only when the request's logging switch is on.
    const Logger& log() const { return m_log; }
    dbx::DbxFile& reader() const { return m_reader; }
    dbx::MappedMailExtractor& extractor() const { return m_extractor; }
    const platform::CancellationToken& token() const { return m_token; }

    std::size_t fileCount() const { return m_fileCount; }
    void setFileCount(std::size_t count) { m_fileCount = count; }
    // When the run started, seconds since 1970 UTC: the date of a mail that has none.
    std::int64_t runStartTime() const { return m_runStartTime; }
    void setRunStartTime(std::int64_t time) { m_runStartTime = time; }
    // The Outlook Express style mail store the DBX output puts its folders in.
    const std::filesystem::path& storeDirectory() const { return m_storeDirectory; }
    void setStoreDirectory(std::filesystem::path directory) { m_storeDirectory = std::move(directory); }

    // True once the window's running flag is clear or the token is set. Every check
    // point of the run asks this, and nothing more is created or written once it holds.
    bool stopRequested() const;

    // The status line (cut to its length), the per-file bar, and the overall bar with
    // the progress text that repeats its value.
    void showStatus(const std::string& text) const;
    void setFileProgress(int position) const;
    void setOverallProgress(int position) const;

private:
    const RecoveryRequest& m_request;
    JobView& m_view;
    const platform::CancellationToken& m_token;
    Logger m_log;
    dbx::DbxFile& m_reader;
    dbx::MappedMailExtractor& m_extractor;
    std::size_t m_fileCount = 0;
    std::int64_t m_runStartTime = 0;
    std::filesystem::path m_storeDirectory;
};

// The caption of the job's message boxes.
inline constexpr const char* kJobCaption = "Norvale Mailmend";

// Counts what the reader made of the mail it was last asked for into `result`: written
// (and cut short by damage), refused by the header test, part of another mail, failed.
void countWriteResult(FileResult& result, const dbx::DbxFile& reader);

// A mail on its way into a store: the reader writes it as a scratch .eml file into the
// file's scratch folder.
struct ScratchMail {
    std::string path;     // where the reader wrote it (or would have)
    bool written = false; // false: "Recovery fails for mail %d" is logged and the tally counted
    bool stopped = false; // the run was stopped inside the mail: end the loop
};
// `failureIsError` says which log the failure line goes to.
ScratchMail writeScratchMail(JobContext& job, FileContext& file, std::int32_t mail,
                             bool failureIsError);

// Deletes a scratch mail once the store holds it; a failure is logged, nothing more.
void deleteScratchMail(JobContext& job, const std::string& path, std::int32_t mail);

// What MailLoop does after a mail's action: move the bars, leave them (the next mail's
// update covers this one), or end the run.
enum class MailOutcome { Progress, SkipProgress, Stop };

// The reader's pass over one file, shared by the outputs that take mails from the
// reader: open, count, then `perMail` for each mail with the progress update after it.
// `share` is the part of the per-file bar the mails fill (progressShare). The caller
// sets the per-file bar to its final value afterwards.
StepResult MailLoop(JobContext& job, FileContext& file, int share,
                    const std::function<MailOutcome(std::int32_t mail)>& perMail);

// Deletes the plain files directly in `folder`; subfolders and their contents stay. The
// stop signals are checked before each entry: false means the run must end.
bool EmptyFolderFiles(const JobContext& job, const std::filesystem::path& folder);

// Deletes the plain files in a file's scratch folder and the folder itself, for the
// outputs that work through scratch files.
void cleanTempFolder(const JobContext& job, const std::filesystem::path& folder);

// A store of the file could not be finished: logged, and the mails counted as written into
// it count as failed.
void storeUnfinished(JobContext& job, FileContext& file, const std::filesystem::path& store);

// The way out of a stopped or failed run: the window back to idle; the exit code -1.
int JobAbort(JobContext& job);

} // namespace mailmend::recovery
