// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/recording_main_view.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace mailmend::testing {

namespace {

std::string number(recovery::ControlId id) { return std::to_string(static_cast<int>(id)); }
std::string number(recovery::MenuCommand id) { return std::to_string(static_cast<int>(id)); }

bool inSaveOptionsGroup(recovery::ControlId id)
{
    for (const recovery::ControlId member : app::kSaveOptionsGroup)
        if (member == id)
            return true;
    return false;
}

} // namespace

void RecordingMainView::record(const std::string& call)
{
    Hook hook;
    {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(call);
        hook = m_hook;
        if (!m_throwOn.empty() && call.starts_with(m_throwOn)) {
            m_throwOn.clear();
            throw std::runtime_error("view failure at " + call);
        }
    }
    if (hook)
        hook(call);
}

void RecordingMainView::setText(recovery::ControlId control, const std::string& text)
{
    {
        std::lock_guard lock(m_mutex);
        m_texts[control] = text;
    }
    record("text " + number(control) + " " + text);
}

std::string RecordingMainView::text(recovery::ControlId control) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_texts.find(control);
    return it == m_texts.end() ? std::string() : it->second;
}

void RecordingMainView::enable(recovery::ControlId control, bool enabled)
{
    {
        std::lock_guard lock(m_mutex);
        m_disabled[control] = !enabled;
    }
    record((enabled ? "enable " : "disable ") + number(control));
}

void RecordingMainView::setChecked(recovery::ControlId option, bool checked)
{
    {
        std::lock_guard lock(m_mutex);
        m_checked[option] = checked;
    }
    record((checked ? "check " : "uncheck ") + number(option));
}

bool RecordingMainView::isChecked(recovery::ControlId option) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_checked.find(option);
    return it != m_checked.end() && it->second;
}

void RecordingMainView::setProgress(recovery::ControlId bar, int position)
{
    {
        std::lock_guard lock(m_mutex);
        m_progress[bar] = position;
    }
    record("bar " + number(bar) + " " + std::to_string(position));
}

void RecordingMainView::setToolTip(recovery::ControlId control, const std::string& tip)
{
    {
        std::lock_guard lock(m_mutex);
        m_tips[control] = tip;
    }
    record("tip " + number(control) + " " + tip);
}

void RecordingMainView::setListColumns(std::span<const search::ListColumn> columns)
{
    {
        std::lock_guard lock(m_mutex);
        m_columns.clear();
        for (const search::ListColumn& column : columns)
            m_columns.push_back(std::string(column.heading) + "/" + std::to_string(column.width));
    }
    record("columns");
}

int RecordingMainView::rowCount() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_rows.size());
}

app::FileRowTexts RecordingMainView::row(int index) const
{
    std::lock_guard lock(m_mutex);
    return m_rows.at(static_cast<std::size_t>(index));
}

void RecordingMainView::insertRow(int index, const app::FileRowTexts& row)
{
    {
        std::lock_guard lock(m_mutex);
        const std::size_t at = index < 0 ? 0 : std::min<std::size_t>(index, m_rows.size());
        m_rows.insert(m_rows.begin() + static_cast<std::ptrdiff_t>(at), row);
    }
    record("insert " + std::to_string(index) + " " + row.path);
}

void RecordingMainView::deleteRow(int index)
{
    {
        std::lock_guard lock(m_mutex);
        m_rows.erase(m_rows.begin() + index);
        if (m_selected == index)
            m_selected.reset();
    }
    record("delete " + std::to_string(index));
}

std::optional<int> RecordingMainView::selectedRow() const
{
    std::lock_guard lock(m_mutex);
    return m_selected;
}

void RecordingMainView::checkMenuCommand(recovery::MenuCommand command, bool checked)
{
    {
        std::lock_guard lock(m_mutex);
        m_marked[command] = checked;
    }
    record((checked ? "mark " : "unmark ") + number(command));
}

bool RecordingMainView::isMenuCommandChecked(recovery::MenuCommand command) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_marked.find(command);
    return it != m_marked.end() && it->second;
}

void RecordingMainView::enableMenuCommand(recovery::MenuCommand command, bool enabled)
{
    {
        std::lock_guard lock(m_mutex);
        m_grayed[command] = !enabled;
    }
    record((enabled ? "ungray " : "gray ") + number(command));
}

platform::MessageAnswer RecordingMainView::messageBox(const std::string& text,
                                                      const std::string& caption,
                                                      platform::MessageStyle style)
{
    platform::MessageAnswer answer = platform::MessageAnswer::Ok;
    {
        std::lock_guard lock(m_mutex);
        m_messages.push_back({text, caption, style});
        if (style == platform::MessageStyle::YesNoQuestion)
            answer = m_yesNo;
    }
    record("box " + caption + "|" + text);
    return answer;
}

std::vector<std::string> RecordingMainView::pickFiles(const app::FileFilter& filter)
{
    (void)filter;
    std::vector<std::string> paths;
    {
        std::lock_guard lock(m_mutex);
        if (!m_files.empty()) {
            paths = m_files.front();
            m_files.pop_front();
        }
    }
    record("pickFiles");
    return paths;
}

std::optional<std::string> RecordingMainView::pickFolder(const std::string& title)
{
    std::optional<std::string> path;
    {
        std::lock_guard lock(m_mutex);
        if (!m_folders.empty()) {
            path = m_folders.front();
            m_folders.pop_front();
        }
    }
    record("pickFolder " + title);
    return path;
}

bool RecordingMainView::openDocument(const std::filesystem::path& document)
{
    record("open " + document.string());
    return documentOpens;
}

void RecordingMainView::showHelpText()
{
    record("help");
}

void RecordingMainView::showAbout(const std::string& title, const std::string& productLine)
{
    record("about " + title + "|" + productLine);
}

void RecordingMainView::runSearchDialog(search::MainFileList& mainList)
{
    record("search");
    if (searchDialog)
        searchDialog(mainList);
}

bool RecordingMainView::ShowSaveAsDlg(recovery::RecoveryRequest& mainDlg)
{
    record("saveas");
    return saveAsDialog ? saveAsDialog(mainDlg) : false;
}

void RecordingMainView::endDialog()
{
    {
        std::lock_guard lock(m_mutex);
        m_ended = true;
    }
    record("end");
}

void RecordingMainView::waitUntil(const std::function<bool()>& done)
{
    record("wait");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            std::fputs("RecordingMainView::waitUntil: the worker did not end within 30 s\n", stderr);
            std::abort();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void RecordingMainView::queueFile(std::optional<std::string> path)
{
    queueFiles(path ? std::vector<std::string> {*path} : std::vector<std::string> {});
}

void RecordingMainView::queueFiles(std::vector<std::string> paths)
{
    std::lock_guard lock(m_mutex);
    m_files.push_back(std::move(paths));
}

void RecordingMainView::queueFolder(std::optional<std::string> path)
{
    std::lock_guard lock(m_mutex);
    m_folders.push_back(std::move(path));
}

void RecordingMainView::setYesNoAnswer(platform::MessageAnswer answer)
{
    std::lock_guard lock(m_mutex);
    m_yesNo = answer;
}

void RecordingMainView::select(std::optional<int> row)
{
    std::lock_guard lock(m_mutex);
    m_selected = row;
}

void RecordingMainView::clickOption(recovery::ControlId option)
{
    std::lock_guard lock(m_mutex);
    const bool inGroup = inSaveOptionsGroup(option);
    for (const recovery::ControlId other : recovery::kSaveOptionButtons) {
        if (other != option && inSaveOptionsGroup(other) == inGroup)
            m_checked[other] = false;
    }
    m_checked[option] = true;
}

void RecordingMainView::throwOn(std::string prefix)
{
    std::lock_guard lock(m_mutex);
    m_throwOn = std::move(prefix);
}

void RecordingMainView::onCall(Hook hook)
{
    std::lock_guard lock(m_mutex);
    m_hook = std::move(hook);
}

bool RecordingMainView::isEnabled(recovery::ControlId control) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_disabled.find(control);
    return it == m_disabled.end() || !it->second;
}

int RecordingMainView::progress(recovery::ControlId bar) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_progress.find(bar);
    return it == m_progress.end() ? 0 : it->second;
}

std::string RecordingMainView::toolTip(recovery::ControlId control) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_tips.find(control);
    return it == m_tips.end() ? std::string() : it->second;
}

bool RecordingMainView::isMenuEnabled(recovery::MenuCommand command) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_grayed.find(command);
    return it == m_grayed.end() || !it->second;
}

std::vector<app::FileRowTexts> RecordingMainView::rows() const
{
    std::lock_guard lock(m_mutex);
    return m_rows;
}

std::vector<ShownMessage> RecordingMainView::messages() const
{
    std::lock_guard lock(m_mutex);
    return m_messages;
}

std::vector<std::string> RecordingMainView::calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

std::vector<std::string> RecordingMainView::columns() const
{
    std::lock_guard lock(m_mutex);
    return m_columns;
}

bool RecordingMainView::ended() const
{
    std::lock_guard lock(m_mutex);
    return m_ended;
}

} // namespace mailmend::testing
