// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "log/log.h"
#include "platform/message_sink.h"

namespace mailmend::testing {

struct LogLine {
    std::string message;
    bool isError = false;

    bool operator==(const LogLine&) const = default;
};

inline LogLine execLine(std::string message) { return {std::move(message), false}; }
inline LogLine errorLine(std::string message) { return {std::move(message), true}; }

void PrintTo(const LogLine& line, std::ostream* os);

// Records the lines a component logs instead of writing them to the log files.
class RecordingLog final : public LogWriter {
public:
    void write(const std::string& message, bool isError) override;

    std::vector<LogLine> lines() const;
    std::vector<std::string> messages(bool errors) const; // only one of the two logs
    bool contains(const LogLine& line) const;
    void clear();

private:
    mutable std::mutex m_mutex;
    std::vector<LogLine> m_lines;
};

struct ShownMessage {
    std::string text;
    std::string caption;
    platform::MessageStyle style = platform::MessageStyle::Ok;
};

// Records every message box and answers it at once, with Ok unless told otherwise.
class RecordingMessageSink final : public platform::MessageSink {
public:
    platform::MessageAnswer show(const std::string& text, const std::string& caption,
                                 platform::MessageStyle style) override;
    void setAnswer(platform::MessageAnswer answer);

    std::vector<ShownMessage> shown() const;
    std::vector<std::string> texts() const;

private:
    mutable std::mutex m_mutex;
    std::vector<ShownMessage> m_shown;
    platform::MessageAnswer m_answer = platform::MessageAnswer::Ok;
};

// Installs a recording sink as the process-wide message sink for its lifetime.
class ScopedMessageSink {
public:
    ScopedMessageSink() { platform::setMessageSink(&m_sink); }
    ~ScopedMessageSink() { platform::setMessageSink(nullptr); }
    ScopedMessageSink(const ScopedMessageSink&) = delete;
    ScopedMessageSink& operator=(const ScopedMessageSink&) = delete;

    RecordingMessageSink& sink() { return m_sink; }
    std::vector<ShownMessage> shown() const { return m_sink.shown(); }
    std::vector<std::string> texts() const { return m_sink.texts(); }

private:
    RecordingMessageSink m_sink;
};

} // namespace mailmend::testing
