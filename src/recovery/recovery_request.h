// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace mailmend::recovery {

// The output form of a run, as the option buttons store it.
enum class SaveOption : std::int32_t {
    SAVEASDBX = 1,
    SAVEASEML = 2,
    SAVEASPST = 3,
    SAVEASMSG = 4,
    SAVEASRTF = 5,
    ADVANCEDSCAN = 6,
    SAVEASMBOX = 7, // one mbox file per source file, for the mail programs of Linux and macOS
};

// One row of the file list.
struct FileRow {
    std::string path; // full path of the .dbx file
    std::string name; // its file name with extension
};

// What one run is made of: the window's state when Recover is pressed. The job copies
// it at start; only the running flag stays live.
struct RecoveryRequest {
    std::vector<FileRow> files;
    std::string m_strDestination;
    SaveOption m_nSaveOption = SaveOption::SAVEASEML;
    bool m_bLog = false;
    bool m_bRecovery = false;

    // Naming of the output folders.
    std::int32_t m_nFileCounter = 1;
    std::string m_strFolderTag = "Recovered";
    bool m_bCounterOn = true;
    bool m_bFolderTagOn = true;
    bool m_bFileNameOn = true; // for the naming dialog; the job always uses the base name
    bool m_bTypeTagOn = true;

    // The window's running flag: set before the job starts, cleared by Stop and by the
    // job at its end. The job reads it at every check point. Null means the run has no
    // such flag (the command line) and stops only through its cancellation token.
    std::atomic<bool>* m_bRunning = nullptr;
};

} // namespace mailmend::recovery
