// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace mailmend::testing {

// A mail for the tests of the mail parser and of the stores that write mails out.
struct MailSample {
    std::string name;
    std::string text; // the .eml bytes
};

// The sample mails of tests/data/mail (made by make_samples.py there), sorted by name:
// plain and HTML-only mails, Latin-1, KOI8-R, Shift_JIS and UTF-8 bodies and encoded
// words, RFC 2231 and RFC 2047 file names, mixed > alternative > related with a cid
// image, an attached mail, a mail without MIME, one without any structure, one with zero
// bytes. Each CR LF mail comes again with LF line ends, named "<name>-lf".
const std::vector<MailSample>& mailSamples();
const MailSample& mailSample(const std::string& name);

// The bytes [offset, offset + count) of the large attachment below: a fixed sequence
// that any piece of can be made on its own.
void largeAttachmentBytes(std::uint64_t offset, char* out, std::size_t count);

// Writes a mail with one base64 attachment "large.bin" of `size` bytes, a piece at a
// time, so that the mail is never whole in memory.
void writeMailWithLargeAttachment(const std::filesystem::path& path, std::uint64_t size);

// Writes a mail with a short plain body and `count` attachments: "file-<i>.txt" holding
// "attachment <i>\n".
void writeMailWithAttachments(const std::filesystem::path& path, std::size_t count);

} // namespace mailmend::testing
