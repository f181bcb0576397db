// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbx/format.h"

#include "platform/file_reader.h"

namespace mailmend::dbx {

DbxHeaderVerdict classifyDbxHeader(const unsigned char* bytes, std::size_t count)
{
    if (count < 8)
        return DbxHeaderVerdict::ReadFailure;
    if (readLe32(bytes) != kFileSignature)
        return DbxHeaderVerdict::NotDbx;
    return readLe32(bytes + 4) == kMailFolderClass ? DbxHeaderVerdict::MailFolder
                                                    : DbxHeaderVerdict::NotMailFolder;
}

DbxHeaderVerdict checkDbxHeader(const std::filesystem::path& path)
{
    auto opened = platform::openForReading(path);
    if (!opened.file)
        return DbxHeaderVerdict::ReadFailure;
    unsigned char bytes[8] {};
    const std::size_t got = opened.file->readAt(0, bytes, sizeof bytes);
    return classifyDbxHeader(bytes, got);
}

const char* dbxHeaderMessage(DbxHeaderVerdict verdict)
{
    switch (verdict) {
    case DbxHeaderVerdict::ReadFailure:
        return "Error reading file.";
    case DbxHeaderVerdict::NotDbx:
        return "File is not a valid dbx file Or File Header is corrupt.";
    case DbxHeaderVerdict::NotMailFolder:
        return "File is not a valid Message.dbx File.\nProbably, You may have selected  "
               "Folder.dbx, Pop3uidl.dbx or Offline.dbx files";
    case DbxHeaderVerdict::MailFolder:
        break;
    }
    return "";
}

} // namespace mailmend::dbx
