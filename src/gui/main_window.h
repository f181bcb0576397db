// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/dbx_recovery_dialog.h"
#include "app/main_view.h"

class QAction;
class QLabel;
class QMenuBar;
class QProgressBar;
class QTableWidget;

namespace mailmend::gui {

// The main window: draws the controls and forwards what the user does to the window's
// logic (app::CDBXRecoveryDlg), which drives it back through app::MainView. Calls that
// come from the recovery worker are carried out on the window's thread.
class MainWindow final : public QWidget, public app::MainView {
public:
    explicit MainWindow(app::MainServices services = {});
    ~MainWindow() override;

    app::CDBXRecoveryDlg& logic() { return *m_logic; }
    // The widget of a control, for tests and screenshots.
    QWidget* control(app::ControlId id) const;
    QAction* menuAction(app::MenuCommand command) const;
    // The help window, once Help > Contents has opened it; null before.
    QWidget* helpWindow() const { return m_help; }

    // Seams for tests: the system's dialogs and the desktop, replaced.
    std::function<std::vector<std::string>(const app::FileFilter&)> filePicker;
    std::function<std::optional<std::string>(const std::string& title)> folderPicker;
    std::function<platform::MessageAnswer(const std::string& text, const std::string& caption,
                                          platform::MessageStyle style)>
        messageHandler;
    std::function<bool(const std::filesystem::path&)> documentOpener;
    std::function<void(search::MainFileList&)> searchDialogRunner;
    std::function<bool(recovery::RecoveryRequest&)> saveAsDialogRunner;

    // app::MainView
    void setText(app::ControlId control, const std::string& text) override;
    std::string text(app::ControlId control) const override;
    void enable(app::ControlId control, bool enabled) override;
    void setChecked(app::ControlId option, bool checked) override;
    bool isChecked(app::ControlId option) const override;
    void setProgress(app::ControlId bar, int position) override;
    void setToolTip(app::ControlId control, const std::string& tip) override;
    void setListColumns(std::span<const search::ListColumn> columns) override;
    int rowCount() const override;
    app::FileRowTexts row(int index) const override;
    void insertRow(int index, const app::FileRowTexts& row) override;
    void deleteRow(int index) override;
    std::optional<int> selectedRow() const override;
    void checkMenuCommand(app::MenuCommand command, bool checked) override;
    bool isMenuCommandChecked(app::MenuCommand command) const override;
    void enableMenuCommand(app::MenuCommand command, bool enabled) override;
    platform::MessageAnswer messageBox(const std::string& text, const std::string& caption,
                                       platform::MessageStyle style) override;
    std::vector<std::string> pickFiles(const app::FileFilter& filter) override;
    std::optional<std::string> pickFolder(const std::string& title) override;
    bool openDocument(const std::filesystem::path& document) override;
    void showHelpText() override;
    void showAbout(const std::string& title, const std::string& productLine) override;
    void runSearchDialog(search::MainFileList& mainList) override;
    bool ShowSaveAsDlg(recovery::RecoveryRequest& mainDlg) override;
    void endDialog() override;
    void waitUntil(const std::function<bool()>& done) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls(QWidget* area);
    void buildMenu(QMenuBar* menu);
    void followMouse(QWidget* widget);
    bool listDropEvent(QEvent* event);

    std::map<app::ControlId, QWidget*> m_controls;
    std::map<app::MenuCommand, QAction*> m_actions;
    QWidget* m_area = nullptr; // the client area the hint regions are measured in
    QTableWidget* m_list = nullptr;
    QWidget* m_help = nullptr;
    std::unique_ptr<app::CDBXRecoveryDlg> m_logic;
    bool m_ended = false;
};

// The program's icon, drawn rather than loaded so it needs no image plug-in.
QIcon programIcon();

} // namespace mailmend::gui
