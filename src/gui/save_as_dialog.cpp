// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/save_as_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <algorithm>

#include "gui/look.h"
#include "gui/message_box.h"

namespace mailmend::gui {

using naming::SaveAsControl;

namespace {

QString qs(const char* text)
{
    return QString::fromUtf8(text);
}

} // namespace

SaveAsDialog::SaveAsDialog(QWidget* parent, recovery::RecoveryRequest& mainDlg)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(qs(naming::text::DialogTitle));
    setWindowIcon(parent != nullptr ? parent->window()->windowIcon() : QApplication::windowIcon());
    applyWindowLook(*this);
    buildControls();

    // Only the two buttons and the close box end the dialog: Enter and Escape do
    // nothing, whichever control has the focus.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);

    m_logic = std::make_unique<naming::CSaveAsDlg>(*this, mainDlg);
    m_logic->OnInitDialog();
}

SaveAsDialog::~SaveAsDialog()
{
    // Focus changes while the controls go away reach no logic.
    m_logic.reset();
}

void SaveAsDialog::buildControls()
{
    auto* group = new QGroupBox(qs(naming::text::GroupBox), this);
    auto* grid = new QGridLayout(group);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    grid->setColumnStretch(2, 1);

    const int editWidth = fontMetrics().averageCharWidth() * 30;
    struct Row {
        SaveAsControl check;
        SaveAsControl label;
        const char* caption;
        SaveAsControl edit;
    };
    const Row rows[] {
        {SaveAsControl::CounterCheck, SaveAsControl::CounterLabel, naming::text::CounterLabel,
         SaveAsControl::CounterEdit},
        {SaveAsControl::TagCheck, SaveAsControl::TagLabel, naming::text::TagLabel, SaveAsControl::TagEdit},
        {SaveAsControl::FileNameCheck, SaveAsControl::FileNameLabel, naming::text::FileNameLabel,
         SaveAsControl::FileNameEdit},
        {SaveAsControl::TypeTagCheck, SaveAsControl::TypeTagLabel, naming::text::TypeTagLabel,
         SaveAsControl::TypeTagEdit},
    };
    int line = 0;
    for (const Row& row : rows) {
        auto* check = new QCheckBox(group);
        auto* label = new QLabel(qs(row.caption), group);
        auto* edit = new QLineEdit(group);
        edit->setMinimumWidth(editWidth);
        label->setBuddy(edit);
        grid->addWidget(check, line, 0);
        grid->addWidget(label, line, 1);
        grid->addWidget(edit, line, 2);
        m_controls[row.check] = check;
        m_controls[row.label] = label;
        m_controls[row.edit] = edit;
        ++line;
    }

    auto* heading = new QLabel(qs(naming::text::PreviewHeading), this);
    auto* preview = new QLabel(this);
    preview->setTextFormat(Qt::PlainText);
    preview->setWordWrap(true);
    preview->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    preview->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    preview->setMargin(6);
    preview->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The preview puts a break point every 57 characters of a path; a line that long
    // fits, so the label wraps there rather than at spaces of the path itself.
    preview->setMinimumWidth(preview->fontMetrics().horizontalAdvance(QString(60, QLatin1Char('n'))) + 16);
    preview->setMinimumHeight(preview->fontMetrics().lineSpacing() * 4 + 14);
    m_controls[SaveAsControl::Preview] = preview;

    auto* next = new QPushButton(qs(naming::text::Next), this);
    auto* cancel = new QPushButton(qs(naming::text::Cancel), this);
    for (QPushButton* button : {next, cancel}) {
        button->setAutoDefault(false);
        button->setMinimumWidth(std::max(button->sizeHint().width(), 88));
    }
    next->setDefault(true);
    m_controls[SaveAsControl::NextButton] = next;
    m_controls[SaveAsControl::CancelButton] = cancel;

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(next);
    buttonRow->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(8);
    layout->addWidget(group);
    layout->addSpacing(4);
    layout->addWidget(heading);
    layout->addWidget(preview, 1);
    layout->addSpacing(4);
    layout->addLayout(buttonRow);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    auto* counterEdit = static_cast<QLineEdit*>(control(SaveAsControl::CounterEdit));
    counterEdit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), counterEdit));
    auto* tagEdit = static_cast<QLineEdit*>(control(SaveAsControl::TagEdit));

    // Only what the user typed or pasted is forwarded: texts the logic sets come back
    // through textChanged, never through textEdited.
    connect(counterEdit, &QLineEdit::textEdited, this, [this] { m_logic->OnChangeCounter(); });
    connect(tagEdit, &QLineEdit::textEdited, this, [this] { m_logic->OnChangeTag(); });
    // clicked, unlike toggled, follows the user's clicks only, after the box has flipped.
    connect(static_cast<QCheckBox*>(control(SaveAsControl::CounterCheck)), &QCheckBox::clicked, this,
            [this] { m_logic->OnCounterCheck(); });
    connect(static_cast<QCheckBox*>(control(SaveAsControl::TagCheck)), &QCheckBox::clicked, this,
            [this] { m_logic->OnTagCheck(); });
    connect(static_cast<QCheckBox*>(control(SaveAsControl::TypeTagCheck)), &QCheckBox::clicked, this,
            [this] { m_logic->OnTypeTagCheck(); });
    connect(next, &QPushButton::clicked, this, [this] { m_logic->OnOK(); });
    connect(cancel, &QPushButton::clicked, this, [this] { m_logic->OnCancel(); });

    counterEdit->setFocus();
}

bool SaveAsDialog::run()
{
    m_result = naming::DialogResult::Cancel;
    exec();
    return m_result == naming::DialogResult::Ok;
}

QWidget* SaveAsDialog::control(SaveAsControl id) const
{
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

void SaveAsDialog::setText(SaveAsControl control, const std::string& text)
{
    const QString value = QString::fromStdString(text);
    QWidget* widget = this->control(control);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        // The logic writes every edit back after each change; an unchanged text keeps
        // the caret and the selection where the user left them.
        if (edit->text() != value)
            edit->setText(value);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(value);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(value);
    }
}

std::string SaveAsDialog::text(SaveAsControl control) const
{
    QWidget* widget = this->control(control);
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return edit->text().toStdString();
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text().toStdString();
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text().toStdString();
    return {};
}

void SaveAsDialog::enable(SaveAsControl control, bool enabled)
{
    if (QWidget* widget = this->control(control))
        widget->setEnabled(enabled);
}

void SaveAsDialog::setChecked(SaveAsControl control, bool checked)
{
    if (auto* box = qobject_cast<QCheckBox*>(this->control(control)))
        box->setChecked(checked);
}

bool SaveAsDialog::isChecked(SaveAsControl control) const
{
    const auto* box = qobject_cast<const QCheckBox*>(this->control(control));
    return box != nullptr && box->isChecked();
}

void SaveAsDialog::showMessage(const std::string& text, const std::string& caption, platform::MessageStyle style)
{
    if (messageHandler)
        messageHandler(text, caption, style);
    else
        showMessageBox(this, text, caption, style);
}

void SaveAsDialog::endDialog(naming::DialogResult result)
{
    m_result = result;
    QDialog::done(result == naming::DialogResult::Ok ? QDialog::Accepted : QDialog::Rejected);
}

void SaveAsDialog::closeEvent(QCloseEvent* event)
{
    // The close box acts as Cancel.
    m_logic->OnClose();
    event->accept();
}

void SaveAsDialog::reject()
{
    m_logic->OnClose();
}

bool SaveAsDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (isSwallowedKey(event))
        return true;
    if (event->type() == QEvent::FocusOut && m_logic) {
        if (watched == control(SaveAsControl::TagEdit))
            m_logic->OnKillFocusTag();
        else if (watched == control(SaveAsControl::FileNameEdit))
            m_logic->OnKillFocusFileName();
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace mailmend::gui
