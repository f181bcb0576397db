// SPDX-License-Identifier: GPL-3.0-or-later
// Stopping a run: at every call the job makes to the window (among them each position
// of the Advanced Scan's copy and carve), inside a mail, and from another thread. Once stopped, nothing is
// created or grows, and the window ends idle.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "recovery/folder_names.h"
#include "recovery/recovery_job.h"
#include "support/job_harness.h"

namespace mailmend::recovery {
namespace {

namespace fs = std::filesystem;
using testing::DbxFixture;
using testing::execLine;
using testing::JobHarness;
using testing::mailText;
using Tree = std::map<std::string, std::string>;

std::string relayedMail(int n)
{
    const std::string relay = "Received: by relay.example.org; mail " + std::to_string(n) + "\r\n";
    return relay + mailText(n, 1024 - relay.size());
}

void addSources(JobHarness& h)
{
    h.addSource("Inbox.dbx", DbxFixture({relayedMail(1), relayedMail(2), relayedMail(3)}));
    h.addMissing("Gone.dbx");
    h.addSource("Sent.dbx", DbxFixture({relayedMail(4), relayedMail(5)}));
}

bool endsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A store open when the stop came is still closed properly, so it may change then.
bool isStore(const std::string& name)
{
    return endsWith(name, ".pst") || endsWith(name, ".mbox");
}

// The tree with the bytes of stores and folder files left out: they hold a key or the
// time they were made.
Tree withoutStoreBytes(Tree tree)
{
    for (auto& [name, bytes] : tree)
        if (isStore(name) || endsWith(name, ".dbx"))
            bytes = "<store>";
    return tree;
}

// Readers open every store a stopped run leaves (checked with pffinfo where it is installed).
void expectStoresReadable(const JobHarness& h, const Tree& now)
{
    static const bool havePffinfo = std::system("command -v pffinfo >/dev/null 2>&1") == 0;
    static const bool haveUndbx = std::system("command -v undbx >/dev/null 2>&1") == 0;
    const auto runs = [](const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; };
    for (const auto& [name, bytes] : now) {
        if (endsWith(name, ".mbox")) { // whole mails only: it ends with a mail's separator
            EXPECT_TRUE(bytes.empty() || endsWith(bytes, "\n\n") || endsWith(bytes, "\r\n\r\n")) << name;
        }
        if (havePffinfo && endsWith(name, ".pst")) {
            EXPECT_TRUE(runs("pffinfo '" + (h.dir / name).string() + "'")) << name << " cannot be read";
        }
    }
    // The DBX output's folders in the store: undbx reads their index.
    std::error_code none;
    for (const auto& entry : fs::directory_iterator(h.dir / "store", none)) {
        if (haveUndbx && entry.path().filename() != "Folders.dbx") {
            EXPECT_TRUE(runs("undbx '" + entry.path().string() + "' '" + (h.dir / "undbx").string() + "'"))
                << entry.path() << " cannot be read";
        }
    }
}

// Every file left after the stop but the stores was there, with the same bytes, when the
// stop came.
void expectNothingWrittenAfter(const Tree& atStop, const Tree& now)
{
    for (const auto& [name, bytes] : now) {
        if (isStore(name) && atStop.count(name))
            continue;
        const auto before = atStop.find(name);
        if (before == atStop.end())
            ADD_FAILURE() << name << " was made after the stop";
        else
            EXPECT_EQ(bytes, before->second) << name << " changed after the stop";
    }
}

enum class StopBy { Token, Window, Both };

void stop(JobHarness& h, StopBy by)
{
    if (by != StopBy::Token) {
        h.running = false;
        h.extractor.setActive(false);
    }
    if (by != StopBy::Window)
        h.token.cancel();
}

class RecoveryStopEverywhere : public ::testing::TestWithParam<SaveOption> {};

TEST_P(RecoveryStopEverywhere, AtEachWindowCall)
{
    JobHarness reference;
    reference.request.m_nSaveOption = GetParam();
    addSources(reference);
    ASSERT_EQ(reference.run(), 0);
    const std::vector<std::string> calls = reference.view.calls();
    const Tree finished = reference.tree();
    const auto complete = std::find(calls.begin(), calls.end(), "text 1015 Scan Complete");
    ASSERT_NE(complete, calls.end());
    const std::size_t lastCheck = static_cast<std::size_t>(complete - calls.begin());

    for (std::size_t n = 1; n <= calls.size(); ++n) {
        SCOPED_TRACE("stopped at call " + std::to_string(n) + ": " + calls[n - 1]);
        JobHarness h;
        h.request.m_nSaveOption = GetParam();
        addSources(h);
        Tree atStop;
        h.view.onCall([&](const std::string&, std::size_t number) {
            if (number != n)
                return;
            atStop = h.tree();
            stop(h, static_cast<StopBy>(n % 3));
        });
        const int result = h.run();
        const std::vector<std::string> seen = h.view.calls();
        if (n > lastCheck) { // stopped during the end of a finished run
            EXPECT_EQ(result, 0);
            EXPECT_EQ(withoutStoreBytes(h.tree()), withoutStoreBytes(finished));
            continue;
        }
        EXPECT_EQ(result, -1);
        EXPECT_EQ(seen.back(), "RestoreIdleControls");
        EXPECT_EQ(std::count(seen.begin(), seen.end(), "RestoreIdleControls"), 1);
        EXPECT_FALSE(h.running);
        const Tree tree = h.tree();
        expectNothingWrittenAfter(atStop, tree);
        expectStoresReadable(h, tree);
        for (const auto& entry : tree) // the Advanced Scan's working file never stays
            EXPECT_EQ(entry.first.find("temp.dbx"), std::string::npos) << entry.first;
        if (n <= 15) { // still disabling the inputs: nothing made at all
            EXPECT_FALSE(fs::exists(h.destination));
        }
        if (::testing::Test::HasFailure())
            return;
    }
}

INSTANTIATE_TEST_SUITE_P(Outputs, RecoveryStopEverywhere,
                         ::testing::Values(SaveOption::SAVEASEML, SaveOption::ADVANCEDSCAN,
                                           SaveOption::SAVEASPST, SaveOption::SAVEASMSG,
                                           SaveOption::SAVEASRTF, SaveOption::SAVEASDBX,
                                           SaveOption::SAVEASMBOX),
                         [](const auto& param) {
                             return std::string(typeTag(param.param) + 4);
                         });

// The reader's file: the token is set at the second read after the scan, which lies
// inside the second, large mail.
std::atomic<bool> g_armed {false};
std::atomic<int> g_reads {0};
std::atomic<bool> g_partWasThere {false};
platform::CancellationToken* g_token = nullptr;
fs::path g_partPath;

class TrippingFile final : public platform::ReadableFile {
public:
    explicit TrippingFile(std::unique_ptr<platform::ReadableFile> file) : m_file(std::move(file)) {}
    std::uint64_t size() const override { return m_file->size(); }
    std::size_t readAt(std::uint64_t position, void* buffer, std::size_t count) override
    {
        if (g_armed && ++g_reads == 2) {
            g_partWasThere = fs::exists(g_partPath);
            g_token->cancel();
        }
        return m_file->readAt(position, buffer, count);
    }

private:
    std::unique_ptr<platform::ReadableFile> m_file;
};

platform::OpenResult openTripping(const fs::path& path)
{
    platform::OpenResult opened = platform::openForReading(path);
    if (opened.file)
        opened.file = std::make_unique<TrippingFile>(std::move(opened.file));
    return opened;
}

TEST(RecoveryStop, InsideAMailOfManyBlocks)
{
    JobHarness h;
    const std::string path = h.addSource(
        "Inbox.dbx", DbxFixture({mailText(1, 300), mailText(2, 200000), mailText(3, 300)}));
    const fs::path out = h.destination / "1_Recovered_Inbox_As_EML";
    g_armed = false;
    g_reads = 0;
    g_token = &h.token;
    g_partPath = out / "Inbox_000002.eml";
    h.services.readerOpener = &openTripping;
    h.view.onCall([](const std::string& call, std::size_t) {
        if (call.rfind("text 1015 Scanning", 0) == 0)
            g_armed = true;
    });

    EXPECT_EQ(h.run(), -1);
    EXPECT_TRUE(g_partWasThere) << "the stop came while the mail was being written";
    EXPECT_EQ(h.tree(), (Tree {{"dest/1_Recovered_Inbox_As_EML/", ""},
                               {"dest/1_Recovered_Inbox_As_EML/Inbox_000001.eml", mailText(1, 300)}}));
    EXPECT_FALSE(h.log.contains(testing::errorLine("Recovery fails for mail 1")))
        << "a stopped mail is no failed mail";
    EXPECT_FALSE(h.log.contains(execLine("SAVEASEML Recovery Succeeded for file " + path)));
    EXPECT_EQ(h.view.calls().back(), "RestoreIdleControls");
    ASSERT_EQ(h.view.results().size(), 1u);
    EXPECT_EQ(h.view.results()[0].mailsWritten, 1);
    EXPECT_FALSE(h.view.results()[0].completed);
}

// The window's Stop from its own thread while the job runs on a worker: the worker sees
// the flags at its next check point, and at most the mail it was writing is finished.
TEST(RecoveryStop, FromAnotherThread)
{
    using namespace std::chrono_literals;
    JobHarness h;
    std::vector<std::string> mails;
    for (int i = 0; i < 300; ++i)
        mails.push_back(mailText(i, 100));
    h.addSource("Inbox.dbx", DbxFixture(mails));
    // From the tenth mail on the worker waits (a while at most) for the stop, so that
    // the stop surely lands in the middle of the run.
    std::size_t progressed = 0;
    h.view.onCall([&](const std::string& call, std::size_t) {
        if (call.rfind("bar 1012 ", 0) != 0 || ++progressed < 10)
            return;
        const auto until = std::chrono::steady_clock::now() + 10s;
        while (!h.token.isCancelled() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(1ms);
    });
    const fs::path out = h.destination / "1_Recovered_Inbox_As_EML";
    const auto written = [&] {
        std::error_code ec;
        std::size_t count = 0;
        for (fs::directory_iterator it(out, ec), end; !ec && it != end; it.increment(ec))
            ++count;
        return count;
    };

    int result = 0;
    std::thread worker([&] { result = h.run(); });
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (written() < 5 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    h.stop();
    const std::size_t atStop = written();
    worker.join();

    EXPECT_EQ(result, -1);
    EXPECT_LE(written(), atStop + 1);
    EXPECT_LT(written(), mails.size());
    EXPECT_EQ(h.view.calls().back(), "RestoreIdleControls");
    EXPECT_FALSE(h.running);
}

} // namespace
} // namespace mailmend::recovery
