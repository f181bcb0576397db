// SPDX-License-Identifier: GPL-3.0-or-later
// Folder files the benchmarks build for their cases, each written a piece at a time so
// that making a large one costs no more memory than reading it.
#pragma once

#include <cstdint>
#include <filesystem>

namespace mailmend::bench {

// One mail with a base64 attachment of about `bytes` bytes.
bool writeLargeMailFolder(const std::filesystem::path& file, std::uint64_t bytes);

// One mail with `count` small attachments.
bool writeManyAttachmentsFolder(const std::filesystem::path& file, std::uint32_t count);

// `count` small mails of about 250 bytes each.
bool writeSmallMailsFolder(const std::filesystem::path& file, std::uint32_t count);

// A sparse folder of `fileSize` bytes: `mailsAtEachEnd` small mails as a folder file
// writes them at the start, a hole, and as many more as bare block chains in the last
// few megabytes, where no index points at them.
bool writeSparseFolder(const std::filesystem::path& file, std::uint64_t fileSize,
                       std::uint32_t mailsAtEachEnd);

} // namespace mailmend::bench
