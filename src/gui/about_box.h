// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

namespace mailmend::gui {

// The About box: the program's icon, its product line, what it is, and OK.
class AboutBox final : public QDialog {
public:
    AboutBox(QWidget* parent, const QString& title, const QString& productLine);
};

} // namespace mailmend::gui
