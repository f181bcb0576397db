// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "dbx/mail_file_time.h"
#include "platform/cancellation.h"
#include "platform/mapped_file.h"

namespace mailmend::dbx {

// Receives the positions (0 to 100) of a progress bar.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void setPosition(int percent) = 0;
};

// The Advanced Scan: gets mails out of a .dbx file by its text, without chaining blocks.
//
// Pass 1 (copyWithoutBlockHeaders) copies the file to a working file, cutting out every
// block header, so that the text of consecutive data areas runs on. Pass 2 (carveMails)
// finds each mail in the working file by its "From:" and "MIME-Version:" lines and
// writes it to <prefix>_<n>.eml, n counting from 1.
//
// Use for one source file: reset; openMapping(source); copyWithoutBlockHeaders;
// closeMapping; openMapping(working file); carveMails; closeMapping; delete the working
// file. Both passes end early when the running flag is cleared from another thread.
class MappedMailExtractor {
public:
    // How a file is mapped; a callable, so that it can serve bytes the caller holds.
    using Mapper = std::function<platform::MappingResult(const std::filesystem::path&)>;

    MappedMailExtractor();
    ~MappedMailExtractor();
    MappedMailExtractor(const MappedMailExtractor&) = delete;
    MappedMailExtractor& operator=(const MappedMailExtractor&) = delete;

    // Counter back to 1, size 0, no file, empty prefix, tallies cleared. The running
    // flag is left as it is.
    void reset();

    // Opens and maps the file. False when it does not exist, cannot be opened, is
    // empty, or is larger than 4 GB; lastOpenError() then says why.
    bool openMapping(const std::filesystem::path& path);
    void closeMapping();

    void copyWithoutBlockHeaders(const std::filesystem::path& workingPath, ProgressSink& bar);
    void carveMails(const std::string& prefix, ProgressSink& bar);

    void setActive(bool on) { m_bActive.store(on, std::memory_order_relaxed); }
    bool isActive() const { return m_bActive.load(std::memory_order_relaxed); }
    // A run's cancellation token: once it is set the passes stop as when the running
    // flag is cleared, and no further file is created or written.
    void setCancellation(const platform::CancellationToken* token) { m_cancel = token; }
    // When on, each carved mail file takes the mail's Date as its time. reset() leaves
    // this as it is.
    void setMailFileTimes(MailFileTimes times) { m_fileTimes = times; }

    // What the last passes did, for summaries and logs.
    const std::string& lastOpenError() const { return m_lastOpenError; }
    bool copyFailed() const { return m_copyFailed; } // working file not created or not written in full
    bool readFailed() const { return m_readFailed; } // a window of the source could not be read
    // A window of the working file could not be read while carving: the mails from there
    // on are missing.
    bool carveReadFailed() const { return m_carveReadFailed; }
    // Bytes the last copyWithoutBlockHeaders put in the working file.
    std::uint64_t workingSize() const { return m_workingSize; }
    std::uint32_t mailsWritten() const { return m_mailsWritten; }
    std::uint32_t mailsFailed() const { return m_mailsFailed; } // could not be created or written in full
    // Written, but from a working file the copy could not finish: they may lack their end.
    std::uint32_t mailsCutShort() const { return m_mailsCutShort; }
    std::uint64_t size() const { return m_nSize; }
    std::uint32_t nextCounter() const { return m_nCounter; }

    // Seams for tests: how files are mapped, and the window size (rounded up to a
    // multiple of the mapping granularity). Windows only pace the progress bar and
    // the checks of the running flag; the output does not depend on them.
    void setMapper(Mapper mapper) { m_mapper = std::move(mapper); }
    void setWindowSize(std::size_t bytes);

    // A window over the mapped file; the passes' own business.
    class Window;

private:
    bool running() const;
    void extractMail(std::uint64_t start);
    void writeRange(std::uint64_t start, std::uint64_t end);

    std::unique_ptr<platform::FileMapping> m_hMapping;
    // While carving: the window the walk from a mail's start reads, kept from one mail
    // to the next, and the one its bytes are written from when they lie outside it.
    std::unique_ptr<Window> m_extractWindow;
    std::unique_ptr<Window> m_writeWindow;
    std::string m_strPrefix;
    std::uint32_t m_nCounter = 1;
    std::uint64_t m_nSize = 0;
    std::atomic<bool> m_bActive {false};

    std::string m_lastOpenError;
    bool m_copyFailed = false;
    bool m_readFailed = false;
    bool m_carveReadFailed = false;
    std::uint64_t m_workingSize = 0;
    std::uint32_t m_mailsWritten = 0;
    std::uint32_t m_mailsFailed = 0;
    std::uint32_t m_mailsCutShort = 0;
    const platform::CancellationToken* m_cancel = nullptr;
    MailFileTimes m_fileTimes;
    Mapper m_mapper = platform::mapFileForReading;
    std::size_t m_windowSize = 4u << 20;
};

// The one extractor of the process; the window's Recover and Stop set its running flag.
MappedMailExtractor& mappedMailExtractor();

} // namespace mailmend::dbx
