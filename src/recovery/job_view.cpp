// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/job_view.h"

namespace mailmend::recovery {

int JobView::RestoreIdleControls()
{
    for (const ControlId id : kRunInputs)
        enableControl(id, true);
    for (const MenuCommand id : kRunMenusToEnable)
        enableMenuCommand(id, true);
    setControlText(ControlId::RecoverButton, "&Recover");
    clearRunning();
    setProgress(ControlId::FileProgress, 0);
    setProgress(ControlId::OverallProgress, 0);
    setControlText(ControlId::ProgressText, "Progress Report : Ready");
    setControlText(ControlId::StatusText, "Ready to Scan");
    return -1;
}

} // namespace mailmend::recovery
