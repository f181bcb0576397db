// SPDX-License-Identifier: GPL-3.0-or-later
// Whole runs of the outputs that go through a mail store: the sample mails packed into a
// .dbx file, recovered, and read back by the peer readers; every mail is compared with
// Python's reading of the mail it came from.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "log/text.h"
#include "msgrtf_peer.h"
#include "support/job_harness.h"
#include "support/mail_oracle.h"
#include "support/mail_samples.h"
#include "support/pst_readback.h"

namespace mailmend::recovery {
namespace {

namespace fs = std::filesystem;
using testing::DbxFixture;
using testing::JobHarness;
using testing::OracleMail;

// Text as a reader of strings sees it: up to a zero byte, line ends as LF, without the
// line ends at its end.
std::string comparable(std::string text)
{
    text = text.substr(0, text.find('\0'));
    std::erase(text, '\r');
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

// The sample mails in a folder file, and Python's reading of each.
struct Samples {
    std::vector<std::string> texts;
    std::vector<OracleMail> oracle;
};

Samples samples(const fs::path& work)
{
    Samples out;
    for (const testing::MailSample& sample : testing::mailSamples()) {
        const fs::path file = work / (sample.name + ".eml");
        testing::writeFile(file, sample.text);
        const auto read = testing::readWithPython(file);
        if (!read)
            continue;
        out.texts.push_back(sample.text);
        out.oracle.push_back(*read);
    }
    return out;
}

std::uint32_t crcOf(const std::string& bytes)
{
    return testing::zlibCrc(bytes.data(), bytes.size());
}

TEST(StoreOutputs, PstHoldsEveryMailAsPythonReadsIt)
{
    if (!testing::havePythonOracle())
        GTEST_SKIP() << "no Python to read the mails with";
    JobHarness h;
    const Samples mails = samples(h.dir.path());
    h.request.m_nSaveOption = SaveOption::SAVEASPST;
    h.addSource("Inbox.dbx", DbxFixture(mails.texts));
    h.addSource("Empty.dbx", std::string(70000, '\0'));
    ASSERT_EQ(h.run(), 0);
    EXPECT_EQ(h.closingBox(), "box Norvale Mailmend|Files recovered Successfully to "
                                  + h.destination.string() + " folder");

    for (const testing::PstReader reader : {testing::PstReader::Pypff, testing::PstReader::Readpst}) {
        SCOPED_TRACE(testing::pstReaderName(reader));
        std::string missing;
        const auto store = testing::readPstStore(
            reader, h.destination / "1_Recovered_Inbox_As_PST" / "Recovered_Inbox.pst",
            h.dir / "read", missing);
        if (!store)
            GTEST_SKIP() << missing;
        ASSERT_EQ(store->count("Inbox"), 1u);
        const std::vector<testing::ReadMail>& got = store->at("Inbox");
        ASSERT_EQ(got.size(), mails.oracle.size());
        for (std::size_t m = 0; m < got.size() && reader == testing::PstReader::Pypff; ++m) {
            const OracleMail& want = mails.oracle[m];
            SCOPED_TRACE(testing::mailSamples()[m].name);
            EXPECT_EQ(got[m].fields.at("subject"), want.subject);
            if (want.textBody) {
                EXPECT_EQ(comparable(got[m].fields.at("plain")), comparable(*want.textBody));
            }
            ASSERT_EQ(got[m].attachments.size(), want.attachments.size());
            for (std::size_t a = 0; a < want.attachments.size(); ++a) {
                if (want.attachments[a].bytes && !want.attachments[a].isMessage) {
                    EXPECT_EQ(got[m].attachments[a].crc, crcOf(*want.attachments[a].bytes));
                }
            }
        }
    }
    // A file with no mail still gets its store with its folder.
    std::string missing;
    const auto empty = testing::readPstStore(testing::PstReader::Pypff,
                                             h.destination / "2_Recovered_Empty_As_PST" / "Recovered_Empty.pst",
                                             h.dir / "read-empty", missing);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->count("Empty") == 1 && empty->at("Empty").empty());
}

// A mail the reader does not write (here: recovery mode finds no mail header in it) is
// logged with its number, and the store simply holds one mail fewer.
TEST(StoreOutputs, MailTheReaderCannotWriteLeavesTheStoreOneShort)
{
    JobHarness h;
    h.request.m_nSaveOption = SaveOption::SAVEASPST;
    h.request.m_bRecovery = true;
    h.addSource("Inbox.dbx", DbxFixture({testing::mailText(1, 300), std::string(300, 'x'), testing::mailText(3, 300)}));
    ASSERT_EQ(h.run(), 0);
    const std::vector<std::string> errors = h.errors();
    EXPECT_NE(std::find(errors.begin(), errors.end(), "Recovery fails for mail 1"), errors.end());
    std::string missing;
    const auto store = testing::readPstStore(testing::PstReader::Pypff,
                                             h.destination / "1_Recovered_Inbox_As_PST" / "Recovered_Inbox.pst",
                                             h.dir / "read", missing);
    if (!store)
        GTEST_SKIP() << missing;
    EXPECT_EQ(store->at("Inbox").size(), 2u);
}

TEST(StoreOutputs, MsgAndRtfFilesHoldEveryMailAndRtfAttachmentsLieBeside)
{
    if (!testing::havePythonOracle())
        GTEST_SKIP() << "no Python to read the mails with";
    for (const SaveOption option : {SaveOption::SAVEASMSG, SaveOption::SAVEASRTF}) {
        const bool rtf = option == SaveOption::SAVEASRTF;
        SCOPED_TRACE(rtf ? "rtf" : "msg");
        JobHarness h;
        const Samples mails = samples(h.dir.path());
        h.request.m_nSaveOption = option;
        h.addSource("Inbox.dbx", DbxFixture(mails.texts));
        ASSERT_EQ(h.run(), 0);
        const fs::path out = h.destination / (rtf ? "1_Recovered_Inbox_As_RTF" : "1_Recovered_Inbox_As_MSG");
        for (std::size_t m = 0; m < mails.oracle.size(); ++m) {
            const OracleMail& want = mails.oracle[m];
            const std::string name = strprintf("Recovered_msg_%06zu", m + 1);
            SCOPED_TRACE(name);
            const fs::path file = out / (name + (rtf ? ".rtf" : ".msg"));
            struct stat status {};
            ASSERT_EQ(::stat(file.c_str(), &status), 0);
            READ_WITH_PEERS(peers, rtf ? "rtf" : "ole", file);
            if (!rtf) {
                EXPECT_EQ(peers.text("ole.text", "__substg1.0_0037001F"), want.subject);
                if (want.textBody) {
                    EXPECT_EQ(comparable(peers.text("ole.text", "__substg1.0_1000001F")),
                              comparable(*want.textBody));
                }
                continue;
            }
            EXPECT_NE(peers.text("rtf.html").find(want.subject), std::string::npos);
            // The attachments lie beside, byte for byte; a mail without any gets no folder.
            EXPECT_EQ(fs::exists(out / name), !want.attachments.empty());
            std::size_t found = 0;
            std::error_code none;
            for (const auto& entry : fs::directory_iterator(out / name, none))
                found += fs::is_regular_file(entry);
            EXPECT_EQ(found, want.attachments.size());
            for (const auto& attachment : want.attachments) {
                if (attachment.bytes && !attachment.fileName.empty() && !attachment.isMessage
                    && fs::exists(out / name / attachment.fileName)) {
                    EXPECT_EQ(testing::readFile(out / name / attachment.fileName), *attachment.bytes);
                }
            }
        }
        EXPECT_TRUE(fs::is_empty(h.temp)) << "the scratch store and mails are gone";
    }
}

} // namespace
} // namespace mailmend::recovery
