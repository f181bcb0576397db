// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "recovery/job_context.h"

namespace mailmend::recovery {

// SAVEASEML: each mail the reader links is written by the reader as an .eml file into
// the file's output folder.
StepResult saveAsEmlStep(JobContext& job, FileContext& file);

// ADVANCEDSCAN: the extractor copies the file without its block headers into a working
// file temp.dbx in the output folder, carves the mails out of that copy into the output
// folder, and the working file is deleted. The extractor's running flag is part of the
// stop signal here: the window clears it on Stop, and a clear flag never passes for a
// finished file.
StepResult advancedScanStep(JobContext& job, FileContext& file);

} // namespace mailmend::recovery
