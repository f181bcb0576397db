// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "naming/save_as_dialog.h"
#include "naming/save_as_view.h"
#include "recovery/recovery_request.h"

class QLabel;

namespace mailmend::gui {

// The Save As dialog, in which the user composes the names of the output folders before
// a run: draws the controls and forwards what the user does to the naming logic
// (naming::CSaveAsDlg), which drives it back through naming::SaveAsView.
class SaveAsDialog final : public QDialog, public naming::SaveAsView {
public:
    SaveAsDialog(QWidget* parent, recovery::RecoveryRequest& mainDlg);
    ~SaveAsDialog() override;

    // Shows the dialog modally; true when it ended with Next (the choices were handed to
    // the request), false after Cancel or the close box.
    bool run();

    naming::CSaveAsDlg& logic() { return *m_logic; }
    // The widget of a control, for tests and screenshots.
    QWidget* control(naming::SaveAsControl id) const;
    // How the dialog ended; Cancel until it has.
    naming::DialogResult result() const { return m_result; }

    // Seam for tests: the message box, replaced.
    std::function<void(const std::string& text, const std::string& caption, platform::MessageStyle style)>
        messageHandler;

    // naming::SaveAsView
    void setText(naming::SaveAsControl control, const std::string& text) override;
    std::string text(naming::SaveAsControl control) const override;
    void enable(naming::SaveAsControl control, bool enabled) override;
    void setChecked(naming::SaveAsControl control, bool checked) override;
    bool isChecked(naming::SaveAsControl control) const override;
    void showMessage(const std::string& text, const std::string& caption,
                     platform::MessageStyle style) override;
    void endDialog(naming::DialogResult result) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();

    std::map<naming::SaveAsControl, QWidget*> m_controls;
    naming::DialogResult m_result = naming::DialogResult::Cancel;
    std::unique_ptr<naming::CSaveAsDlg> m_logic;
};

} // namespace mailmend::gui
