// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/recovery_job.h"

#include <cstdint>
#include <set>
#include <string>

#include "log/text.h"
#include "platform/directories.h"
#include "platform/file_system.h"
#include "platform/safe_directories.h"
#include "recovery/dbx_output.h"
#include "recovery/eml_output.h"
#include "recovery/folder_names.h"
#include "recovery/job_context.h"
#include "recovery/mbox_output.h"
#include "recovery/msg_rtf_output.h"
#include "recovery/pst_output.h"
#include "recovery/progress.h"
#include "recovery/run_summary.h"

namespace mailmend::recovery {
namespace {

namespace fs = std::filesystem;

struct OutputForm {
    OutputStep step = nullptr; // null: not available in this build
    bool usesTempFiles = false; // its scratch folder is cleaned in the closing step
};

// The save options' steps. The DBX, PST, MSG and RTF outputs go through scratch .eml
// files in the temp folder; mbox takes its mails straight from the reader.
OutputForm outputFormFor(SaveOption option)
{
    switch (option) {
    case SaveOption::SAVEASEML:
        return {&saveAsEmlStep, false};
    case SaveOption::ADVANCEDSCAN:
        return {&advancedScanStep, false};
    case SaveOption::SAVEASDBX:
        return {&saveAsDbxStep, true};
    case SaveOption::SAVEASPST:
        return {&saveAsPstStep, true};
    case SaveOption::SAVEASMSG:
        return {&saveAsMsgStep, true};
    case SaveOption::SAVEASRTF:
        return {&saveAsRtfStep, true};
    case SaveOption::SAVEASMBOX:
        return {&saveAsMboxStep, false};
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

// The run's own folder under the system's temporary directory: made with mode 0700
// under a name nobody can foresee, so that no other user can plant a link or a folder
// where the scratch folders go or read the mails passing through them. It goes, with
// everything in it, however the run ends; what the system keeps from going is logged.
class PrivateRunDirectory {
public:
    explicit PrivateRunDirectory(const Logger& log) : m_log(log) {}
    ~PrivateRunDirectory()
    {
        try {
            if (!m_path.empty() && !platform::removeDirectoryTree(m_path))
                m_log.error(strprintf("Could not delete the scratch folder %s",
                                      printable(m_path.string()).c_str()));
        } catch (...) {
            // Nothing more can be done about it at the end of a run.
        }
    }
    PrivateRunDirectory(const PrivateRunDirectory&) = delete;
    PrivateRunDirectory& operator=(const PrivateRunDirectory&) = delete;

    bool make(const fs::path& parent, std::string& error)
    {
        m_path = platform::makePrivateDirectory(parent, "mailmend-", error);
        return !m_path.empty();
    }
    const fs::path& path() const { return m_path; }

private:
    Logger m_log;
    fs::path m_path;
};

class RecoveryRun {
public:
    RecoveryRun(JobContext& job, const platform::Clock& clock, fs::path tempDirectory)
        : m_job(job)
        , m_clock(clock)
        , m_tempDirectory(std::move(tempDirectory))
        , m_private(job.log())
    {
    }

    int run();

private:
    enum class Prepared { Ready, FileFailed, Abort };

    Prepared prepareFile(FileContext& file);
    Prepared makeFolder(FileContext& file, const fs::path& folder);
    std::string uniqueFolderName(std::string name);
    void fileEnded(const FileContext& file);
    void finishRun();
    int abortIn(FileContext& file);

    JobContext& m_job;
    const platform::Clock& m_clock;
    fs::path m_tempDirectory;
    PrivateRunDirectory m_private;
    std::int64_t m_counter = 0;
    std::set<std::string> m_usedFolderNames;
    RunTally m_tally;
};

int RecoveryRun::run()
{
    const RecoveryRequest& request = m_job.request();
    JobView& view = m_job.view();
    m_counter = request.m_nFileCounter;
    m_job.setRunStartTime(m_clock.utcNow());

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
    if (std::string error; !m_private.make(m_tempDirectory, error)) {
        const std::string text = strprintf("Could not create a private folder in %s (%s)",
                                           m_tempDirectory.c_str(), error.c_str());
        m_job.log().error(text);
        view.messageBox(text, kJobCaption, platform::MessageStyle::Ok);
        return JobAbort(m_job);
    }
    // Scratch mails are the user's mails: only the user may read them.
    m_job.reader().setNewFileMode(form.usesTempFiles ? 0600 : 0666);

    platform::createDirectory(request.m_strDestination);
    const std::size_t files = request.files.size();
    m_job.setFileCount(files);
    m_job.setFileProgress(0);
    m_job.setOverallProgress(0);
    if (request.m_nSaveOption == SaveOption::SAVEASDBX)
        view.messageBox("Please close Outlook Express, if its open!", "Mailmend",
                        platform::MessageStyle::OkInformation);

    for (std::size_t fi = 0; fi < files; ++fi) {
        if (m_job.stopRequested())
            return JobAbort(m_job);
        FileContext file;
        file.fileIndex = fi;
        const Prepared prepared = prepareFile(file);
        if (prepared == Prepared::Abort)
            return abortIn(file);
        if (prepared == Prepared::Ready) {
            if (form.step(m_job, file) == StepResult::Abort)
                return abortIn(file);
            m_job.reader().close();
            if (form.usesTempFiles)
                cleanTempFolder(m_job, file.tempFolder);
            m_job.log().exec("DBX File closed");
        }
        file.result.completed = true;
        fileEnded(file);

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

// Steps 2 to 5 for one file: texts, names, the output folder and the scratch folder. A
// folder that cannot be made ends this file as failed; the run goes on with the next.
RecoveryRun::Prepared RecoveryRun::prepareFile(FileContext& file)
{
    const RecoveryRequest& request = m_job.request();
    const FileRow& row = request.files[file.fileIndex];
    m_job.setFileProgress(0);
    file.sourcePath = row.path;
    file.fileName = row.name;
    file.result.fileIndex = file.fileIndex;
    file.result.sourcePath = row.path;
    file.result.fileName = row.name;

    const std::string preparing = strprintf("Preparing to Scan File : %s", printable(row.name).c_str());
    m_job.log().exec(preparing);
    m_job.showStatus(preparing);
    file.baseName = baseNameOf(row.name);

    // The folder is emptied when it exists, so it must be a folder of its own inside
    // the destination: never the destination itself, never a place outside it, and
    // never one an earlier file of this run has filled.
    const std::string folderName
        = uniqueFolderName(outputFolderName(request, m_counter, file.baseName));
    if (request.m_strDestination.empty() || !isUsableFolderName(folderName)) {
        m_job.log().error(strprintf("Cannot use \"%s\" in \"%s\" as the output folder for %s",
                                    printable(folderName).c_str(),
                                    printable(request.m_strDestination).c_str(),
                                    printable(row.name).c_str()));
        return Prepared::Abort;
    }
    file.outputFolder = inFolder(request.m_strDestination, folderName);
    file.result.outputFolder = file.outputFolder;

    if (m_job.stopRequested())
        return Prepared::Abort;
    if (const Prepared made = makeFolder(file, file.outputFolder); made != Prepared::Ready)
        return made;
    m_usedFolderNames.insert(folderName);

    if (m_job.stopRequested())
        return Prepared::Abort;
    file.tempFolder
        = m_private.path() / tempFolderName(file.baseName, file.fileIndex, m_clock);
    return makeFolder(file, file.tempFolder);
}

// Makes one of a file's folders; one that is there already is emptied of its files,
// unless it is no real folder (a link planted at its name is never followed).
RecoveryRun::Prepared RecoveryRun::makeFolder(FileContext& file, const fs::path& folder)
{
    std::string error;
    if (!platform::createDirectory(folder, &error)) {
        if (!platform::isRealDirectory(folder)) {
            m_job.log().error(strprintf("Could not create the folder %s for %s (%s)",
                                        printable(folder.string()).c_str(),
                                        printable(file.fileName).c_str(), error.c_str()));
            file.result.folderError = error;
            return Prepared::FileFailed;
        }
        if (!EmptyFolderFiles(m_job, folder))
            return Prepared::Abort;
    }
    m_job.log().exec(printable(folder.string()) + " directory created for " + printable(file.baseName) + " ");
    return Prepared::Ready;
}

// Two files of one run may be given the same folder name (the same file name in two
// places, with the counter off); the later one gets " (2)", " (3)", ... after it.
std::string RecoveryRun::uniqueFolderName(std::string name)
{
    if (!m_usedFolderNames.count(name))
        return name;
    for (int k = 2;; ++k) {
        std::string numbered = name + " (" + std::to_string(k) + ")";
        if (!m_usedFolderNames.count(numbered))
            return numbered;
    }
}

void RecoveryRun::fileEnded(const FileContext& file)
{
    m_tally.add(file.result);
    m_job.view().fileFinished(file.result);
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

    view.messageBox(endOfRunMessage(request.m_strDestination, m_tally, request.m_bLog), kJobCaption,
                    platform::MessageStyle::Ok);

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
        job.setStoreDirectory(services.storeDirectory.empty()
                                  ? platform::userDataDirectory() / "store"
                                  : services.storeDirectory);
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
