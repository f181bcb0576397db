// SPDX-License-Identifier: GPL-3.0-or-later
// Sources that change under a running job: a file cut short after it was scanned, in
// both output forms. The cut is made from the window's calls, at a known point.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/job_harness.h"

namespace mailmend::recovery {
namespace {

namespace fs = std::filesystem;
using testing::DbxFixture;
using testing::JobHarness;
using testing::mailText;

void cutTo(const std::string& path, std::uint64_t size)
{
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0);
}

// The reader found 12 mails; the file then loses all from the sixth on. The mails
// it can no longer read are failures, with no file left behind, and the run says so.
TEST(SourceFaults, FileCutShortWhileItsMailsAreWritten)
{
    JobHarness h;
    std::vector<std::string> texts;
    for (int n = 1; n <= 12; ++n)
        texts.push_back(mailText(n, 1500));
    const DbxFixture fixture(texts);
    const std::string path = h.addSource("Inbox.dbx", fixture);
    h.view.onCall([&](const std::string& call, std::size_t) {
        if (call == "text 1015 Scanning File : Inbox.dbx")
            cutTo(path, fixture.block(5, 0).position);
    });
    ASSERT_EQ(h.run(), 0);

    const FileResult result = h.view.results().at(0);
    EXPECT_EQ(result.mailsFound, 12);
    EXPECT_EQ(result.mailsWritten, 5);
    EXPECT_EQ(result.mailsFailed, 7);
    std::size_t files = 0;
    for (const auto& [name, bytes] : h.tree())
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".eml") == 0) {
            ++files;
            const int n = std::stoi(name.substr(name.size() - 10, 6));
            EXPECT_EQ(bytes, texts[static_cast<std::size_t>(n - 1)]) << name << " is whole";
        }
    EXPECT_EQ(files, static_cast<std::size_t>(result.mailsWritten));
    EXPECT_EQ(h.closingBox(), "box Norvale Mailmend|Files recovered to " + h.destination.string()
                                 + " folder, but " + std::to_string(result.mailsFailed)
                                 + " mails could not be written. The logs have the details.");
}

// The Advanced Scan's copy meets the cut: what was copied is still carved, no working
// file stays, and the file counts as not read in full.
TEST(SourceFaults, FileCutShortWhileTheAdvancedScanCopiesIt)
{
    JobHarness h;
    h.request.m_nSaveOption = SaveOption::ADVANCEDSCAN;
    std::vector<std::string> texts;
    for (int n = 1; n <= 12; ++n)
        texts.push_back("Received: by relay; " + std::to_string(n) + "\r\n" + mailText(n, 3000));
    const DbxFixture fixture(texts);
    const std::string path = h.addSource("Inbox.dbx", fixture);
    bool cut = false;
    h.view.onCall([&](const std::string& call, std::size_t) {
        if (!cut && call.rfind("bar 1012 ", 0) == 0 && call != "bar 1012 0") {
            cutTo(path, fixture.block(5, 0).position);
            cut = true;
        }
    });
    ASSERT_EQ(h.run(), 0);

    const FileResult result = h.view.results().at(0);
    EXPECT_TRUE(result.readIncomplete);
    EXPECT_EQ(result.mailsWritten, 5) << "the mails before the cut";
    EXPECT_FALSE(fs::exists(h.destination / "1_Recovered_Inbox_As_EMLwithAdvacedScan" / "temp.dbx"));
    EXPECT_TRUE(h.log.contains(testing::errorLine("Advanced Scan could not read " + path + " in full")));
    EXPECT_EQ(h.closingBox(), "box Norvale Mailmend|Files recovered to " + h.destination.string()
                                 + " folder, but 1 of 1 file could not be read. The logs have the details.");
}

} // namespace
} // namespace mailmend::recovery
