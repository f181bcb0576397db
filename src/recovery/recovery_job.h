// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>

#include "dbx/dbx_file.h"
#include "dbx/mapped_mail_extractor.h"
#include "log/log.h"
#include "platform/cancellation.h"
#include "platform/clock.h"
#include "recovery/job_view.h"
#include "recovery/recovery_request.h"

namespace mailmend::recovery {

// What the job works with besides the request and the window. Every member has the
// program's own default; tests put their own in.
struct JobServices {
    LogWriter* log = nullptr;                     // null: the execution and error logs
    const platform::Clock* clock = nullptr;       // null: the system clock
    dbx::MappedMailExtractor* extractor = nullptr; // null: the process-wide extractor
    std::filesystem::path tempDirectory;          // empty: the system's temporary directory
    std::filesystem::path storeDirectory;         // empty: the user's mail store (DBX output)
    dbx::DbxFile::Opener readerOpener = nullptr;  // null: the reader opens files itself
};

// True when this build can write the output of `option`. The job ends a run with any
// other option at once, through JobAbort, without creating anything.
bool isSaveOptionAvailable(SaveOption option);

// One recovery run, on the calling thread: for each file of the request in order, its
// output folder and scratch folder are made and the save option's step is run, while
// the window's controls, bars and texts follow. Returns 0 after a run through every
// file, -1 after a stop or a failure (the window is then back to idle).
//
// Stop: the window clears the running flag and the extractor's running flag and sets
// `token`; the command line sets `token`. The job notices at its next check point;
// once the token is set nothing more is created or written, and the job ends through
// JobAbort. One thing still happens after a stop, on purpose: a store the step has open
// (a .pst, a DBX folder file, an mbox) is closed properly inside the step, before the
// job's closing step, so that its indexes and header are written and readers open it
// with every mail saved before the stop; no new file is made and no further mail added.
// The run's private scratch folder goes however the run ends. The caller sets the
// extractor's running flag before an ADVANCEDSCAN run, as the window's Recover does.
int DBX_Recover_thread(RecoveryRequest request, JobView& view,
                       const platform::CancellationToken& token, const JobServices& services = {});

} // namespace mailmend::recovery
