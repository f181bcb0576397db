// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "dbx/mapped_mail_extractor.h"
#include "platform/cancellation.h"
#include "platform/clock.h"
#include "recovery/recovery_job.h"
#include "support/dbx_fixture.h"
#include "support/recording.h"
#include "support/recording_job_view.h"
#include "support/temp_dir.h"

namespace mailmend::testing {

// 7 March 2011 (UTC), 09:05:03 local time.
class FixedClock final : public platform::Clock {
public:
    platform::CalendarDate utcDate() const override { return {7, 3, 2011}; }
    platform::WallTime localTime() const override { return {9, 5, 3}; }
    std::int64_t utcNow() const override { return 1299488703; } // 2011-03-07 09:05:03 UTC
};

// One recovery run in a temporary folder: sources in src/, the destination dest/, the
// scratch folders in tmp/, the DBX output's mail store in store/; the window, the logs and the message boxes are recordings.
// The request starts with logging on, SAVEASEML and the default naming options.
class JobHarness {
public:
    JobHarness();

    // Writes the fixture as src/<name> and adds it to the file list; returns its path.
    std::string addSource(const std::string& name, const DbxFixture& fixture);
    std::string addSource(const std::string& name, const std::string& bytes);
    // Adds a row whose file does not exist.
    std::string addMissing(const std::string& name);

    int run();
    // What the window's Stop does: both running flags clear and the token set.
    void stop();

    // Every folder ("dest/x/") and file ("dest/x/y.eml" with its bytes) under dest/ and tmp/.
    std::map<std::string, std::string> tree() const;
    // The log lines without the reader's scanning details (the lines between opening a
    // file and the count of its mails), the run's private folder in tmp/ named RUN.
    std::vector<LogLine> lines() const;
    // The messages of the error lines among lines().
    std::vector<std::string> errors() const;
    // The last message box of the run ("box <caption>|<text>"): its closing words.
    std::string closingBox() const;

    TempDir dir;
    std::filesystem::path destination = dir / "dest";
    std::filesystem::path temp = dir / "tmp";
    std::atomic<bool> running {true};
    platform::CancellationToken token;
    RecordingLog log;
    RecordingJobView view {&running};
    ScopedMessageSink boxes;
    dbx::MappedMailExtractor extractor;
    FixedClock clock;
    recovery::RecoveryRequest request;
    recovery::JobServices services;
};

// The stamp of the scratch folder of file `index` under FixedClock.
std::string tempStamp(std::size_t index);

} // namespace mailmend::testing
