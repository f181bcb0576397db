// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/job_context.h"

#include "log/text.h"
#include "platform/file_system.h"
#include "platform/safe_directories.h"
#include "recovery/folder_names.h"
#include "recovery/progress.h"

namespace mailmend::recovery {

namespace fs = std::filesystem;

JobContext::JobContext(const RecoveryRequest& request, JobView& view,
                       const platform::CancellationToken& token, LogWriter* log,
                       dbx::DbxFile& reader, dbx::MappedMailExtractor& extractor)
    : m_request(request)
    , m_view(view)
    , m_token(token)
    , m_log {request.m_bLog ? log : nullptr}
    , m_reader(reader)
    , m_extractor(extractor)
{
}

bool JobContext::stopRequested() const
{
    return m_token.isCancelled()
        || (m_request.m_bRunning && !m_request.m_bRunning->load(std::memory_order_relaxed));
}

void JobContext::showStatus(const std::string& text) const
{
    m_view.setControlText(ControlId::StatusText, cutStatusText(text));
}

void JobContext::setFileProgress(int position) const
{
    m_view.setProgress(ControlId::FileProgress, position);
}

void JobContext::setOverallProgress(int position) const
{
    m_view.setProgress(ControlId::OverallProgress, position);
    m_view.setControlText(ControlId::ProgressText, strprintf("Progress Report : %d%%", position));
}

StepResult MailLoop(JobContext& job, FileContext& file, int share,
                    const std::function<MailOutcome(std::int32_t mail)>& perMail)
{
    dbx::DbxFile& reader = job.reader();
    // A source that cannot be opened is reported by the reader; the count is then -1
    // and the file ends as processed, with nothing written.
    file.result.sourceOpened = reader.open(file.sourcePath);
    if (!file.result.sourceOpened)
        file.result.openError = reader.lastOpenError();
    // The scan takes a while on a large file and writes nothing: skip it after a stop.
    if (job.stopRequested())
        return StepResult::Abort;

    std::int32_t found = 0;
    const std::int32_t count = reader.findConvertableMails(found);
    file.result.mailsFound = count;
    job.log().exec(strprintf("In %s file %d recoverable mails were found", printable(file.sourcePath).c_str(),
                             count));
    // The mails of the part that could be read are still written; the file counts as
    // not read in full.
    if (reader.scanReadShort()) {
        file.result.readIncomplete = true;
        job.log().error(strprintf("Could not read %s in full", printable(file.sourcePath).c_str()));
    }
    if (job.stopRequested())
        return StepResult::Abort;
    job.showStatus(strprintf("Scanning File : %s.dbx", printable(file.baseName).c_str()));
    job.view().mailProgress(0, count);

    for (std::int32_t i = 0; i < count; ++i) {
        if (job.stopRequested())
            return StepResult::Abort;
        const MailOutcome outcome = perMail(i);
        if (outcome == MailOutcome::Stop)
            return StepResult::Abort;
        job.view().mailProgress(i + 1, count);
        if (outcome == MailOutcome::SkipProgress)
            continue;
        job.setFileProgress(fileProgress(i, count, share));
        job.setOverallProgress(overallProgress(i, count, file.fileIndex, job.fileCount(), share));
    }
    return StepResult::Finished;
}

bool EmptyFolderFiles(const JobContext& job, const fs::path& folder)
{
    return platform::emptyDirectoryFiles(folder, [&] { return job.stopRequested(); })
        != platform::EmptyResult::Stopped;
}

void cleanTempFolder(const JobContext& job, const fs::path& folder)
{
    try {
        platform::emptyDirectoryFiles(folder);
        if (platform::removeEmptyDirectory(folder))
            job.log().exec("Temp Directory clean successfully");
        else
            job.log().error("Error cleaning temp directory");
    } catch (...) {
        job.log().error("Exception while cleaning temp directory");
    }
}

void countWriteResult(FileResult& result, const dbx::DbxFile& reader)
{
    switch (reader.lastWriteResult()) {
    case dbx::MailWriteResult::Written:
        ++result.mailsWritten;
        if (reader.lastMailCutShort())
            ++result.mailsCutShort;
        break;
    case dbx::MailWriteResult::HeaderTestFailed:
        ++result.mailsRefused;
        break;
    case dbx::MailWriteResult::TakenOver:
        ++result.mailsTakenOver;
        break;
    default:
        ++result.mailsFailed;
        break;
    }
}

ScratchMail writeScratchMail(JobContext& job, FileContext& file, std::int32_t mail,
                             bool failureIsError)
{
    ScratchMail scratch;
    scratch.written = job.reader().saveMailToEML(file.tempFolder, scratch.path, mail);
    if (job.reader().lastWriteResult() == dbx::MailWriteResult::Cancelled) {
        scratch.stopped = true;
        return scratch;
    }
    if (!scratch.written) {
        countWriteResult(file.result, job.reader());
        const std::string line = strprintf("Recovery fails for mail %d", mail);
        failureIsError ? job.log().error(line) : job.log().exec(line);
    }
    return scratch;
}

void deleteScratchMail(JobContext& job, const std::string& path, std::int32_t mail)
{
    if (!platform::removeFile(path))
        job.log().error(strprintf("Exception while deleting file %s for mail:%d",
                                  printable(path).c_str(), mail));
}

void storeUnfinished(JobContext& job, FileContext& file, const fs::path& store)
{
    job.log().error(strprintf("Could not write %s in full", printable(store.string()).c_str()));
    file.result.storeUnfinished = true;
    file.result.mailsFailed += file.result.mailsWritten;
    file.result.mailsWritten = 0;
    file.result.mailsCutShort = 0;
}

int JobAbort(JobContext& job)
{
    job.view().RestoreIdleControls();
    return -1;
}

} // namespace mailmend::recovery
