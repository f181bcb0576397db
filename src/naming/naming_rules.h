// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "recovery/recovery_request.h"

// The rules of the Save As dialog, in which the user composes the names of the output
// folders (counter, folder tag, type tag) before a run: what it shows when it opens, its
// name preview, what its edits accept, what Next checks and what it hands to the main
// window. Plain functions over a plain state, so the window only draws and forwards.
namespace mailmend::naming {

// Control ids of the Save As dialog.
enum class SaveAsControl : int {
    NextButton = 1,     // "Next", the default button
    TypeTagEdit = 1038, // always disabled
    CounterEdit = 1041, // digits only
    TagEdit = 1042,
    FileNameEdit = 1045, // always disabled
    CounterCheck = 1046,
    TagCheck = 1047,
    FileNameCheck = 1048, // always disabled
    TypeTagCheck = 1049,
    CancelButton = 1050,
    CounterLabel = 1051,
    TagLabel = 1052,
    FileNameLabel = 1053, // always disabled
    TypeTagLabel = 1054,  // always disabled
    Preview = 1055,       // word-wrapping label, several lines high
};

inline constexpr std::array<SaveAsControl, 15> kSaveAsControls {
    SaveAsControl::NextButton,    SaveAsControl::TypeTagEdit,  SaveAsControl::CounterEdit,
    SaveAsControl::TagEdit,       SaveAsControl::FileNameEdit, SaveAsControl::CounterCheck,
    SaveAsControl::TagCheck,      SaveAsControl::FileNameCheck, SaveAsControl::TypeTagCheck,
    SaveAsControl::CancelButton,  SaveAsControl::CounterLabel, SaveAsControl::TagLabel,
    SaveAsControl::FileNameLabel, SaveAsControl::TypeTagLabel, SaveAsControl::Preview,
};

namespace text {
inline constexpr const char* DialogTitle = "Save As";
inline constexpr const char* GroupBox = " Manual name assignment ";
inline constexpr const char* CounterLabel = "File Counter : ";
inline constexpr const char* TagLabel = "Folder Tag : ";
inline constexpr const char* FileNameLabel = "File Name :";
inline constexpr const char* TypeTagLabel = "Conversion type Tag:";
inline constexpr const char* PreviewHeading = "Pls Note name will appear as follows :";
inline constexpr const char* Next = "Next";
inline constexpr const char* Cancel = "Cancel";

inline constexpr const char* DefaultCounter = "1";
inline constexpr const char* DefaultTag = "Recovered";
inline constexpr const char* FileNamePlaceholder = "FileName";
inline constexpr const char* TypeTagPlaceholder = "As_TYPE";

inline constexpr const char* MessageCaption = "Norvale Mailmend";
inline constexpr const char* CounterTooLong = "Counter should not exceed 5 digits";
inline constexpr const char* TagForbidden = "Folder Tag cannot contain following characters: \\/:*?<>|";
inline constexpr const char* TagTooLong = "Folder Tag should not exceed 50 characters";
inline constexpr const char* InvalidCounter = "Invalid file counter.";
inline constexpr const char* CounterForbidden = "File Counter cannot contain special characters.";
} // namespace text

// The characters no folder tag or counter may hold: \ / : * ? " < > |
inline constexpr std::string_view kForbiddenCharacters = "\\/:*?\"<>|";
inline constexpr std::size_t kCounterMaxLength = 5; // characters
inline constexpr std::size_t kTagMaxLength = 50;    // characters

// The preview label wraps long paths at spaces; one is put every 57 characters into the
// first line and every 56 into the second.
inline constexpr std::size_t kFirstLineBreakStep = 57;
inline constexpr std::size_t kSecondLineBreakStep = 56;

// Separator between the destination and the folder name, as the job joins them.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// What the dialog's four edits and four check boxes hold.
struct SaveAsState {
    std::string m_strCounter;
    std::string m_strTag;
    std::string m_strFileName;
    std::string m_strTypeTag;
    bool m_bCounter = false;
    bool m_bTag = false;
    bool m_bFileName = false;
    bool m_bTypeTag = false;

    bool operator==(const SaveAsState&) const = default;
};

// The dialog always opens with the same choices, whatever the main window holds: all
// four boxes ticked, counter "1", tag "Recovered", "FileName", and the type tag of the
// save option ("As_EML", "As_PST", "As_MSG", "As_RTF"; "As_TYPE" for the others).
SaveAsState openingState(recovery::SaveOption option);
const char* previewTypeTag(recovery::SaveOption option);

// The destination as the first preview line shows it: followed by one separator (none
// added when it already ends in one, as the job does not double it either).
std::string destinationPrefix(const std::string& destination);

// `line` with a space at character positions 0, step, 2 x step, ... counted in the text
// as it grows; where a space already stands nothing is inserted. Positions count UTF-8
// characters, so no character is ever split.
std::string withBreakPoints(std::string_view line, std::size_t step);

// The folder-name line before break points: [counter_][tag_][FileName_][type tag] and a
// separator with three dots.
std::string previewNameLine(const SaveAsState& state);

// The whole text of the preview label: the destination prefix and a line break, then
// the name line, each with its break points (the line break counts as part of the
// first line).
std::string previewText(const std::string& destPrefix, const SaveAsState& state);

// Characters of a UTF-8 text; a byte that cannot start a character counts as one.
std::size_t characterCount(std::string_view text);
bool hasForbiddenCharacter(std::string_view text);

// The leading decimal number of `text` as atoi reads it: blanks, an optional sign, then
// digits; 0 when there are none. Values beyond the 32-bit range are held at its ends.
std::int32_t leadingNumber(std::string_view text);

// What an edit holds after the user changed it, and the messages shown on the way
// (each captioned text::MessageCaption, in this order).
struct EditOutcome {
    std::string text;
    std::vector<const char*> messages;
};

// The counter may not grow beyond 5 characters; a longer text is refused and the
// previous one put back.
EditOutcome counterEdited(const std::string& previous, const std::string& current);

// A tag holding a forbidden character is refused first; then one longer than 50
// characters (as it stands after the first check). Either puts the previous text back.
EditOutcome tagEdited(const std::string& previous, const std::string& current);

// Next's checks in order; null when the names may be handed over, else the message.
//  1. the counter is not exactly "0" and its leading number is 0 (empty, "00", "x1"),
//     checked with its box ticked or not;
//  2. the counter holds a forbidden character;
//  3. text that never went through the edit rules above (a counter over 5 characters, a
//     tag with a forbidden character or over 50 characters) is refused with their
//     messages, as it would otherwise reach the folder names.
const char* nextRefusal(const SaveAsState& state);

// Writes the choices into the main window's naming options, and nothing else: tag text,
// the counter's leading number and the four switches. The file-name and type tag texts
// stay behind; the job uses each file's base name and its own type tags.
void CommitNaming(const SaveAsState& state, recovery::RecoveryRequest& mainDlg);

// Whether a control is usable with the boxes as they stand: the counter label and edit
// follow the counter box, the tag label and edit the tag box; the file-name box, label
// and edit and the type tag label and edit are always disabled; the rest always enabled.
bool isEnabled(SaveAsControl control, const SaveAsState& state);

} // namespace mailmend::naming
