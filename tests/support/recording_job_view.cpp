// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/recording_job_view.h"

namespace mailmend::testing {

namespace {

std::string number(recovery::ControlId id) { return std::to_string(static_cast<int>(id)); }

} // namespace

void RecordingJobView::record(std::string call)
{
    std::size_t count = 0;
    {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(call);
        count = m_calls.size();
    }
    if (m_hook)
        m_hook(call, count);
}

void RecordingJobView::enableControl(recovery::ControlId id, bool enable)
{
    record((enable ? "enable " : "disable ") + number(id));
}

void RecordingJobView::setControlText(recovery::ControlId id, const std::string& text)
{
    record("text " + number(id) + " " + text);
}

void RecordingJobView::setProgress(recovery::ControlId bar, int position)
{
    record("bar " + number(bar) + " " + std::to_string(position));
}

platform::MessageAnswer RecordingJobView::messageBox(const std::string& text,
                                                     const std::string& caption,
                                                     platform::MessageStyle)
{
    record("box " + caption + "|" + text);
    return platform::MessageAnswer::Ok;
}

void RecordingJobView::enableMenuCommand(recovery::MenuCommand id, bool enable)
{
    record((enable ? "ungray " : "gray ") + std::to_string(static_cast<int>(id)));
}

void RecordingJobView::uncheckRadioButton(recovery::ControlId id, bool repaint)
{
    record("uncheck " + number(id) + (repaint ? " repaint" : ""));
}

void RecordingJobView::clearRunning()
{
    if (m_running)
        m_running->store(false);
    record("clearRunning");
}

int RecordingJobView::RestoreIdleControls()
{
    if (m_expandRestore)
        return JobView::RestoreIdleControls();
    if (m_running)
        m_running->store(false);
    record("RestoreIdleControls");
    return -1;
}

void RecordingJobView::fileFinished(const recovery::FileResult& result)
{
    {
        std::lock_guard lock(m_mutex);
        m_results.push_back(result);
    }
    record("fileFinished " + std::to_string(result.fileIndex));
}

std::vector<std::string> RecordingJobView::calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

std::vector<int> RecordingJobView::positions(recovery::ControlId bar) const
{
    const std::string prefix = "bar " + number(bar) + " ";
    std::vector<int> out;
    for (const std::string& call : calls())
        if (call.rfind(prefix, 0) == 0)
            out.push_back(std::stoi(call.substr(prefix.size())));
    return out;
}

std::vector<recovery::FileResult> RecordingJobView::results() const
{
    std::lock_guard lock(m_mutex);
    return m_results;
}

} // namespace mailmend::testing
