// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "recovery/job_context.h"

namespace mailmend::recovery {

// SAVEASMSG and SAVEASRTF: each mail the reader finds becomes one file in the file's
// output folder, Recovered_msg_000001.msg (or .rtf), ..., by way of a scratch .eml file
// and an item of a scratch store in the file's scratch folder. SAVEASRTF also writes the
// attachments of a mail that has any into the folder Recovered_msg_000001 beside it.
// Every file appears whole or not at all.
StepResult saveAsMsgStep(JobContext& job, FileContext& file);
StepResult saveAsRtfStep(JobContext& job, FileContext& file);

} // namespace mailmend::recovery
