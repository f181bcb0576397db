// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "platform/message_sink.h"
#include "recovery/job_view.h"

namespace mailmend::cli {

struct ConsoleOptions {
    std::FILE* out = stdout; // progress and status lines
    std::FILE* err = stderr; // message boxes
    bool terminal = false;   // `out` is a terminal: one live line, redrawn in place
    bool quiet = false;      // no progress and no status lines
    std::size_t width = 80;  // columns of the terminal
    std::size_t fileCount = 0;
    // The box a finished run shows begins so; it is kept for the summary, not printed.
    std::string endMessagePrefix;
};

// The recovery job's window on a console. On a terminal the job's texts and bars make up
// one line that refresh() redraws in place; otherwise each new status text is a line of
// its own. Message boxes (the job's, and the reader's through the message sink) become
// lines on the error stream and are answered at once. Safe to use from the job's thread
// and the caller's at the same time.
class ConsoleView final : public recovery::JobView, public platform::MessageSink {
public:
    explicit ConsoleView(ConsoleOptions options);

    void enableControl(recovery::ControlId id, bool enable) override;
    void setControlText(recovery::ControlId id, const std::string& text) override;
    void setProgress(recovery::ControlId bar, int position) override;
    platform::MessageAnswer messageBox(const std::string& text, const std::string& caption,
                                       platform::MessageStyle style) override;
    void enableMenuCommand(recovery::MenuCommand id, bool enable) override;
    void uncheckRadioButton(recovery::ControlId id, bool repaint) override;
    void clearRunning() override;
    void fileFinished(const recovery::FileResult& result) override;

    platform::MessageAnswer show(const std::string& text, const std::string& caption,
                                 platform::MessageStyle style) override;

    // A line of our own on the error stream (the live line makes way for it).
    void note(const std::string& text);

    // Redraws the live line when something changed since it was last drawn. The caller
    // paces the calls; the job's own calls never draw.
    void refresh();
    // Takes the live line off the screen for good.
    void finish();

    // The box the run ended with when it went through every file; empty otherwise.
    std::string endMessage() const;
    std::vector<recovery::FileResult> results() const;

    // The live line for the given state, cut to `width` - 1 columns.
    static std::string liveLine(const std::string& status, const std::string& progress,
                                int fileBar, std::size_t fileNumber, std::size_t fileCount,
                                std::size_t width);

private:
    void clearLiveLine(); // with m_mutex held
    void printError(const std::string& line);

    ConsoleOptions m_options;
    mutable std::mutex m_mutex;
    std::string m_status;
    std::string m_progress;
    int m_fileBar = 0;
    std::size_t m_drawnLength = 0; // columns of the live line on screen; 0: none
    bool m_dirty = false;
    bool m_finished = false;
    std::string m_endMessage;
    std::string m_lastPrintedStatus;
    std::vector<recovery::FileResult> m_results;
};

} // namespace mailmend::cli
