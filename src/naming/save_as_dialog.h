// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "naming/naming_rules.h"
#include "naming/save_as_view.h"
#include "recovery/recovery_request.h"

namespace mailmend::naming {

// The Save As dialog without its window. Recover shows it, when name customisation is
// on, before a run starts: Next hands the choices to the main window's naming options,
// Cancel and the close box leave them as they were. It reads the main window's
// destination and save option and writes its six naming options, nothing else.
//
// The handlers run on the window's thread; the view and the main window's request must
// outlive the dialog.
class CSaveAsDlg {
public:
    CSaveAsDlg(SaveAsView& view, recovery::RecoveryRequest& mainDlg);
    CSaveAsDlg(const CSaveAsDlg&) = delete;
    CSaveAsDlg& operator=(const CSaveAsDlg&) = delete;

    // Always starts from the same choices, not from the main window's current options.
    void OnInitDialog();

    // A check box was clicked (and has toggled).
    void OnCounterCheck();  // 1046
    void OnTagCheck();      // 1047
    void OnTypeTagCheck();  // 1049

    // The user changed an edit's text (every keystroke or paste).
    void OnChangeCounter(); // 1041
    void OnChangeTag();     // 1042

    // The focus left an edit.
    void OnKillFocusTag();      // 1042
    void OnKillFocusFileName(); // 1045

    void OnOK();     // Next
    void OnCancel(); // Cancel
    void OnClose();  // the close box, which acts as Cancel

    // Rebuilds the preview label from the controls.
    void UpdatePreview();
    // Writes the choices into the main window (on Next only).
    void CommitNaming();

    const SaveAsState& state() const { return m_state; }
    const std::string& destPrefix() const { return m_strDestPrefix; }

private:
    void readControls();
    void writeControls();
    void applyEnabledStates();
    void showMessage(const char* message);

    SaveAsView& m_view;
    recovery::RecoveryRequest& m_pMainDlg;
    std::string m_strDestPrefix;
    SaveAsState m_state;
};

} // namespace mailmend::naming
