// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "recovery/job_view.h"

namespace mailmend::testing {

// Records every call the recovery job makes to its window, in order, as short texts:
//   "disable 1002" / "enable 1002"        enableControl
//   "gray 57601" / "ungray 57601"         enableMenuCommand
//   "text 1015 Ready to Scan"             setControlText
//   "bar 1012 40"                         setProgress
//   "box Norvale Mailmend|<text>"         messageBox (answered Ok)
//   "uncheck 1009 repaint" / "uncheck 1008"
//   "clearRunning", "RestoreIdleControls", "fileFinished 0"
// clearRunning and RestoreIdleControls clear the running flag given to it, as the
// window does.
class RecordingJobView : public recovery::JobView {
public:
    using Hook = std::function<void(const std::string& call, std::size_t number)>;

    explicit RecordingJobView(std::atomic<bool>* running = nullptr) : m_running(running) {}

    void enableControl(recovery::ControlId id, bool enable) override;
    void setControlText(recovery::ControlId id, const std::string& text) override;
    void setProgress(recovery::ControlId bar, int position) override;
    platform::MessageAnswer messageBox(const std::string& text, const std::string& caption,
                                       platform::MessageStyle style) override;
    void enableMenuCommand(recovery::MenuCommand id, bool enable) override;
    void uncheckRadioButton(recovery::ControlId id, bool repaint) override;
    void clearRunning() override;
    int RestoreIdleControls() override;
    void fileFinished(const recovery::FileResult& result) override;

    // Runs after each recorded call, on the caller's thread, with the call and its number
    // (1 for the first). It may stop the run, block, or throw.
    void onCall(Hook hook) { m_hook = std::move(hook); }
    // Record RestoreIdleControls as the calls of its default instead of as one call.
    void expandRestore(bool on) { m_expandRestore = on; }

    std::vector<std::string> calls() const;
    std::vector<int> positions(recovery::ControlId bar) const;
    std::vector<recovery::FileResult> results() const;

private:
    void record(std::string call);

    std::atomic<bool>* m_running;
    Hook m_hook;
    bool m_expandRestore = false;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
    std::vector<recovery::FileResult> m_results;
};

} // namespace mailmend::testing
