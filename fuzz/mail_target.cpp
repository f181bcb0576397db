// SPDX-License-Identifier: GPL-3.0-or-later
// The mail parser on any bytes, and each writer fed by it: PST, MSG and RTF from the parsed
// mail, the Outlook Express folder file and the mbox from the mail's own bytes. Each
// output is read back by our own reader where we have one (the folder file by its index
// and by the block reader, the mbox by undoing its quoting, the RTF by its syntax); the
// others must at least be written whole. The streaming writers get the text in pieces of
// varying size, so that their held-back state crosses piece edges.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbx/dbx_file.h"
#include "dbx/folder_file_writer.h"
#include "fuzz_support.h"
#include "mailstore/mbox/mbox_writer.h"
#include "mailstore/mime/mime_parser.h"
#include "mailstore/msg/msg_writer.h"
#include "mailstore/pst/pst_writer.h"
#include "mailstore/rtf/rtf_writer.h"
#include "mailstore/text_encoding.h"
#include "support/dbx_fixture.h"

namespace mailmend::fuzz {
namespace {

namespace fs = std::filesystem;
using mailstore::MailMessage;

// The pieces the streaming writers get: 1 to 61 bytes, varying.
template <typename Write>
void inPieces(std::string_view text, Write write)
{
    for (std::size_t at = 0, k = text.size(); at < text.size(); ++k) {
        const std::size_t n = std::min<std::size_t>(1 + (k * 31) % 61, text.size() - at);
        write(text.data() + at, n);
        at += n;
    }
}

bool isUtf8(std::string_view text)
{
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t from = at;
        const char32_t c = mailstore::nextCodePoint(text, at);
        // A replacement character that was not written as one marks a broken sequence.
        if (c == mailstore::kReplacementCharacter && text.substr(from, 3) != "\xEF\xBF\xBD")
            return false;
    }
    return true;
}

std::string contentOf(const mailstore::MailAttachment& attachment)
{
    const auto source = attachment.open();
    check(source != nullptr, "an attachment gives no stream");
    std::string bytes;
    char buffer[4096];
    for (;;) {
        const std::ptrdiff_t got = source->read(buffer, sizeof buffer);
        check(got >= -1, "an attachment stream reads a negative count");
        if (got <= 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    return bytes;
}

// What the parser promises of any mail: UTF-8 texts, lower-case types, ids without
// brackets, attachment streams that give the same bytes each time.
void checkParsed(const MailMessage& mail)
{
    const std::vector<std::pair<const char*, const std::string*>> texts {
        {"subject", &mail.subject},
        {"from", &mail.from.name},
        {"from address", &mail.from.address},
        {"text body", &mail.textBody},
        {"HTML body", &mail.htmlBody}};
    for (const auto& [what, text] : texts)
        check(isUtf8(*text), what, " is not UTF-8");
    for (const auto* list : {&mail.to, &mail.cc, &mail.bcc})
        for (const auto& address : *list)
            check(isUtf8(address.name) && isUtf8(address.address), "a recipient is not UTF-8");
    for (const auto& attachment : mail.attachments) {
        check(isUtf8(attachment.fileName), "an attachment name is not UTF-8");
        for (const char c : attachment.mimeType)
            check(c < 'A' || c > 'Z', "a MIME type is not lower case: ", attachment.mimeType);
        check(attachment.contentId.find_first_of("<>") == std::string::npos,
              "a content id keeps its brackets");
        check(contentOf(attachment) == contentOf(attachment),
              "an attachment reads differently twice");
    }
}

// The parse of the file on disk must be the parse of the same bytes in memory.
void checkSameParse(const MailMessage& a, const MailMessage& b)
{
    check(a.transportHeaders == b.transportHeaders && a.subject == b.subject
              && a.from.address == b.from.address && a.textBody == b.textBody
              && a.htmlBody == b.htmlBody && a.date == b.date && a.to.size() == b.to.size()
              && a.attachments.size() == b.attachments.size(),
          "the mail parses differently from a file and from memory");
    for (std::size_t i = 0; i < a.attachments.size(); ++i)
        check(a.attachments[i].fileName == b.attachments[i].fileName
                  && contentOf(a.attachments[i]) == contentOf(b.attachments[i]),
              "attachment ", i, " differs between file and memory");
}

void writePst(const MailMessage& mail)
{
    const fs::path path = scratchFolder() / "store.pst";
    mailstore::pst::PstWriter writer;
    check(writer.create(path, "Fuzz"), "PST: create: ", writer.lastError());
    const auto folder = writer.addFolder(writer.ipmSubtree(), "Inbox");
    check(folder.has_value(), "PST: no folder");
    const bool added = writer.addMessage(*folder, mail, {true, true, 1300000000});
    check(added, "PST: the mail was refused: ", writer.lastError());
    check(writer.close(), "PST: close: ", writer.lastError());
    check(writer.messageCount() == 1, "PST: message count");
}

void writeMsg(const MailMessage& mail)
{
    mailstore::MsgOptions options;
    options.parseAttachedMail
        = [](std::string text) { return mailstore::parseMailText(std::move(text)); };
    std::string error;
    check(mailstore::writeMsgFile(mail, scratchFolder() / "mail.msg", options, error),
          "MSG: ", error);
}

// The RTF must be 7-bit text whose groups balance and whose escapes are complete.
void checkRtfSyntax(std::string_view rtf)
{
    check(rtf.rfind("{\\rtf1", 0) == 0, "RTF: no {\\rtf1 at the start");
    int depth = 0;
    for (std::size_t at = 0; at < rtf.size(); ++at) {
        const auto c = static_cast<unsigned char>(rtf[at]);
        check(c < 0x80 && (c >= 0x20 || c == '\n' || c == '\r'), "RTF: raw byte ", int {c}, " at ",
              at);
        if (c == '{')
            ++depth;
        else if (c == '}')
            check(--depth >= 0
                      && (depth > 0
                          || rtf.find_first_not_of("\r\n", at + 1) == std::string_view::npos),
                  "RTF: a group closes that was not open, or text follows the document");
        else if (c == '\\') {
            check(at + 1 < rtf.size(), "RTF: a backslash ends the file");
            const char next = rtf[at + 1];
            if (next == '\'') {
                check(at + 3 < rtf.size() && std::isxdigit(static_cast<unsigned char>(rtf[at + 2]))
                          && std::isxdigit(static_cast<unsigned char>(rtf[at + 3])),
                      "RTF: \\' without two hex digits");
                at += 3;
            } else if (!std::isalpha(static_cast<unsigned char>(next))) {
                check(std::string_view("{}\\~-_*\n\r|:").find(next) != std::string_view::npos,
                      "RTF: unknown control symbol \\", next);
                ++at;
            }
        }
    }
    check(depth == 0, "RTF: ", depth, " groups left open");
}

void writeRtf(const MailMessage& mail)
{
    const fs::path path = scratchFolder() / "mail.rtf";
    std::string error;
    check(mailstore::writeRtfFile(mail, path, error), "RTF: ", error);
    checkRtfSyntax(readWholeFile(path));
}

// The folder file holds the mail, by its index and by its blocks.
void writeFolderFile(const std::string& text)
{
    const fs::path path = scratchFolder() / "Inbox.dbx";
    {
        dbx::FolderFileWriter writer;
        check(writer.create(path, {"Inbox", 7}), "folder file: create: ", writer.lastError());
        auto draft = writer.beginMessage();
        check(draft != nullptr, "folder file: no draft");
        bool written = true;
        inPieces(text, [&](const char* data, std::size_t n) {
            written = written && draft->write(data, n);
        });
        check(written, "folder file: write: ", writer.lastError());
        check(writer.commit(*draft) == !text.empty(), "folder file: commit of ", text.size(),
              " bytes: ", writer.lastError());
        check(writer.close(), "folder file: close: ", writer.lastError());
    }
    const std::uint32_t stored = text.empty() ? 0 : 1;
    {
        dbx::FolderFileWriter again;
        check(again.openExisting(path), "folder file: cannot be opened again: ", again.lastError());
        check(again.messageCount() == stored, "folder file: its index lists ", again.messageCount(),
              " messages");
        again.close();
    }
    // Bytes that look like a block header inside the text can mislead a reader that scans
    // for blocks; without the 02 byte of the header's size word, none can.
    if (text.find('\x02') != std::string::npos)
        return;
    dbx::DbxFile reader;
    reader.setLogWriter(&discardingLog());
    check(reader.open(path.string()), "folder file: the reader cannot open it");
    std::int32_t count = 0;
    reader.findConvertableMails(count);
    check(count == static_cast<std::int32_t>(stored), "folder file: the reader finds ", count,
          " mails");
    if (stored == 1) {
        std::string outPath;
        check(reader.saveMailToEML(scratchFolder(), outPath, 0),
              "folder file: the mail cannot be read");
        const std::string got = readWholeFile(outPath);
        check(got == text, "folder file: the mail read back: ", Difference {got, text});
    }
}

// Undoes the mbox: mails start at unquoted "From " lines, end with an empty line, and
// lose one '>' on lines that read ">...>From ".
std::vector<std::string> readMbox(std::string_view file)
{
    std::vector<std::string> mails;
    std::size_t at = 0;
    while (at < file.size()) {
        const std::size_t end = std::min(file.find('\n', at), file.size() - 1) + 1;
        std::string_view line = file.substr(at, end - at);
        at = end;
        if (line.rfind("From ", 0) == 0) {
            mails.emplace_back();
            continue;
        }
        check(!mails.empty(), "mbox: text before the first From line");
        const std::size_t quotes = line.find_first_not_of('>');
        if (quotes != 0 && quotes != std::string_view::npos
            && line.substr(quotes).rfind("From ", 0) == 0)
            line.remove_prefix(1);
        mails.back() += line;
    }
    return mails;
}

void writeMbox(const std::string& text)
{
    const fs::path path = scratchFolder() / "Inbox.mbox";
    mailstore::MboxWriter writer;
    check(writer.create(path), "mbox: create");
    for (int copy = 0; copy < 2; ++copy) {
        writer.beginMail(1300000000);
        inPieces(text, [&](const char* data, std::size_t n) {
            writer.write(reinterpret_cast<const unsigned char*>(data), n);
        });
        check(writer.commitMail(), "mbox: commit");
    }
    check(writer.close(), "mbox: close");

    // The line end the mail uses first; the writer ends the mail with it.
    const std::size_t lf = text.find('\n');
    const std::string lineEnd
        = lf != std::string::npos && lf > 0 && text[lf - 1] == '\r' ? "\r\n" : "\n";
    std::string want = text;
    if (!want.empty() && want.back() != '\n')
        want += lineEnd;
    want += lineEnd; // the empty line that closes every mail
    const std::vector<std::string> mails = readMbox(readWholeFile(path));
    check(mails.size() == 2, "mbox: ", mails.size(), " mails where 2 were written");
    for (const std::string& mail : mails)
        check(mail == want, "mbox: a mail read back: ", Difference {mail, want});
}

} // namespace
} // namespace mailmend::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    mailmend::fuzz::silenceMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace mailmend;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const mailstore::MailMessage mail = mailstore::parseMailText(text);
    fuzz::checkParsed(mail);

    const std::filesystem::path eml = fuzz::scratchFolder() / "mail.eml";
    testing::writeFile(eml, text);
    const auto fromFile = mailstore::parseMailFile(eml);
    fuzz::check(fromFile.has_value(), "the parser cannot read the mail's file");
    fuzz::checkSameParse(mail, *fromFile);

    fuzz::writePst(mail);
    fuzz::writeMsg(mail);
    fuzz::writeRtf(mail);
    fuzz::writeFolderFile(text);
    fuzz::writeMbox(text);
    fuzz::emptyScratchFolder();
    return 0;
}
