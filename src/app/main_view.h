// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/row_texts.h"
#include "platform/message_sink.h"
#include "recovery/control_ids.h"
#include "recovery/recovery_request.h"
#include "search/search_view.h"
#include "version.h"

// The main window as its logic sees it, and the texts and layout a window built on it
// shows.
namespace mailmend::app {

using recovery::ControlId;
using recovery::MenuCommand;

inline constexpr const char* kWindowCaption = "Norvale Mailmend " MAILMEND_VERSION_SHORT;
inline constexpr const char* kMessageCaption = "Norvale Mailmend";

struct ControlText {
    ControlId control;
    const char* text;
};

// The texts the window's controls open with.
inline constexpr std::array<ControlText, 18> kControlTexts {{
    {ControlId::FileLabel, "Select (.dbx) file:"},
    {ControlId::AddButton, "&Add"},
    {ControlId::SearchButton, "&Search"},
    {ControlId::DestinationLabel, "Select Destination : "},
    {ControlId::BrowseButton, "&Browse"},
    {ControlId::OptionsGroup, "Save Options"},
    {ControlId::EmlOption, "Save as &EML"},
    {ControlId::MsgOption, "Save as &MSG"},
    {ControlId::RtfOption, "Save as &RTF"},
    {ControlId::MboxOption, "Save as MBO&X"},
    {ControlId::DbxOption, "Save as &DBX"},
    {ControlId::PstOption, "Save as &PST"},
    {ControlId::AdvancedGroup, "Advanced Scan"},
    {ControlId::AdvancedOption, "Save as EM&L"},
    {ControlId::StatusText, "Ready to Scan"},
    {ControlId::ProgressText, "Progress Report : Ready"},
    {ControlId::RecoverButton, "&Recover"},
    {ControlId::HintLine, "Ready"},
}};

// The "Save Options" buttons form one radio group and the advanced option a group of its
// own; the logic keeps the two groups exclusive of each other.
inline constexpr std::array<ControlId, 6> kSaveOptionsGroup {
    ControlId::DbxOption, ControlId::EmlOption, ControlId::PstOption,
    ControlId::MsgOption, ControlId::RtfOption, ControlId::MboxOption,
};

struct MenuItem {
    const char* menu; // "&File" or "&Help"
    const char* text;
    MenuCommand command;
    bool separatorBefore = false;
};

inline constexpr std::array<MenuItem, 8> kMenuItems {{
    {"&File", "&Open", MenuCommand::FileOpen},
    {"&File", "&Search", MenuCommand::FileSearch},
    {"&File", "Enable &Log", MenuCommand::EnableLog},
    {"&File", "Enable &Recovery Mode", MenuCommand::EnableRecoveryMode},
    {"&File", "&Customize Menu", MenuCommand::CustomizeMenu},
    {"&File", "Exit", MenuCommand::FileExit, true},
    {"&Help", "About &Us", MenuCommand::HelpAbout},
    {"&Help", "&Contents", MenuCommand::HelpContents},
}};

// The file list's columns. The first holds the full path and is not shown.
inline constexpr std::array<search::ListColumn, 4> kFileListColumns {{
    {"File Path.", search::ColumnAlignment::Left, 0},
    {"File Name", search::ColumnAlignment::Left, 250},
    {"Size", search::ColumnAlignment::Left, 100},
    {"Created On", search::ColumnAlignment::Left, 205},
}};

// One entry of the file-open dialog's filter.
struct FileFilter {
    const char* description;
    const char* pattern;
};

inline constexpr FileFilter kDbxFileFilter {"Outlook Express Files (*.dbx)", "*.dbx"};

inline constexpr const char* kAboutTitle = "About Us";
inline constexpr const char* kAboutProductLine = "Norvale Mailmend " MAILMEND_VERSION;
// Shown on the option buttons of output forms this build cannot write.
inline constexpr const char* kNotAvailableTip = "This output form is not available yet.";

// The virtual-key code of the Delete key, as the file list reports key presses.
inline constexpr int kDeleteKey = 46;

// Everything the main window's logic does to the window.
//
// Threads: the logic calls every operation on the window's own thread, except that while
// a recovery run lasts the recovery worker calls setText, enable, setChecked, setProgress,
// enableMenuCommand and messageBox from its thread. A window carries each such call over
// to its own thread and returns when it is done; the worker relies on the order of its
// calls.
class MainView {
public:
    virtual ~MainView() = default;

    // Controls by id: captions, edits and static texts; enabled state; the check of an
    // option button; the position (0 to 100) of a progress bar; hover tips.
    virtual void setText(ControlId control, const std::string& text) = 0;
    virtual std::string text(ControlId control) const = 0;
    virtual void enable(ControlId control, bool enabled) = 0;
    virtual void setChecked(ControlId option, bool checked) = 0;
    virtual bool isChecked(ControlId option) const = 0;
    virtual void setProgress(ControlId bar, int position) = 0;
    virtual void setToolTip(ControlId control, const std::string& tip) = 0;

    // The file list: report view, one selected row at most, grid lines, whole-row
    // selection and hover tips (OnGetInfoTip). An insertion index at or past the end
    // appends the row.
    virtual void setListColumns(std::span<const search::ListColumn> columns) = 0;
    virtual int rowCount() const = 0;
    virtual FileRowTexts row(int index) const = 0;
    virtual void insertRow(int index, const FileRowTexts& row) = 0;
    virtual void deleteRow(int index) = 0;
    virtual std::optional<int> selectedRow() const = 0;

    // The menu's check marks and enabled (not grayed) states.
    virtual void checkMenuCommand(MenuCommand command, bool checked) = 0;
    virtual bool isMenuCommandChecked(MenuCommand command) const = 0;
    virtual void enableMenuCommand(MenuCommand command, bool enabled) = 0;

    // A modal message box; returns the button the user chose.
    virtual platform::MessageAnswer messageBox(const std::string& text, const std::string& caption,
                                               platform::MessageStyle style) = 0;
    // The system's file-open dialog for existing files, several at once; none when
    // cancelled.
    virtual std::vector<std::string> pickFiles(const FileFilter& filter) = 0;
    // The folder picker, file-system folders only; nothing when cancelled.
    virtual std::optional<std::string> pickFolder(const std::string& title) = 0;
    // Opens a document with the desktop's default program for it. False when the
    // document is not there or no program for it is known.
    virtual bool openDocument(const std::filesystem::path& document) = 0;
    // Shows the help document's text in a window of the program's own.
    virtual void showHelpText() = 0;
    virtual void showAbout(const std::string& title, const std::string& productLine) = 0;
    // Runs the Search dialog modally over the window; it adds rows through `mainList`.
    virtual void runSearchDialog(search::MainFileList& mainList) = 0;
    // Runs the Save As dialog (naming::CSaveAsDlg) modally over `mainDlg`; true when
    // the user confirmed it, which has then written the naming options of `mainDlg`.
    virtual bool ShowSaveAsDlg(recovery::RecoveryRequest& mainDlg) = 0;
    // Ends the window; the program ends with it.
    virtual void endDialog() = 0;

    // Returns once `done()` is true. Called on the window's thread while the recovery
    // worker finishes after a stop: a window keeps carrying out the worker's calls
    // meanwhile (or the two would wait for each other) but delivers no user input, as
    // the handlers are not re-entrant.
    virtual void waitUntil(const std::function<bool()>& done) = 0;
};

} // namespace mailmend::app
