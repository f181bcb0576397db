// SPDX-License-Identifier: GPL-3.0-or-later
// Whole runs of the DBX and mbox outputs: what undbx and Python's mailbox module read
// back is exactly what the EML output writes from the same damaged folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/dbx_folder_maker.h"
#include "support/job_harness.h"

namespace mailmend::recovery {
namespace {

namespace fs = std::filesystem;
using testing::DbxFixture;
using testing::JobHarness;
using testing::mailText;

// A folder with a zeroed stretch: the mails the reader still finds are the test's.
DbxFixture damagedFolder()
{
    DbxFixture fixture({mailText(1, 700), mailText(2, 1500), mailText(3, 40), mailText(4, 3000),
                        "From: a@b\nSubject: LF mail\n\nbody\nFrom the start\n>From quoted\n>>From twice\n",
                        mailText(6, 200)});
    fixture.zero(fixture.block(3, 1).position, fixture.block(3, 2).position);
    return fixture;
}

// The .eml files an EML run writes from `fixture`, sorted.
std::vector<std::string> emlMails(const DbxFixture& fixture)
{
    JobHarness h;
    h.addSource("Inbox.dbx", fixture);
    EXPECT_EQ(h.run(), 0);
    std::vector<std::string> mails;
    for (const auto& [name, bytes] : h.tree())
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".eml") == 0)
            mails.push_back(bytes);
    std::sort(mails.begin(), mails.end());
    return mails;
}

TEST(DbxOutput, UndbxReadsBackExactlyWhatTheEmlOutputWrites)
{
    if (!testing::programInstalled("undbx"))
        GTEST_SKIP() << "undbx is not installed";
    const DbxFixture fixture = damagedFolder();
    JobHarness h;
    h.request.m_nSaveOption = SaveOption::SAVEASDBX;
    h.addSource("Inbox.dbx", fixture);
    ASSERT_EQ(h.run(), 0);
    const auto copied = testing::undbxMails(h.destination / "1_Recovered_Inbox_As_DBX" / "Recovered_1_Inbox.dbx");
    ASSERT_TRUE(copied);
    EXPECT_EQ(*copied, emlMails(fixture));
    EXPECT_EQ(testing::undbxMails(h.dir / "store" / "Recovered_1_Inbox.dbx"), copied);
    const std::vector<std::string> calls = h.view.calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "box Mailmend|Please close Outlook Express, if its open!"), 1);
}

// The store's folders are named Recovered_<n>_<base>, then "(2)" ... "(99)"; each rename
// looks through the whole list again, so the order the names were made in does not
// matter; the copy keeps the name without the number.
TEST(DbxOutput, FolderNamesStayFreeAndTheHundredthClashEndsTheRun)
{
    for (const bool numberedFirst : {false, true}) {
        SCOPED_TRACE(numberedFirst ? "(2) made first" : "(2) made last");
        testing::TempDir store;
        const auto runOn = [&](std::vector<std::string> files) {
            JobHarness h;
            h.services.storeDirectory = store.path();
            h.request.m_nSaveOption = SaveOption::SAVEASDBX;
            for (const std::string& name : files)
                h.addSource(name, DbxFixture({mailText(1, 10)}));
            const int result = h.run();
            return std::pair {result, fs::exists(h.destination / "1_Recovered_Inbox_As_DBX" / "Recovered_1_Inbox.dbx")};
        };
        ASSERT_EQ(runOn({numberedFirst ? "Inbox(2).dbx" : "Inbox.dbx"}).first, 0);
        ASSERT_EQ(runOn({numberedFirst ? "Inbox.dbx" : "Inbox(2).dbx"}).first, 0);
        const auto [result, copied] = runOn({"Inbox.dbx", "Inbox.dbx"});
        ASSERT_EQ(result, 0);
        EXPECT_TRUE(fs::exists(store / "Recovered_1_Inbox(3).dbx"));
        EXPECT_TRUE(fs::exists(store / "Recovered_2_Inbox.dbx")) << "the second file has a number of its own";
        EXPECT_TRUE(copied) << "the copy keeps the name without the number";
        if (numberedFirst)
            continue;
        for (int k = 4; k <= 99; ++k)
            ASSERT_EQ(runOn({"Inbox.dbx"}).first, 0) << k;
        JobHarness last;
        last.services.storeDirectory = store.path();
        last.request.m_nSaveOption = SaveOption::SAVEASDBX;
        last.addSource("Inbox.dbx", DbxFixture({mailText(1, 10)}));
        EXPECT_EQ(last.run(), -1);
        EXPECT_EQ(last.errors().back(), "More then 100 same name folder found");
    }
}

// mboxrd as Python reads it: the mails the EML output writes, with the quoting taken
// off and each mail's final line end where it had none.
TEST(MboxOutput, PythonReadsExactlyTheRecoveredMails)
{
    const char* python = MAILMEND_SYSTEM_PYTHON;
    if (!*python)
        GTEST_SKIP() << "no Python here";
    const DbxFixture fixture = damagedFolder();
    JobHarness h;
    h.request.m_nSaveOption = SaveOption::SAVEASMBOX;
    h.addSource("Inbox.dbx", fixture);
    ASSERT_EQ(h.run(), 0);
    const fs::path mbox = h.destination / "1_Recovered_Inbox_As_MBOX" / "Inbox.mbox";
    const fs::path out = h.dir / "py";
    fs::create_directory(out);
    // The raw bytes of each mail, the mboxrd quoting taken off; Python keeps a CR LF
    // separator line with the mail before it, taken off here too.
    const std::string script = std::string("import mailbox,sys,re\n")
        + "box=mailbox.mbox(sys.argv[1])\n"
          "for i,k in enumerate(box.keys()):\n"
          "  b=box.get_bytes(k)\n"
          "  b=b[:-2] if b.endswith(b'\\r\\n\\r\\n') else b\n"
          "  b=re.sub(rb'(?m)^>(>*From )',rb'\\1',b)\n"
          "  open('%s/%d'%(sys.argv[2],i),'wb').write(b)\n";
    testing::writeFile(h.dir / "read.py", script);
    ASSERT_EQ(std::system((std::string(python) + " '" + (h.dir / "read.py").string() + "' '" + mbox.string()
                           + "' '" + out.string() + "'").c_str()),
              0);
    std::vector<std::string> got;
    for (const auto& entry : fs::directory_iterator(out))
        got.push_back(testing::readFile(entry.path()));
    std::sort(got.begin(), got.end());
    std::vector<std::string> want = emlMails(fixture);
    for (std::string& mail : want)
        if (mail.back() != '\n')
            mail += mail.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want);

    // formail, procmail's splitter (which knows LF line ends only), counts the mails of
    // an mbox of LF mails as mail programs do.
    if (testing::programInstalled("formail")) {
        JobHarness lf;
        lf.request.m_nSaveOption = SaveOption::SAVEASMBOX;
        lf.addSource("Lf.dbx", DbxFixture({"Subject: 1\n\nFrom here\n", "Subject: 2\n\n>From there",
                                          "From: x@y\n\n\nFrom\n"}));
        ASSERT_EQ(lf.run(), 0);
        const std::string count = "formail -s sh -c 'echo x' < '"
            + (lf.destination / "1_Recovered_Lf_As_MBOX" / "Lf.mbox").string() + "' | wc -l > '"
            + (h.dir / "count").string() + "'";
        ASSERT_EQ(std::system(count.c_str()), 0);
        EXPECT_EQ(std::stoul(testing::readFile(h.dir / "count")), 3u);
    }
}

} // namespace
} // namespace mailmend::recovery
