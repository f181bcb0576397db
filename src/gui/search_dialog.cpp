// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/search_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include "gui/gui_thread.h"
#include "gui/look.h"
#include "gui/message_box.h"

namespace mailmend::gui {

using search::SearchControl;

namespace {

// The result list's columns, by what they show.
enum Column { NameColumn = 0, SizeColumn = 1, CreatedColumn = 2, PathColumn = 3 };

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

Qt::Alignment alignmentOf(search::ColumnAlignment alignment)
{
    return (alignment == search::ColumnAlignment::Right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
}

search::TickState tickStateOf(const QVariant& checkState)
{
    if (!checkState.isValid())
        return search::TickState::None;
    return checkState.toInt() == Qt::Checked ? search::TickState::Ticked : search::TickState::Unticked;
}

// A cell of the result list. A tick the user is about to change is reported to the
// dialog before it is applied, as the logic looks at the list as it stood; the hover tip
// of every cell is the tip of its row.
class ResultCell final : public QTableWidgetItem {
public:
    ResultCell(SearchDialog& dialog, const std::string& text, Qt::Alignment alignment)
        : QTableWidgetItem(qs(text))
        , m_dialog(dialog)
    {
        setTextAlignment(alignment);
        setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    }

    QVariant data(int role) const override
    {
        if (role == Qt::ToolTipRole && tableWidget() != nullptr) {
            const std::string tip = m_dialog.rowTip(row());
            return tip.empty() ? QVariant() : QVariant(qs(tip));
        }
        return QTableWidgetItem::data(role);
    }

    void setData(int role, const QVariant& value) override
    {
        if (role == Qt::CheckStateRole && tableWidget() != nullptr) {
            const QVariant current = QTableWidgetItem::data(Qt::CheckStateRole);
            if (!current.isValid() || current.toInt() != value.toInt())
                m_dialog.rowTickChanging(row(), tickStateOf(current));
        }
        QTableWidgetItem::setData(role, value);
    }

private:
    SearchDialog& m_dialog;
};

// Wide enough for every caption a toggle button takes, so the layout does not jump.
void fitCaptions(QPushButton& button, std::initializer_list<const char*> captions)
{
    int width = 0;
    for (const char* caption : captions) {
        QPushButton probe(QString::fromUtf8(caption));
        probe.setFont(button.font());
        width = std::max(width, probe.sizeHint().width());
    }
    button.setMinimumWidth(std::max(width, 96));
}

} // namespace

template <typename Work>
auto SearchDialog::guiCall(Work&& work) const
{
    return onGuiThread(const_cast<SearchDialog*>(this), std::forward<Work>(work));
}

SearchDialog::SearchDialog(QWidget* parent, search::MainFileList& mainList,
                           const platform::DirectoryLister& lister)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QString::fromUtf8(search::text::DialogTitle));
    setWindowIcon(parent != nullptr ? parent->window()->windowIcon() : QApplication::windowIcon());
    applyWindowLook(*this);
    buildControls();

    // Enter and Escape neither press a button nor close the dialog, whichever control
    // has the focus.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);

    m_logic = std::make_unique<search::CSearchDlg>(*this, mainList, lister);
    m_logic->OnInitDialog();
}

SearchDialog::~SearchDialog()
{
    // A stopped worker may still be finishing; it needs the controls until it has.
    m_logic.reset();
}

void SearchDialog::buildControls()
{
    auto* group = new QGroupBox(QString::fromUtf8(search::text::GroupBox), this);

    auto* folderLabel = new QLabel(QString::fromUtf8(search::text::FolderLabel), group);
    m_folderEdit = new QLineEdit(group);
    m_folderEdit->setReadOnly(true);
    m_folderEdit->setFocusPolicy(Qt::ClickFocus);
    auto* browse = new QPushButton(QStringLiteral("..."), group);
    browse->setFixedWidth(browse->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 24);
    auto* searchStop = new QPushButton(QString::fromUtf8(search::text::Search), group);
    fitCaptions(*searchStop, {search::text::Search, search::text::Stop});

    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(folderLabel);
    folderRow->addWidget(m_folderEdit, 1);
    folderRow->addWidget(browse);
    folderRow->addSpacing(6);
    folderRow->addWidget(searchStop);

    m_list = new QTableWidget(0, static_cast<int>(search::resultListColumns.size()), group);
    m_list->setShowGrid(true);
    m_list->setGridStyle(Qt::SolidLine);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSortingEnabled(false);
    m_list->setWordWrap(false);
    m_list->setTextElideMode(Qt::ElideRight);
    m_list->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 8);
    QHeaderView* header = m_list->horizontalHeader();
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setStretchLastSection(true);
    int columnsWidth = 0;
    for (int i = 0; i < static_cast<int>(search::resultListColumns.size()); ++i) {
        const search::ListColumn& column = search::resultListColumns[i];
        auto* heading = new QTableWidgetItem(QString::fromUtf8(column.heading));
        heading->setTextAlignment(alignmentOf(column.alignment));
        m_list->setHorizontalHeaderItem(i, heading);
        header->resizeSection(i, column.width);
        columnsWidth += column.width;
    }
    // All four columns fit at their own widths, with room for the scroll bar.
    m_list->setMinimumWidth(columnsWidth + 2 * m_list->frameWidth()
                            + m_list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_list));
    m_list->setMinimumHeight(header->sizeHint().height() + 12 * m_list->verticalHeader()->defaultSectionSize()
                             + 2 * m_list->frameWidth());

    m_status = new QLabel(QString::fromUtf8(search::text::NoneFound), group);
    // Paths of any length pass through the status text; they must not widen the dialog.
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_status->setTextFormat(Qt::PlainText);
    auto* selectAll = new QPushButton(QString::fromUtf8(search::text::SelectAll), group);
    fitCaptions(*selectAll, {search::text::SelectAll, search::text::UnselectAll});

    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(m_status, 1);
    statusRow->addWidget(selectAll);

    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->setSpacing(8);
    groupLayout->addLayout(folderRow);
    groupLayout->addWidget(m_list, 1);
    groupLayout->addLayout(statusRow);

    auto* addToList = new QPushButton(QString::fromUtf8(search::text::AddToList), this);
    auto* finish = new QPushButton(QString::fromUtf8(search::text::Finish), this);
    fitCaptions(*addToList, {search::text::AddToList});
    fitCaptions(*finish, {search::text::Finish});

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(addToList);
    buttonRow->addWidget(finish);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(10);
    layout->addWidget(group, 1);
    layout->addLayout(buttonRow);

    // No button is pressed by Enter; buttons act on clicks and the space bar only.
    for (QPushButton* button : {browse, searchStop, selectAll, addToList, finish}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    m_controls = {
        {SearchControl::FolderEdit, m_folderEdit}, {SearchControl::AddToList, addToList},
        {SearchControl::ResultList, m_list},       {SearchControl::BrowseFolder, browse},
        {SearchControl::FolderLabel, folderLabel}, {SearchControl::SearchStop, searchStop},
        {SearchControl::Status, m_status},         {SearchControl::Finish, finish},
        {SearchControl::SelectAll, selectAll},
    };

    connect(browse, &QPushButton::clicked, this, [this] { m_logic->OnBrowseFolder(); });
    connect(searchStop, &QPushButton::clicked, this, [this] { m_logic->OnSearch(); });
    connect(selectAll, &QPushButton::clicked, this, [this] { m_logic->OnSelectAll(); });
    connect(addToList, &QPushButton::clicked, this, [this] { m_logic->OnAddToList(); });
    connect(finish, &QPushButton::clicked, this, [this] { m_logic->OnFinish(); });

    browse->setFocus();
}

int SearchDialog::run()
{
    return exec();
}

QWidget* SearchDialog::control(SearchControl id) const
{
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

void SearchDialog::setText(SearchControl control, const std::string& text)
{
    guiCall([&] {
        QWidget* widget = this->control(control);
        if (auto* button = qobject_cast<QPushButton*>(widget))
            button->setText(qs(text));
        else if (auto* label = qobject_cast<QLabel*>(widget))
            label->setText(qs(text));
        else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            edit->setText(qs(text));
            edit->setCursorPosition(0);
        }
    });
}

std::string SearchDialog::text(SearchControl control) const
{
    return guiCall([&]() -> std::string {
        QWidget* widget = this->control(control);
        if (auto* button = qobject_cast<QPushButton*>(widget))
            return button->text().toStdString();
        if (auto* label = qobject_cast<QLabel*>(widget))
            return label->text().toStdString();
        if (auto* edit = qobject_cast<QLineEdit*>(widget))
            return edit->text().toStdString();
        return {};
    });
}

void SearchDialog::enable(SearchControl control, bool enabled)
{
    guiCall([&] {
        if (QWidget* widget = this->control(control))
            widget->setEnabled(enabled);
    });
}

int SearchDialog::rowCount() const
{
    return guiCall([&] { return m_list->rowCount(); });
}

void SearchDialog::deleteAllRows()
{
    guiCall([&] { m_list->setRowCount(0); });
}

void SearchDialog::insertRow(int index, const app::FileRowTexts& row)
{
    guiCall([&] {
        const int at = std::clamp(index, 0, m_list->rowCount());
        m_list->insertRow(at);
        const auto& columns = search::resultListColumns;
        auto* name = new ResultCell(*this, row.name, alignmentOf(columns[NameColumn].alignment));
        name->setFlags(name->flags() | Qt::ItemIsUserCheckable);
        name->setCheckState(Qt::Unchecked);
        m_list->setItem(at, NameColumn, name);
        m_list->setItem(at, SizeColumn, new ResultCell(*this, row.size, alignmentOf(columns[SizeColumn].alignment)));
        m_list->setItem(at, CreatedColumn,
                        new ResultCell(*this, row.createdOn, alignmentOf(columns[CreatedColumn].alignment)));
        m_list->setItem(at, PathColumn, new ResultCell(*this, row.path, alignmentOf(columns[PathColumn].alignment)));
    });
}

std::string SearchDialog::rowPath(int index) const
{
    return row(index).path;
}

app::FileRowTexts SearchDialog::row(int index) const
{
    return guiCall([&] {
        app::FileRowTexts texts;
        const auto cell = [&](int column) {
            const QTableWidgetItem* item = m_list->item(index, column);
            return item != nullptr ? item->text().toStdString() : std::string();
        };
        texts.path = cell(PathColumn);
        texts.name = cell(NameColumn);
        texts.size = cell(SizeColumn);
        texts.createdOn = cell(CreatedColumn);
        return texts;
    });
}

bool SearchDialog::isTicked(int index) const
{
    return guiCall([&] {
        const QTableWidgetItem* item = m_list->item(index, NameColumn);
        return item != nullptr && item->checkState() == Qt::Checked;
    });
}

void SearchDialog::setTicked(int index, bool ticked)
{
    guiCall([&] {
        if (QTableWidgetItem* item = m_list->item(index, NameColumn)) {
            m_tickingQuietly = true;
            item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
            m_tickingQuietly = false;
        }
    });
}

std::optional<std::string> SearchDialog::pickFolder(const std::string& title)
{
    return guiCall([&]() -> std::optional<std::string> {
        if (folderPicker)
            return folderPicker(title);
        const QString chosen = QFileDialog::getExistingDirectory(this, qs(title), m_folderEdit->text(),
                                                                 QFileDialog::ShowDirsOnly);
        if (chosen.isEmpty())
            return std::nullopt;
        return chosen.toStdString();
    });
}

void SearchDialog::showMessage(const std::string& text, const std::string& caption, platform::MessageStyle style)
{
    guiCall([&] {
        if (messageHandler)
            messageHandler(text, caption, style);
        else
            showMessageBox(this, text, caption, style);
    });
}

void SearchDialog::endDialog()
{
    guiCall([&] { QDialog::done(QDialog::Accepted); });
}

void SearchDialog::waitUntil(const std::function<bool()>& done)
{
    serveUntil(done);
}

void SearchDialog::rowTickChanging(int row, search::TickState current)
{
    if (!m_tickingQuietly && m_logic)
        m_logic->OnItemChanging(row, current);
}

std::string SearchDialog::rowTip(int row) const
{
    return m_logic ? m_logic->OnGetInfoTip(row) : std::string();
}

void SearchDialog::closeEvent(QCloseEvent* event)
{
    // Ignored while a search runs.
    if (m_logic->OnClose())
        event->accept();
    else
        event->ignore();
}

void SearchDialog::reject()
{
    m_logic->OnClose();
}

bool SearchDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (isSwallowedKey(event))
        return true;
    return QDialog::eventFilter(watched, event);
}

} // namespace mailmend::gui
