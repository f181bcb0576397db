// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/message_sink.h"
#include "recovery/control_ids.h"

namespace mailmend::recovery {

// What became of one source file of a run, for a summary (the command line prints one;
// the window has no use for it).
struct FileResult {
    std::size_t fileIndex = 0;
    std::string sourcePath;
    std::string fileName;
    std::filesystem::path outputFolder;
    bool sourceOpened = false;
    std::string openError;         // the reason when the source could not be opened
    std::int32_t mailsFound = -1;  // reader: entries of the mail list; advanced scan: mails carved
    std::int32_t mailsWritten = 0;
    std::int32_t mailsFailed = 0;  // could not be written (in full)
    std::int32_t mailsRefused = 0; // no mail header found (recovery mode)
    std::int32_t mailsTakenOver = 0; // the head belongs to another mail's chain
    std::int32_t mailsCutShort = 0;  // written, but without their end (damage)
    std::int32_t attachmentsFailed = 0; // attachments that could not be written beside their mail
    bool workingCopyFailed = false; // advanced scan: the working copy is incomplete
    bool outputCopyFailed = false;  // DBX output: the folder file could not be copied out
    // A store (a .pst, an .mbox, the DBX output's folder file) could not be finished; the
    // mails it lost with that count as failed.
    bool storeUnfinished = false;
    bool readIncomplete = false;    // the source could not be read in full
    bool workingFileLeft = false;   // advanced scan: the working file could not be deleted
    std::string folderError;        // the output or scratch folder could not be made: why
    bool completed = false;         // false when the run stopped or failed inside this file
};

// Everything the recovery job does to the window, one operation each. The job calls
// these from its own thread; an implementation that draws controls carries each call
// over to its interface thread and returns when it is done.
class JobView {
public:
    virtual ~JobView() = default;

    virtual void enableControl(ControlId id, bool enable) = 0;
    virtual void setControlText(ControlId id, const std::string& text) = 0;
    // Position 0 to 100 of FileProgress or OverallProgress.
    virtual void setProgress(ControlId bar, int position) = 0;
    virtual platform::MessageAnswer messageBox(const std::string& text, const std::string& caption,
                                               platform::MessageStyle style) = 0;
    virtual void enableMenuCommand(MenuCommand id, bool enable) = 0;
    virtual void uncheckRadioButton(ControlId id, bool repaint) = 0;
    // Clears the window's running flag.
    virtual void clearRunning() = 0;

    // Back to the idle look after a stopped or failed run: the inputs and menu commands
    // enabled, the button reading "&Recover", the running flag clear, both bars at 0 and
    // the ready texts. Returns -1, the exit code of an abandoned run. The window's Stop
    // uses the same operation; this default does it through the operations above.
    virtual int RestoreIdleControls();

    // One file's outcome, after its closing step or when the run ends inside it.
    virtual void fileFinished(const FileResult& result) { (void)result; }

    // Mails of the current file dealt with so far, of `total` (-1 while the total is not
    // known, as in the Advanced Scan). The window has no control for it; a console shows it.
    virtual void mailProgress(std::int32_t done, std::int32_t total)
    {
        (void)done;
        (void)total;
    }
};

} // namespace mailmend::recovery
