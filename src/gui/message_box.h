// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "platform/message_sink.h"

class QWidget;

namespace mailmend::gui {

// A modal message box over `parent` with the program's look; returns the button chosen.
platform::MessageAnswer showMessageBox(QWidget* parent, const std::string& text,
                                       const std::string& caption, platform::MessageStyle style);

// Message boxes raised by the core through platform::messageSink() (the reader's, for
// one), shown over `parent` on the window's thread whatever thread raises them.
class WindowMessageSink final : public platform::MessageSink {
public:
    explicit WindowMessageSink(QWidget* parent) : m_parent(parent) {}
    platform::MessageAnswer show(const std::string& text, const std::string& caption,
                                 platform::MessageStyle style) override;

private:
    QWidget* m_parent;
};

} // namespace mailmend::gui
