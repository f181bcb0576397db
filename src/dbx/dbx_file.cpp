// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbx/dbx_file.h"

#include "dbx/block_scan.h"
#include "dbx/chain_linker.h"
#include "dbx/format.h"
#include "dbx/header_test.h"
#include "log/text.h"
#include "platform/file_system.h"
#include "platform/message_sink.h"
#include "platform/output_file.h"

namespace mailmend::dbx {
namespace {

constexpr const char* kCaption = "Mailmend";

// The file name without its last four characters (".dbx"), whatever they are.
std::string baseNameOf(const std::string& path)
{
    std::string name = std::filesystem::path(path).filename().string();
    return name.size() <= 4 ? std::string() : name.substr(0, name.size() - 4);
}

} // namespace

DbxFile::DbxFile() = default;

DbxFile::~DbxFile() = default;

void DbxFile::resetTables()
{
    m_blocks.clear();
    m_mailHeads.clear();
    m_mailHeads.shrink_to_fit();
    std::vector<std::uint32_t>().swap(m_visited);
    m_walk = 0;
}

bool DbxFile::failOpen(const std::string& reason)
{
    m_lastOpenError = reason;
    m_strBaseName.clear();
    m_window.reset();
    m_pFile.reset();
    m_bOpen = false;
    const std::string message
        = strprintf("Error Opening %s file. \nConvertion fails for this file", printable(m_strPath).c_str());
    logger().error(message);
    // The box also says why, when the system or the size check told.
    platform::messageSink().show(reason.empty() ? message : message + "\n" + reason, kCaption,
                                 platform::MessageStyle::Ok);
    return false;
}

bool DbxFile::open(const std::string& path)
{
    try {
        m_strPath = path;
        if (path == "Null") {
            logger().error("ERROR: Invalid file path");
            platform::messageSink().show("ERROR: Invalid file path", kCaption,
                                         platform::MessageStyle::Ok);
            return false;
        }
        if (m_bOpen) { // a second open without close: let go of the first file
            m_window.reset();
            m_pFile.reset();
        }
        m_strBaseName = baseNameOf(path);
        m_lastOpenError.clear();
        m_scanReadShort = false;
        m_nBlocksFound = 0;
        m_nFileSize = 0;
        resetTables();
        m_bOpen = false;

        auto opened = m_opener(path);
        if (!opened.file)
            return failOpen(opened.error);
        const std::uint64_t size = opened.file->size();
        if (size > kLargestReadableFile) {
            logger().error(strprintf("%s is larger than 4 GB (%llu bytes); block offsets cannot "
                                     "reach past 4 GB, so the file is not read.",
                                     printable(path).c_str(), static_cast<unsigned long long>(size)));
            return failOpen("larger than 4 GB");
        }
        m_pFile = std::move(opened.file);
        m_window = std::make_unique<platform::ReadWindow>(*m_pFile);
        m_bOpen = true;
        m_nFileSize = size;
        logger().exec(strprintf("%s DBX File opened succssfully.", printable(path).c_str()));
        return true;
    } catch (...) {
        return failOpen("unexpected error");
    }
}

void DbxFile::close()
{
    try {
        if (!m_bOpen) {
            logger().error("Error: Trying to close file without opening DBX file first");
            return;
        }
        m_window.reset();
        m_pFile.reset();
        resetTables();
        logger().exec(strprintf("%s DBX File closed succssfully.", m_strPath.c_str()));
        m_strPath.clear();
        m_nBlocksFound = 0;
        m_nFileSize = 0;
        m_bOpen = false;
    } catch (...) {
        logger().error("Exception in Closing DBX file");
    }
}

std::int32_t DbxFile::findConvertableMails(std::int32_t& count)
{
    if (!m_bOpen) {
        logger().error("Trying to find convertable mails without opening the file");
        return -1;
    }
    m_nFileSize = m_pFile->size();
    std::vector<std::uint32_t>().swap(m_visited);
    m_walk = 0;
    try {
        m_nBlocksFound
            = scanBlocks(*m_pFile, m_nFileSize, m_blocks, logger(), m_cancel, &m_scanReadShort);
    } catch (...) {
        logger().error("Error in searching object");
    }
    std::int32_t n = 0;
    try {
        n = linkChains(m_blocks, m_mailHeads, logger());
    } catch (...) {
        logger().error("Error in analysing object");
        m_mailHeads.clear();
        n = 0;
    }
    count = n;
    logger().exec(strprintf("%d Convertable mails found.", n));
    return n;
}

bool DbxFile::saveMailToEML(const std::filesystem::path& folder, std::string& outPath,
                            std::int32_t i)
{
    try {
        if (!m_bOpen) {
            logger().error("trying to save mail to EML without opening DBX file");
            m_lastWriteResult = MailWriteResult::NotOpen;
            return false;
        }
        m_lastMailCutShort = false;
        m_lastWriteResult = writeMail(folder, outPath, i);
        if (m_lastWriteResult == MailWriteResult::Written)
            return true;
        if (m_lastWriteResult == MailWriteResult::Cancelled)
            return false; // a stop, not a failure of the mail
        logger().error(strprintf("could not write %s file to %s folder", printable(outPath).c_str(),
                                 printable(folder.string()).c_str()));
        return false;
    } catch (...) {
        logger().error(strprintf("error in saveMailToEML for mail:%d (%s)", i, printable(outPath).c_str()));
        m_lastWriteResult = MailWriteResult::Exception;
        return false;
    }
}

namespace {

// The mail's own .eml file.
class FileMailSink final : public MailSink {
public:
    FileMailSink(platform::OutputFile& out, MailHeadCapture* head) : m_out(out), m_head(head) {}
    void write(const unsigned char* data, std::size_t count) override
    {
        m_out.write(data, count);
        if (m_head)
            m_head->add(data, count);
    }

private:
    platform::OutputFile& m_out;
    MailHeadCapture* m_head; // null: the file keeps the time it was written
};

} // namespace

MailWriteResult DbxFile::findHead(std::int32_t i, std::int32_t& head)
{
    if (static_cast<std::uint32_t>(i) >= m_mailHeads.size()) {
        logger().error(strprintf("Email index out of bound, Trying to recover email no=%d out of %zu",
                                 i, m_mailHeads.size()));
        return MailWriteResult::IndexOutOfRange;
    }
    head = m_mailHeads[static_cast<std::size_t>(i)];
    if (head < 0 || static_cast<std::size_t>(head) >= m_blocks.size()
        || m_blocks[static_cast<std::size_t>(head)].role != BlockRole::MailHead)
        return MailWriteResult::TakenOver;
    return MailWriteResult::Written;
}

MailWriteResult DbxFile::startMail(std::int32_t i, std::int32_t head)
{
    if (m_bRecovery && !passesHeaderTest(head, i))
        return MailWriteResult::HeaderTestFailed;
    logger().exec(strprintf("Mail %d Starts at %u Offset", i,
                            m_blocks[static_cast<std::size_t>(head)].fileOffset));
    if (platform::cancelled(m_cancel))
        return MailWriteResult::Cancelled;
    return MailWriteResult::Written;
}

MailWriteResult DbxFile::writeMail(const std::filesystem::path& folder, std::string& outPath,
                                   std::int32_t i)
{
    try {
        std::int32_t head = -1;
        if (const MailWriteResult found = findHead(i, head); found != MailWriteResult::Written)
            return found;
        const std::filesystem::path path
            = folder / strprintf("%s_%06d.eml", m_strBaseName.c_str(), i + 1);
        outPath = path.string();
        if (const MailWriteResult started = startMail(i, head); started != MailWriteResult::Written)
            return started;

        platform::OutputFile out;
        if (!out.create(path, m_newFileMode))
            return MailWriteResult::CannotCreate;
        MailHeadCapture mailHead;
        FileMailSink sink(out, m_fileTimes.enabled ? &mailHead : nullptr);
        const MailWriteResult walked = walkChain(i, head, sink);
        if (walked == MailWriteResult::ChainLeavesTable) {
            out.close();
            return walked;
        }
        if (walked != MailWriteResult::Written) {
            // Stopped inside the mail, or a block could not be read: a part of a mail
            // is not left looking whole.
            out.close();
            platform::removeFile(path);
            return walked;
        }
        if (!out.close()) {
            // A full disk leaves a cut mail: it must not stay behind looking whole.
            platform::removeFile(path);
            logger().error(strprintf("Error writing mail %d to file:%s", i, printable(outPath).c_str()));
            return MailWriteResult::WriteFailed;
        }
        stampMailFile(path, mailHead, m_fileTimes);
        logger().exec(strprintf("Mail:%d saved successfully to file:%s", i, printable(outPath).c_str()));
        return MailWriteResult::Written;
    } catch (...) {
        logger().error(strprintf("Exception while writing %d mail at %s", i, printable(outPath).c_str()));
        return MailWriteResult::Exception;
    }
}

bool DbxFile::saveMailTo(MailSink& sink, std::int32_t i)
{
    m_lastMailCutShort = false;
    try {
        if (!m_bOpen) {
            logger().error("trying to save mail without opening DBX file");
            m_lastWriteResult = MailWriteResult::NotOpen;
            return false;
        }
        std::int32_t head = -1;
        m_lastWriteResult = findHead(i, head);
        if (m_lastWriteResult == MailWriteResult::Written)
            m_lastWriteResult = startMail(i, head);
        if (m_lastWriteResult == MailWriteResult::Written)
            m_lastWriteResult = walkChain(i, head, sink);
    } catch (...) {
        logger().error(strprintf("Exception while writing %d mail", i));
        m_lastWriteResult = MailWriteResult::Exception;
    }
    return m_lastWriteResult == MailWriteResult::Written;
}

MailWriteResult DbxFile::walkChain(std::int32_t i, std::int32_t head, MailSink& out)
{
    if (m_visited.size() != m_blocks.size()) {
        m_visited.assign(m_blocks.size(), 0);
        m_walk = 0;
    }
    if (++m_walk == 0) { // wrapped: start the marks afresh
        std::fill(m_visited.begin(), m_visited.end(), 0);
        m_walk = 1;
    }

    unsigned char data[kBlockDataSize];
    std::uint64_t written = 0;
    for (std::int32_t b = head; b >= 0;) {
        if (static_cast<std::size_t>(b) >= m_blocks.size()) {
            logger().error(strprintf("Mail rejected due to object index out of bound. "
                                     "Object index:%d out of total:%zu",
                                     b + 1, m_blocks.size()));
            return MailWriteResult::ChainLeavesTable;
        }
        if (platform::cancelled(m_cancel))
            return MailWriteResult::Cancelled;
        if (m_visited[static_cast<std::size_t>(b)] == m_walk)
            break; // the chain loops back: the mail ends here
        m_visited[static_cast<std::size_t>(b)] = m_walk;

        const BlockRecord& block = m_blocks[static_cast<std::size_t>(b)];
        const std::uint64_t dataStart = std::uint64_t {block.fileOffset} + kBlockHeaderSize;
        // The end of a truncated file may cut the last block's used bytes: what is there
        // is still the mail's text.
        const bool cutByEnd = dataStart + block.dataLength > m_nFileSize;
        std::size_t got = 0;
        try {
            got = m_window->readAt(dataStart, data, block.dataLength);
        } catch (...) {
            logger().error(strprintf("Exception for block No:%d (offset=%u) of Email No:%d ", b,
                                     block.fileOffset, i));
        }
        if (got < block.dataLength && !cutByEnd) {
            // The file was there when it was scanned: it shrank since, or the disk failed.
            // A mail with a hole in it is not written as if it were whole.
            logger().error(strprintf("Error reading block No:%d (offset=%u) of Email No:%d ", b,
                                     block.fileOffset, i));
            return MailWriteResult::ReadFailed;
        }
        // Overlapping blocks can chain into a text longer than the file: no mail is
        // longer than the file it came from.
        if (got > m_nFileSize - written) {
            out.write(data, static_cast<std::size_t>(m_nFileSize - written));
            logger().error(strprintf("Mail %d is longer than its file and is cut at %llu bytes", i,
                                     static_cast<unsigned long long>(m_nFileSize)));
            m_lastMailCutShort = true;
            break;
        }
        out.write(data, got);
        written += got;
        if (cutByEnd && !m_lastMailCutShort) {
            logger().error(strprintf("Mail %d is cut short by the end of the file", i));
            m_lastMailCutShort = true;
        }
        b = block.nextIndex;
    }
    return MailWriteResult::Written;
}

// Gathers the used data of the chain's first five blocks and looks for mail headers in
// it. A block is usable when its header and its used bytes can be read; the rest of its
// data area may be missing (the end of a truncated file).
bool DbxFile::passesHeaderTest(std::int32_t head, std::int32_t i)
{
    std::string text;
    unsigned char block[kBlockSize];
    std::int32_t b = head;
    for (int taken = 0; taken < kHeaderTestBlocks && b >= 0; ++taken) {
        if (static_cast<std::size_t>(b) >= m_blocks.size())
            break;
        const BlockRecord& record = m_blocks[static_cast<std::size_t>(b)];
        const std::size_t wanted = kBlockHeaderSize + record.dataLength;
        const std::size_t got = m_window->readAt(record.fileOffset, block, wanted);
        if (got < wanted) {
            if (taken == 0) {
                logger().error(strprintf("Error reading even first block of Email No:%d", i));
                return false;
            }
            break;
        }
        text.append(reinterpret_cast<const char*>(block + kBlockHeaderSize), record.dataLength);
        b = record.nextIndex;
    }
    if (looksLikeMailHeader(text))
        return true;
    logger().error(strprintf("Mail %d rejected as no valid mail header found in it.", i));
    return false;
}

} // namespace mailmend::dbx
