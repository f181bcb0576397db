// SPDX-License-Identifier: GPL-3.0-or-later
// The mail parser against Python's email package on the sample mails and on real mails,
// on hostile mails, and streaming generated mails back.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "dbx/dbx_file.h"
#include "mailstore/mime/mime_parser.h"
#include "mailstore/mime/part_content.h"
#include "mailstore/mime/text_to_utf8.h"
#include "support/mail_oracle.h"
#include "support/mail_samples.h"
#include "support/temp_dir.h"

namespace mailmend::mailstore {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

std::string readAll(const MailAttachment& attachment)
{
    return mime::readAll(*attachment.open());
}

// Mailboxes and attachments of either side as text.
auto mailboxes = [](const auto& list) {
    std::string out;
    for (const auto& mailbox : list)
        out += mailbox.name + " <" + mailbox.address + ">; ";
    return out;
};
auto describe = [](const auto& attachment) {
    return attachment.fileName + "|" + attachment.mimeType + "|" + attachment.contentId
        + (attachment.isMessage ? "|attached mail" : "");
};

void expectMatchesPython(const fs::path& path)
{
    SCOPED_TRACE(path.filename().string());
    auto python = testing::readWithPython(path);
    const auto ours = parseMailFile(path);
    ASSERT_TRUE(python && ours);
    python->from.resize(1); // ours is the first From mailbox, empty when there is none
    EXPECT_EQ(ours->subject, python->subject);
    EXPECT_EQ(mailboxes(std::vector {ours->from}), mailboxes(python->from));
    EXPECT_EQ(mailboxes(ours->to), mailboxes(python->to));
    EXPECT_EQ(mailboxes(ours->cc), mailboxes(python->cc));
    EXPECT_EQ(ours->date, python->date);
    EXPECT_EQ(ours->textBody, python->textBody.value_or(""));
    EXPECT_EQ(ours->htmlBody, python->htmlBody.value_or(""));
    ASSERT_EQ(ours->attachments.size(), python->attachments.size());
    for (std::size_t i = 0; i < ours->attachments.size(); ++i) {
        const MailAttachment& mine = ours->attachments[i];
        const testing::OracleAttachment& theirs = python->attachments[i];
        EXPECT_EQ(describe(mine), describe(theirs));
        EXPECT_EQ(mine.isMessage ? parseMailText(readAll(mine)).subject : readAll(mine),
                  theirs.isMessage ? theirs.innerSubject : theirs.bytes.value_or("(large)"));
    }
}

TEST(MimeParser, SampleAndRealMailsReadAsPythonReadsThem)
{
    if (!testing::havePythonOracle())
        GTEST_SKIP() << "the system's Python is not installed";
    testing::TempDir dir;
    for (const testing::MailSample& sample : testing::mailSamples()) {
        std::ofstream(dir / (sample.name + ".eml"), std::ios::binary) << sample.text;
        expectMatchesPython(dir / (sample.name + ".eml"));
    }
    std::error_code ec; // the real .dbx files, when they are there
    for (const auto& entry : fs::directory_iterator(MAILMEND_REAL_CORPUS, ec)) {
        dbx::DbxFile reader;
        std::int32_t count = 0;
        if (entry.path().extension() == ".dbx" && reader.open(entry.path().string()))
            reader.findConvertableMails(count);
        for (std::string written; count-- > 0;)
            if (reader.saveMailToEML(dir.path(), written, count))
                expectMatchesPython(written);
    }
}

// What Python does not report: the stored header block and ids, the Received date,
// inline parts, and an attached mail handed out byte for byte as it is stored.
TEST(MimeParser, KeepsWhatIsStored)
{
    const MailMessage latin = parseMailText(testing::mailSample("latin1-qp").text);
    EXPECT_TRUE(latin.transportHeaders.starts_with("From: "));
    EXPECT_TRUE(latin.transportHeaders.ends_with("quoted-printable\n"));
    EXPECT_EQ(latin.receivedDate, 1107764161);
    EXPECT_EQ(parseMailText(testing::mailSample("plain-only").text).messageId,
              "<plain.1@example.org>");
    const MailMessage nested = parseMailText(testing::mailSample("nested-related").text);
    ASSERT_EQ(nested.attachments.size(), 3u);
    EXPECT_TRUE(nested.attachments[0].isInline); // the chart the HTML body shows
    EXPECT_FALSE(nested.attachments[1].isInline);
    for (const char* name : {"attached-mail", "attached-mail-lf"}) {
        const std::string& text = testing::mailSample(name).text;
        const std::string stored = readAll(parseMailText(text).attachments.at(0));
        const std::string lineEnd = text.find('\r') != std::string::npos ? "\r\n" : "\n";
        EXPECT_TRUE(stored.starts_with("From: Old Sender "));
        EXPECT_TRUE(stored.ends_with("--inner-b--" + lineEnd));
        EXPECT_NE(text.find(stored + lineEnd + "--outer-b"), std::string::npos);
    }
}

// Each hostile mail is read without a crash, in bounded time and memory, with valid
// UTF-8 out, ids without brackets, and its text "MARKER" comes out somewhere (body or
// attachment).
TEST(MimeParser, HostileMailsLoseNothing)
{
    auto repeat = [](const std::string& text, int count) {
        std::string out;
        while (count-- > 0)
            out += text;
        return out;
    };
    auto nested = [](int depth) {
        std::string head, tail;
        for (int i = 0; i < depth; ++i) {
            const std::string b = std::to_string(i);
            head += "Content-Type: multipart/mixed; boundary=\"" + b + "\"\n\n--" + b + "\n";
            tail.insert(0, "\n--" + b + "--");
        }
        return head + "Content-Type: text/plain\n\nMARKER" + tail;
    };
    const std::string mb(3 << 20, 'x');
    const std::pair<const char*, std::string> cases[] = {
        {"nested 1000 deep", nested(1000)},
        {"nested deeper than GMime splits", nested(3000)},
        {"boundary never comes", "Content-Type: multipart/mixed; boundary=gone\n\n--x\n\nMARKER"},
        {"broken base64", "Content-Transfer-Encoding: base64\n\naGVsbG8g*%TUFSS0VSIHdvcmxk\n!\nd2"},
        {"broken quoted-printable", "Content-Transfer-Encoding: quoted-printable\n\n=ZZ MARKER =4"},
        {"unknown charset", "Content-Type: text/plain; charset=x-none\n\nMARKER \xe9\xff\x80\n"},
        {"wrong charset", "Content-Type: text/plain; charset=utf-8\n\nMARKER caf\xe9\n"},
        {"100 000 header lines", repeat("X-Filler: some value\n", 100000) + "\nMARKER"},
        {"header folded over 100 000 lines", "Subject: a\n" + repeat(" b\n", 100000) + "\nMARKER"},
        {"lines of megabytes", "Subject: " + mb + "\n\n" + mb + "MARKER" + mb},
        {"zero bytes in the header", "Subject: a\0b\nFrom: \0\n\nMARKER\0"s},
        {"binary garbage", "\x89PNG\r\n\x1a\n\0\0\xff\xfe"s + mb + "MARKER"},
        {"countless tiny parts", "Content-Type: multipart/mixed; boundary=b\n\n"
                                     + repeat("--b\n\nx\n", 200000) + "--b\n\nMARKER\n--b--\n"},
        {"attached mail that ends early", "Content-Type: multipart/mixed; boundary=q\n\n--q\n"
                                          "Content-Type: message/rfc822\n\nSubject: i\n\nMARKER"},
        {"content id that is no id", "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: image/png\n"
                                     "Content-ID: <a <b@c.d>\n\nMARKER\n--b--\n"},
    };
    for (const auto& [name, text] : cases) {
        SCOPED_TRACE(name);
        const MailMessage mail = parseMailText(text);
        std::string everything = mail.textBody + mail.htmlBody + mail.subject;
        for (const MailAttachment& attachment : mail.attachments) {
            everything += readAll(attachment) + attachment.fileName + attachment.mimeType;
            EXPECT_EQ(attachment.contentId.find_first_of("<>"), std::string::npos);
        }
        EXPECT_NE(everything.find("MARKER"), std::string::npos);
        EXPECT_TRUE(mime::isValidUtf8(mail.textBody + mail.htmlBody + mail.subject));
    }
}

// 10 000 attachments all come; 20 MB come back through the stream byte for byte, from
// each open() anew, also after the file is deleted.
TEST(MimeParser, GeneratedMailsStreamBack)
{
    testing::TempDir dir;
    testing::writeMailWithAttachments(dir / "many.eml", 10000);
    const auto many = parseMailFile(dir / "many.eml");
    ASSERT_TRUE(many && many->attachments.size() == 10000u);
    EXPECT_EQ(many->attachments[9999].fileName, "file-9999.txt");
    EXPECT_EQ(readAll(many->attachments[9999]), "attachment 9999\n");
    EXPECT_FALSE(parseMailFile(dir / "missing.eml"));

    constexpr std::uint64_t kSize = 20'000'000;
    testing::writeMailWithLargeAttachment(dir / "large.eml", kSize);
    const auto large = parseMailFile(dir / "large.eml");
    fs::remove(dir / "large.eml");
    ASSERT_TRUE(large && large->attachments.size() == 1u);
    for (int round = 0; round < 2; ++round) {
        auto source = large->attachments[0].open();
        std::vector<char> got(65536), expected(65536);
        std::uint64_t total = 0;
        for (std::ptrdiff_t n; (n = source->read(got.data(), got.size())) > 0; total += n) {
            testing::largeAttachmentBytes(total, expected.data(), static_cast<std::size_t>(n));
            ASSERT_TRUE(std::equal(got.begin(), got.begin() + n, expected.begin())) << total;
        }
        EXPECT_EQ(total, kSize);
    }
}

} // namespace
} // namespace mailmend::mailstore
