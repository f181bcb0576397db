// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "recovery/job_context.h"

namespace mailmend::recovery {

// SAVEASDBX: a new top-level folder "Recovered_<n>_<base name>" (numbered "(2)" ...
// "(99)" when taken) in the user's Outlook Express style store, every mail the reader
// finds committed into it by way of a scratch .eml file, and, once the file is done, a
// copy of the folder's .dbx file in the file's output folder. The folder file is closed
// properly on every way out, a stop included, so that it holds every mail committed
// before; no copy is made of an unfinished folder.
StepResult saveAsDbxStep(JobContext& job, FileContext& file);

} // namespace mailmend::recovery
