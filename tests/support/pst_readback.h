// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace mailmend::testing {

// The peer programs that read .pst stores back.
enum class PstReader { Readpst, Pffexport, Pypff };
const char* pstReaderName(PstReader reader);

struct ReadAttachment {
    std::string name;
    std::uint64_t size = 0;
    std::uint32_t crc = 0; // CRC-32 as zlib computes it
    std::string mimeType;  // empty where the reader does not show it
    std::string contentId;
};

// What a reader gives back of one mail. Fields a reader does not show stay empty.
struct ReadMail {
    std::map<std::string, std::string> fields; // subject, sender, address, to, cc, date, plain, html
    std::vector<ReadAttachment> attachments;
};

// Folder path below "Top of Personal Folders" ("Inbox/Sub") to the mails in it, in order.
using ReadStore = std::map<std::string, std::vector<ReadMail>>;

// Reads `pst` with `reader`, working in `work`. Without the reader installed gives nullopt
// and says why in `missing`; a reader that fails gives an empty store and its output.
std::optional<ReadStore> readPstStore(PstReader reader, const std::filesystem::path& pst,
                                      const std::filesystem::path& work, std::string& missing);

// CRC-32 as zlib computes it, to compare attachment bytes without holding them twice.
std::uint32_t zlibCrc(const void* data, std::size_t size, std::uint32_t crc = 0);

} // namespace mailmend::testing
