// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QApplication;
class QEvent;
class QWidget;

namespace mailmend::gui {

// Every window of the program is white with black text.
void applyProgramLook(QApplication& app);
void applyWindowLook(QWidget& window);

// Enter and Escape neither press a button nor end a window of the program.
bool isSwallowedKey(const QEvent* event);

} // namespace mailmend::gui
