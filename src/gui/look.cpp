// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/look.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPalette>
#include <QStyleFactory>
#include <QWidget>

namespace mailmend::gui {
namespace {

QPalette whitePalette()
{
    QPalette palette;
    for (const auto role : {QPalette::Window, QPalette::Base, QPalette::Button, QPalette::AlternateBase})
        palette.setColor(role, Qt::white);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(role, Qt::black);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 120));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 120));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 120, 120));
    palette.setColor(QPalette::Highlight, QColor(0x2f, 0x5d, 0x9a));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::ToolTipBase, QColor(0xff, 0xff, 0xe1));
    palette.setColor(QPalette::ToolTipText, Qt::black);
    return palette;
}

} // namespace

void applyProgramLook(QApplication& app)
{
    // The same look on every desktop: Fusion draws with the palette as given.
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);
    app.setPalette(whitePalette());
}

void applyWindowLook(QWidget& window)
{
    window.setPalette(whitePalette());
    window.setAutoFillBackground(true);
}

bool isSwallowedKey(const QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
}

} // namespace mailmend::gui
