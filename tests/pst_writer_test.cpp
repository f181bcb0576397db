// SPDX-License-Identifier: GPL-3.0-or-later
// The PST writer, checked by the peer readers: every folder, mail, body and attachment
// written must come back from readpst, pffexport and pypff.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "mailstore/pst/pst_writer.h"
#include "platform/cancellation.h"
#include "support/pst_readback.h"
#include "support/temp_dir.h"

namespace mailmend::mailstore::pst {
namespace {

namespace fs = std::filesystem;
using mailmend::testing::PstReader;
using mailmend::testing::ReadMail;
using mailmend::testing::ReadStore;

constexpr std::int64_t kImportTime = 1600000000; // the time a mail without dates gets
constexpr int kStopSeed = 99; // the seed of a source that presses Stop

// A run's stop, pressed while an attachment is read.
platform::CancellationToken gStop;

// Bytes made up as they are read, so that no side holds a large attachment whole. After
// `failAfter` bytes a source fails, as a broken input would, or presses Stop.
class PatternSource : public ByteSource {
public:
    PatternSource(std::uint64_t size, int seed, std::int64_t failAfter)
        : m_size(size), m_seed(seed), m_failAfter(failAfter) {}
    std::ptrdiff_t read(char* buffer, std::size_t count) override
    {
        if (m_failAfter >= 0 && m_at >= static_cast<std::uint64_t>(m_failAfter) && m_seed != kStopSeed)
            return -1;
        if (m_failAfter >= 0 && m_at >= static_cast<std::uint64_t>(m_failAfter))
            gStop.cancel();
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, m_size - m_at));
        for (std::size_t i = 0; i < n; ++i)
            buffer[i] = static_cast<char>(((m_at + i) * 131 + m_seed) % 251);
        m_at += n;
        return static_cast<std::ptrdiff_t>(n);
    }

private:
    std::uint64_t m_size, m_at = 0;
    int m_seed;
    std::int64_t m_failAfter;
};

struct AttachmentShape {
    AttachmentShape(std::string n, std::uint64_t s = 100,
                   std::string mime = "application/octet-stream", std::string cid = {},
                   bool message = false, std::int64_t fail = -1)
        : name(std::move(n)), size(s), mimeType(std::move(mime)), contentId(std::move(cid)),
          isMessage(message), failAfter(fail) {}
    std::string name;
    std::uint64_t size;
    std::string mimeType;
    std::string contentId;
    bool isMessage;
    std::int64_t failAfter;
};

MailAttachment attachment(const AttachmentShape& shape, int seed)
{
    MailAttachment a;
    a.fileName = shape.name;
    a.mimeType = shape.mimeType;
    a.contentId = shape.contentId;
    a.isInline = !shape.contentId.empty();
    a.isMessage = shape.isMessage;
    a.open = [shape, seed] { return std::make_unique<PatternSource>(shape.size, seed, shape.failAfter); };
    return a;
}

MailMessage mail(std::string subject, std::vector<AttachmentShape> attachments = {})
{
    MailMessage m;
    m.subject = std::move(subject);
    m.from = {"Ann Sender", "ann@example.com"};
    m.to = {{"Bob Reader", "bob@example.com"}, {"", "carl@example.org"}};
    m.cc = {{"Dora", "dora@example.net"}};
    m.date = 1700000000;
    m.messageId = "<" + std::to_string(std::hash<std::string> {}(m.subject)) + "@example.com>";
    m.textBody = "Hello,\nthis is " + m.subject + ".\n";
    int seed = 0;
    for (const AttachmentShape& shape : attachments)
        m.attachments.push_back(attachment(shape, seed++));
    return m;
}

struct FolderMails {
    FolderMails(std::string p, std::vector<MailMessage> m = {}) : path(std::move(p)), mails(std::move(m)) {}
    std::string path; // below the IPM subtree, "Inbox/Sub"
    std::vector<MailMessage> mails;
};

// Subjects the store keeps otherwise: a leading control character goes (readpst would take
// it for a marker of the older format), and a reply marker is kept apart from the topic.
// (All test subjects start in ASCII: pffexport drops the first character of any other.)
const std::map<std::string, std::pair<std::string, std::string>> kStoredSubjects {
    {"\x01\x02" "Control first", {"Control first", "Control first"}},
    {"Re: A reply", {"Re: A reply", "A reply"}},
    {"AW:  Eine Antwort", {"AW:  Eine Antwort", "Eine Antwort"}},
    {"SV: Svar", {"SV: Svar", "Svar"}},
    {"Fwd4: four letters", {"Fwd4: four letters", "Fwd4: four letters"}},
    {"12: digits", {"12: digits", "12: digits"}},
};

std::string storedSubject(const MailMessage& m)
{
    const auto it = kStoredSubjects.find(m.subject);
    return it == kStoredSubjects.end() ? m.subject : it->second.first;
}

// The mails of one store, one kind per entry.
std::vector<FolderMails> variantMails()
{
    std::vector<MailMessage> mails;
    auto add = [&mails](MailMessage m) { mails.push_back(std::move(m)); };
    add(mail("Plain only"));
    add(mail("Latin-1 accents: Grüße aus Köln, déjà vu"));
    add(mail("Cyrillic: Привет, мир"));
    add(mail("CJK: 你好，世界 こんにちは 안녕하세요"));
    add(mail("Emoji: party 🎉 and smile 😀"));
    {
        MailMessage m = mail("HTML only");
        m.textBody.clear();
        m.htmlBody = "<html><body><p>Only <b>HTML</b> — ünïcödé ✓</p></body></html>";
        add(m);
    }
    {
        MailMessage m = mail("Both bodies");
        m.htmlBody = "<html><body><p>Both bodies</p><img src=\"cid:logo@x\"></body></html>";
        m.from = {"Ñandú Jiménez", "nandu@example.es"};
        m.textBody = "Körper mit Umlauten\nВторая строка\n第三行 🙂\n";
        add(m);
    }
    add(mail("One attachment", {{"report.pdf", 5000, "application/pdf"}}));
    add(mail("Three attachments incl. inline image",
             {{"notes.txt", 10, "text/plain"},
              {"logo.png", 4000, "image/png", "logo@x"},
              {"данные 数据.bin", 70000}}));
    add(mail("Attached mail", {{"forwarded.eml", 3000, "message/rfc822", "", true}}));
    add(mail(""));
    add(mail("An unread draft"));
    for (const auto& subject : kStoredSubjects)
        add(mail(subject.first));
    {
        MailMessage m = mail("No recipients");
        m.to.clear();
        m.cc.clear();
        add(m);
    }
    {
        MailMessage m = mail("No date");
        m.date.reset();
        add(m);
    }
    {
        MailMessage m = mail("Long subject " + std::string(5000, 'x'));
        m.textBody = std::string(300000, 'b') + "\n";
        add(m);
    }
    {
        MailMessage m = mail("With its header block");
        m.transportHeaders = "From: Ann Sender <ann@example.com>\r\nTo: Bob Reader "
                             "<bob@example.com>\r\nSubject: With its header block\r\n"
                             "Date: Tue, 14 Nov 2023 22:13:20 +0000\r\nMIME-Version: 1.0";
        add(m);
    }
    return {{"Inbox", mails}};
}

std::vector<FolderMails> manyMails(int count)
{
    std::vector<FolderMails> folders {{"Inbox"}, {"Inbox/Archive 2023"}, {"Sent"}};
    for (int i = 0; i < count; ++i)
        folders[static_cast<std::size_t>(i % 3)].mails.push_back(
            mail("Mail number " + std::to_string(i), i % 10 ? std::vector<AttachmentShape> {}
                                                            : std::vector<AttachmentShape> {{"a.bin", 9000}}));
    return folders;
}

// The mails a store keeps: one whose attachment fails to read is refused (the store stays
// as it was), and from a stop on no mail is added.
std::vector<const MailMessage*> keptMails(const FolderMails& folder)
{
    std::vector<const MailMessage*> kept;
    for (const MailMessage& m : folder.mails) {
        if (m.subject.rfind("Stopped", 0) == 0)
            break;
        if (m.subject.rfind("Broken", 0) != 0)
            kept.push_back(&m);
    }
    return kept;
}

MessageOptions optionsFor(const MailMessage& m)
{
    return {m.subject.find("draft") == std::string::npos,
            m.subject.find("unread") == std::string::npos, kImportTime};
}

struct StoreCase {
    const char* name;
    std::function<std::vector<FolderMails>()> build;
};

const StoreCase kStoreCases[] = {
    {"NoMails", [] { return std::vector<FolderMails> {{"Inbox"}}; }},
    {"OneMail", [] { return std::vector<FolderMails> {{"Inbox", {mail("The only mail")}}}; }},
    {"TwoMailsNested",
     [] {
         return std::vector<FolderMails> {{"Inbox"}, {"Inbox/Lists"},
                                          {"Inbox/Lists/Ünïcode ✓", {mail("Deep one")}},
                                          {"Projects", {mail("Second one")}}};
     }},
    {"Variants", variantMails},
    {"FiveThousandMails", [] { return manyMails(5000); }},
    // Mails fail half-way, a stop comes in the middle of one, and the store is closed.
    {"ClosedAfterFailuresAndStop",
     [] {
         MailMessage stopped = mail("Stopped in its attachment");
         stopped.attachments.push_back(
             attachment({"stop.bin", 300000, "a/b", "", false, 100000}, kStopSeed));
         return std::vector<FolderMails> {
             {"Inbox",
              {mail("Before"), mail("Broken late", {{"ok.txt"}, {"late.bin", 200000, "a/b", "", false, 100000}}),
               mail("Between"), mail("Broken early", {{"early.bin", 5000, "a/b", "", false, 0}}),
               mail("Still in"), stopped, mail("After the stop")}}};
     }},
    {"TwentyMegabyteAttachment",
     [] { return std::vector<FolderMails> {{"Inbox", {mail("Big", {{"big.bin", 20u << 20}})}}}; }},
    {"TenThousandAttachments",
     [] {
         std::vector<AttachmentShape> shapes;
         for (int i = 0; i < 10000; ++i)
             shapes.push_back({"part" + std::to_string(i) + ".txt", 40, "text/plain"});
         return std::vector<FolderMails> {{"Inbox", {mail("Many parts", shapes)}}};
     }},
};

// Writes the folders and mails; the folders of each path are made as needed.
void writeStore(const fs::path& path, const std::vector<FolderMails>& folders)
{
    PstWriter writer;
    gStop.reset();
    writer.setCancellation(&gStop);
    ASSERT_TRUE(writer.create(path, "Recovered Mails")) << writer.lastError();
    for (const FolderMails& folder : folders) {
        FolderId id = writer.ipmSubtree();
        std::string::size_type start = 0;
        while (start <= folder.path.size()) {
            const auto end = std::min(folder.path.find('/', start), folder.path.size());
            const std::string name = folder.path.substr(start, end - start);
            const auto children = writer.childFolders(id);
            auto found = std::find_if(children.begin(), children.end(),
                                      [&](FolderId c) { return writer.folderName(c) == name; });
            id = found != children.end() ? *found : writer.addFolder(id, name).value_or(0);
            ASSERT_NE(id, 0u) << writer.lastError();
            start = end + 1;
        }
        const auto kept = keptMails(folder);
        for (const MailMessage& m : folder.mails)
            ASSERT_EQ(writer.addMessage(id, m, optionsFor(m)),
                      std::find(kept.begin(), kept.end(), &m) != kept.end())
                << writer.lastError();
    }
    ASSERT_TRUE(writer.close()) << writer.lastError();
}

std::string withoutCarriageReturns(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

// libpff of this age decodes characters beyond U+FFFF wrongly; they are compared as '?'.
std::string maskAstral(const std::string& text, PstReader reader)
{
    if (reader == PstReader::Readpst)
        return text;
    std::string masked;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xF8) == 0xF0) {
            masked += '?';
            i += 3;
        } else {
            masked += text[i];
        }
    }
    return masked;
}

// readpst sees at most the attachments whose table rows fit one block (it reads no
// further) and none of a mail with more than 340 parts (it reads no two-level lists).
constexpr std::size_t kReadpstAttachmentLimit = 300;

void expectMail(const ReadMail& got, const MailMessage& sent, PstReader reader)
{
    auto field = [&got](const char* key) {
        const auto it = got.fields.find(key);
        return it == got.fields.end() ? std::string() : it->second;
    };
    auto same = [reader](const std::string& text) {
        return maskAstral(withoutCarriageReturns(text), reader);
    };
    SCOPED_TRACE("mail \"" + sent.subject.substr(0, 60) + "\"");
    EXPECT_EQ(field("subject"), same(storedSubject(sent)));
    const auto topic = kStoredSubjects.find(sent.subject);
    if (reader == PstReader::Pffexport && topic != kStoredSubjects.end()) {
        EXPECT_EQ(field("topic"), topic->second.second);
    }
    EXPECT_EQ(field("sender"), same(sent.from.name));
    EXPECT_EQ(field("date"), std::to_string(sent.date.value_or(kImportTime)));
    EXPECT_EQ(same(field("plain")), same(sent.textBody));
    EXPECT_EQ(same(field("html")), same(sent.htmlBody));
    if (reader == PstReader::Pffexport) {
        const MessageOptions options = optionsFor(sent);
        const int flags = (options.read ? 0x01 : 0) | (options.sent ? 0 : 0x08)
            | (sent.attachments.empty() ? 0 : 0x10);
        EXPECT_EQ(std::stoi(field("flags"), nullptr, 16), flags);
    }
    if (reader != PstReader::Pypff) {
        EXPECT_EQ(field("address"), sent.from.address);
        const std::string cc = sent.cc.empty() ? "" : sent.cc.front().name;
        EXPECT_EQ(field("cc"), cc);
    }
    if (reader == PstReader::Readpst && sent.attachments.size() > kReadpstAttachmentLimit)
        return;
    ASSERT_EQ(got.attachments.size(), sent.attachments.size());
    // readpst lists attached mails and inline images after the others.
    std::map<std::string, const mailmend::testing::ReadAttachment*> byName;
    for (const auto& a : got.attachments)
        byName[a.name] = &a;
    for (const MailAttachment& a : sent.attachments) {
        const auto it = byName.find(same(a.fileName));
        ASSERT_NE(it, byName.end()) << a.fileName;
        auto source = a.open();
        std::vector<char> buffer(1 << 16);
        std::uint64_t size = 0;
        std::uint32_t crc = 0;
        for (std::ptrdiff_t n; (n = source->read(buffer.data(), buffer.size())) > 0;) {
            crc = mailmend::testing::zlibCrc(buffer.data(), static_cast<std::size_t>(n), crc);
            size += static_cast<std::uint64_t>(n);
        }
        EXPECT_EQ(it->second->size, size) << a.fileName;
        EXPECT_EQ(it->second->crc, crc) << a.fileName;
        if (reader != PstReader::Pffexport) {
            EXPECT_EQ(it->second->mimeType, a.isMessage ? "message/rfc822" : a.mimeType) << a.fileName;
            EXPECT_EQ(it->second->contentId, a.contentId) << a.fileName;
        }
    }
}

void expectStore(const ReadStore& got, const std::vector<FolderMails>& folders, PstReader reader)
{
    for (const FolderMails& folder : folders) {
        SCOPED_TRACE("folder " + folder.path);
        const auto it = got.find(maskAstral(folder.path, reader));
        // readpst makes no directory for a folder without mails.
        if (folder.mails.empty() && reader == PstReader::Readpst)
            continue;
        ASSERT_NE(it, got.end());
        const std::vector<ReadMail>& mails = it->second;
        const auto kept = keptMails(folder);
        ASSERT_EQ(mails.size(), kept.size());
        std::map<std::string, const ReadMail*> bySubject;
        for (const ReadMail& m : mails)
            bySubject[m.fields.count("subject") ? m.fields.at("subject") : ""] = &m;
        for (const MailMessage* sent : kept) {
            const auto match = bySubject.find(maskAstral(storedSubject(*sent), reader));
            ASSERT_NE(match, bySubject.end()) << sent->subject;
            expectMail(*match->second, *sent, reader);
        }
    }
    if (reader != PstReader::Readpst) {
        EXPECT_TRUE(got.count("Deleted Items"));
    }
}

void PrintTo(const StoreCase& storeCase, std::ostream* os)
{
    *os << storeCase.name;
}

class StoreReadBack : public ::testing::TestWithParam<std::tuple<StoreCase, PstReader>> {};

TEST_P(StoreReadBack, EveryFolderAndMailComesBack)
{
    const auto& [storeCase, reader] = GetParam();
    mailmend::testing::TempDir dir;
    const std::vector<FolderMails> folders = storeCase.build();
    writeStore(dir / "store.pst", folders);
    std::string missing;
    const auto got = mailmend::testing::readPstStore(reader, dir / "store.pst", dir / "read", missing);
    if (!got)
        GTEST_SKIP() << missing;
    expectStore(*got, folders, reader);
}

INSTANTIATE_TEST_SUITE_P(
    Readers, StoreReadBack,
    ::testing::Combine(::testing::ValuesIn(kStoreCases),
                       ::testing::Values(PstReader::Readpst, PstReader::Pffexport, PstReader::Pypff)),
    [](const auto& param) {
        return std::string(std::get<0>(param.param).name) + "_"
            + mailmend::testing::pstReaderName(std::get<1>(param.param));
    });

// What the writer refuses, each with a reason, leaving the store usable.
TEST(PstWriterRules, RefusesWhatAStoreCannotHold)
{
    mailmend::testing::TempDir dir;
    PstWriter writer;
    ASSERT_TRUE(writer.create(dir / "rules.pst", "Rules"));
    const FolderId inbox = writer.addFolder(writer.ipmSubtree(), "Inbox").value_or(0);
    ASSERT_NE(inbox, 0u);
    const struct {
        const char* what;
        std::function<bool()> step;
        bool accepted;
    } cases[] = {
        {"a folder below a new folder", [&] { return writer.addFolder(inbox, "Sub").has_value(); }, true},
        {"a name a sibling has", [&] { return writer.addFolder(writer.ipmSubtree(), "Inbox").has_value(); }, false},
        {"that name elsewhere", [&] { return writer.addFolder(writer.deletedItems(), "Inbox").has_value(); }, true},
        {"an empty name", [&] { return writer.addFolder(inbox, "").has_value(); }, false},
        {"a folder beside the mail root", [&] { return writer.addFolder(0x122, "Root").has_value(); }, false},
        {"a folder below an unknown id", [&] { return writer.addFolder(12345, "X").has_value(); }, false},
        {"a mail in an unknown folder", [&] { return writer.addMessage(12345, mail("x"), {}); }, false},
        {"a mail in the search root", [&] { return writer.addMessage(0x8042, mail("x"), {}); }, false},
        {"a mail above the folders", [&] { return writer.addMessage(writer.ipmSubtree(), mail("x"), {}); }, false},
        {"a mail whose attachment has no source", [&] {
             MailMessage m = mail("x");
             m.attachments.emplace_back().fileName = "none";
             return writer.addMessage(inbox, m, {});
         }, false},
        {"a mail after refusals", [&] { return writer.addMessage(inbox, mail("fine"), {}); }, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.step(), c.accepted) << c.what;
        EXPECT_EQ(writer.lastError().empty(), c.accepted) << c.what;
    }
    EXPECT_EQ(writer.childFolders(writer.ipmSubtree()),
              (std::vector<FolderId> {writer.deletedItems(), inbox}));
    EXPECT_EQ(writer.folderName(inbox), "Inbox");
    EXPECT_EQ(writer.messageCount(), 1u);
    EXPECT_TRUE(writer.close());
    EXPECT_FALSE(writer.close());
    EXPECT_FALSE(writer.addMessage(inbox, mail("late"), {}));
    EXPECT_FALSE(PstWriter().create(dir / "missing" / "x.pst", "X"));
}

} // namespace
} // namespace mailmend::mailstore::pst
