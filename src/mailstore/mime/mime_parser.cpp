// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/mime/mime_parser.h"

#include <gmime/gmime.h>

#include "mailstore/mime/gmime_session.h"
#include "mailstore/mime/header_fields.h"
#include "mailstore/mime/mail_structure.h"
#include "mailstore/mime/part_content.h"
#include "mailstore/mime/source_stream.h"
#include "mailstore/mime/text_to_utf8.h"

namespace mailmend::mailstore {
namespace {

using mime::ObjectRef;

// Parts GMime may make of one mail, counted as the lines that could be boundary lines. A
// part costs GMime 1 to 3 KB however small it is, so this bounds a hostile mail of tiny
// parts to a few tens of MB; real mails stay far below it.
constexpr std::int64_t kMaxBoundaryLines = 25'000;

// What the attachment streams of one parsed mail need: the parsed parts and the stream
// (and through it the file) they read from.
struct ParsedMail {
    ObjectRef<GMimeMessage> message;
    ObjectRef<GMimeStream> stream;
};

std::string readRange(platform::ReadableFile& file, std::uint64_t begin, std::uint64_t end)
{
    std::string bytes(end > begin ? end - begin : 0, '\0');
    bytes.resize(file.readAt(begin, bytes.data(), bytes.size()));
    return bytes;
}

// What the parse was not given, past the budget of parts, comes out whole as one more
// attachment, so that none of the mail is lost.
void addUnparsedRest(GMimeStream* stream, platform::ReadableFile& file, MailMessage& out)
{
    const std::int64_t cut = mime::sourceCutOffset(stream);
    const auto size = static_cast<std::int64_t>(file.size());
    if (cut < 0 || cut >= size)
        return;
    MailAttachment rest;
    rest.mimeType = "application/octet-stream";
    std::shared_ptr<const void> keep = out.backing;
    rest.open = [keep, stream, cut, size] { return mime::openStreamRange(stream, cut, size); };
    out.attachments.push_back(std::move(rest));
}

// A mail file that remembers a read that came up short of its end: the disk failed, or
// the file shrank. A mail read from it then is not the mail.
class WatchedFile final : public platform::ReadableFile {
public:
    explicit WatchedFile(std::unique_ptr<platform::ReadableFile> file)
        : m_file(std::move(file)), m_size(m_file->size())
    {
    }
    std::uint64_t size() const override { return m_size; }
    std::size_t readAt(std::uint64_t position, void* buffer, std::size_t count) override
    {
        const std::size_t got = m_file->readAt(position, buffer, count);
        if (got < count && position + got < m_size)
            m_failed = true;
        return got;
    }
    bool failed() const { return m_failed; }

private:
    std::unique_ptr<platform::ReadableFile> m_file;
    std::uint64_t m_size;
    bool m_failed = false;
};

MailMessage parseSource(std::shared_ptr<platform::ReadableFile> file)
{
    MailMessage out;
    ObjectRef<GMimeStream> stream = mime::newSourceStream(file, kMaxBoundaryLines);
    ObjectRef<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
    g_mime_parser_set_persist_stream(parser.get(), TRUE); // parts stay windows on the file
    ObjectRef<GMimeMessage> message(
        g_mime_parser_construct_message(parser.get(), mime::parserOptions()));
    if (!message) {
        // Not a mail GMime can read at all: its text is all there is.
        out.textBody = mime::repairUtf8(readRange(*file, 0, file->size()));
        return out;
    }
    const gint64 headersBegin = g_mime_parser_get_headers_begin(parser.get());
    const gint64 headersEnd = g_mime_parser_get_headers_end(parser.get());
    if (headersBegin >= 0 && headersEnd > headersBegin)
        out.transportHeaders =
            readRange(*file, std::uint64_t(headersBegin), std::uint64_t(headersEnd));
    parser.reset();

    mime::readHeaderFields(message.get(), out);
    auto parsed = std::make_shared<ParsedMail>();
    GMimeMessage* parsedMessage = message.get();
    GMimeStream* parsedStream = stream.get();
    parsed->message = std::move(message);
    parsed->stream = std::move(stream);
    out.backing = parsed;
    mime::readStructure(parsedMessage, {file, parsedStream, out.backing}, out);
    addUnparsedRest(parsedStream, *file, out);
    return out;
}

} // namespace

std::optional<MailMessage> parseMailFile(const std::filesystem::path& path)
{
    try {
        platform::OpenResult opened = platform::openForReading(path);
        if (!opened.file)
            return std::nullopt;
        const auto file = std::make_shared<WatchedFile>(std::move(opened.file));
        MailMessage mail = parseSource(file);
        if (file->failed())
            return std::nullopt;
        return mail;
    } catch (...) { // out of memory: the mail is not read, the caller goes on
        return std::nullopt;
    }
}

MailMessage parseMailText(std::string text)
{
    try {
        return parseSource(mime::memorySource(std::move(text)));
    } catch (...) {
        return {};
    }
}

} // namespace mailmend::mailstore
