// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/eml_output.h"

#include <string>

#include "log/text.h"
#include "platform/file_system.h"

namespace mailmend::recovery {
namespace {

namespace fs = std::filesystem;

// The extractor's passes move the per-file bar, and the count of mails carved so far.
class FileBar final : public dbx::ProgressSink {
public:
    explicit FileBar(const JobContext& job) : m_job(job) {}
    void setPosition(int percent) override
    {
        m_job.setFileProgress(percent);
        const dbx::MappedMailExtractor& extractor = m_job.extractor();
        m_job.view().mailProgress(
            static_cast<std::int32_t>(extractor.mailsWritten() + extractor.mailsFailed()), -1);
    }

private:
    const JobContext& m_job;
};

// Lets go of the extractor's mapping however the step ends.
class MappingGuard {
public:
    explicit MappingGuard(dbx::MappedMailExtractor& extractor) : m_extractor(extractor) {}
    ~MappingGuard() { m_extractor.closeMapping(); }
    MappingGuard(const MappingGuard&) = delete;
    MappingGuard& operator=(const MappingGuard&) = delete;

private:
    dbx::MappedMailExtractor& m_extractor;
};

} // namespace

StepResult saveAsEmlStep(JobContext& job, FileContext& file)
{
    job.log().exec("In SAVEASEML");
    dbx::DbxFile& reader = job.reader();
    reader.setMailFileTimes({true, job.runStartTime()});
    std::string written;
    const StepResult loop = MailLoop(job, file, 100, [&](std::int32_t i) {
        const bool saved = reader.saveMailToEML(file.outputFolder, written, i);
        if (reader.lastWriteResult() == dbx::MailWriteResult::Cancelled)
            return MailOutcome::Stop; // the reader removed the part it had written
        countWriteResult(file.result, reader);
        if (!saved)
            job.log().error(strprintf("Recovery fails for mail %d", i));
        return MailOutcome::Progress;
    });
    if (loop == StepResult::Abort)
        return StepResult::Abort;
    job.setFileProgress(100);
    job.log().exec(strprintf("SAVEASEML Recovery Succeeded for file %s", printable(file.sourcePath).c_str()));
    return StepResult::Finished;
}

StepResult advancedScanStep(JobContext& job, FileContext& file)
{
    dbx::MappedMailExtractor& extractor = job.extractor();
    const auto stopped = [&] { return job.stopRequested() || !extractor.isActive(); };

    extractor.reset();
    extractor.setMailFileTimes({true, job.runStartTime()});
    const fs::path working = file.outputFolder / "temp.dbx";
    job.log().exec("In ADVANCEDSCAN");
    if (stopped()) // the copy would create the working file
        return StepResult::Abort;

    FileBar bar(job);
    MappingGuard mapping(extractor);
    FileResult& result = file.result;
    if (extractor.openMapping(file.sourcePath)) {
        result.sourceOpened = true;
        extractor.copyWithoutBlockHeaders(working, bar);
        extractor.closeMapping();
        // What was copied is still carved; the file counts as failed all the same.
        result.readIncomplete = extractor.readFailed();
        result.workingCopyFailed = extractor.copyFailed() && !result.readIncomplete;
        if (result.readIncomplete && !stopped())
            job.log().error(strprintf("Advanced Scan could not read %s in full",
                                      printable(file.sourcePath).c_str()));
        if (result.workingCopyFailed && !stopped())
            job.log().error(strprintf("Advanced Scan could not write the working file %s",
                                      printable(working.string()).c_str()));
        if (!stopped()) {
            // An empty working file cannot be mapped, and holds no mail either.
            const bool mapped = extractor.openMapping(working);
            if (mapped)
                extractor.carveMails((file.outputFolder / file.baseName).string(), bar);
            extractor.closeMapping();
            if (((!mapped && extractor.workingSize() > 0) || extractor.carveReadFailed())
                && !stopped()) {
                result.readIncomplete = true;
                job.log().error(strprintf("Advanced Scan could not read the working file %s "
                                          "in full", printable(working.string()).c_str()));
            }
        }
        // Also when the carve could not run: a working file is never left behind unsaid.
        if (!platform::removeFile(working) && platform::pathEntryExists(working)) {
            result.workingFileLeft = true;
            job.log().error(strprintf("Could not delete the working file %s",
                                      printable(working.string()).c_str()));
        }

        result.mailsWritten = static_cast<std::int32_t>(extractor.mailsWritten());
        result.mailsFailed = static_cast<std::int32_t>(extractor.mailsFailed());
        result.mailsCutShort = static_cast<std::int32_t>(extractor.mailsCutShort());
        result.mailsFound = result.mailsWritten + result.mailsFailed;
        if (stopped())
            return StepResult::Abort;
        if (result.mailsFailed > 0)
            job.log().error(strprintf("Advanced Scan could not write %d of the mails found in %s",
                                      result.mailsFailed, printable(file.sourcePath).c_str()));
    } else {
        result.openError = extractor.lastOpenError();
        job.log().error(strprintf("Advanced Scan could not open %s (%s)", printable(file.sourcePath).c_str(),
                                  result.openError.c_str()));
    }
    if (stopped())
        return StepResult::Abort;
    job.log().exec(strprintf("SAVEASEML Recovery Succeeded for file %s", printable(file.sourcePath).c_str()));
    return StepResult::Finished;
}

} // namespace mailmend::recovery
