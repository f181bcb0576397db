// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/recording.h"

#include <algorithm>

namespace mailmend::testing {

void PrintTo(const LogLine& line, std::ostream* os)
{
    *os << (line.isError ? "error: \"" : "exec: \"") << line.message << '"';
}

void RecordingLog::write(const std::string& message, bool isError)
{
    std::lock_guard lock(m_mutex);
    m_lines.push_back({message, isError});
}

std::vector<LogLine> RecordingLog::lines() const
{
    std::lock_guard lock(m_mutex);
    return m_lines;
}

std::vector<std::string> RecordingLog::messages(bool errors) const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> out;
    for (const auto& line : m_lines)
        if (line.isError == errors)
            out.push_back(line.message);
    return out;
}

bool RecordingLog::contains(const LogLine& line) const
{
    std::lock_guard lock(m_mutex);
    return std::find(m_lines.begin(), m_lines.end(), line) != m_lines.end();
}

void RecordingLog::clear()
{
    std::lock_guard lock(m_mutex);
    m_lines.clear();
}

platform::MessageAnswer RecordingMessageSink::show(const std::string& text,
                                                   const std::string& caption,
                                                   platform::MessageStyle style)
{
    std::lock_guard lock(m_mutex);
    m_shown.push_back({text, caption, style});
    return m_answer;
}

void RecordingMessageSink::setAnswer(platform::MessageAnswer answer)
{
    std::lock_guard lock(m_mutex);
    m_answer = answer;
}

std::vector<ShownMessage> RecordingMessageSink::shown() const
{
    std::lock_guard lock(m_mutex);
    return m_shown;
}

std::vector<std::string> RecordingMessageSink::texts() const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> out;
    for (const auto& message : m_shown)
        out.push_back(message.text);
    return out;
}

} // namespace mailmend::testing
