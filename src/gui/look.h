// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QApplication;
class QWidget;

namespace mailmend::gui {

// Every window of the program is white with black text.
void applyProgramLook(QApplication& app);
void applyWindowLook(QWidget& window);

} // namespace mailmend::gui
