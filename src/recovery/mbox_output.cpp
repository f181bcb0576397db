// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/mbox_output.h"

#include <string>

#include "log/text.h"
#include "mailstore/mbox/mbox_writer.h"

namespace mailmend::recovery {
namespace {

// The reader's chain walk, writing into the mail the mbox has open.
class MboxSink final : public dbx::MailSink {
public:
    explicit MboxSink(mailstore::MboxWriter& mbox) : m_mbox(mbox) {}
    void write(const unsigned char* data, std::size_t count) override { m_mbox.write(data, count); }

private:
    mailstore::MboxWriter& m_mbox;
};

} // namespace

StepResult saveAsMboxStep(JobContext& job, FileContext& file)
{
    job.log().exec("In SAVEASMBOX");
    const std::filesystem::path path = file.outputFolder / (file.baseName + ".mbox");
    mailstore::MboxWriter mbox;
    const bool created = mbox.create(path);
    if (!created)
        job.log().error(strprintf("Could not create %s", printable(path.string()).c_str()));

    dbx::DbxFile& reader = job.reader();
    MboxSink sink(mbox);
    const StepResult loop = MailLoop(job, file, 100, [&](std::int32_t i) {
        if (!created) { // every mail of the file is lost with its mbox
            ++file.result.mailsFailed;
            job.log().error(strprintf("Recovery fails for mail %d", i));
            return MailOutcome::Progress;
        }
        mbox.beginMail(job.runStartTime());
        const bool saved = reader.saveMailTo(sink, i);
        if (reader.lastWriteResult() == dbx::MailWriteResult::Cancelled) {
            mbox.abandonMail();
            return MailOutcome::Stop;
        }
        bool written = false;
        if (!saved) {
            mbox.abandonMail();
            countWriteResult(file.result, reader);
        } else if (mbox.commitMail()) {
            countWriteResult(file.result, reader);
            written = true;
        } else {
            ++file.result.mailsFailed; // the disk refused it: taken back whole
        }
        if (!written)
            job.log().error(strprintf("Recovery fails for mail %d", i));
        return MailOutcome::Progress;
    });
    // Each mail reached the file when it was committed: a failing close loses none of them.
    if (created && !mbox.close()) {
        job.log().error(strprintf("Could not write %s in full", printable(path.string()).c_str()));
        file.result.storeUnfinished = true;
    }
    if (loop == StepResult::Abort)
        return StepResult::Abort;
    job.setFileProgress(100);
    job.log().exec(strprintf("SAVEASMBOX Recovery Succeeded for file %s",
                             printable(file.sourcePath).c_str()));
    return StepResult::Finished;
}

} // namespace mailmend::recovery
