// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/dbx_output.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "log/text.h"
#include "mailstore/oestore/store_namespace.h"
#include "platform/file_reader.h"
#include "platform/file_system.h"
#include "recovery/progress.h"
#include "recovery/store_session.h"

namespace mailmend::recovery {
namespace {

using namespace mailstore::oestore;

// The names tried: the base name, then "(2)" to "(99)" after it; every rename looks
// through the whole list again. Empty when all are taken.
std::string freeFolderName(const std::string& base, const std::vector<FolderProps>& folders)
{
    const auto taken = [&](const std::string& name) {
        return std::any_of(folders.begin(), folders.end(),
                           [&](const FolderProps& folder) { return folder.name == name; });
    };
    std::string name = base;
    for (int k = 2; taken(name); ++k) {
        if (k >= 100)
            return {};
        name = strprintf("%s(%d)", base.c_str(), k);
    }
    return name;
}

enum class Committed { Yes, NoStream, NotWritten, NotCommitted };

// The scratch mail's bytes into a new message of `folder`, a piece at a time.
Committed commitMail(StoreFolder& folder, const std::string& path)
{
    std::unique_ptr<MessageStream> stream;
    MessageId id = 0;
    if (isFailure(folder.CreateStream(stream, id)))
        return Committed::NoStream;
    platform::OpenResult opened = platform::openForReading(path);
    if (!opened.file)
        return Committed::NotWritten;
    std::vector<char> buffer(256 * 1024);
    const std::uint64_t size = opened.file->size();
    for (std::uint64_t at = 0; at < size;) {
        const std::size_t got = opened.file->readAt(at, buffer.data(), buffer.size());
        if (got == 0 || isFailure(stream->Write(buffer.data(), got)))
            return Committed::NotWritten;
        at += got;
    }
    return isFailure(folder.CommitStream(*stream, id)) ? Committed::NotCommitted : Committed::Yes;
}

} // namespace

StepResult saveAsDbxStep(JobContext& job, FileContext& file)
{
    job.log().exec("In SAVEASDBX");

    std::unique_ptr<StoreNamespace> store;
    try {
        store = std::make_unique<StoreNamespace>(job.storeDirectory());
    } catch (...) {
        job.log().error("Exception while connecting with Outlook express");
        return StepResult::Abort;
    }
    try {
        if (isFailure(store->Initialize())) {
            job.view().messageBox("Could not login to Outlook express", kJobCaption,
                                  platform::MessageStyle::Ok);
            job.log().error("Could not Initialize connection with Outlook express ");
            return StepResult::Abort;
        }
    } catch (...) {
        job.log().error("Exception while initializing connection with Outlook express ");
        return StepResult::Abort;
    }
    if (job.stopRequested())
        return StepResult::Abort;

    const std::string baseFolder
        = strprintf("Recovered_%zu_%s", file.fileIndex + 1, file.baseName.c_str());
    std::vector<FolderProps> folders;
    store->GetSubFolders(kTopLevel, folders);
    const std::string folderName = freeFolderName(baseFolder, folders);
    if (folderName.empty()) {
        job.log().error("More then 100 same name folder found");
        return StepResult::Abort;
    }

    FolderId folderId = 0;
    try {
        if (isFailure(store->CreateFolder(kTopLevel, folderName, folderId)))
            return failSetUp(job, "Could not create DBX file.", "Could not create folder in OE");
    } catch (...) {
        job.log().error("Exception while creating folder in OE");
        return StepResult::Abort;
    }
    std::unique_ptr<StoreFolder> folder;
    try {
        if (isFailure(store->OpenFolder(folderId, folder)) || !folder)
            return failSetUp(job, "Could not open output dbx file", "Could not open folder in OE");
    } catch (...) {
        job.log().error("Exception while opening folder in OE");
        return StepResult::Abort;
    }
    folder->setCancellation(&job.token());

    const StepResult loop = MailLoop(job, file, progressShare(SaveOption::SAVEASDBX), [&](std::int32_t i) {
        const ScratchMail scratch = writeScratchMail(job, file, i, false);
        if (scratch.stopped)
            return MailOutcome::Stop;
        if (!scratch.written)
            return MailOutcome::Progress;
        const char* failure = nullptr;
        try {
            switch (commitMail(*folder, scratch.path)) {
            case Committed::Yes:
                break;
            case Committed::NoStream:
                failure = "could not create new mail as %s at position %d";
                break;
            case Committed::NotWritten:
                failure = "could not write new mail as %s at position %d";
                break;
            case Committed::NotCommitted:
                failure = "could not commit new mail as %s at position %d";
                break;
            }
        } catch (...) {
            ++file.result.mailsFailed;
            job.log().error(strprintf("Exception while importing and saving mail no : %d", i));
            return MailOutcome::Progress;
        }
        if (failure) {
            // Its scratch file stays until the file's closing step.
            ++file.result.mailsFailed;
            job.log().exec(strprintf(failure, printable(scratch.path).c_str(), i));
            return MailOutcome::SkipProgress;
        }
        countWriteResult(file.result, job.reader());
        deleteScratchMail(job, scratch.path, i);
        return MailOutcome::Progress;
    });
    // The folder file gets its index and header now, on every way out: what was
    // committed before a stop stays readable, and the copy below is of a whole file.
    std::filesystem::path directory;
    store->GetDirectory(directory);
    const auto source = directory / (folderName + ".dbx");
    const StoreStatus status = folder->Close();
    folder.reset();
    // Unfinished, the file shows the folder as it was before: without these mails.
    const bool closed = status != StoreStatus::WriteFailed;
    if (!closed)
        storeUnfinished(job, file, source);
    else if (isFailure(status))
        job.log().error(strprintf("Could not record %s in the store's folder list",
                                  printable(folderName).c_str()));
    if (loop == StepResult::Abort || job.stopRequested())
        return StepResult::Abort;

    const auto target = file.outputFolder / (baseFolder + ".dbx");
    job.log().exec(strprintf("copying DBX file from %s to %s", printable(source.string()).c_str(),
                             printable(target.string()).c_str()));
    if (!closed || !platform::copyFile(source, target)) {
        file.result.outputCopyFailed = true;
        job.log().error(strprintf("Could not copy %s to %s", printable(source.string()).c_str(),
                                  printable(target.string()).c_str()));
    }
    job.setFileProgress(100);
    return StepResult::Finished;
}

} // namespace mailmend::recovery
