// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/directory_listing.h"
#include "search/search_dialog.h"
#include "search/search_view.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace mailmend::gui {

// The Search Files dialog: draws the controls and forwards what the user does to the
// search logic (search::CSearchDlg), which drives it back through search::SearchView.
// The search worker's calls are carried out on the dialog's thread, one at a time, and
// the worker waits for each.
class SearchDialog final : public QDialog, public search::SearchView {
public:
    SearchDialog(QWidget* parent, search::MainFileList& mainList,
                 const platform::DirectoryLister& lister = platform::systemDirectoryLister());
    ~SearchDialog() override;

    // Shows the dialog modally until Finish or the close box ends it.
    int run();

    search::CSearchDlg& logic() { return *m_logic; }
    // The widget of a control, for tests and screenshots.
    QWidget* control(search::SearchControl id) const;
    QTableWidget* resultList() const { return m_list; }

    // Seams for tests: the folder picker and the message box, replaced. Both are called
    // on the dialog's thread.
    std::function<std::optional<std::string>(const std::string& title)> folderPicker;
    std::function<void(const std::string& text, const std::string& caption, platform::MessageStyle style)>
        messageHandler;

    // search::SearchView
    void setText(search::SearchControl control, const std::string& text) override;
    std::string text(search::SearchControl control) const override;
    void enable(search::SearchControl control, bool enabled) override;
    int rowCount() const override;
    void deleteAllRows() override;
    void insertRow(int index, const app::FileRowTexts& row) override;
    std::string rowPath(int index) const override;
    app::FileRowTexts row(int index) const override;
    bool isTicked(int index) const override;
    void setTicked(int index, bool ticked) override;
    std::optional<std::string> pickFolder(const std::string& title) override;
    void showMessage(const std::string& text, const std::string& caption,
                     platform::MessageStyle style) override;
    void endDialog() override;
    void waitUntil(const std::function<bool()>& done) override;

    // Called by a result row just before the user changes its tick, and when the list
    // asks for a row's hover tip.
    void rowTickChanging(int row, search::TickState current);
    std::string rowTip(int row) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    template <typename Work>
    auto guiCall(Work&& work) const;

    std::map<search::SearchControl, QWidget*> m_controls;
    QLineEdit* m_folderEdit = nullptr;
    QLabel* m_status = nullptr;
    QTableWidget* m_list = nullptr;
    // Ticks set by the logic itself are not the user's changes and are not forwarded.
    bool m_tickingQuietly = false;
    std::unique_ptr<search::CSearchDlg> m_logic;
};

} // namespace mailmend::gui
