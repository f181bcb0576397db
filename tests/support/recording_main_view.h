// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/main_view.h"
#include "support/recording.h"

namespace mailmend::testing {

// A main window without widgets: it keeps the state the logic gives it (texts, enabled
// states, checks, bars, rows, menu marks), answers its dialogs from a script, and
// records every call that changes something, in order, as short texts:
//   "text 1015 Ready to Scan", "enable 1002" / "disable 1002", "check 1008" / "uncheck 1008",
//   "bar 1012 40", "tip 1009 <tip>", "columns", "insert <index> <path>", "delete <index>",
//   "mark 32780" / "unmark 32780", "ungray 57601" / "gray 57601",
//   "box <caption>|<text>", "pickFiles", "pickFolder <title>", "open <path>", "help",
//   "about <title>|<line>", "search", "saveas", "end", "wait"
// Calls may come from any thread (the recovery worker calls it directly); the state is
// guarded by a lock. Every control starts enabled, clear and empty.
class RecordingMainView : public app::MainView {
public:
    using Hook = std::function<void(const std::string& call)>;

    void setText(recovery::ControlId control, const std::string& text) override;
    std::string text(recovery::ControlId control) const override;
    void enable(recovery::ControlId control, bool enabled) override;
    void setChecked(recovery::ControlId option, bool checked) override;
    bool isChecked(recovery::ControlId option) const override;
    void setProgress(recovery::ControlId bar, int position) override;
    void setToolTip(recovery::ControlId control, const std::string& tip) override;

    void setListColumns(std::span<const search::ListColumn> columns) override;
    int rowCount() const override;
    app::FileRowTexts row(int index) const override;
    void insertRow(int index, const app::FileRowTexts& row) override;
    void deleteRow(int index) override;
    std::optional<int> selectedRow() const override;

    void checkMenuCommand(recovery::MenuCommand command, bool checked) override;
    bool isMenuCommandChecked(recovery::MenuCommand command) const override;
    void enableMenuCommand(recovery::MenuCommand command, bool enabled) override;

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
    // Polls `done` until it holds; gives up the whole test program after 30 seconds.
    void waitUntil(const std::function<bool()>& done) override;

    // --- The script
    // What the file-open dialog and the folder picker return next (cancel when none is queued).
    void queueFile(std::optional<std::string> path);
    void queueFiles(std::vector<std::string> paths);
    void queueFolder(std::optional<std::string> path);
    // The answer to Yes/No boxes; Ok boxes are answered Ok.
    void setYesNoAnswer(platform::MessageAnswer answer);
    // Whether the desktop opens a document.
    bool documentOpens = true;
    // What the Search and Save As dialogs do while they are open.
    std::function<void(search::MainFileList&)> searchDialog;
    std::function<bool(recovery::RecoveryRequest&)> saveAsDialog;
    // The user's selection in the file list.
    void select(std::optional<int> row);
    // A click on an option button before its handler runs: it is checked and its own
    // group's other buttons are cleared, as a radio group does by itself.
    void clickOption(recovery::ControlId option);
    // The next recorded call that starts with `prefix` throws std::runtime_error.
    void throwOn(std::string prefix);
    // Runs after each recorded call on the caller's thread, outside the lock.
    void onCall(Hook hook);

    // --- What happened
    bool isEnabled(recovery::ControlId control) const;
    int progress(recovery::ControlId bar) const;
    std::string toolTip(recovery::ControlId control) const;
    bool isMenuEnabled(recovery::MenuCommand command) const;
    std::vector<app::FileRowTexts> rows() const;
    std::vector<ShownMessage> messages() const;
    std::vector<std::string> calls() const;
    std::vector<std::string> columns() const; // "heading/width" each
    bool ended() const;

private:
    void record(const std::string& call);

    mutable std::mutex m_mutex;
    std::map<recovery::ControlId, std::string> m_texts;
    std::map<recovery::ControlId, bool> m_disabled;
    std::map<recovery::ControlId, bool> m_checked;
    std::map<recovery::ControlId, int> m_progress;
    std::map<recovery::ControlId, std::string> m_tips;
    std::map<recovery::MenuCommand, bool> m_marked;
    std::map<recovery::MenuCommand, bool> m_grayed;
    std::vector<std::string> m_columns;
    std::vector<app::FileRowTexts> m_rows;
    std::optional<int> m_selected;
    std::vector<ShownMessage> m_messages;
    std::vector<std::string> m_calls;
    std::deque<std::vector<std::string>> m_files;
    std::deque<std::optional<std::string>> m_folders;
    platform::MessageAnswer m_yesNo = platform::MessageAnswer::Yes;
    std::string m_throwOn;
    bool m_ended = false;
    Hook m_hook;
};

} // namespace mailmend::testing
