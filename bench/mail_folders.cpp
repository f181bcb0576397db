// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail_folders.h"

#include <cstdio>
#include <string>

#include "dbx/folder_file_writer.h"
#include "dbx/format.h"
#include "log/text.h"

namespace mailmend::bench {
namespace {

std::string smallMail(std::uint32_t number)
{
    return strprintf("From: Sender %u <s%u@example.org>\r\nTo: r@example.org\r\n"
                     "Subject: Small mail %u\r\nDate: Mon, 7 Mar 2011 09:05:03 +0100\r\n"
                     "Message-ID: <%u.small@example.org>\r\nMIME-Version: 1.0\r\n"
                     "Content-Type: text/plain; charset=us-ascii\r\n\r\n"
                     "This is the body of small mail %u.\r\n",
                     number, number, number, number, number);
}

const std::string kMultipartHead = "From: a@example.org\r\nTo: b@example.org\r\nSubject: %s\r\n"
                                   "Date: Mon, 7 Mar 2011 09:05:03 +0100\r\nMIME-Version: 1.0\r\n"
                                   "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
                                   "Content-Type: text/plain\r\n\r\nbody\r\n";

// Writes one message from a producer that appends pieces through `put`.
template <typename Produce>
bool writeOneMessage(dbx::FolderFileWriter& writer, Produce produce)
{
    auto draft = writer.beginMessage();
    if (!draft)
        return false;
    const bool ok = produce([&](const std::string& piece) {
        return draft->write(piece.data(), piece.size());
    });
    return ok && writer.commit(*draft);
}

void putLe32(unsigned char* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

} // namespace

bool writeLargeMailFolder(const std::filesystem::path& file, std::uint64_t bytes)
{
    dbx::FolderFileWriter writer;
    if (!writer.create(file, {"Large", 1}))
        return false;
    const bool ok = writeOneMessage(writer, [&](auto put) {
        bool fine = put(strprintf(kMultipartHead.c_str(), "large"))
            && put("--b\r\nContent-Type: application/octet-stream; name=\"large.bin\"\r\n"
                   "Content-Transfer-Encoding: base64\r\n\r\n");
        const std::string line = "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNkZWZnaGlqa2xtbm9wcXJzdHV2\r\n";
        std::string chunk;
        for (int i = 0; i < 4096; ++i)
            chunk += line; // 4096 lines of 48 decoded bytes
        for (std::uint64_t done = 0; fine && done < bytes; done += 48 * 4096)
            fine = put(chunk);
        return fine && put("--b--\r\n");
    });
    return writer.close() && ok;
}

bool writeManyAttachmentsFolder(const std::filesystem::path& file, std::uint32_t count)
{
    dbx::FolderFileWriter writer;
    if (!writer.create(file, {"Attachments", 1}))
        return false;
    const bool ok = writeOneMessage(writer, [&](auto put) {
        bool fine = put(strprintf(kMultipartHead.c_str(), "many attachments"));
        for (std::uint32_t i = 1; fine && i <= count; ++i)
            fine = put(strprintf("--b\r\nContent-Type: text/plain; name=\"part%u.txt\"\r\n"
                                 "Content-Disposition: attachment; filename=\"part%u.txt\"\r\n\r\n"
                                 "Attachment number %u.\r\n",
                                 i, i, i));
        return fine && put("--b--\r\n");
    });
    return writer.close() && ok;
}

bool writeSmallMailsFolder(const std::filesystem::path& file, std::uint32_t count)
{
    dbx::FolderFileWriter writer;
    if (!writer.create(file, {"Small", 1}))
        return false;
    bool ok = true;
    for (std::uint32_t i = 1; ok && i <= count; ++i)
        ok = writeOneMessage(writer, [&](auto put) { return put(smallMail(i)); });
    return writer.close() && ok;
}

bool writeSparseFolder(const std::filesystem::path& file, std::uint64_t fileSize,
                       std::uint32_t mailsAtEachEnd)
{
    if (!writeSmallMailsFolder(file, mailsAtEachEnd))
        return false;
    std::FILE* out = std::fopen(file.c_str(), "r+b");
    if (!out)
        return false;
    // The chains at the end: one block per mail, each block's header naming its own
    // position, as the mail program lays blocks out.
    const std::uint64_t start = fileSize - (std::uint64_t {mailsAtEachEnd} + 8) * dbx::kBlockSize;
    bool ok = fileSize <= dbx::kLargestReadableFile && start > (std::uint64_t {1} << 30);
    for (std::uint32_t i = 0; ok && i < mailsAtEachEnd; ++i) {
        const std::uint64_t at = start + std::uint64_t {i} * dbx::kBlockSize;
        const std::string text = smallMail(mailsAtEachEnd + 1 + i);
        unsigned char block[dbx::kBlockSize] {};
        putLe32(block + dbx::kSelfOffsetAt, static_cast<std::uint32_t>(at));
        putLe32(block + dbx::kBlockSizeAt, dbx::kBlockSizeMarker);
        putLe32(block + dbx::kDataLengthAt, static_cast<std::uint32_t>(text.size()));
        putLe32(block + dbx::kNextOffsetAt, 0);
        text.copy(reinterpret_cast<char*>(block) + dbx::kBlockHeaderSize, dbx::kBlockDataSize);
        ok = ::fseeko(out, static_cast<off_t>(at), SEEK_SET) == 0
            && std::fwrite(block, 1, sizeof block, out) == sizeof block;
    }
    // The last byte makes the file its full size; everything between stays a hole.
    ok = ok && ::fseeko(out, static_cast<off_t>(fileSize - 1), SEEK_SET) == 0
        && std::fputc(0, out) == 0;
    return std::fclose(out) == 0 && ok;
}

} // namespace mailmend::bench
