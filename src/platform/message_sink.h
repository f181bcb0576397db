// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace mailmend::platform {

// How a message box looks and which buttons it offers.
enum class MessageStyle { Ok, OkInformation, OkWarning, OkError, YesNoQuestion };

// The button the user chose.
enum class MessageAnswer { Ok, Yes, No };

// Where message boxes reach the user: a dialog in the window, a line on standard error
// on the command line, a recording in tests.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual MessageAnswer show(const std::string& text, const std::string& caption,
                               MessageStyle style) = 0;
};

// Prints "caption: text" to standard error and answers at once (Ok, or Yes).
class StderrMessageSink final : public MessageSink {
public:
    MessageAnswer show(const std::string& text, const std::string& caption,
                       MessageStyle style) override;
};

// The process-wide sink; standard error until a front end installs its own.
MessageSink& messageSink();
void setMessageSink(MessageSink* sink); // null restores the standard-error sink

} // namespace mailmend::platform
