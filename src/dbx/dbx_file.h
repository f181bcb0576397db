// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dbx/mail_file_time.h"
#include "dbx/packed_block_table.h"
#include "log/log.h"
#include "platform/cancellation.h"
#include "platform/file_reader.h"
#include "platform/read_window.h"

namespace mailmend::dbx {

// Why a mail was or was not written, for summaries; the log lines say the same in words.
enum class MailWriteResult {
    Written,
    NotOpen,
    IndexOutOfRange,
    TakenOver,        // its head became part of another chain: not a mail of its own
    HeaderTestFailed, // recovery mode found no mail header in it
    CannotCreate,     // the output file could not be created
    ChainLeavesTable,
    WriteFailed,      // the output file could not be written in full
    ReadFailed,       // a block inside the file could not be read (it shrank, the disk failed)
    Exception,
    Cancelled,        // the run was stopped before the mail was written in full
};

// Where the text of one mail goes while its chain is walked.
class MailSink {
public:
    virtual ~MailSink() = default;
    virtual void write(const unsigned char* data, std::size_t count) = 0;
};

// Reads the mails of one .dbx file: finds every data block by testing every byte
// position, links the blocks into chains and writes any chain as an .eml file. The
// file's own index is never read, so damaged files give up what is left of them.
//
// Use: open, findConvertableMails, saveMailToEML for each number, close.
class DbxFile {
public:
    // How the file is opened. A callable, so that a caller can hand over a file it holds
    // (bytes in memory, a file that fails on purpose).
    using Opener = std::function<platform::OpenResult(const std::filesystem::path&)>;

    DbxFile();
    ~DbxFile();
    DbxFile(const DbxFile&) = delete;
    DbxFile& operator=(const DbxFile&) = delete;

    void setLogging(bool on) { m_bLog = on; }
    void setRecoveryMode(bool on) { m_bRecovery = on; }
    // A run's cancellation token: once it is set, saveMailToEML creates no file and a
    // mail being written stops before its next block.
    void setCancellation(const platform::CancellationToken* token) { m_cancel = token; }

    bool open(const std::string& path);
    // Number of mails found (also stored in `count`), or -1 when no file is open.
    std::int32_t findConvertableMails(std::int32_t& count);
    // Writes mail `i` (0-based) into `folder` as <base name>_<i + 1, six digits>.eml and
    // stores that path in `outPath`. True when the whole mail was written.
    bool saveMailToEML(const std::filesystem::path& folder, std::string& outPath, std::int32_t i);
    // The same mail, the same checks, but its text goes to `sink` rather than a file of its
    // own (an output that gathers mails in one file). True when the whole mail went there;
    // otherwise the sink holds a part of it, which the caller drops.
    bool saveMailTo(MailSink& sink, std::int32_t i);
    void close();

    bool isOpen() const { return m_bOpen; }
    const std::string& baseName() const { return m_strBaseName; }
    std::uint64_t fileSize() const { return m_nFileSize; }
    std::uint64_t blocksFound() const { return m_nBlocksFound; }
    const PackedBlockTable& blockTable() const { return m_blocks; }
    const std::vector<std::int32_t>& mailHeads() const { return m_mailHeads; }
    MailWriteResult lastWriteResult() const { return m_lastWriteResult; }
    // The last mail written lacks its end: the file ends inside it, or its chain runs
    // longer than the file and was cut there.
    bool lastMailCutShort() const { return m_lastMailCutShort; }
    // The system's reason when the last open failed.
    const std::string& lastOpenError() const { return m_lastOpenError; }
    // The last findConvertableMails could not read the whole file: its mails are those of
    // the part that was read.
    bool scanReadShort() const { return m_scanReadShort; }

    // Seams for tests: where log lines go (file logs by default) and how files open.
    void setLogWriter(LogWriter* writer) { m_logWriter = writer; }
    void setOpener(Opener opener) { m_opener = std::move(opener); }
    // The permissions (before the umask) of the mail files saveMailToEML creates: 0600
    // for scratch files that only pass through on their way into a store.
    void setNewFileMode(unsigned mode) { m_newFileMode = mode; }
    // When on, each mail file saveMailToEML makes takes the mail's Date as its time, so
    // that file managers sort the mails by date.
    void setMailFileTimes(MailFileTimes times) { m_fileTimes = times; }

private:
    Logger logger() const { return Logger {m_bLog ? m_logWriter : nullptr}; }
    void resetTables();
    bool failOpen(const std::string& reason);
    MailWriteResult findHead(std::int32_t i, std::int32_t& head);
    MailWriteResult startMail(std::int32_t i, std::int32_t head);
    MailWriteResult walkChain(std::int32_t i, std::int32_t head, MailSink& out);
    MailWriteResult writeMail(const std::filesystem::path& folder, std::string& outPath,
                              std::int32_t i);
    bool passesHeaderTest(std::int32_t head, std::int32_t i);

    bool m_bLog = false;
    bool m_bRecovery = false;
    std::string m_strPath;
    std::string m_strBaseName;
    std::unique_ptr<platform::ReadableFile> m_pFile;
    std::unique_ptr<platform::ReadWindow> m_window; // mail data is read through this
    bool m_bOpen = false;
    std::uint64_t m_nBlocksFound = 0;
    std::uint64_t m_nFileSize = 0;
    std::vector<std::int32_t> m_mailHeads;
    PackedBlockTable m_blocks;

    // Walk marks for ending a chain that loops back: a block is visited in the current
    // walk when its mark equals m_walk.
    std::vector<std::uint32_t> m_visited;
    std::uint32_t m_walk = 0;

    MailWriteResult m_lastWriteResult = MailWriteResult::NotOpen;
    bool m_lastMailCutShort = false;
    bool m_scanReadShort = false;
    std::string m_lastOpenError;
    LogWriter* m_logWriter = &fileLog();
    Opener m_opener = platform::openForReading;
    unsigned m_newFileMode = 0666;
    MailFileTimes m_fileTimes;
    const platform::CancellationToken* m_cancel = nullptr;
};

} // namespace mailmend::dbx
