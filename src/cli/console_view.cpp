// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/console_view.h"

#include <algorithm>
#include <array>

#include "log/text.h"

namespace mailmend::cli {
namespace {

using recovery::ControlId;

// The bar is narrower on a narrow terminal, so that the figures still show.
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

std::string mailFigures(const LiveState& s)
{
    if (s.mailsTotal >= 0)
        return strprintf("%d/%d mails", s.mailsDone, s.mailsTotal);
    if (s.mailsDone > 0)
        return strprintf("%d mails", s.mailsDone);
    return "reading";
}

} // namespace

std::string forTerminal(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            out += strprintf("\\x%02X", byte);
        else
            out += c;
    }
    return out;
}

ConsoleView::ConsoleView(ConsoleOptions options) : m_options(std::move(options)) {}

void ConsoleView::enableControl(ControlId, bool) {}
void ConsoleView::enableMenuCommand(recovery::MenuCommand, bool) {}
void ConsoleView::uncheckRadioButton(ControlId, bool) {}
void ConsoleView::clearRunning() {}

void ConsoleView::setControlText(ControlId id, const std::string& text)
{
    // Off a terminal the status texts are the progress: a line each time one changes.
    if (id != ControlId::StatusText || text == kIdleStatus || m_options.quiet || m_options.terminal)
        return;
    std::lock_guard lock(m_mutex);
    if (text == m_lastPrintedStatus)
        return;
    m_lastPrintedStatus = text;
    std::fprintf(m_options.err, "%s\n", forTerminal(text).c_str());
    std::fflush(m_options.err);
}

void ConsoleView::setProgress(ControlId bar, int position)
{
    std::lock_guard lock(m_mutex);
    if (bar == ControlId::FileProgress && position != m_fileBar) {
        m_fileBar = position;
        m_dirty = true;
    }
}

void ConsoleView::mailProgress(std::int32_t done, std::int32_t total)
{
    std::lock_guard lock(m_mutex);
    // Until the first mail is done the clock restarts: the rate leaves out the scan.
    if (done == 0)
        m_mailsStart = Clock::now();
    if (done != m_mailsDone || total != m_mailsTotal) {
        m_mailsDone = done;
        m_mailsTotal = total;
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
    printLine(caption + ": " + text);
    return style == platform::MessageStyle::YesNoQuestion ? platform::MessageAnswer::Yes
                                                          : platform::MessageAnswer::Ok;
}

void ConsoleView::note(const std::string& text)
{
    printLine(text);
}

void ConsoleView::printLine(const std::string& line)
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
    m_mailsDone = 0;
    m_mailsTotal = -1;
    m_mailsStart = Clock::now();
    m_dirty = true;
}

std::string ConsoleView::liveLine(const LiveState& s, std::size_t width)
{
    const std::size_t limit = width > 1 ? width - 1 : 0;
    std::string name = forTerminal(s.fileName);
    if (s.fileCount > 1)
        name += strprintf(" (%zu/%zu)", s.fileNumber, s.fileCount);

    const int percent = std::clamp(s.fileBar, 0, 100);
    const std::size_t barWidth = width < kNarrowTerminal ? kNarrowBarWidth : kBarWidth;
    const std::size_t filled = static_cast<std::size_t>(percent) * barWidth / 100;
    const std::size_t done = s.fileNumber > 0 ? s.fileNumber - 1 : 0;
    const int overall = s.fileCount == 0
        ? 0
        : static_cast<int>((done * 100 + static_cast<std::size_t>(percent)) / s.fileCount);

    // In the order they are shown.
    enum Piece { Mails, Rate, Bar, Percent, Overall, kPieces };
    std::array<std::string, kPieces> text;
    text[Mails] = mailFigures(s);
    if (s.mailsPerSecond >= 1 && s.mailsDone > 0)
        text[Rate] = strprintf("%.0f mails/s", s.mailsPerSecond);
    text[Bar] = std::string(1, '[').append(filled, '#').append(barWidth - filled, '-') + ']';
    text[Percent] = strprintf("%3d%%", percent);
    if (s.fileCount > 1)
        text[Overall] = strprintf("all %d%%", overall);

    std::array<bool, kPieces> shown {};
    const auto length = [&] {
        std::size_t n = columns(name);
        for (std::size_t i = 0; i < kPieces; ++i)
            n += shown[i] && !text[i].empty() ? 2 + columns(text[i]) : 0;
        return n;
    };
    for (const Piece piece : {Percent, Mails, Overall, Rate, Bar}) {
        shown[piece] = true;
        if (length() > limit)
            shown[piece] = false;
    }
    std::string line = name;
    for (std::size_t i = 0; i < kPieces; ++i)
        if (shown[i] && !text[i].empty())
            line += "  " + text[i];
    return cutToColumns(line, limit);
}

void ConsoleView::refresh()
{
    std::lock_guard lock(m_mutex);
    if (!m_options.terminal || m_options.quiet || m_finished || !m_dirty)
        return;
    m_dirty = false;
    LiveState state;
    state.fileCount = std::max<std::size_t>(m_options.fileNames.size(), 1);
    state.fileNumber = std::min(m_results.size() + 1, state.fileCount);
    if (state.fileNumber <= m_options.fileNames.size())
        state.fileName = m_options.fileNames[state.fileNumber - 1];
    state.fileBar = m_fileBar;
    state.mailsDone = m_mailsDone;
    state.mailsTotal = m_mailsTotal;
    const double seconds = std::chrono::duration<double>(Clock::now() - m_mailsStart).count();
    if (m_mailsDone > 0 && seconds > 0)
        state.mailsPerSecond = m_mailsDone / seconds;

    const std::string line = liveLine(state, m_options.width);
    const std::size_t length = columns(line);
    std::string text(1, '\r');
    text += line;
    if (length < m_drawnLength)
        text.append(m_drawnLength - length, ' ');
    std::fputs(text.c_str(), m_options.err);
    std::fflush(m_options.err);
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
    std::fputs(blank.c_str(), m_options.err);
    std::fflush(m_options.err);
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
