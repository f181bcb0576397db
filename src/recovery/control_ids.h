// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

namespace mailmend::recovery {

// Identifiers of the main window's controls. The numbers are the window's own; the job
// names controls by them when it talks to a JobView, and the window maps them back.
enum class ControlId : int {
    FileEdit = 1001,
    AddButton = 1002,
    FileList = 1003,
    DestinationEdit = 1005,
    BrowseButton = 1006,
    PstOption = 1007,
    EmlOption = 1008,
    DbxOption = 1009,
    AdvancedOption = 1010,
    OverallProgress = 1011,
    FileProgress = 1012,
    HintLine = 1014,
    StatusText = 1015,
    ProgressText = 1016,
    FileLabel = 1017,
    DestinationLabel = 1018,
    OptionsGroup = 1019,
    RecoverButton = 1020,
    SearchButton = 1022,
    MsgOption = 1023,
    RtfOption = 1025,
    AdvancedGroup = 1026,
    MboxOption = 1027,
};

// Command identifiers of the main window's menu.
enum class MenuCommand : int {
    FileExit = 32773,
    HelpAbout = 32774,
    FileSearch = 32775,
    HelpContents = 32776,
    EnableLog = 32780,
    EnableRecoveryMode = 32782,
    CustomizeMenu = 32783,
    FileOpen = 57601,
};

// The inputs a run disables while it lasts, in the order it disables and enables them.
inline constexpr std::array<ControlId, 11> kRunInputs {
    ControlId::AddButton, ControlId::SearchButton, ControlId::BrowseButton,
    ControlId::DbxOption, ControlId::EmlOption,    ControlId::PstOption,
    ControlId::MsgOption, ControlId::RtfOption,    ControlId::MboxOption,
    ControlId::AdvancedOption, ControlId::FileList,
};

// The menu commands a run grays, in the order it grays them ...
inline constexpr std::array<MenuCommand, 5> kRunMenusToGray {
    MenuCommand::FileOpen, MenuCommand::FileSearch, MenuCommand::EnableLog,
    MenuCommand::EnableRecoveryMode, MenuCommand::CustomizeMenu,
};

// ... and in the order the end of a run enables them again.
inline constexpr std::array<MenuCommand, 5> kRunMenusToEnable {
    MenuCommand::FileOpen, MenuCommand::EnableLog, MenuCommand::FileSearch,
    MenuCommand::EnableRecoveryMode, MenuCommand::CustomizeMenu,
};

// The save-option buttons in the order a finished run unchecks them.
inline constexpr std::array<ControlId, 7> kSaveOptionButtons {
    ControlId::DbxOption, ControlId::EmlOption,  ControlId::PstOption, ControlId::MsgOption,
    ControlId::RtfOption, ControlId::MboxOption, ControlId::AdvancedOption,
};

} // namespace mailmend::recovery
