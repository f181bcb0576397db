// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/main_view.h"
#include "dbx/mapped_mail_extractor.h"
#include "log/log.h"
#include "platform/cancellation.h"
#include "platform/clock.h"
#include "platform/directory_listing.h"
#include "recovery/job_view.h"
#include "recovery/recovery_job.h"
#include "recovery/recovery_request.h"
#include "search/search_view.h"

namespace mailmend::app {

// What the main window works with besides its view. Every member has the program's own
// default; tests put their own in.
struct MainServices {
    LogWriter* log = nullptr;                          // null: the execution and error logs
    std::function<void()> initLogs;                    // null: InitLogs()
    const platform::Clock* clock = nullptr;            // null: the system clock
    const platform::DirectoryLister* lister = nullptr; // null: the system's (file status)
    std::filesystem::path settingsFile;                // empty: settingsPath()
    std::filesystem::path helpDocument;                // empty: Help.pdf beside the executable
    // The run's own services; a null log there means `log`.
    recovery::JobServices job;
};

// The save option an option button stands for; nothing for other controls.
std::optional<recovery::SaveOption> saveOptionOf(ControlId button);

// False for the option button of an output form this build cannot write: such a button
// stays disabled whatever enables the others.
bool isOptionButtonAvailable(ControlId button);

// The main window without its widgets: the file list, the destination and the save
// options, Recover and Stop, the menu's switches and the hint line. Each handler does
// what the window's control or menu command asks, through the view.
//
// Handlers run on the window's thread. A run goes on a worker thread of its own, which
// drives the window through the view (see MainView). Stop and close never kill the
// worker: they clear the running flags and cancel the run's token, then wait, while the
// view keeps serving the worker, until it has ended. So when they return no further
// output is written, and a new run never starts while an old worker still runs.
//
// The view must outlive the dialog; destroying the dialog stops a run and waits for it.
class CDBXRecoveryDlg {
public:
    explicit CDBXRecoveryDlg(MainView& view, MainServices services = {});
    ~CDBXRecoveryDlg();
    CDBXRecoveryDlg(const CDBXRecoveryDlg&) = delete;
    CDBXRecoveryDlg& operator=(const CDBXRecoveryDlg&) = delete;

    // Once, before the window is shown. False after a failure part-way (the window opens
    // all the same).
    bool OnInitDialog();

    // The file list.
    void OnAddbutton();
    void OnFileOpen() { OnAddbutton(); }
    void OnSearchbutton();
    void OnFileSearch() { OnSearchbutton(); }
    void OnKeydownAddlist(int key);
    // Files and folders dropped on the file list, or named on the program's command line:
    // each file goes through Add's rules, each folder through the Search's walk and its
    // files then through Add's rules. Nothing changes while a run lasts.
    void OnDropFiles(const std::vector<std::string>& paths);
    std::string OnGetInfoTip(int row) const;

    // The destination and the save options.
    std::optional<std::string> GetDirectory();
    void OnBrowsebutton();
    void OnRadioDbx();
    void OnRadioEml();
    void OnRadioPst();
    void OnRadioMsg();
    void OnRadioRtf();
    void OnRadioMbox();
    void OnRadioAdvancedscan();
    void ResetProgressDisplay();

    // Recover, and Stop while a run lasts.
    void OnRecoverbutton();
    // Back to the idle look; returns -1. The worker calls it too, from its thread, when
    // it abandons a run.
    int RestoreIdleControls();

    // The menu.
    void OnFileLog();
    void OnFileRecovery();
    void OnFileCustomize();
    bool WriteSettings();
    void ReadSettings();
    // The close box and File > Exit: true when the window ended, false when the user
    // chose to stay.
    bool OnClose();
    bool OnFileExit() { return OnClose(); }
    void OnHelpContents();
    void OnHelpAbout();

    // The mouse moved to (x, y) of the client area.
    void OnMouseMove(int x, int y);

    // The file list as the Search dialog adds to it.
    search::MainFileList& mainFileList() { return m_fileList; }

    // The request a run started now would get: the window's members and list rows.
    recovery::RecoveryRequest request() const;

    bool isRunning() const { return m_bRunning.load(); }
    // True while a worker thread has not ended.
    bool isWorkerAlive() const { return m_hThread.joinable() && !m_bWorkerEnded.load(); }
    // Waits (through the view) until the last worker has ended and releases it.
    void waitForWorker();
    // Exit code of the last worker that ended: 0 after a run through every file, -1
    // after a stop or a failure.
    int lastExitCode() const { return m_nExitCode.load(); }

    const std::string& destination() const { return m_strDestination; }
    std::optional<recovery::SaveOption> saveOption() const { return m_nSaveOption; }
    bool logEnabled() const { return m_bLog; }
    bool recoveryMode() const { return m_bRecovery; }
    bool customizeEnabled() const { return m_bCustomize; }
    std::int32_t addedCount() const { return m_nAdded; }
    // The last message formatted for the logs.
    const std::string& message() const { return m_strMessage; }

private:
    // The window as the recovery worker sees it.
    class JobWindow final : public recovery::JobView {
    public:
        explicit JobWindow(CDBXRecoveryDlg& dlg) : m_dlg(dlg) {}
        void enableControl(ControlId id, bool enable) override;
        void setControlText(ControlId id, const std::string& text) override;
        void setProgress(ControlId bar, int position) override;
        platform::MessageAnswer messageBox(const std::string& text, const std::string& caption,
                                           platform::MessageStyle style) override;
        void enableMenuCommand(MenuCommand id, bool enable) override;
        void uncheckRadioButton(ControlId id, bool repaint) override;
        void clearRunning() override;
        int RestoreIdleControls() override;

    private:
        CDBXRecoveryDlg& m_dlg;
    };

    class FileList final : public search::MainFileList {
    public:
        explicit FileList(MainView& view) : m_view(view) {}
        int rowCount() const override;
        std::string rowPath(int index) const override;
        void insertRow(int index, const FileRowTexts& row) override;

    private:
        MainView& m_view;
    };

    void log(const std::string& text) const;
    void logError(const std::string& text) const;
    const platform::Clock& clock() const;
    dbx::MappedMailExtractor& extractor() const;
    std::filesystem::path settingsFile() const;

    void addFile(const std::string& path, std::string& pending);
    // Add's rules for each file in turn; what they have to say (and `notes`) in one box.
    void addFiles(const std::vector<std::string>& files, std::string notes);
    std::vector<std::string> searchFolder(const std::string& folder);
    void enableControl(ControlId id, bool enable);
    void selectOption(recovery::SaveOption option, const char* line, const char* exceptionLine);
    void startRun();
    void stopRun();
    void toggleSwitch(MenuCommand item, bool& member, const char* what, const char* exceptionLine);

    MainView& m_view;
    MainServices m_services;
    LogWriter& m_log;
    recovery::JobServices m_jobServices;
    JobWindow m_jobWindow {*this};
    FileList m_fileList {m_view};

    std::string m_strDestination;
    std::string m_strMessage;
    std::optional<recovery::SaveOption> m_nSaveOption;
    std::thread m_hThread;
    mutable std::atomic<bool> m_bRunning {false}; // the run holds a pointer to it
    bool m_bLog = false;
    bool m_bRecovery = false;
    bool m_bCustomize = false;
    std::int32_t m_nAdded = 0;
    std::int32_t m_nFileCounter = 1;
    std::string m_strFolderTag = "Recovered";
    bool m_bCounterOn = true;
    bool m_bFolderTagOn = true;
    bool m_bFileNameOn = true;
    bool m_bTypeTagOn = true;

    platform::CancellationToken m_cancel;
    std::atomic<bool> m_bWorkerEnded {true};
    std::atomic<int> m_nExitCode {0};
};

} // namespace mailmend::app
