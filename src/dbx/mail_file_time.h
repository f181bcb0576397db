// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace mailmend::dbx {

// The start of a mail as it is written out, kept until its header block is whole (or
// long enough), so that the finished file can take the mail's Date as its time.
class MailHeadCapture {
public:
    void add(const unsigned char* data, std::size_t count);
    // The Date of the header when it is a usable one (from 1970 to the year 9999).
    std::optional<std::int64_t> date() const;

private:
    std::string m_head;
    bool m_whole = false;
};

// What a writer does with the times of the mail files it makes.
struct MailFileTimes {
    bool enabled = false;
    std::int64_t undated = 0; // the time of a mail without a usable Date: the run's start
};

// Gives the mail file at `path` the mail's Date as its modification time, or the
// undated time; nothing when `times` is off. A refusal only leaves the file's own time.
void stampMailFile(const std::filesystem::path& path, const MailHeadCapture& head,
                   const MailFileTimes& times);

} // namespace mailmend::dbx
