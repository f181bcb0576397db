// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace mailmend::testing {

// A mail as Python's email package (policy=default) reads it, apart from our parser: the
// check on what the parser and the stores give back. Text is UTF-8.
struct OracleAddress {
    std::string name, address;
};

struct OracleAttachment {
    std::string fileName, mimeType, contentId; // the content id without its brackets
    bool isMessage = false; // message/rfc822: no bytes, but the attached mail's subject
    std::uint64_t size = 0;
    std::string sha256;               // lower-case hex
    std::optional<std::string> bytes; // the decoded content, up to 1 MiB
    std::string innerSubject;
};

struct OracleMail {
    std::string subject;                     // blanks around it trimmed
    std::vector<OracleAddress> from, to, cc; // groups flattened
    std::optional<std::int64_t> date;        // seconds since 1970 UTC
    std::optional<std::string> textBody, htmlBody; // none when the mail has no such body
    std::vector<OracleAttachment> attachments;     // every leaf that is not a body, in order
};

// Whether the system's Python is there to run the oracle.
bool havePythonOracle();

// The mail at `path` as Python reads it; nullopt when Python is missing or fails on it.
// The script is tests/support/mail_oracle.py.
std::optional<OracleMail> readWithPython(const std::filesystem::path& path);

} // namespace mailmend::testing
