// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "recovery/job_context.h"

namespace mailmend::recovery {

// SAVEASPST: a new store Recovered_<base name>.pst in the file's output folder, with a
// folder named after the base name under the root of its visible folders, and every
// mail the reader finds imported into it by way of a scratch .eml file. The store is
// closed properly on every way out of the step, a stop included: it then holds every
// mail saved before the stop, and readers open it.
StepResult saveAsPstStep(JobContext& job, FileContext& file);

} // namespace mailmend::recovery
