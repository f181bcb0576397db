// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/main_window.h"

#include <QAbstractButton>
#include <QAction>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QToolTip>
#include <QUrl>
#include <QVBoxLayout>

#include "gui/about_box.h"
#include "gui/gui_thread.h"
#include "gui/help_window.h"
#include "gui/look.h"
#include "gui/message_box.h"
#include "gui/save_as_dialog.h"
#include "gui/search_dialog.h"

namespace mailmend::gui {
namespace {

using app::ControlId;
using app::MenuCommand;

// The client area at its designed size; the hint regions are measured in it.
constexpr int kAreaWidth = 595;
constexpr int kAreaHeight = 545;

QString qt(const std::string& text)
{
    return QString::fromStdString(text);
}

std::string toStd(const QString& text)
{
    return text.toStdString();
}

// The band across the top of the window.
QPixmap bannerPicture(int width, int height)
{
    QPixmap picture(width, height);
    QPainter painter(&picture);
    QLinearGradient band(0, 0, width, 0);
    band.setColorAt(0, QColor(0x1f, 0x3b, 0x63));
    band.setColorAt(1, QColor(0x3d, 0x6f, 0xa8));
    painter.fillRect(picture.rect(), band);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawPixmap(18, (height - 56) / 2, programIcon().pixmap(56, 56));
    painter.setPen(Qt::white);
    QFont title = painter.font();
    title.setPointSize(22);
    title.setBold(true);
    painter.setFont(title);
    painter.drawText(QRect(90, 10, width - 100, 40), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Mailmend"));
    QFont line = painter.font();
    line.setPointSize(10);
    line.setBold(false);
    painter.setFont(line);
    painter.drawText(QRect(92, 46, width - 100, 24), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Recovers the mails of Outlook Express folders (.dbx)"));
    return picture;
}

} // namespace

QIcon programIcon()
{
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128}) {
        QPixmap picture(size, size);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal s = size;
        // An envelope with a green tick: a mail brought back.
        painter.setPen(QPen(QColor(0x1f, 0x3b, 0x63), s / 16));
        painter.setBrush(QColor(0xf4, 0xf7, 0xfb));
        const QRectF envelope(s * 0.06, s * 0.2, s * 0.88, s * 0.6);
        painter.drawRoundedRect(envelope, s / 16, s / 16);
        painter.drawLine(envelope.topLeft(), QPointF(s * 0.5, s * 0.55));
        painter.drawLine(envelope.topRight(), QPointF(s * 0.5, s * 0.55));
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x2e, 0x9d, 0x4f));
        painter.drawEllipse(QRectF(s * 0.56, s * 0.5, s * 0.42, s * 0.42));
        painter.setPen(QPen(Qt::white, s / 14, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolyline(QPolygonF({QPointF(s * 0.66, s * 0.72), QPointF(s * 0.75, s * 0.81),
                                        QPointF(s * 0.89, s * 0.62)}));
        painter.end();
        icon.addPixmap(picture);
    }
    return icon;
}

MainWindow::MainWindow(app::MainServices services)
{
    setWindowTitle(QString::fromUtf8(app::kWindowCaption));
    setWindowIcon(programIcon());
    applyWindowLook(*this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* menu = new QMenuBar(this);
    buildMenu(menu);
    layout->setMenuBar(menu);
    m_area = new QWidget(this);
    m_area->setFixedSize(kAreaWidth, kAreaHeight);
    layout->addWidget(m_area);
    buildControls(m_area);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    followMouse(m_area);

    m_logic = std::make_unique<app::CDBXRecoveryDlg>(*this, std::move(services));
    m_logic->OnInitDialog();
}

MainWindow::~MainWindow()
{
    // Stops a run still going and waits for its worker, which calls this window.
    m_logic.reset();
}

void MainWindow::buildControls(QWidget* area)
{
    auto* banner = new QLabel(area);
    banner->setGeometry(3, 3, 589, 84);
    banner->setPixmap(bannerPicture(589, 84));

    auto label = [&](ControlId id, QRect where) {
        auto* widget = new QLabel(area);
        widget->setTextFormat(Qt::PlainText);
        widget->setGeometry(where);
        m_controls[id] = widget;
        return widget;
    };
    auto edit = [&](ControlId id, QRect where) {
        auto* widget = new QLineEdit(area);
        widget->setReadOnly(true); // paths come only from the dialogs
        widget->setGeometry(where);
        m_controls[id] = widget;
        return widget;
    };
    auto button = [&](ControlId id, QRect where, void (app::CDBXRecoveryDlg::*handler)()) {
        auto* widget = new QPushButton(area);
        widget->setGeometry(where);
        widget->setAutoDefault(false);
        connect(widget, &QPushButton::clicked, this, [this, handler] { ((*m_logic).*handler)(); });
        m_controls[id] = widget;
        return widget;
    };
    auto option = [&](ControlId id, QRect where, void (app::CDBXRecoveryDlg::*handler)()) {
        auto* widget = new QRadioButton(area);
        // The logic keeps the options exclusive; a click always selects, as it does on a
        // classic radio button.
        widget->setAutoExclusive(false);
        widget->setGeometry(where);
        widget->setEnabled(false);
        connect(widget, &QRadioButton::clicked, this, [this, widget, handler] {
            widget->setChecked(true);
            ((*m_logic).*handler)();
        });
        m_controls[id] = widget;
        return widget;
    };
    auto group = [&](ControlId id, QRect where) {
        auto* widget = new QGroupBox(area);
        widget->setGeometry(where);
        m_controls[id] = widget;
        return widget;
    };

    label(ControlId::FileLabel, {14, 112, 120, 22});
    edit(ControlId::FileEdit, {134, 110, 248, 24});
    button(ControlId::AddButton, {392, 108, 88, 28}, &app::CDBXRecoveryDlg::OnAddbutton);
    button(ControlId::SearchButton, {488, 108, 90, 28}, &app::CDBXRecoveryDlg::OnSearchbutton);

    m_list = new QTableWidget(area);
    m_list->setGeometry(14, 142, 564, 136);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setShowGrid(true);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setDefaultSectionSize(22);
    m_list->horizontalHeader()->setHighlightSections(false);
    m_list->setWordWrap(false);
    m_list->installEventFilter(this);
    m_list->viewport()->installEventFilter(this);
    m_list->viewport()->setAcceptDrops(true);
    m_controls[ControlId::FileList] = m_list;

    label(ControlId::DestinationLabel, {14, 286, 130, 22});
    edit(ControlId::DestinationEdit, {144, 284, 326, 24});
    button(ControlId::BrowseButton, {480, 282, 98, 28}, &app::CDBXRecoveryDlg::OnBrowsebutton);

    group(ControlId::OptionsGroup, {16, 318, 408, 80});
    group(ControlId::AdvancedGroup, {432, 318, 146, 80});
    option(ControlId::EmlOption, {30, 340, 125, 22}, &app::CDBXRecoveryDlg::OnRadioEml);
    option(ControlId::MsgOption, {160, 340, 125, 22}, &app::CDBXRecoveryDlg::OnRadioMsg);
    option(ControlId::RtfOption, {290, 340, 125, 22}, &app::CDBXRecoveryDlg::OnRadioRtf);
    option(ControlId::DbxOption, {30, 368, 125, 22}, &app::CDBXRecoveryDlg::OnRadioDbx);
    option(ControlId::PstOption, {160, 368, 125, 22}, &app::CDBXRecoveryDlg::OnRadioPst);
    option(ControlId::MboxOption, {290, 368, 125, 22}, &app::CDBXRecoveryDlg::OnRadioMbox);
    option(ControlId::AdvancedOption, {446, 352, 125, 22}, &app::CDBXRecoveryDlg::OnRadioAdvancedscan);

    label(ControlId::StatusText, {16, 404, 562, 20});
    auto bar = [&](ControlId id, QRect where) {
        auto* widget = new QProgressBar(area);
        widget->setRange(0, 100);
        widget->setValue(0);
        widget->setTextVisible(false);
        widget->setGeometry(where);
        m_controls[id] = widget;
    };
    bar(ControlId::FileProgress, {16, 426, 562, 16});
    label(ControlId::ProgressText, {16, 446, 562, 20});
    bar(ControlId::OverallProgress, {16, 468, 562, 16});

    auto* recover = button(ControlId::RecoverButton, {480, 488, 98, 28}, &app::CDBXRecoveryDlg::OnRecoverbutton);
    recover->setEnabled(false);
    QFont bold = recover->font();
    bold.setBold(true);
    recover->setFont(bold);

    auto* hint = label(ControlId::HintLine, {0, kAreaHeight - 24, kAreaWidth, 24});
    hint->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    hint->setAutoFillBackground(true);

    for (const auto& [id, text] : app::kControlTexts)
        setText(id, text);
    m_controls[ControlId::BrowseButton]->setEnabled(false);
}

void MainWindow::buildMenu(QMenuBar* menu)
{
    std::map<std::string, QMenu*> menus;
    for (const auto& item : app::kMenuItems) {
        QMenu*& submenu = menus[item.menu];
        if (!submenu)
            submenu = menu->addMenu(QString::fromUtf8(item.menu));
        if (item.separatorBefore)
            submenu->addSeparator();
        QAction* action = submenu->addAction(QString::fromUtf8(item.text));
        const MenuCommand command = item.command;
        if (command == MenuCommand::EnableLog || command == MenuCommand::EnableRecoveryMode
            || command == MenuCommand::CustomizeMenu)
            action->setCheckable(true);
        connect(action, &QAction::triggered, this, [this, command, action] {
            // A check mark follows the switch, which the logic sets.
            if (action->isCheckable())
                action->setChecked(!action->isChecked());
            switch (command) {
            case MenuCommand::FileOpen:
                m_logic->OnFileOpen();
                break;
            case MenuCommand::FileSearch:
                m_logic->OnFileSearch();
                break;
            case MenuCommand::EnableLog:
                m_logic->OnFileLog();
                break;
            case MenuCommand::EnableRecoveryMode:
                m_logic->OnFileRecovery();
                break;
            case MenuCommand::CustomizeMenu:
                m_logic->OnFileCustomize();
                break;
            case MenuCommand::FileExit:
                m_logic->OnFileExit();
                break;
            case MenuCommand::HelpAbout:
                m_logic->OnHelpAbout();
                break;
            case MenuCommand::HelpContents:
                m_logic->OnHelpContents();
                break;
            }
        });
        m_actions[command] = action;
    }
}

// The hint line follows the mouse over every control of the client area.
void MainWindow::followMouse(QWidget* widget)
{
    widget->setMouseTracking(true);
    widget->installEventFilter(this);
    for (QObject* child : widget->children())
        if (auto* childWidget = qobject_cast<QWidget*>(child))
            followMouse(childWidget);
}

QWidget* MainWindow::control(app::ControlId id) const
{
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

QAction* MainWindow::menuAction(app::MenuCommand command) const
{
    const auto it = m_actions.find(command);
    return it == m_actions.end() ? nullptr : it->second;
}

void MainWindow::setText(app::ControlId id, const std::string& text)
{
    onGuiThread(this, [&] {
        QWidget* widget = control(id);
        if (auto* label = qobject_cast<QLabel*>(widget))
            label->setText(qt(text));
        else if (auto* button = qobject_cast<QAbstractButton*>(widget))
            button->setText(qt(text));
        else if (auto* box = qobject_cast<QGroupBox*>(widget))
            box->setTitle(qt(text));
        else if (auto* line = qobject_cast<QLineEdit*>(widget))
            line->setText(qt(text));
    });
}

std::string MainWindow::text(app::ControlId id) const
{
    return onGuiThread(const_cast<MainWindow*>(this), [&]() -> std::string {
        QWidget* widget = control(id);
        if (auto* label = qobject_cast<QLabel*>(widget))
            return toStd(label->text());
        if (auto* button = qobject_cast<QAbstractButton*>(widget))
            return toStd(button->text());
        if (auto* box = qobject_cast<QGroupBox*>(widget))
            return toStd(box->title());
        if (auto* line = qobject_cast<QLineEdit*>(widget))
            return toStd(line->text());
        return {};
    });
}

void MainWindow::enable(app::ControlId id, bool enabled)
{
    onGuiThread(this, [&] {
        if (QWidget* widget = control(id))
            widget->setEnabled(enabled);
    });
}

void MainWindow::setChecked(app::ControlId option, bool checked)
{
    onGuiThread(this, [&] {
        if (auto* button = qobject_cast<QAbstractButton*>(control(option)))
            button->setChecked(checked);
    });
}

bool MainWindow::isChecked(app::ControlId option) const
{
    return onGuiThread(const_cast<MainWindow*>(this), [&] {
        auto* button = qobject_cast<QAbstractButton*>(control(option));
        return button && button->isChecked();
    });
}

void MainWindow::setProgress(app::ControlId id, int position)
{
    onGuiThread(this, [&] {
        if (auto* bar = qobject_cast<QProgressBar*>(control(id)))
            bar->setValue(position);
    });
}

void MainWindow::setToolTip(app::ControlId id, const std::string& tip)
{
    onGuiThread(this, [&] {
        if (QWidget* widget = control(id))
            widget->setToolTip(qt(tip));
    });
}

void MainWindow::setListColumns(std::span<const search::ListColumn> columns)
{
    m_list->setColumnCount(static_cast<int>(columns.size()));
    QStringList headings;
    for (const auto& column : columns)
        headings << QString::fromUtf8(column.heading);
    m_list->setHorizontalHeaderLabels(headings);
    for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
        const auto& column = columns[static_cast<std::size_t>(i)];
        m_list->setColumnWidth(i, column.width);
        m_list->setColumnHidden(i, column.width == 0); // the full path is kept, not shown
        m_list->horizontalHeaderItem(i)->setTextAlignment(
            column.alignment == search::ColumnAlignment::Right ? Qt::AlignRight | Qt::AlignVCenter
                                                                : Qt::AlignLeft | Qt::AlignVCenter);
    }
    m_list->horizontalHeader()->setStretchLastSection(true);
}

int MainWindow::rowCount() const
{
    return onGuiThread(const_cast<MainWindow*>(this), [&] { return m_list->rowCount(); });
}

app::FileRowTexts MainWindow::row(int index) const
{
    return onGuiThread(const_cast<MainWindow*>(this), [&] {
        app::FileRowTexts texts;
        auto cell = [&](int column) {
            const QTableWidgetItem* item = m_list->item(index, column);
            return item ? toStd(item->text()) : std::string();
        };
        texts.path = cell(0);
        texts.name = cell(1);
        texts.size = cell(2);
        texts.createdOn = cell(3);
        return texts;
    });
}

void MainWindow::insertRow(int index, const app::FileRowTexts& texts)
{
    onGuiThread(this, [&] {
        const int at = std::clamp(index, 0, m_list->rowCount());
        m_list->insertRow(at);
        const std::string* cells[] = {&texts.path, &texts.name, &texts.size, &texts.createdOn};
        for (int column = 0; column < 4; ++column)
            m_list->setItem(at, column, new QTableWidgetItem(qt(*cells[column])));
    });
}

void MainWindow::deleteRow(int index)
{
    onGuiThread(this, [&] {
        if (index >= 0 && index < m_list->rowCount())
            m_list->removeRow(index);
    });
}

std::optional<int> MainWindow::selectedRow() const
{
    const auto rows = m_list->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return std::nullopt;
    return rows.front().row();
}

void MainWindow::checkMenuCommand(app::MenuCommand command, bool checked)
{
    onGuiThread(this, [&] {
        if (QAction* action = menuAction(command))
            action->setChecked(checked);
    });
}

bool MainWindow::isMenuCommandChecked(app::MenuCommand command) const
{
    QAction* action = menuAction(command);
    return action && action->isChecked();
}

void MainWindow::enableMenuCommand(app::MenuCommand command, bool enabled)
{
    onGuiThread(this, [&] {
        if (QAction* action = menuAction(command))
            action->setEnabled(enabled);
    });
}

platform::MessageAnswer MainWindow::messageBox(const std::string& text, const std::string& caption,
                                               platform::MessageStyle style)
{
    return onGuiThread(this, [&] {
        if (messageHandler)
            return messageHandler(text, caption, style);
        return showMessageBox(this, text, caption, style);
    });
}

std::vector<std::string> MainWindow::pickFiles(const app::FileFilter& filter)
{
    if (filePicker)
        return filePicker(filter);
    const QString filterText
        = QStringLiteral("%1;;All files (*)").arg(QString::fromUtf8(filter.description));
    std::vector<std::string> paths;
    for (const QString& chosen : QFileDialog::getOpenFileNames(this, QString(), QString(), filterText))
        paths.push_back(toStd(chosen));
    return paths;
}

std::optional<std::string> MainWindow::pickFolder(const std::string& title)
{
    if (folderPicker)
        return folderPicker(title);
    const QString chosen = QFileDialog::getExistingDirectory(this, qt(title));
    if (chosen.isEmpty())
        return std::nullopt;
    return toStd(chosen);
}

bool MainWindow::openDocument(const std::filesystem::path& document)
{
    if (documentOpener)
        return documentOpener(document);
    const QString path = QString::fromStdString(document.string());
    if (!QFileInfo(path).isFile() || !hasDefaultApplication(path))
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void MainWindow::showHelpText()
{
    if (!m_help)
        m_help = makeHelpWindow(this);
    m_help->show();
    m_help->raise();
    m_help->activateWindow();
}

void MainWindow::showAbout(const std::string& title, const std::string& productLine)
{
    AboutBox box(this, qt(title), qt(productLine));
    box.exec();
}

void MainWindow::runSearchDialog(search::MainFileList& mainList)
{
    if (searchDialogRunner) {
        searchDialogRunner(mainList);
        return;
    }
    SearchDialog dialog(this, mainList);
    dialog.run();
}

bool MainWindow::ShowSaveAsDlg(recovery::RecoveryRequest& mainDlg)
{
    if (saveAsDialogRunner)
        return saveAsDialogRunner(mainDlg);
    SaveAsDialog dialog(this, mainDlg);
    return dialog.run();
}

void MainWindow::endDialog()
{
    m_ended = true;
    QWidget::close();
}

void MainWindow::waitUntil(const std::function<bool()>& done)
{
    serveUntil(done);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (m_ended) {
        event->accept();
        return;
    }
    // The logic asks first and ends the window (endDialog) when the user agrees.
    m_logic->OnClose();
    if (m_ended)
        event->accept();
    else
        event->ignore();
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    if (isSwallowedKey(event)) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove && m_logic) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget) {
            const QPoint at = widget->mapTo(m_area, static_cast<QMouseEvent*>(event)->position().toPoint());
            m_logic->OnMouseMove(at.x(), at.y());
        }
    } else if (watched == m_list && event->type() == QEvent::KeyPress && m_logic) {
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
            m_logic->OnKeydownAddlist(app::kDeleteKey);
            return true;
        }
    } else if (watched == m_list->viewport() && m_logic && listDropEvent(event)) {
        return true;
    } else if (watched == m_list->viewport() && event->type() == QEvent::ToolTip && m_logic) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int row = m_list->rowAt(help->pos().y());
        const std::string tip = row >= 0 ? m_logic->OnGetInfoTip(row) : std::string();
        if (tip.empty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), qt(tip), m_list->viewport());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// Files and folders dragged over the list from a file manager: the local ones are
// taken, while no run lasts.
bool MainWindow::listDropEvent(QEvent* event)
{
    const auto type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    auto* drop = static_cast<QDropEvent*>(event);
    std::vector<std::string> paths;
    if (drop->mimeData())
        for (const QUrl& url : drop->mimeData()->urls())
            if (url.isLocalFile())
                paths.push_back(toStd(url.toLocalFile()));
    if (paths.empty() || m_logic->isRunning()) {
        event->ignore();
        return true;
    }
    drop->acceptProposedAction();
    if (type == QEvent::Drop)
        m_logic->OnDropFiles(paths);
    return true;
}

} // namespace mailmend::gui
