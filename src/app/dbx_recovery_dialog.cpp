// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dbx_recovery_dialog.h"

#include <atomic>
#include <cstring>
#include <system_error>
#include <utility>

#include "app/hints.h"
#include "app/output_root.h"
#include "app/row_texts.h"
#include "app/settings.h"
#include "dbx/format.h"
#include "log/text.h"
#include "platform/directories.h"
#include "platform/file_reader.h"
#include "platform/input_check.h"
#include "search/search_walk.h"

namespace mailmend::app {

using platform::MessageAnswer;
using platform::MessageStyle;
using recovery::SaveOption;

namespace {

constexpr const char* kRecoverCaption = "&Recover";
constexpr const char* kStopCaption = "&Stop";
// The add command's pending message; a box is shown only when it changed.
constexpr const char* kAlreadyPresent = "This file already present\n";

} // namespace

std::optional<SaveOption> saveOptionOf(ControlId button)
{
    switch (button) {
    case ControlId::DbxOption:
        return SaveOption::SAVEASDBX;
    case ControlId::EmlOption:
        return SaveOption::SAVEASEML;
    case ControlId::PstOption:
        return SaveOption::SAVEASPST;
    case ControlId::MsgOption:
        return SaveOption::SAVEASMSG;
    case ControlId::RtfOption:
        return SaveOption::SAVEASRTF;
    case ControlId::MboxOption:
        return SaveOption::SAVEASMBOX;
    case ControlId::AdvancedOption:
        return SaveOption::ADVANCEDSCAN;
    default:
        return std::nullopt;
    }
}

bool isOptionButtonAvailable(ControlId button)
{
    const auto option = saveOptionOf(button);
    return !option || recovery::isSaveOptionAvailable(*option);
}

// ---------------------------------------------------------------------------------------
// The worker's window and the Search dialog's list

void CDBXRecoveryDlg::JobWindow::enableControl(ControlId id, bool enable)
{
    m_dlg.enableControl(id, enable);
}

void CDBXRecoveryDlg::JobWindow::setControlText(ControlId id, const std::string& text)
{
    m_dlg.m_view.setText(id, text);
}

void CDBXRecoveryDlg::JobWindow::setProgress(ControlId bar, int position)
{
    m_dlg.m_view.setProgress(bar, position);
}

MessageAnswer CDBXRecoveryDlg::JobWindow::messageBox(const std::string& text,
                                                     const std::string& caption, MessageStyle style)
{
    return m_dlg.m_view.messageBox(text, caption, style);
}

void CDBXRecoveryDlg::JobWindow::enableMenuCommand(MenuCommand id, bool enable)
{
    m_dlg.m_view.enableMenuCommand(id, enable);
}

void CDBXRecoveryDlg::JobWindow::uncheckRadioButton(ControlId id, bool repaint)
{
    (void)repaint; // a window redraws a changed button by itself
    m_dlg.m_view.setChecked(id, false);
}

void CDBXRecoveryDlg::JobWindow::clearRunning()
{
    m_dlg.m_bRunning.store(false);
}

int CDBXRecoveryDlg::JobWindow::RestoreIdleControls()
{
    return m_dlg.RestoreIdleControls();
}

int CDBXRecoveryDlg::FileList::rowCount() const
{
    return m_view.rowCount();
}

std::string CDBXRecoveryDlg::FileList::rowPath(int index) const
{
    return m_view.row(index).path;
}

void CDBXRecoveryDlg::FileList::insertRow(int index, const FileRowTexts& row)
{
    m_view.insertRow(index, row);
}

// ---------------------------------------------------------------------------------------
// Set-up

CDBXRecoveryDlg::CDBXRecoveryDlg(MainView& view, MainServices services)
    : m_view(view)
    , m_services(std::move(services))
    , m_log(m_services.log ? *m_services.log : fileLog())
    , m_jobServices(m_services.job)
{
    if (!m_jobServices.log)
        m_jobServices.log = &m_log;
    if (!m_jobServices.clock)
        m_jobServices.clock = m_services.clock;
}

CDBXRecoveryDlg::~CDBXRecoveryDlg()
{
    if (!m_hThread.joinable())
        return;
    m_bRunning.store(false);
    extractor().setActive(false);
    m_cancel.cancel();
    try {
        waitForWorker();
    } catch (...) {
        // A view that fails while the window goes away: still release the worker.
        if (m_hThread.joinable())
            m_hThread.join();
    }
}

void CDBXRecoveryDlg::log(const std::string& text) const
{
    if (m_bLog)
        m_log.write(text, false);
}

void CDBXRecoveryDlg::logError(const std::string& text) const
{
    if (m_bLog)
        m_log.write(text, true);
}

const platform::Clock& CDBXRecoveryDlg::clock() const
{
    return m_services.clock ? *m_services.clock : platform::systemClock();
}

dbx::MappedMailExtractor& CDBXRecoveryDlg::extractor() const
{
    return m_jobServices.extractor ? *m_jobServices.extractor : dbx::mappedMailExtractor();
}

std::filesystem::path CDBXRecoveryDlg::settingsFile() const
{
    return m_services.settingsFile.empty() ? settingsPath() : m_services.settingsFile;
}

// Option buttons of output forms this build cannot write stay disabled.
void CDBXRecoveryDlg::enableControl(ControlId id, bool enable)
{
    m_view.enable(id, enable && isOptionButtonAvailable(id));
}

bool CDBXRecoveryDlg::OnInitDialog()
{
    try {
        // The controls as the window opens: texts, the option buttons disabled and clear.
        for (const ControlText& control : kControlTexts)
            m_view.setText(control.control, control.text);
        for (const ControlId option : recovery::kSaveOptionButtons) {
            m_view.setChecked(option, false);
            m_view.enable(option, false);
            if (!isOptionButtonAvailable(option))
                m_view.setToolTip(option, kNotAvailableTip);
        }
        m_view.setProgress(ControlId::FileProgress, 0);
        m_view.setProgress(ControlId::OverallProgress, 0);

        ReadSettings();
        m_view.checkMenuCommand(MenuCommand::EnableLog, m_bLog);
        m_view.checkMenuCommand(MenuCommand::EnableRecoveryMode, m_bRecovery);
        m_view.checkMenuCommand(MenuCommand::CustomizeMenu, m_bCustomize);
        if (m_bLog) {
            if (m_services.initLogs)
                m_services.initLogs();
            else
                InitLogs();
            log("In CDBXRecoveryDlg::OnInitDialog()");
        }

        m_nAdded = 0;
        m_bRunning.store(false);
        m_nFileCounter = 1;
        m_strFolderTag = "Recovered";
        m_bCounterOn = m_bFolderTagOn = m_bFileNameOn = m_bTypeTagOn = true;

        log("Initializing Parent Dialog List");
        m_view.setListColumns(kFileListColumns);
        log("Parent Dialog List Initialized");
        log("............preparing..........");
        log("............prepared..........");
        log("Initializing labels n buttons");
        m_view.setText(ControlId::FileEdit, "");
        m_view.setText(ControlId::DestinationEdit, "");
        m_view.enable(ControlId::BrowseButton, false);
        m_view.enable(ControlId::RecoverButton, false);
        log("Succeeded CDBXRecoveryDlg::OnInitDialog()");
        return true;
    } catch (...) {
        // Written whether or not logging is on.
        m_log.write("Exception in CDBXRecoveryDlg::OnInitDialog()", true);
        return false;
    }
}

// ---------------------------------------------------------------------------------------
// The file list

void CDBXRecoveryDlg::OnAddbutton()
{
    try {
        log("In CDBXRecoveryDlg::OnAddbutton()");
        log("initializing Browse Dialog");
        m_view.setText(ControlId::HintLine, " ");
        const std::vector<std::string> chosen = m_view.pickFiles(kDbxFileFilter);
        log("Browse Dialog succeeded");
        addFiles(chosen, {});
        if (m_view.rowCount() >= 1)
            m_view.enable(ControlId::BrowseButton, true);
        m_view.setText(ControlId::HintLine, "Ready");
        log("Succeeded CDBXRecoveryDlg::OnAddbutton()");
    } catch (...) {
        logError("Exception in CDBXRecoveryDlg::OnAddbutton()");
    }
    // The destination edit is emptied in every case; the destination itself is kept.
    try {
        m_view.setText(ControlId::DestinationEdit, "");
    } catch (...) {
    }
}

// Adds `path` unless it is listed already or cannot be opened; a file that fails the
// header check is added after a warning. The message for the user goes to `pending`.
void CDBXRecoveryDlg::addFile(const std::string& path, std::string& pending)
{
    const int rows = m_view.rowCount();
    for (int i = 0; i < rows; ++i) {
        if (m_view.row(i).path == path) {
            pending += path;
            pending += '\n';
            logError(strprintf("Trying to Add Duplicate File %s ", path.c_str()));
            return;
        }
    }

    const platform::OpenResult opened = platform::openForReading(path);
    if (!opened.file) {
        logError(strprintf("Error Opening %s File.(Probably file not present or used by another program)",
                           path.c_str()));
        pending = "Error opening file. Pls make sure that the file is present";
        return;
    }

    unsigned char header[8] {};
    const std::size_t got = opened.file->readAt(0, header, sizeof header);
    const dbx::DbxHeaderVerdict verdict = dbx::classifyDbxHeader(header, got);
    if (verdict != dbx::DbxHeaderVerdict::MailFolder)
        pending = dbx::dbxHeaderMessage(verdict);
    if (verdict == dbx::DbxHeaderVerdict::NotDbx)
        logError(strprintf("%s File is not a valid dbx file Or File Header is corrupt.", path.c_str()));
    else if (verdict == dbx::DbxHeaderVerdict::NotMailFolder)
        logError(strprintf("%s File is not a valid Message.dbx File", path.c_str()));

    const platform::DirectoryLister& lister
        = m_services.lister ? *m_services.lister : platform::systemDirectoryLister();
    const std::optional<platform::FileStatus> status = lister.status(path);
    FileRowTexts row;
    row.path = path;
    row.name = std::filesystem::path(path).filename().string();
    row.size = sizeText(status ? status->size : opened.file->size());
    row.createdOn = status ? createdOnText(status->created) : std::string();
    m_view.insertRow(m_nAdded, row);
    m_view.setText(ControlId::FileEdit, path);
    ++m_nAdded;
    log(strprintf("%s File added to list successfully", path.c_str()));
}

void CDBXRecoveryDlg::addFiles(const std::vector<std::string>& files, std::string notes)
{
    std::string duplicates = kAlreadyPresent;
    for (const std::string& path : files) {
        if (path.empty())
            continue;
        std::string pending = kAlreadyPresent;
        addFile(path, pending);
        if (pending.rfind(kAlreadyPresent, 0) == 0)
            duplicates += pending.substr(std::strlen(kAlreadyPresent)); // the path, or nothing
        else if (files.size() == 1)
            notes += pending; // Add's own box for its one file, word for word
        else
            notes += (notes.empty() ? "" : "\n") + path + ":\n" + pending + "\n";
    }
    std::string message = duplicates != kAlreadyPresent ? duplicates : std::string();
    if (!message.empty() && !notes.empty())
        message += '\n';
    message += notes;
    if (!message.empty())
        m_view.messageBox(message, kMessageCaption, MessageStyle::Ok);
}

void CDBXRecoveryDlg::OnDropFiles(const std::vector<std::string>& paths)
{
    try {
        // The list is the run's while a run lasts, as Add and Search are disabled then.
        if (m_bRunning.load() || isWorkerAlive())
            return;
        log("In CDBXRecoveryDlg::OnDropFiles()");
        std::vector<std::string> files;
        std::string notes;
        for (const std::string& path : paths) {
            if (!platform::unsearchableFolderReason(path).empty()) {
                files.push_back(path);
                continue;
            }
            const std::vector<std::string> found = searchFolder(path);
            if (found.empty())
                notes += "No .dbx mail folder found in " + path + "\n";
            files.insert(files.end(), found.begin(), found.end());
        }
        addFiles(files, std::move(notes));
        if (m_view.rowCount() >= 1)
            m_view.enable(ControlId::BrowseButton, true);
        m_view.setText(ControlId::HintLine, "Ready");
        log("Succeeded CDBXRecoveryDlg::OnDropFiles()");
    } catch (...) {
        logError("Exception in CDBXRecoveryDlg::OnDropFiles()");
    }
}

// The Search dialog's walk below `folder`, on a thread of its own while the window is
// served, so that a large tree does not freeze it.
std::vector<std::string> CDBXRecoveryDlg::searchFolder(const std::string& folder)
{
    m_view.setText(ControlId::HintLine, " Searching " + folder);
    const platform::DirectoryLister& lister
        = m_services.lister ? *m_services.lister : platform::systemDirectoryLister();
    std::vector<std::string> found;
    std::atomic<bool> done {false};
    std::thread walker([&] {
        try {
            for (const std::filesystem::path& path : search::findDbxFiles(folder, lister))
                found.push_back(path.string());
        } catch (...) {
            // What was found until then is taken; nothing may leave the thread.
        }
        done.store(true);
    });
    try {
        m_view.waitUntil([&] { return done.load(); });
    } catch (...) {
        walker.join();
        throw;
    }
    walker.join();
    return found;
}

void CDBXRecoveryDlg::OnSearchbutton()
{
    try {
        log("In CDBXRecoveryDlg::OnSearchbutton()");
        log("Initializing search dialog");
        m_view.runSearchDialog(m_fileList);
        log("Search Dialog Initialized");
        if (m_view.rowCount() >= 1)
            m_view.enable(ControlId::BrowseButton, true);
        log("Succeeded CDBXRecoveryDlg::OnSearchbutton()");
    } catch (...) {
        logError("Exception In CDBXRecoveryDlg::OnSearchbutton()");
    }
}

void CDBXRecoveryDlg::OnKeydownAddlist(int key)
{
    try {
        if (key == kDeleteKey) {
            const std::optional<int> selected = m_view.selectedRow();
            if (selected && *selected >= 0 && *selected < m_view.rowCount())
                m_view.deleteRow(*selected);
        }
        // With nothing left to recover, nothing leads to a run.
        if (m_view.rowCount() == 0) {
            m_view.enable(ControlId::BrowseButton, false);
            for (const ControlId option : recovery::kSaveOptionButtons)
                m_view.enable(option, false);
            m_view.setText(ControlId::RecoverButton, kRecoverCaption);
            m_view.enable(ControlId::RecoverButton, false);
            m_view.setText(ControlId::FileEdit, "");
            m_view.setText(ControlId::DestinationEdit, "");
        }
    } catch (...) {
        logError("Exception in CDBXRecoveryDlg::OnKeydownAddlist()");
    }
}

std::string CDBXRecoveryDlg::OnGetInfoTip(int row) const
{
    (void)row;
    return "Press Delete to remove item from list";
}

// ---------------------------------------------------------------------------------------
// The destination and the save options

std::optional<std::string> CDBXRecoveryDlg::GetDirectory()
{
    try {
        log("In CDBXRecoveryDlg::GetDirectory()");
        std::optional<std::string> folder = m_view.pickFolder(" Please select the Destination folder ");
        if (folder && folder->empty())
            folder.reset();
        log("Succeeded CDBXRecoveryDlg::GetDirectory()");
        return folder;
    } catch (...) {
        logError("Exception in CDBXRecoveryDlg::GetDirectory()");
        return std::nullopt;
    }
}

void CDBXRecoveryDlg::OnBrowsebutton()
{
    try {
        log("In CDBXRecoveryDlg::OnBrowsebutton()");
        if (const std::optional<std::string> parent = GetDirectory()) {
            // A root of the same name (a second Browse within the same second) is never
            // touched: the next free second's name is taken instead.
            const NewOutputRoot made = createFreeOutputRoot(*parent, clock());
            const std::string root
                = made.path.empty() ? outputRootPath(*parent, outputRootName(clock())) : made.path;
            const std::string previous = std::exchange(m_strDestination, root);
            m_view.setText(ControlId::DestinationEdit, root);
            log(strprintf("Destination folder path is %s", root.c_str()));

            if (made.path.empty()) {
                // Told whether or not logging is on, and the last good destination stays:
                // a run must not start into a folder that is not there.
                logError("Error: Destination directory does not exists");
                m_strDestination = previous;
                m_view.setText(ControlId::DestinationEdit, previous);
                m_view.messageBox("Unable to create browsed folder. Please browse again.", "Mailmend",
                                  MessageStyle::Ok);
                return;
            }
            log("Destination directory created");

            for (const ControlId option : recovery::kSaveOptionButtons) {
                enableControl(option, true);
                m_view.setChecked(option, false);
            }
            m_view.enable(ControlId::RecoverButton, false);
            ResetProgressDisplay();
        }
        log("Succeeded CDBXRecoveryDlg::OnBrowsebutton()");
    } catch (...) {
        logError("Exception in CDBXRecoveryDlg::OnBrowsebutton()");
    }
}

void CDBXRecoveryDlg::selectOption(SaveOption option, const char* line, const char* exceptionLine)
{
    try {
        m_nSaveOption = option;
        // Each button's own group clears its partners; the two groups are kept apart here.
        if (option == SaveOption::ADVANCEDSCAN) {
            for (const ControlId partner : kSaveOptionsGroup)
                m_view.setChecked(partner, false);
        } else {
            m_view.setChecked(ControlId::AdvancedOption, false);
        }
        m_view.enable(ControlId::RecoverButton, true);
        ResetProgressDisplay();
        log(line);
    } catch (...) {
        logError(exceptionLine);
    }
}

void CDBXRecoveryDlg::OnRadioDbx()
{
    selectOption(SaveOption::SAVEASDBX, "Save option SAVEASDBX selected",
                 "Exception In CDBXRecoveryDlg::OnRadioDbx()");
}

void CDBXRecoveryDlg::OnRadioEml()
{
    selectOption(SaveOption::SAVEASEML, "Save option SAVEASEML selected",
                 "Exception In CDBXRecoveryDlg::OnRadioEml()");
}

void CDBXRecoveryDlg::OnRadioPst()
{
    selectOption(SaveOption::SAVEASPST, "Save option SAVEASPST selected",
                 "Exception In CDBXRecoveryDlg::OnRadioPst()");
}

void CDBXRecoveryDlg::OnRadioMsg()
{
    selectOption(SaveOption::SAVEASMSG, "Save option SAVEASMSG selected",
                 "Exception In CDBXRecoveryDlg::OnRadioMsg()");
}

void CDBXRecoveryDlg::OnRadioRtf()
{
    selectOption(SaveOption::SAVEASRTF, "Save option SAVEASRTF selected",
                 "Exception In CDBXRecoveryDlg::OnRadioRtf()");
}

void CDBXRecoveryDlg::OnRadioMbox()
{
    selectOption(SaveOption::SAVEASMBOX, "Save option SAVEASMBOX selected",
                 "Exception In CDBXRecoveryDlg::OnRadioMbox()");
}

void CDBXRecoveryDlg::OnRadioAdvancedscan()
{
    selectOption(SaveOption::ADVANCEDSCAN, "Save option ADVANCEDSCAN selected",
                 "Exception In CDBXRecoveryDlg::OnRadioAdvancedscan() ");
}

void CDBXRecoveryDlg::ResetProgressDisplay()
{
    m_view.setProgress(ControlId::FileProgress, 0);
    m_view.setProgress(ControlId::OverallProgress, 0);
    m_view.setText(ControlId::ProgressText, "Progress Report : Ready");
    m_view.setText(ControlId::StatusText, "Ready to Scan");
}

// ---------------------------------------------------------------------------------------
// Recover and Stop

recovery::RecoveryRequest CDBXRecoveryDlg::request() const
{
    recovery::RecoveryRequest request;
    const int rows = m_view.rowCount();
    request.files.reserve(static_cast<std::size_t>(rows > 0 ? rows : 0));
    for (int i = 0; i < rows; ++i) {
        FileRowTexts row = m_view.row(i);
        request.files.push_back({std::move(row.path), std::move(row.name)});
    }
    request.m_strDestination = m_strDestination;
    request.m_nSaveOption = m_nSaveOption.value_or(SaveOption::SAVEASEML);
    request.m_bLog = m_bLog;
    request.m_bRecovery = m_bRecovery;
    request.m_nFileCounter = m_nFileCounter;
    request.m_strFolderTag = m_strFolderTag;
    request.m_bCounterOn = m_bCounterOn;
    request.m_bFolderTagOn = m_bFolderTagOn;
    request.m_bFileNameOn = m_bFileNameOn;
    request.m_bTypeTagOn = m_bTypeTagOn;
    request.m_bRunning = &m_bRunning;
    return request;
}

void CDBXRecoveryDlg::OnRecoverbutton()
{
    try {
        log("In CDBXRecoveryDlg::OnRecoverbutton()");
        // Read once, so that one press either starts or stops, never both.
        const std::string caption = m_view.text(ControlId::RecoverButton);
        if (caption == kRecoverCaption)
            startRun();
        else if (caption == kStopCaption)
            stopRun();
        log("Succeeded CDBXRecoveryDlg::OnRecoverbutton()");
    } catch (...) {
        log("Exception in CDBXRecoveryDlg::OnRecoverbutton()");
    }
}

void CDBXRecoveryDlg::startRun()
{
    // Recover is enabled only once an option was chosen.
    if (!m_nSaveOption)
        return;
    if (m_bCustomize) {
        // Confirmed, it changes the naming options; cancelled, the run starts all the same.
        recovery::RecoveryRequest naming = request();
        if (m_view.ShowSaveAsDlg(naming)) {
            m_nFileCounter = naming.m_nFileCounter;
            m_strFolderTag = naming.m_strFolderTag;
            m_bCounterOn = naming.m_bCounterOn;
            m_bFolderTagOn = naming.m_bFolderTagOn;
            m_bFileNameOn = naming.m_bFileNameOn;
            m_bTypeTagOn = naming.m_bTypeTagOn;
        }
    }
    // One worker at a time: the last run's may still be on its way out.
    waitForWorker();
    if (m_bRunning.load())
        return;

    // The flags and the caption are set before the worker starts, so that a worker quick
    // enough to end at once still has the last word on them.
    recovery::RecoveryRequest job = request();
    m_cancel.reset();
    extractor().setActive(true);
    m_bRunning.store(true);
    m_view.setText(ControlId::RecoverButton, kStopCaption);
    m_bWorkerEnded.store(false);
    try {
        m_hThread = std::thread([this, job = std::move(job)]() mutable {
            int exitCode = -1;
            try {
                exitCode = recovery::DBX_Recover_thread(std::move(job), m_jobWindow, m_cancel,
                                                        m_jobServices);
            } catch (...) {
                // The job catches everything itself; nothing may leave the thread.
            }
            m_nExitCode.store(exitCode);
            m_bWorkerEnded.store(true);
        });
        log("Thread created successfully");
    } catch (const std::system_error&) {
        // The window stays in its running look; Stop brings it back.
        m_bWorkerEnded.store(true);
        logError("Error Creating thread");
    }
}

void CDBXRecoveryDlg::stopRun()
{
    m_bRunning.store(false);
    extractor().setActive(false);
    m_cancel.cancel();
    m_view.setText(ControlId::RecoverButton, kRecoverCaption);
    // The worker notices at its next check point and leaves without writing more.
    waitForWorker();
    RestoreIdleControls();
    log("Thread stopped successfully by user");
}

void CDBXRecoveryDlg::waitForWorker()
{
    if (!m_hThread.joinable())
        return;
    m_view.waitUntil([this] { return m_bWorkerEnded.load(); });
    m_hThread.join();
}

int CDBXRecoveryDlg::RestoreIdleControls()
{
    for (const ControlId id : recovery::kRunInputs)
        enableControl(id, true);
    for (const MenuCommand id : recovery::kRunMenusToEnable)
        m_view.enableMenuCommand(id, true);
    m_view.setText(ControlId::RecoverButton, kRecoverCaption);
    m_bRunning.store(false);
    ResetProgressDisplay();
    return -1;
}

// ---------------------------------------------------------------------------------------
// The menu

void CDBXRecoveryDlg::ReadSettings()
{
    m_bLog = m_bRecovery = m_bCustomize = false;
    const std::filesystem::path file = settingsFile();
    const std::optional<Settings> settings = readSettingsFile(file);
    if (!settings) {
        m_strMessage = strprintf("Error opening config file from %s", file.c_str());
        return;
    }
    m_bLog = settings->log;
    m_bRecovery = settings->recovery;
    m_bCustomize = settings->customize;
}

bool CDBXRecoveryDlg::WriteSettings()
{
    return writeSettingsFile(settingsFile(), {m_bLog, m_bRecovery, m_bCustomize});
}

// One toggle of the family: the check mark decides, the file follows, and the dated
// message reaches the execution log whether or not logging is on now.
void CDBXRecoveryDlg::toggleSwitch(MenuCommand item, bool& member, const char* what,
                                   const char* exceptionLine)
{
    try {
        const bool wasLogging = m_bLog;
        const bool on = !m_view.isMenuCommandChecked(item);
        const platform::CalendarDate date = clock().utcDate();
        const platform::WallTime time = clock().localTime();
        m_view.checkMenuCommand(item, on);
        member = on;
        if (!WriteSettings()) {
            m_strMessage = strprintf("Error opening config file from %s", settingsFile().c_str());
            if (wasLogging)
                m_log.write(m_strMessage, true);
        }
        m_strMessage = strprintf("%s %s on DATE=%d-%d-%d TIME=%dhr:%dm:%ds", what,
                                 on ? "Enabled" : "Disabled", date.month, date.day, date.year,
                                 time.hour, time.minute, time.second);
        m_log.write(m_strMessage, false);
    } catch (...) {
        logError(exceptionLine);
    }
}

void CDBXRecoveryDlg::OnFileLog()
{
    toggleSwitch(MenuCommand::EnableLog, m_bLog, "File Logging",
                 "Exception in CDBXRecoveryDlg::OnFileLog()");
}

void CDBXRecoveryDlg::OnFileRecovery()
{
    toggleSwitch(MenuCommand::EnableRecoveryMode, m_bRecovery, "File Recovery Mode",
                 "Exception in CDBXRecoveryDlg::OnFileRecovery()");
}

void CDBXRecoveryDlg::OnFileCustomize()
{
    toggleSwitch(MenuCommand::CustomizeMenu, m_bCustomize, "Customize Name Mode",
                 "Exception in CDBXRecoveryDlg::OnFileCustomize()");
}

bool CDBXRecoveryDlg::OnClose()
{
    try {
        if (m_view.messageBox("Are you sure, you want to exit ?    ", kMessageCaption,
                              MessageStyle::YesNoQuestion)
            != MessageAnswer::Yes)
            return false;
        m_bRunning.store(false);
        if (m_hThread.joinable()) {
            extractor().setActive(false);
            m_cancel.cancel();
            waitForWorker();
        }
        m_view.endDialog();
        return true;
    } catch (...) {
        return false;
    }
}

void CDBXRecoveryDlg::OnHelpContents()
{
    std::filesystem::path document = m_services.helpDocument;
    try {
        if (document.empty())
            document = platform::executableDirectory() / "Help.pdf";
        // No viewer, or no Help.pdf: the help still shows, in a window of our own.
        if (!m_view.openDocument(document))
            m_view.showHelpText();
    } catch (...) {
        m_strMessage = strprintf("Error opening help file from %s", document.c_str());
        logError(m_strMessage);
    }
}

void CDBXRecoveryDlg::OnHelpAbout()
{
    m_view.showAbout(kAboutTitle, kAboutProductLine);
}

void CDBXRecoveryDlg::OnMouseMove(int x, int y)
{
    try {
        m_view.setText(ControlId::HintLine, hintAt(x, y, m_view.text(ControlId::RecoverButton)));
    } catch (...) {
    }
}

} // namespace mailmend::app
