// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/about_box.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "gui/look.h"
#include "gui/main_window.h"

namespace mailmend::gui {

AboutBox::AboutBox(QWidget* parent, const QString& title, const QString& productLine)
    : QDialog(parent)
{
    setWindowTitle(title);
    setWindowIcon(programIcon());
    applyWindowLook(*this);

    auto* icon = new QLabel(this);
    icon->setPixmap(programIcon().pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop);

    auto* product = new QLabel(productLine, this);
    QFont bold = product->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    product->setFont(bold);
    auto* what = new QLabel(
        QStringLiteral("Recovers the mails of Outlook Express mail folders (.dbx files),\n"
                       "damaged ones too, as .eml files.\n\n"
                       "Free software under the GNU General Public License,\n"
                       "version 3 or later."),
        this);

    auto* text = new QVBoxLayout;
    text->addWidget(product);
    text->addSpacing(6);
    text->addWidget(what);
    text->addStretch();

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addSpacing(12);
    top->addLayout(text);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 12);
    layout->addLayout(top);
    layout->addSpacing(10);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace mailmend::gui
