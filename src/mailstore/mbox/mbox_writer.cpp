// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/mbox/mbox_writer.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "dbx/mail_header_fields.h"

namespace mailmend::mailstore {
namespace {

constexpr std::string_view kFromSpace = "From ";
// A header block that has not ended by then is taken as it is for the envelope.
constexpr std::size_t kLongestHeader = 256 * 1024;

// Where the header block ends (after its blank line), or npos.
std::size_t headerEnd(std::string_view text)
{
    std::size_t at = 0;
    while ((at = text.find('\n', at)) != std::string_view::npos) {
        ++at;
        if (at < text.size() && text[at] == '\n')
            return at + 1;
        if (at + 1 < text.size() && text[at] == '\r' && text[at + 1] == '\n')
            return at + 2;
    }
    return std::string_view::npos;
}

// The value of the first header field called `name`, unfolded.
std::string fieldValue(std::string_view header, std::string_view name)
{
    std::size_t lineStart = 0;
    while (lineStart < header.size()) {
        const std::size_t lineEnd = std::min(header.find('\n', lineStart), header.size());
        const std::string_view line = header.substr(lineStart, lineEnd - lineStart);
        if (line.size() > name.size() && line[name.size()] == ':'
            && std::equal(name.begin(), name.end(), line.begin(), [](char a, char b) {
                   return std::tolower(static_cast<unsigned char>(a))
                       == std::tolower(static_cast<unsigned char>(b));
               })) {
            std::string value(line.substr(name.size() + 1));
            for (std::size_t next = lineEnd + 1; next < header.size()
                 && (header[next] == ' ' || header[next] == '\t');) {
                const std::size_t end = std::min(header.find('\n', next), header.size());
                value += header.substr(next, end - next);
                next = end + 1;
            }
            return value;
        }
        lineStart = lineEnd + 1;
    }
    return {};
}

// The address of a Return-Path value ("<a@b>", "a@b"); empty for the null path "<>".
std::string returnPathAddress(std::string_view value)
{
    const std::size_t open = value.find('<');
    if (open != std::string_view::npos) {
        const std::size_t close = value.find('>', open);
        return std::string(value.substr(open + 1, close == std::string_view::npos
                                                      ? std::string_view::npos
                                                      : close - open - 1));
    }
    std::string bare;
    for (const char c : value)
        if (c != ' ' && c != '\t' && c != '\r')
            bare += c;
    return bare;
}

// An address fit for the "From " line: one word of printable characters.
bool usableSender(std::string_view address)
{
    return !address.empty() && address.size() < 512
        && std::all_of(address.begin(), address.end(), [](char c) {
               const auto byte = static_cast<unsigned char>(c);
               return byte > 0x20 && byte < 0x7F;
           });
}

} // namespace

MboxEnvelope mboxEnvelope(std::string_view header, std::int64_t fallbackTime)
{
    const dbx::MailHeaderFields fields = dbx::readMailHeaderFields(header);
    MboxEnvelope envelope;
    const std::string returnPath = returnPathAddress(fieldValue(header, "Return-Path"));
    if (usableSender(returnPath))
        envelope.sender = returnPath;
    else if (usableSender(fields.senderAddress))
        envelope.sender = fields.senderAddress;
    else
        envelope.sender = "MAILER-DAEMON";
    envelope.time = fields.date.value_or(fields.receivedDate.value_or(fallbackTime));
    return envelope;
}

std::string mboxFromLine(const MboxEnvelope& envelope, std::string_view lineEnd)
{
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t time = static_cast<std::time_t>(envelope.time);
    std::tm parts {};
    if (!gmtime_r(&time, &parts) || parts.tm_year + 1900 > 9999 || parts.tm_year + 1900 < 0) {
        const std::time_t epoch = 0;
        gmtime_r(&epoch, &parts);
    }
    char date[32];
    std::snprintf(date, sizeof date, "%s %s %2d %02d:%02d:%02d %d", kDays[parts.tm_wday],
                  kMonths[parts.tm_mon], parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                  parts.tm_year + 1900);
    std::string line = "From ";
    line += envelope.sender;
    line += ' ';
    line += date;
    line += lineEnd;
    return line;
}

bool MboxWriter::create(const std::filesystem::path& path)
{
    return m_out.create(path);
}

void MboxWriter::beginMail(std::int64_t fallbackTime)
{
    m_mailStart = m_out.position();
    m_fallbackTime = fallbackTime;
    m_header.clear();
    m_headerWritten = false;
    m_lineEnd = "\n";
    m_lineEndKnown = false;
    m_lastByte = '\n';
    m_atLineStart = true;
    m_pendingQuotes = 0;
    m_pendingText.clear();
}

void MboxWriter::write(const unsigned char* data, std::size_t count)
{
    if (count == 0)
        return;
    if (!m_lineEndKnown) {
        if (const void* lf = std::memchr(data, '\n', count)) {
            const auto at = static_cast<std::size_t>(static_cast<const unsigned char*>(lf) - data);
            const bool cr = at > 0 ? data[at - 1] == '\r' : m_lastByte == '\r';
            m_lineEnd = cr ? "\r\n" : "\n";
            m_lineEndKnown = true;
        }
    }
    m_lastByte = data[count - 1];
    if (m_headerWritten) {
        quoted(data, count);
        return;
    }
    m_header.append(reinterpret_cast<const char*>(data), count);
    if (headerEnd(m_header) != std::string::npos || m_header.size() >= kLongestHeader)
        emitHeader();
}

void MboxWriter::emitHeader()
{
    const std::size_t end = headerEnd(m_header);
    const std::string_view header(m_header.data(), std::min(end, m_header.size()));
    const std::string from = mboxFromLine(mboxEnvelope(header, m_fallbackTime), m_lineEnd);
    m_out.write(from.data(), from.size());
    m_headerWritten = true;
    quoted(reinterpret_cast<const unsigned char*>(m_header.data()), m_header.size());
    std::string().swap(m_header);
}

// Writes mail bytes, with one more '>' before every line that reads ">...>From ".
void MboxWriter::quoted(const unsigned char* data, std::size_t count)
{
    std::size_t at = 0;
    while (at < count) {
        if (!m_atLineStart) {
            const void* lf = std::memchr(data + at, '\n', count - at);
            const std::size_t end
                = lf ? static_cast<std::size_t>(static_cast<const unsigned char*>(lf) - data) + 1
                     : count;
            m_out.write(data + at, end - at);
            m_atLineStart = lf != nullptr;
            at = end;
            continue;
        }
        const unsigned char c = data[at++];
        if (c == '>' && m_pendingText.empty()) {
            ++m_pendingQuotes;
            continue;
        }
        m_pendingText += static_cast<char>(c);
        if (kFromSpace.substr(0, m_pendingText.size()) == m_pendingText) {
            if (m_pendingText.size() == kFromSpace.size()) {
                m_out.put('>');
                flushPending();
                m_atLineStart = false;
            }
            continue;
        }
        flushPending();
        m_atLineStart = c == '\n';
    }
}

void MboxWriter::flushPending()
{
    static const std::string quotes(256, '>');
    while (m_pendingQuotes > 0) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(m_pendingQuotes, quotes.size()));
        m_out.write(quotes.data(), n);
        m_pendingQuotes -= n;
    }
    m_out.write(m_pendingText.data(), m_pendingText.size());
    m_pendingText.clear();
}

bool MboxWriter::commitMail()
{
    if (!m_headerWritten)
        emitHeader();
    flushPending();
    if (m_lastByte != '\n')
        m_out.write(m_lineEnd.data(), m_lineEnd.size());
    m_out.write(m_lineEnd.data(), m_lineEnd.size());
    // On disk whole, or not at all.
    m_out.flush();
    if (!m_out.failed())
        return true;
    abandonMail();
    return false;
}

void MboxWriter::abandonMail()
{
    m_out.stepBack(static_cast<std::size_t>(m_out.position() - m_mailStart));
    // Whatever failed to reach the file lay after the mail's start: it is cut off now.
    m_out.clearFailure();
    std::string().swap(m_header);
    m_pendingQuotes = 0;
    m_pendingText.clear();
}

bool MboxWriter::close()
{
    return m_out.close();
}

} // namespace mailmend::mailstore
