// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "app/row_texts.h"
#include "platform/message_sink.h"

namespace mailmend::search {

// Control ids of the Search Files dialog.
enum class SearchControl : int {
    FolderEdit = 1001,   // read-only edit showing the chosen folder
    AddToList = 1002,    // "&Add To List"
    ResultList = 1003,   // the result list
    BrowseFolder = 1028, // "..."
    FolderLabel = 1030,  // "Select Directory : "
    SearchStop = 1031,   // Search/Stop toggle; its caption is the toggle's state
    Status = 1032,       // status text
    Finish = 1034,       // "&Finish"
    SelectAll = 1037,    // Select All / Unselect All toggle
};

// The tick of a result row as the list reports it before a change.
enum class TickState { None, Ticked, Unticked };

enum class ColumnAlignment { Left, Right };

struct ListColumn {
    const char* heading;
    ColumnAlignment alignment;
    int width;
};

namespace text {
inline constexpr const char* DialogTitle = "Search Files";
inline constexpr const char* GroupBox = "Search .dbx Files";
inline constexpr const char* FolderLabel = "Select Directory : ";
inline constexpr const char* NoFolder = "Pls. Select the folder";
inline constexpr const char* PickerTitle = " Please select the Destination folder ";
inline constexpr const char* BadFolder = "Please select proper path.";
inline constexpr const char* MessageCaption = "Norvale Mailmend";
inline constexpr const char* Search = "Search";
inline constexpr const char* Stop = "Stop";
inline constexpr const char* SelectAll = "Select All";
inline constexpr const char* UnselectAll = "Unselect All";
inline constexpr const char* AddToList = "&Add To List";
inline constexpr const char* Finish = "&Finish";
inline constexpr const char* NoneFound = "0 files found";
inline constexpr const char* FoundFormat = "%d files found";
inline constexpr const char* Stopped = "Search Stopped";
inline constexpr const char* FolderEmpty = "Folder is Empty.";
inline constexpr const char* AlreadyPresent = "These files already present\n";
inline constexpr const char* Added = "Files Added successfully";
inline constexpr const char* TickTip = "Check file to add to the list";
} // namespace text

// The result list's columns, left to right. A row's texts are kept as app::FileRowTexts;
// the list shows them in this order.
inline constexpr std::array<ListColumn, 4> resultListColumns {{
    {"File Name", ColumnAlignment::Left, 250},
    {"Size", ColumnAlignment::Right, 100},
    {"Created On", ColumnAlignment::Right, 195},
    {"File Path.", ColumnAlignment::Left, 190},
}};

// What the search logic does to the dialog's controls.
//
// The search worker calls setText, enable, the result-list operations and showMessage
// from its own thread. A window carries each such request out on its own thread and
// returns only when it is done, as the logic relies on the order of its requests.
class SearchView {
public:
    virtual ~SearchView() = default;

    // Captions of buttons, the folder edit and the status text.
    virtual void setText(SearchControl control, const std::string& text) = 0;
    virtual std::string text(SearchControl control) const = 0;
    virtual void enable(SearchControl control, bool enabled) = 0;

    // The result list. An insertion index at or past the end appends the row.
    virtual int rowCount() const = 0;
    virtual void deleteAllRows() = 0;
    virtual void insertRow(int index, const app::FileRowTexts& row) = 0;
    virtual std::string rowPath(int index) const = 0; // the File Path. cell
    virtual app::FileRowTexts row(int index) const = 0;
    virtual bool isTicked(int index) const = 0;
    virtual void setTicked(int index, bool ticked) = 0;

    // The folder picker, limited to file-system folders; nothing when cancelled.
    virtual std::optional<std::string> pickFolder(const std::string& title) = 0;
    virtual void showMessage(const std::string& text, const std::string& caption,
                             platform::MessageStyle style) = 0;
    // Ends the modal dialog.
    virtual void endDialog() = 0;

    // Returns once `done()` is true. Called on the window's thread while a stopped worker
    // finishes: a window keeps carrying out the worker's requests meanwhile (or the two
    // would wait for each other) but delivers no user input, as the handlers are not
    // re-entrant.
    virtual void waitUntil(const std::function<bool()>& done) = 0;
};

// The main window's file list, as far as the search dialog touches it.
class MainFileList {
public:
    virtual ~MainFileList() = default;
    virtual int rowCount() const = 0;
    virtual std::string rowPath(int index) const = 0; // the "File Path." column
    // Inserts a row with all four texts; an index at or past the end appends it.
    virtual void insertRow(int index, const app::FileRowTexts& row) = 0;
};

} // namespace mailmend::search
