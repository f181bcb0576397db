// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/console_view.h"

#include <algorithm>

#include "log/text.h"

namespace mailmend::cli {
namespace {

using recovery::ControlId;

// The bar is narrower on a narrow terminal, so that the status text still shows.
constexpr std::size_t kBarWidth = 20;
constexpr std::size_t kNarrowBarWidth = 10;
constexpr std::size_t kNarrowTerminal = 100;
// The window's idle text; on a console it says nothing.
constexpr const char* kIdleStatus = "Ready to Scan";

bool isContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

std::size_t columns(const std::string& text)
{
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return !isContinuationByte(c); }));
}

// The first `limit` characters of `text`, never splitting one.
std::string cutToColumns(const std::string& text, std::size_t limit)
{
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isContinuationByte(text[i]))
            continue;
        if (seen++ == limit)
            return text.substr(0, i);
    }
    return text;
}

} // namespace

ConsoleView::ConsoleView(ConsoleOptions options) : m_options(std::move(options)) {}

void ConsoleView::enableControl(ControlId, bool) {}
void ConsoleView::enableMenuCommand(recovery::MenuCommand, bool) {}
void ConsoleView::uncheckRadioButton(ControlId, bool) {}
void ConsoleView::clearRunning() {}

void ConsoleView::setControlText(ControlId id, const std::string& text)
{
    std::lock_guard lock(m_mutex);
    if (id == ControlId::ProgressText) {
        m_progress = text;
        m_dirty = true;
        return;
    }
    if (id != ControlId::StatusText || text == kIdleStatus)
        return;
    m_status = text;
    m_dirty = true;
    if (m_options.quiet || m_options.terminal || text == m_lastPrintedStatus)
        return;
    m_lastPrintedStatus = text;
    std::fprintf(m_options.out, "%s\n", text.c_str());
    std::fflush(m_options.out);
}

void ConsoleView::setProgress(ControlId bar, int position)
{
    std::lock_guard lock(m_mutex);
    if (bar == ControlId::FileProgress && position != m_fileBar) {
        m_fileBar = position;
        m_dirty = true;
    }
}

platform::MessageAnswer ConsoleView::messageBox(const std::string& text, const std::string& caption,
                                                platform::MessageStyle style)
{
    if (!m_options.endMessagePrefix.empty() && text.rfind(m_options.endMessagePrefix, 0) == 0) {
        std::lock_guard lock(m_mutex);
        m_endMessage = text;
        return platform::MessageAnswer::Ok;
    }
    return show(text, caption, style);
}

platform::MessageAnswer ConsoleView::show(const std::string& text, const std::string& caption,
                                          platform::MessageStyle style)
{
    printError(caption + ": " + text);
    return style == platform::MessageStyle::YesNoQuestion ? platform::MessageAnswer::Yes
                                                          : platform::MessageAnswer::Ok;
}

void ConsoleView::note(const std::string& text)
{
    printError(text);
}

void ConsoleView::printError(const std::string& line)
{
    std::lock_guard lock(m_mutex);
    clearLiveLine();
    std::fprintf(m_options.err, "%s\n", line.c_str());
    std::fflush(m_options.err);
    m_dirty = true;
}

void ConsoleView::fileFinished(const recovery::FileResult& result)
{
    std::lock_guard lock(m_mutex);
    m_results.push_back(result);
    m_dirty = true;
}

std::string ConsoleView::liveLine(const std::string& status, const std::string& progress,
                                  int fileBar, std::size_t fileNumber, std::size_t fileCount,
                                  std::size_t width)
{
    const int percent = std::clamp(fileBar, 0, 100);
    const std::size_t barWidth = width < kNarrowTerminal ? kNarrowBarWidth : kBarWidth;
    const std::size_t filled = static_cast<std::size_t>(percent) * barWidth / 100;
    std::string line;
    if (!progress.empty())
        line = progress + " | ";
    line += strprintf("file %zu/%zu [", fileNumber, fileCount) + std::string(filled, '#')
        + std::string(barWidth - filled, '-') + strprintf("] %3d%%", percent);
    if (!status.empty())
        line += " | " + status;
    return cutToColumns(line, width > 1 ? width - 1 : 0);
}

void ConsoleView::refresh()
{
    std::lock_guard lock(m_mutex);
    if (!m_options.terminal || m_options.quiet || m_finished || !m_dirty)
        return;
    m_dirty = false;
    const std::size_t fileNumber = std::min(m_results.size() + 1, std::max<std::size_t>(m_options.fileCount, 1));
    const std::string line = liveLine(m_status, m_progress, m_fileBar, fileNumber,
                                      m_options.fileCount, m_options.width);
    const std::size_t length = columns(line);
    std::string text(1, '\r');
    text += line;
    if (length < m_drawnLength)
        text.append(m_drawnLength - length, ' ');
    std::fputs(text.c_str(), m_options.out);
    std::fflush(m_options.out);
    m_drawnLength = length;
}

void ConsoleView::finish()
{
    std::lock_guard lock(m_mutex);
    clearLiveLine();
    m_finished = true;
}

void ConsoleView::clearLiveLine()
{
    if (m_drawnLength == 0)
        return;
    std::string blank(m_drawnLength + 2, ' ');
    blank.front() = '\r';
    blank.back() = '\r';
    std::fputs(blank.c_str(), m_options.out);
    std::fflush(m_options.out);
    m_drawnLength = 0;
}

std::string ConsoleView::endMessage() const
{
    std::lock_guard lock(m_mutex);
    return m_endMessage;
}

std::vector<recovery::FileResult> ConsoleView::results() const
{
    std::lock_guard lock(m_mutex);
    return m_results;
}

} // namespace mailmend::cli
