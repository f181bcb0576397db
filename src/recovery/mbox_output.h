// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "recovery/job_context.h"

namespace mailmend::recovery {

// SAVEASMBOX: every mail the reader finds in the file, appended to one mbox file,
// <base name>.mbox in the file's output folder. The mails go from the reader straight
// into the mbox, with no scratch file on the way. A stop closes the mbox after the last
// whole mail.
StepResult saveAsMboxStep(JobContext& job, FileContext& file);

} // namespace mailmend::recovery
