// SPDX-License-Identifier: GPL-3.0-or-later
#include "naming/save_as_dialog.h"

namespace mailmend::naming {

namespace {

constexpr SaveAsControl kEdits[] {SaveAsControl::CounterEdit, SaveAsControl::TagEdit,
                                  SaveAsControl::FileNameEdit, SaveAsControl::TypeTagEdit};
constexpr SaveAsControl kChecks[] {SaveAsControl::CounterCheck, SaveAsControl::TagCheck,
                                   SaveAsControl::FileNameCheck, SaveAsControl::TypeTagCheck};

std::string* editMember(SaveAsState& state, SaveAsControl edit)
{
    switch (edit) {
    case SaveAsControl::CounterEdit:
        return &state.m_strCounter;
    case SaveAsControl::TagEdit:
        return &state.m_strTag;
    case SaveAsControl::FileNameEdit:
        return &state.m_strFileName;
    default:
        return &state.m_strTypeTag;
    }
}

bool* checkMember(SaveAsState& state, SaveAsControl check)
{
    switch (check) {
    case SaveAsControl::CounterCheck:
        return &state.m_bCounter;
    case SaveAsControl::TagCheck:
        return &state.m_bTag;
    case SaveAsControl::FileNameCheck:
        return &state.m_bFileName;
    default:
        return &state.m_bTypeTag;
    }
}

} // namespace

CSaveAsDlg::CSaveAsDlg(SaveAsView& view, recovery::RecoveryRequest& mainDlg)
    : m_view(view)
    , m_pMainDlg(mainDlg)
    , m_strDestPrefix(destinationPrefix(mainDlg.m_strDestination))
{
}

void CSaveAsDlg::OnInitDialog()
{
    m_state = openingState(m_pMainDlg.m_nSaveOption);
    writeControls();
    applyEnabledStates();
    UpdatePreview();
}

// The boxes are read back rather than flipped here, so the enabled edits always match
// the ticks the user sees.
void CSaveAsDlg::OnCounterCheck()
{
    readControls();
    m_view.enable(SaveAsControl::CounterLabel, isEnabled(SaveAsControl::CounterLabel, m_state));
    m_view.enable(SaveAsControl::CounterEdit, isEnabled(SaveAsControl::CounterEdit, m_state));
    UpdatePreview();
}

void CSaveAsDlg::OnTagCheck()
{
    readControls();
    m_view.enable(SaveAsControl::TagLabel, isEnabled(SaveAsControl::TagLabel, m_state));
    m_view.enable(SaveAsControl::TagEdit, isEnabled(SaveAsControl::TagEdit, m_state));
    UpdatePreview();
}

void CSaveAsDlg::OnTypeTagCheck()
{
    UpdatePreview();
}

void CSaveAsDlg::OnChangeCounter()
{
    const std::string previous = m_state.m_strCounter;
    readControls();
    const EditOutcome outcome = counterEdited(previous, m_state.m_strCounter);
    for (const char* message : outcome.messages)
        showMessage(message);
    m_state.m_strCounter = outcome.text;
    writeControls();
    UpdatePreview();
}

void CSaveAsDlg::OnChangeTag()
{
    const std::string previous = m_state.m_strTag;
    readControls();
    const EditOutcome outcome = tagEdited(previous, m_state.m_strTag);
    for (const char* message : outcome.messages)
        showMessage(message);
    m_state.m_strTag = outcome.text;
    writeControls();
    UpdatePreview();
}

void CSaveAsDlg::OnKillFocusTag()
{
    UpdatePreview();
}

void CSaveAsDlg::OnKillFocusFileName()
{
    UpdatePreview();
}

void CSaveAsDlg::OnOK()
{
    readControls();
    if (const char* refusal = nextRefusal(m_state)) {
        showMessage(refusal);
        return;
    }
    CommitNaming();
    m_view.endDialog(DialogResult::Ok);
}

void CSaveAsDlg::OnCancel()
{
    m_view.endDialog(DialogResult::Cancel);
}

void CSaveAsDlg::OnClose()
{
    OnCancel();
}

void CSaveAsDlg::UpdatePreview()
{
    readControls();
    m_view.setText(SaveAsControl::Preview, previewText(m_strDestPrefix, m_state));
}

void CSaveAsDlg::CommitNaming()
{
    readControls();
    naming::CommitNaming(m_state, m_pMainDlg);
}

void CSaveAsDlg::readControls()
{
    for (const SaveAsControl edit : kEdits)
        *editMember(m_state, edit) = m_view.text(edit);
    for (const SaveAsControl check : kChecks)
        *checkMember(m_state, check) = m_view.isChecked(check);
}

void CSaveAsDlg::writeControls()
{
    for (const SaveAsControl edit : kEdits)
        m_view.setText(edit, *editMember(m_state, edit));
    for (const SaveAsControl check : kChecks)
        m_view.setChecked(check, *checkMember(m_state, check));
}

void CSaveAsDlg::applyEnabledStates()
{
    for (const SaveAsControl control : kSaveAsControls)
        m_view.enable(control, isEnabled(control, m_state));
}

void CSaveAsDlg::showMessage(const char* message)
{
    m_view.showMessage(message, text::MessageCaption, platform::MessageStyle::Ok);
}

} // namespace mailmend::naming
