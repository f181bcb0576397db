// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/message_sink.h"
#include "recovery/job_view.h"

namespace mailmend::cli {

// A text as the terminal should show it: control characters (an escape sequence, a line
// break in a file name) are written out as \xHH instead of acting on the terminal.
std::string forTerminal(std::string_view text);

struct ConsoleOptions {
    std::FILE* err = stderr; // the progress line, the status lines and the messages
    bool terminal = false;   // `err` is a terminal: one live line, redrawn in place
    bool quiet = false;      // no progress line and no status lines
    std::size_t width = 80;  // columns of the terminal
    std::vector<std::string> fileNames; // the run's files, as the progress line names them
    // The box a finished run shows begins so; it is kept for the summary, not printed.
    std::string endMessagePrefix;
};

// What the live line shows.
struct LiveState {
    std::string fileName;
    std::size_t fileNumber = 1; // 1-based
    std::size_t fileCount = 1;
    int fileBar = 0;               // 0 to 100
    std::int32_t mailsDone = 0;
    std::int32_t mailsTotal = -1;  // -1: not known (yet)
    double mailsPerSecond = 0;     // 0: not measured yet
};

// The recovery job's window on a console. On a terminal the job's progress makes up one
// line that refresh() redraws in place; otherwise each new status text is a line of its
// own. Message boxes (the job's, and the reader's through the message sink) become lines
// too and are answered at once. Everything goes to the error stream: the standard output
// is the caller's, for the results. Safe to use from the job's thread and the caller's
// at the same time.
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
    void mailProgress(std::int32_t done, std::int32_t total) override;

    platform::MessageAnswer show(const std::string& text, const std::string& caption,
                                 platform::MessageStyle style) override;

    // A line of our own (the live line makes way for it).
    void note(const std::string& text);

    // Redraws the live line when something changed since it was last drawn. The caller
    // paces the calls; the job's own calls never draw.
    void refresh();
    // Takes the live line off the screen for good.
    void finish();

    // The box the run ended with when it went through every file; empty otherwise.
    std::string endMessage() const;
    std::vector<recovery::FileResult> results() const;

    // The live line for `state`, at most `width` - 1 columns: the file name, then as
    // many of its figures as fit (the file's percentage first, then the mails, the
    // whole run's percentage, the rate and the bar). The name is cut only when nothing
    // else is left to leave out.
    static std::string liveLine(const LiveState& state, std::size_t width);

private:
    using Clock = std::chrono::steady_clock;

    void clearLiveLine(); // with m_mutex held
    void printLine(const std::string& line);

    ConsoleOptions m_options;
    mutable std::mutex m_mutex;
    int m_fileBar = 0;
    std::int32_t m_mailsDone = 0;
    std::int32_t m_mailsTotal = -1;
    // The rate is measured from the moment the file's mails began.
    Clock::time_point m_mailsStart {};
    std::size_t m_drawnLength = 0; // columns of the live line on screen; 0: none
    bool m_dirty = false;
    bool m_finished = false;
    std::string m_endMessage;
    std::string m_lastPrintedStatus;
    std::vector<recovery::FileResult> m_results;
};

} // namespace mailmend::cli
