// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbx/mapped_mail_extractor.h"

#include <algorithm>
#include <cstring>

#include "dbx/format.h"
#include "log/text.h"
#include "platform/buffered_output.h"
#include "platform/file_system.h"
#include "platform/output_file.h"

namespace mailmend::dbx {
namespace {

// Every test at a position looks at most this many bytes ahead of it, so each window
// is mapped with this much of the next one behind it.
constexpr std::size_t kLookahead = 16;

// Texts that open, end and cut mails in the working file. Each ends in the only colon
// it holds, and the letters before those colons differ, so one colon names at most one
// text. A colon also lies inside no other text's span: the texts found by walking the
// colons come out in the order of their starts.
constexpr char kFromUpper[] = "From:";
constexpr char kFromLower[] = "from:";
constexpr char kFromCaps[] = "FROM:";
constexpr char kMimeUpper[] = "MIME-Version:";
constexpr char kMimeLower[] = "MIME-version:";
constexpr char kReturnPath[] = "Return-path:";
constexpr char kReceived[] = "Received:";
constexpr std::uint64_t kFromLength = 5;
constexpr std::uint64_t kMimeLength = 13;
constexpr std::uint64_t kReturnPathLength = 12;
constexpr std::uint64_t kReceivedLength = 9;

// Mail texts are looked for at positions 0 .. size - 13 only.
constexpr std::uint64_t kCarveReach = kMimeLength;

enum TextKind : unsigned { From = 1, Mime = 2, ReturnPath = 4, Received = 8 };

bool equalAt(const std::uint8_t* at, const char* text, std::uint64_t length)
{
    return std::memcmp(at, text, length) == 0;
}

bool isMarker(const std::uint8_t* at)
{
    return at[0] == 0x00 && at[1] == 0x02 && at[2] == 0x00 && at[3] == 0x00;
}

} // namespace

// A window of a mapped file: the positions [start, ownEnd) belong to it, and up to
// kLookahead bytes after ownEnd are mapped too (where the file has them). Asking for a
// position the current window holds does not map again.
class MappedMailExtractor::Window {
public:
    Window(platform::FileMapping& mapping, std::size_t windowSize)
        : m_view(mapping.newView()), m_size(mapping.size()), m_windowSize(windowSize)
    {
    }

    // Maps the window holding `position`. False when the system refuses. With `upTo`
    // the window is cut short there, and all of it will be read.
    bool reach(std::uint64_t position, std::uint64_t upTo = 0)
    {
        if (m_bytes && position >= m_start && position < m_ownEnd)
            return true;
        m_bytes = nullptr;
        const std::uint64_t start = position - position % m_windowSize;
        std::uint64_t ownEnd = std::min<std::uint64_t>(start + m_windowSize, m_size);
        if (upTo != 0)
            ownEnd = std::min(ownEnd, upTo);
        const std::uint64_t mappedEnd = std::min<std::uint64_t>(ownEnd + kLookahead, m_size);
        const std::uint8_t* bytes
            = m_view->map(start, static_cast<std::size_t>(mappedEnd - start), upTo != 0);
        if (!bytes)
            return false;
        m_bytes = bytes;
        m_start = start;
        m_ownEnd = ownEnd;
        return true;
    }

    void release()
    {
        m_view->unmap();
        m_bytes = nullptr;
    }

    // The byte at an absolute position of the current window (or its lookahead).
    const std::uint8_t* at(std::uint64_t position) const { return m_bytes + (position - m_start); }
    std::uint64_t ownEnd() const { return m_ownEnd; }
    // True when [from, to) is mapped now.
    bool holds(std::uint64_t from, std::uint64_t to) const
    {
        return m_bytes && from >= m_start && to <= m_ownEnd;
    }

private:
    std::unique_ptr<platform::MappedView> m_view;
    std::uint64_t m_size;
    std::uint64_t m_windowSize;
    const std::uint8_t* m_bytes = nullptr;
    std::uint64_t m_start = 0;
    std::uint64_t m_ownEnd = 0;
};

namespace {

using WindowCursor = MappedMailExtractor::Window;

// Calls found(kind, position) for every text of the kinds in `wanted` that starts at a
// position in [from, to) of the current window, in the order of their starts, until
// found returns false. `to` must not pass the window's own end nor size - 12. Returns
// false when stopped by found.
template <typename Found>
bool findTexts(const WindowCursor& window, std::uint64_t size, std::uint64_t from, std::uint64_t to,
               unsigned wanted, Found&& found)
{
    // A text starting in [from, to) has its colon in [from + 4, to + 12).
    std::uint64_t c = from + kFromLength - 1;
    const std::uint64_t colonEnd = std::min<std::uint64_t>(to + kMimeLength - 1, size);
    while (c < colonEnd) {
        const auto* hit = static_cast<const std::uint8_t*>(
            std::memchr(window.at(c), ':', static_cast<std::size_t>(colonEnd - c)));
        if (!hit)
            return true;
        c += static_cast<std::uint64_t>(hit - window.at(c));
        unsigned kind = 0;
        std::uint64_t length = 0;
        switch (hit[-1]) {
        case 'm':
        case 'M':
            kind = From;
            length = kFromLength;
            break;
        case 'n':
            kind = Mime;
            length = kMimeLength;
            break;
        case 'h':
            kind = ReturnPath;
            length = kReturnPathLength;
            break;
        case 'd':
            kind = Received;
            length = kReceivedLength;
            break;
        default:
            break;
        }
        if ((kind & wanted) != 0 && c + 1 >= length + from && c + 1 - length < to) {
            const std::uint64_t start = c + 1 - length;
            const std::uint8_t* text = window.at(start);
            bool matches = false;
            switch (kind) {
            case From:
                matches = equalAt(text, kFromUpper, length) || equalAt(text, kFromLower, length)
                    || equalAt(text, kFromCaps, length);
                break;
            case Mime:
                matches = equalAt(text, kMimeUpper, length) || equalAt(text, kMimeLower, length);
                break;
            case ReturnPath:
                matches = equalAt(text, kReturnPath, length);
                break;
            default:
                matches = equalAt(text, kReceived, length);
                break;
            }
            if (matches && !found(static_cast<TextKind>(kind), start))
                return false;
        }
        ++c;
    }
    return true;
}

// Is the marker at m only the second byte of a selfOffset 0x000200xx, seen one byte
// before the block's real blockSize word? That word then starts at m + 3, fits in the
// file and is followed by a plausible dataLength.
bool isMarkerOfNextWord(const WindowCursor& window, std::uint64_t size, std::uint64_t m)
{
    if (m + 15 >= size || !isMarker(window.at(m + 3)))
        return false;
    const std::uint32_t dataLength = readLe32(window.at(m + 7));
    return dataLength >= 1 && dataLength <= kBlockDataSize;
}

// Copies the positions from q to the end of the current window, cutting out each block
// header whose blockSize word starts among them: the four bytes written before the word
// (its selfOffset) are taken back and the twelve bytes from the word on are skipped.
// Returns where the copy goes on, which may lie past the window.
std::uint64_t copyWindow(const WindowCursor& window, std::uint64_t size, std::uint64_t q,
                         platform::BufferedOutputFile& out)
{
    const std::uint64_t ownEnd = window.ownEnd();
    std::uint64_t runStart = q; // first byte not yet written
    std::uint64_t candidate = q; // markers are looked for from here on
    // A marker at m has its 02 byte at m + 1.
    const std::uint64_t searchEnd = std::min<std::uint64_t>(ownEnd + 1, size);
    while (candidate + 1 < searchEnd) {
        const auto* hit = static_cast<const std::uint8_t*>(std::memchr(
            window.at(candidate + 1), 0x02, static_cast<std::size_t>(searchEnd - candidate - 1)));
        if (!hit)
            break;
        const std::uint64_t m = candidate + static_cast<std::uint64_t>(hit - window.at(candidate)) - 1;
        if (m + 12 < size && isMarker(window.at(m)) && !isMarkerOfNextWord(window, size, m)) {
            out.write(window.at(runStart), static_cast<std::size_t>(m - runStart));
            out.stepBack(4);
            out.put(*window.at(m + 12));
            runStart = candidate = m + 13;
        } else {
            candidate = m + 1;
        }
    }
    if (runStart < ownEnd)
        out.write(window.at(runStart), static_cast<std::size_t>(ownEnd - runStart));
    return std::max(runStart, ownEnd);
}

} // namespace

MappedMailExtractor::MappedMailExtractor() = default;
MappedMailExtractor::~MappedMailExtractor() = default;

MappedMailExtractor& mappedMailExtractor()
{
    static MappedMailExtractor extractor;
    return extractor;
}

void MappedMailExtractor::setWindowSize(std::size_t bytes)
{
    const std::size_t unit = platform::mappingGranularity();
    m_windowSize = bytes <= unit ? unit : (bytes + unit - 1) / unit * unit;
}

void MappedMailExtractor::reset()
{
    m_nCounter = 1;
    m_nSize = 0;
    m_hMapping.reset();
    m_strPrefix.clear();
    m_lastOpenError.clear();
    m_copyFailed = false;
    m_readFailed = false;
    m_carveReadFailed = false;
    m_mailsWritten = 0;
    m_mailsCutShort = 0;
    m_mailsFailed = 0;
}

bool MappedMailExtractor::openMapping(const std::filesystem::path& path)
{
    closeMapping();
    m_lastOpenError.clear();
    auto opened = m_mapper(path);
    if (!opened.mapping) {
        m_lastOpenError = opened.error;
        return false;
    }
    const std::uint64_t size = opened.mapping->size();
    if (size > kLargestReadableFile) {
        m_lastOpenError = strprintf("larger than 4 GB (%llu bytes)", static_cast<unsigned long long>(size));
        return false;
    }
    m_hMapping = std::move(opened.mapping);
    m_nSize = size;
    return true;
}

void MappedMailExtractor::closeMapping()
{
    m_hMapping.reset();
}

bool MappedMailExtractor::running() const
{
    return isActive() && !platform::cancelled(m_cancel);
}

void MappedMailExtractor::copyWithoutBlockHeaders(const std::filesystem::path& workingPath,
                                                  ProgressSink& bar)
{
    m_copyFailed = false;
    m_readFailed = false;
    m_workingSize = 0;
    bar.setPosition(0);
    platform::BufferedOutputFile out;
    const bool created = out.create(workingPath);
    if (!running()) {
        m_copyFailed = true;
        if (created)
            out.close();
        return;
    }
    if (!created)
        m_copyFailed = true;
    if (created && m_nSize != 0 && m_hMapping) {
        WindowCursor window(*m_hMapping, m_windowSize);
        std::uint64_t q = 0;
        while (q < m_nSize) {
            if (!running()) {
                m_copyFailed = true;
                break;
            }
            if (!window.reach(q, m_nSize)) {
                // The source shrank or the disk failed: the bar goes on to 50 below,
                // never back from 100.
                m_copyFailed = m_readFailed = true;
                break;
            }
            bar.setPosition(static_cast<int>(q * 100 / m_nSize / 2));
            q = copyWindow(window, m_nSize, q, out);
        }
        window.release();
    }
    m_workingSize = out.position();
    if (created && !out.close())
        m_copyFailed = true;
    bar.setPosition(50);
}

void MappedMailExtractor::carveMails(const std::string& prefix, ProgressSink& bar)
{
    m_strPrefix = prefix;
    m_carveReadFailed = false;
    if (!running())
        return;
    bar.setPosition(50);
    if (m_nSize >= kCarveReach && m_hMapping) {
        const std::uint64_t positionsEnd = m_nSize - kCarveReach + 1;
        WindowCursor window(*m_hMapping, m_windowSize);
        m_extractWindow = std::make_unique<Window>(*m_hMapping, m_windowSize);
        m_writeWindow = std::make_unique<Window>(*m_hMapping, m_windowSize);
        std::uint64_t lastFrom = 0;
        std::uint64_t lastStart = 0;
        bool extractedAny = false;
        bool stopped = false;
        for (std::uint64_t p = 0; p < positionsEnd;) {
            if (!running()) {
                stopped = true;
                break;
            }
            if (!window.reach(p)) {
                m_carveReadFailed = true;
                break;
            }
            bar.setPosition(static_cast<int>(50 + p * 100 / m_nSize / 2));
            const std::uint64_t to = std::min(window.ownEnd(), positionsEnd);
            findTexts(window, m_nSize, p, to, From | Mime, [&](TextKind kind, std::uint64_t at) {
                if (kind == From) {
                    lastFrom = at;
                    return true;
                }
                // Each distinct start once, a start of 0 included.
                if (!extractedAny || lastStart != lastFrom) {
                    extractMail(lastFrom);
                    extractedAny = true;
                }
                lastStart = lastFrom;
                stopped = !running();
                return !stopped;
            });
            if (stopped)
                break;
            p = to;
        }
        m_extractWindow.reset();
        m_writeWindow.reset();
        if (stopped)
            return; // the bar stays where it is
    }
    bar.setPosition(100);
}

void MappedMailExtractor::extractMail(std::uint64_t start)
{
    if (start >= m_nSize)
        return;
    std::uint64_t cut = 0;
    bool returnPathSeen = false;
    bool mimeSeen = false;
    if (m_nSize >= kCarveReach) {
        const std::uint64_t positionsEnd = m_nSize - kCarveReach + 1;
        WindowCursor& window = *m_extractWindow;
        for (std::uint64_t p = start; p < positionsEnd;) {
            if (!running())
                return;
            if (!window.reach(p)) {
                // The mail is lost; it keeps its number, so the next one keeps its own.
                m_carveReadFailed = true;
                ++m_nCounter;
                ++m_mailsFailed;
                return;
            }
            const std::uint64_t to = std::min(window.ownEnd(), positionsEnd);
            std::uint64_t end = 0;
            findTexts(window, m_nSize, p, to, Mime | ReturnPath | Received,
                      [&](TextKind kind, std::uint64_t at) {
                          if (kind == ReturnPath) {
                              cut = at;
                              returnPathSeen = true;
                          } else if (kind == Received) {
                              if (!returnPathSeen)
                                  cut = at;
                          } else if (!mimeSeen) {
                              mimeSeen = true; // the mail's own
                          } else {
                              end = cut == 0 ? at : cut; // the next mail's
                              return false;
                          }
                          return true;
                      });
            if (end != 0) {
                writeRange(start, end);
                return;
            }
            p = to;
        }
    }
    const std::uint32_t written = m_mailsWritten;
    writeRange(start, m_nSize); // no next mail: this one runs to the end
    // Where the copy failed the working file stops, and the mail may stop short of its end.
    if (m_copyFailed && m_mailsWritten > written)
        ++m_mailsCutShort;
}

namespace {

// Writes a mail's bytes but holds back a run of zero bytes until something else follows
// it: a mail carved up to unused space then ends at its last real byte, not in padding.
class ZeroTrimmingWriter {
public:
    ZeroTrimmingWriter(platform::OutputFile& out, MailHeadCapture* head) : m_out(out), m_head(head) {}

    void write(const std::uint8_t* data, std::size_t count)
    {
        if (m_head)
            m_head->add(data, count);
        std::size_t used = count;
        while (used > 0 && data[used - 1] == 0)
            --used;
        if (used == 0) {
            m_heldZeros += count;
            return;
        }
        static constexpr std::uint8_t kZeros[4096] = {};
        for (; m_heldZeros > 0;) {
            const std::size_t n = std::min<std::uint64_t>(m_heldZeros, sizeof kZeros);
            m_out.write(kZeros, n);
            m_heldZeros -= n;
        }
        m_out.write(data, used);
        m_heldZeros = count - used;
    }

private:
    platform::OutputFile& m_out;
    MailHeadCapture* m_head; // null: the file keeps the time it was written
    std::uint64_t m_heldZeros = 0;
};

} // namespace

void MappedMailExtractor::writeRange(std::uint64_t start, std::uint64_t end)
{
    if (start >= end || !running())
        return;
    const std::string name = strprintf("%s_%u.eml", m_strPrefix.c_str(), m_nCounter);
    ++m_nCounter;
    platform::OutputFile out;
    if (!out.create(name)) {
        ++m_mailsFailed;
        return;
    }
    MailHeadCapture head;
    ZeroTrimmingWriter writer(out, m_fileTimes.enabled ? &head : nullptr);
    bool whole = true;
    if (m_extractWindow->holds(start, end)) {
        // The walk from the mail's start has just read these bytes: write them from there.
        writer.write(m_extractWindow->at(start), static_cast<std::size_t>(end - start));
    } else {
        WindowCursor& window = *m_writeWindow;
        for (std::uint64_t p = start; p < end;) {
            if (!running() || !window.reach(p, end)) {
                whole = false;
                break;
            }
            const std::uint64_t upTo = std::min(window.ownEnd(), end);
            writer.write(window.at(p), static_cast<std::size_t>(upTo - p));
            p = upTo;
        }
        window.release();
    }
    if (out.close() && whole) {
        stampMailFile(name, head, m_fileTimes);
        ++m_mailsWritten;
    } else {
        // Stopped inside the mail, or the disk refused: no part of a mail stays looking whole.
        platform::removeFile(name);
        ++m_mailsFailed;
    }
}

} // namespace mailmend::dbx
