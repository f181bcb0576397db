// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/recovery_job.h"

#include <cstdint>
#include <system_error>

#include "log/text.h"
#include "platform/directories.h"
#include "platform/file_system.h"
#include "recovery/eml_output.h"
#include "recovery/folder_names.h"
#include "recovery/job_context.h"
#include "recovery/progress.h"

namespace mailmend::recovery {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCaption = "Norvale Mailmend";

struct OutputForm {
    OutputStep step = nullptr; // null: not available in this build
    bool usesTempFiles = false; // its scratch folder is cleaned in the closing step
};

// The save options' steps. The DBX, PST, MSG and RTF outputs go through scratch .eml
// files in the temp folder; they join here, with usesTempFiles set, as they are built.
OutputForm outputFormFor(SaveOption option)
{
    switch (option) {
    case SaveOption::SAVEASEML:
        return {&saveAsEmlStep, false};
    case SaveOption::ADVANCEDSCAN:
        return {&advancedScanStep, false};
    default:
        return {};
    }
}

// The reader and the extractor stop on the run's token; the process-wide extractor lets
// go of it when the run ends.
class CancellationBinding {
public:
    CancellationBinding(dbx::DbxFile& reader, dbx::MappedMailExtractor& extractor,
                        const platform::CancellationToken& token)
        : m_extractor(extractor)
    {
        reader.setCancellation(&token);
        extractor.setCancellation(&token);
    }
    ~CancellationBinding() { m_extractor.setCancellation(nullptr); }
    CancellationBinding(const CancellationBinding&) = delete;
    CancellationBinding& operator=(const CancellationBinding&) = delete;

private:
    dbx::MappedMailExtractor& m_extractor;
};

class RecoveryRun {
public:
    RecoveryRun(JobContext& job, const platform::Clock& clock, fs::path tempDirectory)
        : m_job(job), m_clock(clock), m_tempDirectory(std::move(tempDirectory))
    {
    }

    int run();

private:
    bool prepareFile(FileContext& file);
    void finishRun();
    int abortIn(FileContext& file);

    JobContext& m_job;
    const platform::Clock& m_clock;
    fs::path m_tempDirectory;
    std::int64_t m_counter = 0;
};

int RecoveryRun::run()
{
    const RecoveryRequest& request = m_job.request();
    JobView& view = m_job.view();
    m_counter = request.m_nFileCounter;

    for (const ControlId id : kRunInputs)
        view.enableControl(id, false);
    for (const MenuCommand id : kRunMenusToGray)
        view.enableMenuCommand(id, false);
    if (m_job.stopRequested())
        return JobAbort(m_job);

    const OutputForm form = outputFormFor(request.m_nSaveOption);
    if (!form.step) {
        m_job.log().error(strprintf("Save option %d is not available",
                                    static_cast<int>(request.m_nSaveOption)));
        return JobAbort(m_job);
    }

    platform::createDirectory(request.m_strDestination);
    const std::size_t files = request.files.size();
    m_job.setFileCount(files);
    m_job.setFileProgress(0);
    m_job.setOverallProgress(0);

    for (std::size_t fi = 0; fi < files; ++fi) {
        if (m_job.stopRequested())
            return JobAbort(m_job);
        FileContext file;
        file.fileIndex = fi;
        if (!prepareFile(file))
            return abortIn(file);
        if (form.step(m_job, file) == StepResult::Abort)
            return abortIn(file);

        m_job.reader().close();
        if (form.usesTempFiles)
            cleanTempFolder(m_job, file.tempFolder);
        m_job.log().exec("DBX File closed");
        file.result.completed = true;
        view.fileFinished(file.result);

        if (m_job.stopRequested())
            return JobAbort(m_job);
        m_job.setOverallProgress(finishedFilesProgress(fi, files));
    }
    // A stop that came after the last file still ends the run as stopped.
    if (m_job.stopRequested())
        return JobAbort(m_job);
    finishRun();
    return 0;
}

// Steps 2 to 5 for one file: texts, names, the output folder and the scratch folder.
bool RecoveryRun::prepareFile(FileContext& file)
{
    const RecoveryRequest& request = m_job.request();
    const FileRow& row = request.files[file.fileIndex];
    m_job.setFileProgress(0);
    file.sourcePath = row.path;
    file.fileName = row.name;
    file.result.fileIndex = file.fileIndex;
    file.result.sourcePath = row.path;
    file.result.fileName = row.name;

    const std::string preparing = strprintf("Preparing to Scan File : %s", row.name.c_str());
    m_job.log().exec(preparing);
    m_job.showStatus(preparing);
    file.baseName = baseNameOf(row.name);

    // The folder is emptied when it exists, so it must be a folder of its own inside
    // the destination: never the destination itself, never a place outside it.
    const std::string folderName = outputFolderName(request, m_counter, file.baseName);
    if (request.m_strDestination.empty() || !isUsableFolderName(folderName)) {
        m_job.log().error(strprintf("Cannot use \"%s\" in \"%s\" as the output folder for %s",
                                    folderName.c_str(), request.m_strDestination.c_str(),
                                    row.name.c_str()));
        return false;
    }
    file.outputFolder = inFolder(request.m_strDestination, folderName);
    file.result.outputFolder = file.outputFolder;

    const std::string createdFor = " directory created for " + file.baseName + " ";
    if (m_job.stopRequested())
        return false;
    if (!platform::createDirectory(file.outputFolder) && !EmptyFolderFiles(m_job, file.outputFolder))
        return false;
    m_job.log().exec(file.outputFolder.string() + createdFor);

    if (m_job.stopRequested())
        return false;
    file.tempFolder = m_tempDirectory / tempFolderName(file.baseName, file.fileIndex, m_clock);
    if (!platform::createDirectory(file.tempFolder) && !EmptyFolderFiles(m_job, file.tempFolder))
        return false;
    m_job.log().exec(file.tempFolder.string() + createdFor);
    return true;
}

void RecoveryRun::finishRun()
{
    const RecoveryRequest& request = m_job.request();
    JobView& view = m_job.view();
    view.setControlText(ControlId::StatusText, "Scan Complete");
    view.setControlText(ControlId::ProgressText, "Progress Report : 100%");
    view.setProgress(ControlId::OverallProgress, 100);
    view.setProgress(ControlId::FileProgress, 100);

    for (const ControlId id : kRunInputs)
        view.enableControl(id, true);
    for (const MenuCommand id : kRunMenusToEnable)
        view.enableMenuCommand(id, true);
    view.setControlText(ControlId::RecoverButton, "&Recover");
    view.clearRunning();

    view.messageBox(strprintf("Files recovered Successfully to %s folder",
                              request.m_strDestination.c_str()),
                    kCaption, platform::MessageStyle::Ok);

    // A save option must be chosen again before the next run.
    for (const ControlId id : kSaveOptionButtons)
        view.uncheckRadioButton(id, id == ControlId::DbxOption);
    view.enableControl(ControlId::RecoverButton, false);

    view.setProgress(ControlId::FileProgress, 0);
    view.setProgress(ControlId::OverallProgress, 0);
    view.setControlText(ControlId::ProgressText, "Progress Report : Ready");
    view.setControlText(ControlId::StatusText, "Ready to Scan");
}

int RecoveryRun::abortIn(FileContext& file)
{
    m_job.view().fileFinished(file.result);
    return JobAbort(m_job);
}

} // namespace

bool isSaveOptionAvailable(SaveOption option)
{
    return outputFormFor(option).step != nullptr;
}

int DBX_Recover_thread(RecoveryRequest request, JobView& view,
                       const platform::CancellationToken& token, const JobServices& services)
{
    LogWriter* const log = services.log ? services.log : &fileLog();
    const Logger logger {request.m_bLog ? log : nullptr};
    try {
        dbx::MappedMailExtractor& extractor
            = services.extractor ? *services.extractor : dbx::mappedMailExtractor();
        dbx::DbxFile reader;
        reader.setLogging(request.m_bLog);
        reader.setRecoveryMode(request.m_bRecovery);
        reader.setLogWriter(log);
        if (services.readerOpener)
            reader.setOpener(services.readerOpener);
        CancellationBinding binding(reader, extractor, token);

        JobContext job(request, view, token, log, reader, extractor);
        RecoveryRun run(job, services.clock ? *services.clock : platform::systemClock(),
                        services.tempDirectory.empty() ? platform::temporaryDirectory()
                                                       : services.tempDirectory);
        return run.run();
    } catch (...) {
        try {
            logger.error("Exception In DBX_Recover_thread");
            view.RestoreIdleControls();
        } catch (...) {
            // The window could not be reset either; the exit code still says the run failed.
        }
        return -1;
    }
}

} // namespace mailmend::recovery
