// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "naming/naming_rules.h"
#include "platform/message_sink.h"

namespace mailmend::naming {

// How the Save As dialog ended.
enum class DialogResult { Ok, Cancel };

// What the Save As logic does to its window. A window built on it forwards to
// CSaveAsDlg only what the user did: a click on a check box (after the box has toggled),
// a change the user made to an edit's text (not the texts set through setText), a focus
// leaving an edit, the two buttons and the close box. It swallows Enter and Escape, so
// only those buttons and the close box end it; the counter edit lets the user type
// digits only.
class SaveAsView {
public:
    virtual ~SaveAsView() = default;

    // Texts of the edits and the preview label. Setting the text an edit already holds
    // should leave it alone (caret and selection included): the logic writes all four
    // edits back after every change.
    virtual void setText(SaveAsControl control, const std::string& text) = 0;
    virtual std::string text(SaveAsControl control) const = 0;
    virtual void enable(SaveAsControl control, bool enabled) = 0;
    // The four check boxes.
    virtual void setChecked(SaveAsControl control, bool checked) = 0;
    virtual bool isChecked(SaveAsControl control) const = 0;
    // A modal message box; returns when the user dismissed it.
    virtual void showMessage(const std::string& text, const std::string& caption,
                             platform::MessageStyle style) = 0;
    // Ends the modal dialog.
    virtual void endDialog(DialogResult result) = 0;
};

} // namespace mailmend::naming
