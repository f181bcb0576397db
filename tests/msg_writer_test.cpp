// SPDX-License-Identifier: GPL-3.0-or-later
// .msg files written from hand-built mails, read back by olefile and msgconvert.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <stdexcept>

#include "mailstore/attachment_names.h"
#include "mailstore/msg/msg_writer.h"
#include "msgrtf_peer.h"
#include "support/temp_dir.h"

namespace mailmend::mailstore {
namespace {

using testing::attachment;
using testing::digestOf;
using testing::fromHex;

MailMessage baseMail()
{
    MailMessage mail;
    mail.subject = "Quarterly report";
    mail.from = {"Alice Example", "alice@example.org"};
    mail.to = {{"Bob", "bob@example.org"}, {"", "carol@example.org"}};
    mail.cc = {{"Dave D", "dave@example.org"}};
    mail.date = 1704103200; // Mon, 1 Jan 2024 10:00:00 +0000
    mail.messageId = "<1234@example.org>";
    mail.textBody = "Hello Bob,\nthe report is attached.\n\nAlice\n";
    return mail;
}

bool isAscii(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c > 0; });
}

std::string withoutCr(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

std::string contentOf(const MailAttachment& a)
{
    std::string bytes;
    auto source = a.open();
    char piece[4096];
    for (std::ptrdiff_t n; (n = source->read(piece, sizeof piece)) > 0;)
        bytes.append(piece, static_cast<std::size_t>(n));
    return bytes;
}

bool hasStream(const testing::PeerRecords& peers, const std::string& path)
{
    for (const auto& fields : peers.all("ole.data")) {
        if (fields[0] == path)
            return true;
    }
    return !peers.text("ole.text", path).empty();
}

TEST(MsgWriter, PeersReadBackWhatWasWritten)
{
    const std::string cyrillic = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";
    const std::string emoji = "\xF0\x9F\x98\x80";
    struct Case {
        const char* name;
        MailMessage mail;
        std::string body; // PidTagBody as olefile reads it
    };
    std::vector<Case> cases = {{"plain", baseMail(), "Hello Bob,\r\nthe report is attached.\r\n\r\nAlice\r\n"},
                               {"html only", baseMail(), "Hello Bob & Carol\r\n\r\nSecond"},
                               {"non-ASCII", baseMail(), cyrillic + "\r\n" + emoji + " ok\r\n\r\nx\r\n"},
                               {"attached mail", baseMail(), "Hello Bob,\r\nthe report is attached.\r\n\r\nAlice\r\n"}};
    cases[0].mail.attachments = {attachment("report.pdf", "application/pdf", std::string(512, 'p')),
                                 attachment("data.bin", "application/octet-stream", std::string(10000, '\x01')),
                                 attachment("", "image/png", "\x89PNG....")};
    cases[0].mail.attachments[2].isInline = true;
    cases[0].mail.attachments[2].contentId = "logo@example.org";
    cases[1].mail.textBody.clear();
    cases[1].mail.htmlBody = "<html><body><p>Hello&nbsp;Bob &amp; Carol</p>\n<p>Second</p></body></html>";
    Case& unicode = cases[2];
    unicode.mail.subject = "Pr\xC3\xBC" "fung \xE2\x82\xAC" "100 \xE6\x97\xA5\xE6\x9C\xAC " + emoji;
    unicode.mail.from.name = "J\xC3\xBCrgen";
    unicode.mail.textBody = cyrillic + "\r\n" + emoji + " ok\r\rx\n"; // CR LF, a lone CR, LF
    unicode.mail.htmlBody = "<p>" + cyrillic + "</p>";
    unicode.mail.attachments = {attachment("\xC3\x9C" "berblick.txt", "text/plain", "x")};
    cases[3].mail.transportHeaders = "From: Alice Example <alice@example.org>\r\nSubject: Quarterly report\r\n"
                                     "Date: Mon, 1 Jan 2024 10:00:00 +0000\r\nMessage-ID: <1234@example.org>";
    cases[3].mail.attachments = {attachment("", "message/rfc822", "Subject: inner\r\n\r\nInner body\r\n")};
    cases[3].mail.attachments[0].isMessage = true;

    testing::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MailMessage& mail = c.mail;
        const std::filesystem::path file = dir / (std::string(c.name) + ".msg");
        std::string error;
        ASSERT_TRUE(writeMsgFile(mail, file, {}, error)) << error;
        READ_WITH_PEERS(peers, "msg", file);

        // olefile: the layout, and every string exactly, non-ASCII included.
        EXPECT_EQ(peers.all("ole.problem").size(), 0u) << peers.all("ole.problem")[0][1];
        EXPECT_EQ(peers.text("ole.text", "__substg1.0_001A001F"), "IPM.Note");
        EXPECT_EQ(peers.text("ole.text", "__substg1.0_0037001F"), mail.subject);
        EXPECT_EQ(peers.text("ole.text", "__substg1.0_0C1F001F"), mail.from.address);
        EXPECT_EQ(peers.text("ole.text", "__substg1.0_0042001F"), mail.from.name);
        EXPECT_EQ(peers.text("ole.text", "__substg1.0_0E04001F"), "Bob; carol@example.org");
        EXPECT_EQ(peers.text("ole.text", "__substg1.0_1035001F"), mail.messageId);
        EXPECT_EQ(peers.text("ole.text", "__substg1.0_1000001F"), c.body);
        for (const char* stream : {"__properties_version1.0", "__nameid_version1.0/__substg1.0_00020102",
                                   "__recip_version1.0_#00000002/__properties_version1.0"})
            EXPECT_TRUE(hasStream(peers, stream)) << stream;
        const std::vector<std::string> names = attachmentFileNames(mail);
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string storage = "__attach_version1.0_#0000000" + std::to_string(i) + "/";
            EXPECT_EQ(peers.text("ole.text", storage + "__substg1.0_3707001F"), names[i]);
        }

        // msgconvert: the mail as a mail program sees it (it garbles non-ASCII text).
        EXPECT_NE(peers.text("eml.header", "From").find(mail.from.address), std::string::npos);
        EXPECT_NE(peers.text("eml.header", "To").find("carol@example.org"), std::string::npos);
        EXPECT_NE(peers.text("eml.header", "Cc").find("Dave D <dave@example.org>"), std::string::npos);
        EXPECT_NE(peers.text("eml.header", "Date").find("01 Jan 2024 10:00:00 +0000"), std::string::npos);
        EXPECT_EQ(peers.text("eml.header", "Message-ID"), mail.messageId);
        if (isAscii(mail.subject)) {
            EXPECT_EQ(peers.text("eml.header", "Subject"), mail.subject);
            EXPECT_EQ(peers.text("eml.plain"), withoutCr(c.body));
            EXPECT_EQ(peers.text("eml.html"), mail.htmlBody);
        }
        const auto found = peers.all("eml.attachment");
        ASSERT_EQ(found.size(), mail.attachments.size());
        for (std::size_t i = 0; i < found.size(); ++i) {
            if (isAscii(names[i])) {
                EXPECT_EQ(fromHex(found[i][0]), names[i]);
            }
            EXPECT_EQ(found[i][1] + " " + found[i][2], digestOf(contentOf(mail.attachments[i])));
        }
    }
}

TEST(MsgWriter, AttachedMailIsEmbeddedWhenItParses)
{
    const struct {
        bool parses;
        const char* expected; // what msgconvert shows of it
    } cases[] = {{true, "eml.message"}, {false, "eml.attachment"}};
    testing::TempDir dir;
    for (const auto& c : cases) {
        MailMessage mail = baseMail();
        mail.attachments = {attachment("forwarded.eml", "message/rfc822", "Subject: inner\r\n\r\nInner\r\n")};
        mail.attachments[0].isMessage = true;
        MsgOptions options;
        options.parseAttachedMail = [&](std::string text) {
            if (!c.parses)
                throw std::runtime_error("unreadable");
            MailMessage inner;
            inner.subject = "inner";
            inner.textBody = text;
            inner.attachments = {attachment("deep.txt", "text/plain", "deep")};
            return inner;
        };
        const std::filesystem::path file = dir / "embedded.msg";
        std::string error;
        ASSERT_TRUE(writeMsgFile(mail, file, options, error)) << error;
        READ_WITH_PEERS(peers, "msg", file);
        EXPECT_EQ(peers.all("ole.problem").size(), 0u);
        const std::string inner = "__attach_version1.0_#00000000/__substg1.0_3701000D/";
        EXPECT_EQ(hasStream(peers, inner + "__substg1.0_0037001F"), c.parses);
        EXPECT_EQ(hasStream(peers, inner + "__nameid_version1.0/__substg1.0_00020102"), false);
        ASSERT_EQ(peers.all(c.expected).size(), 1u);
        EXPECT_EQ(fromHex(peers.all(c.expected)[0][0]), "forwarded.eml");
        EXPECT_EQ(peers.all("eml.attachment").size(), c.parses ? 1u : 1u);
    }
}

TEST(MsgWriter, FailureLeavesNoFile)
{
    class BrokenSource final : public ByteSource {
    public:
        std::ptrdiff_t read(char* buffer, std::size_t count) override
        {
            if (m_calls++ > 0)
                return -1;
            std::fill(buffer, buffer + count, 'b');
            return static_cast<std::ptrdiff_t>(count);
        }

    private:
        int m_calls = 0;
    };
    testing::TempDir dir;
    MailMessage broken = baseMail();
    broken.attachments = {attachment("big.bin", "application/octet-stream", "")};
    broken.attachments[0].open = [] { return std::make_unique<BrokenSource>(); };
    const struct {
        MailMessage mail;
        std::filesystem::path path;
    } cases[] = {{broken, dir / "broken.msg"}, {baseMail(), dir / "no such folder" / "mail.msg"}};
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(writeMsgFile(c.mail, c.path, {}, error));
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(std::filesystem::exists(c.path)) << c.path;
    }
}

TEST(MsgWriter, LargeAttachmentAndTenThousandAttachments)
{
    MailMessage mail = baseMail();
    for (int i = 0; i < 10000; ++i)
        mail.attachments.push_back(attachment("part" + std::to_string(i) + ".txt", "text/plain", std::to_string(i)));
    std::string bigDigest;
    mail.attachments.back() = testing::generatedAttachment("big.bin", std::uint64_t{100} << 20, bigDigest);
    testing::TempDir dir;
    const std::filesystem::path file = dir / "large.msg";
    std::string error;
    ASSERT_TRUE(writeMsgFile(mail, file, {}, error)) << error;
    READ_WITH_PEERS(peers, "ole", file);
    EXPECT_EQ(peers.all("ole.problem").size(), 0u);
    std::set<std::string> names;
    std::string big;
    for (const auto& fields : peers.all("ole.text")) {
        if (fields[0].size() > 20 && fields[0].compare(fields[0].size() - 20, 20, "__substg1.0_3707001F") == 0)
            names.insert(fromHex(fields[1]));
    }
    for (const auto& fields : peers.all("ole.data")) {
        if (fields[1] == std::to_string(std::uint64_t{100} << 20))
            big = fields[1] + " " + fields[2];
    }
    EXPECT_EQ(names.size(), mail.attachments.size() + 4); // and the four carriers
    EXPECT_EQ(names.count("part1234.txt"), 1u);
    EXPECT_EQ(big, bigDigest);
    // Past 2048 attachments the last places hold messages that carry the rest: 2044 in
    // place, then 2048 in each carrier, so the last attachment is the fourth's 1812th.
    EXPECT_TRUE(hasStream(peers, "__attach_version1.0_#000007FF/__substg1.0_3701000D/__attach_version1.0_#00000713/"
                                 "__substg1.0_37010102"));
}

} // namespace
} // namespace mailmend::mailstore
