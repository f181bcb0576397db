// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/buffered_output.h"

// One mbox file (the mboxrd flavour) that mails are appended to one at a time, as every
// mail program on Linux and macOS imports it.
namespace mailmend::mailstore {

// What the "From " line that opens a mail says: who sent it and when.
struct MboxEnvelope {
    std::string sender;    // an address without spaces, or MAILER-DAEMON
    std::int64_t time = 0; // seconds since 1970 UTC
};

// The envelope of a mail from its header block: the Return-Path address, else the From
// address, else MAILER-DAEMON; the Date, else the date of the first Received header,
// else `fallbackTime`.
MboxEnvelope mboxEnvelope(std::string_view header, std::int64_t fallbackTime);

// "From <sender> <asctime in UTC>" and the line end.
std::string mboxFromLine(const MboxEnvelope& envelope, std::string_view lineEnd);

// Appends mails to an mbox file. A mail's bytes are kept exactly, but for one more '>'
// before each line that begins with any number of '>' and "From ", which readers take off
// again; the mail ends with an empty line in its own line-end style (CR LF or LF). A mail
// is either committed whole or taken back whole: the file never ends in half a mail.
class MboxWriter {
public:
    bool create(const std::filesystem::path& path);

    void beginMail(std::int64_t fallbackTime);
    void write(const unsigned char* data, std::size_t count);
    // False when the mail could not be written; it is then taken back.
    bool commitMail();
    void abandonMail();

    // Closes the file, cut after the last committed mail. True when it was all written.
    bool close();

private:
    void emitHeader();
    void quoted(const unsigned char* data, std::size_t count);
    void flushPending();

    platform::BufferedOutputFile m_out;
    std::uint64_t m_mailStart = 0;
    std::int64_t m_fallbackTime = 0;
    std::string m_header;        // the mail's first bytes, until its header block is whole
    bool m_headerWritten = false;
    std::string_view m_lineEnd = "\n"; // the mail's own style, from its first line end
    bool m_lineEndKnown = false;
    unsigned char m_lastByte = '\n';
    // A line start seen so far that may still turn out to be ">...>From ".
    bool m_atLineStart = true;
    std::uint64_t m_pendingQuotes = 0; // '>' characters held back
    std::string m_pendingText;         // and the start of "From " after them
};

} // namespace mailmend::mailstore
