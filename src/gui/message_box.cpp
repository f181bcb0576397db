// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/message_box.h"

#include <QMessageBox>

#include "gui/gui_thread.h"

namespace mailmend::gui {

platform::MessageAnswer showMessageBox(QWidget* parent, const std::string& text,
                                       const std::string& caption, platform::MessageStyle style)
{
    QMessageBox box(parent);
    box.setWindowTitle(QString::fromStdString(caption));
    box.setText(QString::fromStdString(text));
    switch (style) {
    case platform::MessageStyle::OkInformation:
        box.setIcon(QMessageBox::Information);
        break;
    case platform::MessageStyle::OkWarning:
        box.setIcon(QMessageBox::Warning);
        break;
    case platform::MessageStyle::OkError:
        box.setIcon(QMessageBox::Critical);
        break;
    case platform::MessageStyle::YesNoQuestion:
        box.setIcon(QMessageBox::Question);
        break;
    case platform::MessageStyle::Ok:
        break;
    }
    if (style == platform::MessageStyle::YesNoQuestion) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? platform::MessageAnswer::Yes
                                              : platform::MessageAnswer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return platform::MessageAnswer::Ok;
}

platform::MessageAnswer WindowMessageSink::show(const std::string& text, const std::string& caption,
                                                platform::MessageStyle style)
{
    return onGuiThread(m_parent, [&] { return showMessageBox(m_parent, text, caption, style); });
}

} // namespace mailmend::gui
