// SPDX-License-Identifier: GPL-3.0-or-later
// Whole runs of every output form in which the k-th file operation of one kind fails
// (refused, or a transfer cut short), for each k up to the number a clean run makes. The
// runs are made once; each test checks one property over all of them.

#include <gtest/gtest.h>

#include <algorithm>

#include "dbx/folder_file_writer.h"
#include "mailstore/mime/mime_parser.h"
#include "mailstore/pst/pst_writer.h"
#include "mailstore/oestore/store_namespace.h"
#include "platform/fault_injection.h"
#include "recovery/folder_names.h"
#include "support/dbx_folder_maker.h"
#include "support/job_harness.h"
#include "support/mail_samples.h"
#include "support/pst_readback.h"

namespace mailmend::recovery {
namespace {

namespace fs = std::filesystem;
using namespace mailstore::oestore;
using platform::FaultPlan;
using platform::FaultStyle;
using platform::FileOperation;
using Files = std::map<std::string, std::uint32_t>; // "dest/x.eml" and the like to its CRC

const std::string kNewFolder = "store/Recovered_1_Inbox(2).dbx"; // the DBX output's
const std::string kCopy = "dest/1_Recovered_Inbox_As_DBX/Recovered_1_Inbox.dbx";

bool isStore(const std::string& name)
{
    return name.ends_with(".pst") || name.ends_with(".mbox")
        || (name.ends_with(".dbx") && !name.ends_with("temp.dbx") && !name.starts_with("src/"));
}

// The files of the run's source, output, scratch and store folders.
Files filesOf(const fs::path& dir)
{
    Files files;
    std::error_code absent;
    for (const char* top : {"src", "dest", "tmp", "store"})
        for (const auto& entry : fs::recursive_directory_iterator(dir / top, absent))
            if (const std::string bytes = entry.is_regular_file() ? testing::readFile(entry) : "";
                entry.is_regular_file())
                files[entry.path().string().substr(dir.string().size() + 1)]
                    = testing::zlibCrc(bytes.data(), bytes.size());
    return files;
}

// The mails of the run's store as the peers read them back, sorted: the DBX output's new
// folder by undbx, the .pst by pypff (a store it cannot open reads "unread"), the .mbox
// split at its "From " lines.
std::vector<std::string> storeMails(const fs::path& dir, const Files& files)
{
    std::vector<std::string> mails;
    for (const auto& [name, crc] : files) {
        const std::string text = name.ends_with(".mbox") ? testing::readFile(dir / name) : "";
        for (std::size_t at = 0, end; at < text.size(); at = end) {
            end = std::min({text.find("\n\r\nFrom ", at), text.find("\n\nFrom ", at), text.size()});
            mails.push_back(text.substr(at, (end = text.find("From ", end)) - at));
        }
        if (name == kNewFolder)
            mails = testing::undbxMails(dir / name).value_or(std::vector<std::string> {"unread"});
        std::string missing;
        const auto pst = name.ends_with(".pst")
            ? testing::readPstStore(testing::PstReader::Pypff, dir / name, dir / "read", missing)
            : std::nullopt;
        if (pst && pst->empty())
            mails.push_back("unread");
        for (const auto& [folder, read] : pst.value_or(testing::ReadStore {}))
            for (const testing::ReadMail& mail : read) {
                mails.push_back(folder + mail.fields.at("subject") + mail.fields.at("plain"));
                for (const testing::ReadAttachment& attachment : mail.attachments)
                    mails.back() += attachment.name + std::to_string(attachment.crc);
            }
    }
    std::sort(mails.begin(), mails.end());
    return mails;
}

struct FaultRun {
    std::string name, box, outcome; // outcome: what a harmless fault leaves as the clean run
    std::uint64_t counts[platform::kFileOperationKinds] {};
    bool endedIdle = false, unsure = false; // unsure: the bytes may be there all the same
    std::vector<std::string> failures, mails; // failures: error lines, and "could not" lines
    FileResult result;
    Files files, atFire;
};

// One run of `form` over three mails, one with attachments, in which the k-th `operation`
// fails (none for k 0). The DBX output's store is a copy of `seed`.
FaultRun run(SaveOption form, FileOperation operation, std::uint64_t k, FaultStyle style,
             const fs::path& seed)
{
    testing::JobHarness h;
    h.request.m_nSaveOption = form;
    h.addSource("Inbox.dbx", testing::DbxFixture({testing::mailText(1, 700),
                                                  testing::mailSample("nested-related").text,
                                                  testing::mailText(3, 1300)}));
    fs::copy(seed, h.dir / "store");
    FaultRun r;
    r.name = std::string(typeTag(form)) + ": " + platform::fileOperationName(operation) + " "
        + std::to_string(k) + (style == FaultStyle::Short ? " cut short" : "");
    r.unsure = operation == FileOperation::Sync || style == FaultStyle::Short;
    FaultPlan plan(operation, k, style);
    plan.onFire([&] { r.atFire = filesOf(h.dir.path()); });
    plan.arm();
    const int code = h.run();
    plan.disarm();
    for (std::size_t kind = 0; kind < platform::kFileOperationKinds; ++kind)
        r.counts[kind] = plan.count(static_cast<FileOperation>(kind));
    r.endedIdle = plan.fired() == (k > 0)
        && h.view.calls().back() == (code == 0 ? "text 1015 Ready to Scan" : "RestoreIdleControls");
    r.box = code == 0 ? h.closingBox() : "the run ended";
    const std::string notFailures = "|session created|LogonPstStore created|"
                                    "Error: Trying to close file without opening DBX file first|";
    for (const testing::LogLine& line : h.lines())
        if (line.isError ? notFailures.find("|" + line.message + "|") == std::string::npos
                         : line.message.find("could not") != std::string::npos)
            r.failures.push_back(line.message);
    r.result = h.view.results().empty() ? FileResult {} : h.view.results().back();
    r.files = filesOf(h.dir.path());
    r.mails = storeMails(h.dir.path(), r.files);
    r.outcome = std::to_string(code) + " " + std::to_string(r.result.mailsFound) + " "
        + std::to_string(r.result.mailsWritten) + " " + std::to_string(r.result.outputCopyFailed);
    for (const auto& [name, crc] : r.files)
        r.outcome += name.starts_with("dest/") && !isStore(name) ? name + std::to_string(crc) : "";
    for (const std::string& mail : r.mails)
        r.outcome += mail;
    return r;
}

struct Sweep {
    std::map<SaveOption, FaultRun> clean;
    std::vector<std::pair<SaveOption, FaultRun>> runs;
};

// A clean run of every form, then a run for each fault the clean run has room for.
Sweep makeSweep()
{
    using enum FileOperation;
    using enum FaultStyle;
    using enum SaveOption;
    Sweep s;
    const testing::TempDir seed; // a store with a folder of an earlier run
    FolderId id = 0;
    StoreNamespace store(seed.path());
    store.Initialize();
    EXPECT_FALSE(isFailure(store.CreateFolder(kTopLevel, "Recovered_1_Inbox", id)));
    for (const SaveOption form :
         {SAVEASEML, ADVANCEDSCAN, SAVEASDBX, SAVEASPST, SAVEASMSG, SAVEASRTF, SAVEASMBOX}) {
        const FaultRun& clean = s.clean[form] = run(form, {}, 0, Refuse, seed.path());
        const std::pair<FileOperation, FaultStyle> faults[] = { // only a transfer is cut short
            {Create, Refuse}, {Write, Refuse}, {Write, Short}, {Read, Refuse}, {Read, Short},
            {Rename, Refuse}, {Remove, Refuse}, {MakeDirectory, Refuse}, {Sync, Refuse}};
        for (const auto& [operation, style] : faults)
            for (std::uint64_t k = 1; k <= clean.counts[static_cast<std::size_t>(operation)]; ++k)
                s.runs.emplace_back(form, run(form, operation, k, style, seed.path()));
    }
    return s;
}

const Sweep& sweep()
{
    static const Sweep made = makeSweep();
    return made;
}

// Every run meets its fault and ends with the window idle. A run the fault harmed (it
// ended, or a mail, attachment or file of the clean run is missing or different) logs the
// failure and does not end with the words of success. What was whole when the fault came
// (the mails before it, the folder an earlier run left in the store) is whole after it,
// but for the one file a failed sync or close has in hand. The source never changes.
TEST(FileFaults, EveryRunEndsIdleTellsHarmKeepsWhatWasWholeAndLeavesTheSource)
{
    const std::uint32_t source = sweep().clean.at(SaveOption::SAVEASEML).files.at("src/Inbox.dbx");
    for (const auto& [form, r] : sweep().runs) {
        SCOPED_TRACE(r.name);
        const FaultRun& clean = sweep().clean.at(form);
        EXPECT_TRUE(r.endedIdle);
        if (r.outcome != clean.outcome) {
            EXPECT_FALSE(r.failures.empty());
            EXPECT_EQ(r.box.find("Files recovered Successfully"), std::string::npos);
        }
        int lost = 0;
        for (const auto& [name, crc] : r.atFire)
            if (name != "store/Folders.dbx" && clean.files.count(name) && clean.files.at(name) == crc)
                lost += !(r.files.contains(name) && r.files.at(name) == crc);
        EXPECT_LE(lost, r.name.find(": sync ") != std::string::npos ? 1 : 0);
        EXPECT_EQ(r.files.at("src/Inbox.dbx"), source);
    }
}

// Every file is as the clean run left it, or absent, but for mails told cut short and
// scratch files told to be left; the mails and attachments counted as written are there;
// a store reads back those mails (more only where the fault was unsure).
TEST(FileFaults, NothingIsClaimedThatIsNotWhole)
{
    for (const auto& [form, r] : sweep().runs) {
        SCOPED_TRACE(r.name);
        const FaultRun& clean = sweep().clean.at(form);
        std::int32_t mails = 0, cut = 0, attachmentsMissing = 0;
        for (const auto& [name, crc] : r.files) {
            const std::string type = fs::path(name).extension().string();
            const bool mail
                = name.starts_with("dest/") && (type == ".eml" || type == ".msg" || type == ".rtf");
            const bool same
                = isStore(name) || (clean.files.contains(name) && clean.files.at(name) == crc);
            const bool scratch = name.starts_with("tmp/") || name.ends_with("temp.dbx");
            EXPECT_TRUE(same || mail || (scratch && !r.failures.empty())) << name;
            mails += mail;
            cut += mail && !same;
        }
        for (const auto& [name, crc] : clean.files) { // beside its .rtf, in a folder of its name
            const std::string mail = fs::path(name).parent_path().string() + ".rtf";
            attachmentsMissing += !r.files.count(name) && r.files.count(mail);
        }
        EXPECT_LE(cut, r.result.mailsCutShort);
        EXPECT_EQ(attachmentsMissing, r.result.attachmentsFailed);
        const bool store = form == SaveOption::SAVEASDBX || form == SaveOption::SAVEASPST
            || form == SaveOption::SAVEASMBOX;
        const std::int32_t held = store ? static_cast<std::int32_t>(r.mails.size()) : mails;
        EXPECT_TRUE(held == r.result.mailsWritten || (r.unsure && held > r.result.mailsWritten));
        EXPECT_TRUE(std::includes(clean.mails.begin(), clean.mails.end(), r.mails.begin(),
                                  r.mails.end()));
        const bool copied = r.box != "the run ended" && !r.result.outputCopyFailed;
        if (r.files.count(kCopy) || (r.files.count(kNewFolder) && copied)) {
            EXPECT_TRUE(r.files.count(kCopy) && r.files.at(kCopy) == r.files.at(kNewFolder));
        }
    }
}

// Below the job, where the runs cannot see it: a write refused inside a mail costs a
// store that mail only; a failed sync leaves a folder file unfinished.
TEST(FileFaults, StoresLoseOnlyTheMailAWriteFailsInButTellAFailedSync)
{
    testing::TempDir dir;
    const std::string text = testing::mailText(1, 2000);
    mailstore::pst::PstWriter pst;
    dbx::FolderFileWriter folder;
    ASSERT_TRUE(pst.create(dir / "a.pst", "A") && folder.create(dir / "f.dbx", {"f", 1}));
    for (const std::uint64_t k : {0, 1, 0}) {
        FaultPlan write(FileOperation::Write, k);
        write.arm();
        EXPECT_EQ(pst.addMessage(pst.deletedItems(), mailstore::parseMailText(text), {}), k == 0);
        const auto draft = folder.beginMessage();
        EXPECT_TRUE(draft->write(text.data(), text.size()) && folder.commit(*draft));
    }
    EXPECT_EQ(pst.messageCount(), 2u);
    EXPECT_TRUE(pst.close());
    FaultPlan sync(FileOperation::Sync, 1);
    sync.arm();
    EXPECT_FALSE(folder.close());
}

} // namespace
} // namespace mailmend::recovery
