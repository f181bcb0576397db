// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/advanced_scan_oracle.h"

#include <algorithm>
#include <sstream>
#include <string_view>
#include <system_error>

#include "dbx/mapped_mail_extractor.h"
#include "support/dbx_fixture.h"

namespace mailmend::testing {
namespace {

bool textAt(const ByteString& bytes, std::uint64_t p, std::string_view text)
{
    if (p > bytes.size() || bytes.size() - p < text.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (bytes[p + i] != static_cast<std::uint8_t>(text[i]))
            return false;
    return true;
}

bool sizeWordAt(const ByteString& bytes, std::uint64_t p)
{
    return p + 4 <= bytes.size() && bytes[p] == 0x00 && bytes[p + 1] == 0x02
        && bytes[p + 2] == 0x00 && bytes[p + 3] == 0x00;
}

std::uint32_t le32At(const ByteString& bytes, std::uint64_t p)
{
    return std::uint32_t {bytes[p]} | (std::uint32_t {bytes[p + 1]} << 8)
        | (std::uint32_t {bytes[p + 2]} << 16) | (std::uint32_t {bytes[p + 3]} << 24);
}

bool fromAt(const ByteString& w, std::uint64_t p)
{
    return textAt(w, p, "From:") || textAt(w, p, "from:") || textAt(w, p, "FROM:");
}

bool mimeVersionAt(const ByteString& w, std::uint64_t p)
{
    return textAt(w, p, "MIME-Version:") || textAt(w, p, "MIME-version:");
}

} // namespace

ByteString literalCopy(const ByteString& src, AdvancedScanMends mends)
{
    const std::uint64_t n = src.size();
    ByteString out;      // out.size() is the farthest position ever written
    std::uint64_t wp = 0; // where the next byte goes
    auto write = [&](std::uint8_t b) {
        if (wp < out.size())
            out[wp] = b;
        else
            out.push_back(b);
        ++wp;
    };

    std::uint64_t q = 0;
    while (true) {
        if (n - q < 4) {
            for (; q < n; ++q)
                write(src[q]);
            break;
        }
        // The real size word 3 bytes on, with a plausible dataLength after it.
        bool laterWord = false;
        if (q + 15 < n && sizeWordAt(src, q + 3)) {
            const std::uint32_t dataLength = le32At(src, q + 7);
            laterWord = dataLength >= 1 && dataLength <= 512;
        }
        if (sizeWordAt(src, q) && q + 12 < n && !(mends.selfOffsetMarker && laterWord)) {
            if (wp >= 4)
                wp -= 4;
            write(src[q + 12]);
            q += 13;
        } else {
            write(src[q]);
            q += 1;
        }
    }
    if (mends.tailCut)
        out.resize(wp);
    return out;
}

std::vector<ByteRange> literalCarve(const ByteString& w, AdvancedScanMends mends)
{
    const std::uint64_t n = w.size();
    std::vector<ByteRange> files;

    auto writeRange = [&](std::uint64_t s, std::uint64_t e) {
        if (s < e)
            files.push_back({s, e});
    };

    auto extractMail = [&](std::uint64_t s) {
        if (s >= n)
            return;
        std::uint64_t cut = 0;
        bool returnPathSeen = false;
        bool mimeSeen = false;
        for (std::uint64_t p = s; p + 13 <= n; ++p) {
            if (textAt(w, p, "Return-path:")) {
                cut = p;
                returnPathSeen = true;
            } else if (!returnPathSeen && textAt(w, p, "Received:")) {
                cut = p;
            } else if (mimeVersionAt(w, p)) {
                if (mimeSeen) {
                    if (cut == 0)
                        cut = p;
                    writeRange(s, cut);
                    return;
                }
                mimeSeen = true;
            }
        }
        writeRange(s, n);
    };

    std::uint64_t lastFrom = 0;
    std::uint64_t lastStart = 0;
    bool extractedAny = false;
    for (std::uint64_t p = 0; p + 13 <= n; ++p) {
        if (fromAt(w, p)) {
            lastFrom = p;
        } else if (mimeVersionAt(w, p)) {
            const bool take = mends.zeroStartOnce ? (!extractedAny || lastStart != lastFrom)
                                                  : (lastStart == 0 || lastStart != lastFrom);
            if (take) {
                extractMail(lastFrom);
                extractedAny = true;
            }
            lastStart = lastFrom;
        }
    }
    return files;
}

std::vector<std::string> rangeTexts(const ByteString& bytes, const std::vector<ByteRange>& ranges,
                                    AdvancedScanMends mends)
{
    std::vector<std::string> out;
    for (const auto& [first, second] : ranges) {
        std::string& text = out.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(first),
                                             bytes.begin() + static_cast<std::ptrdiff_t>(second));
        while (mends.trailingZerosCut && !text.empty() && text.back() == '\0')
            text.pop_back();
    }
    return out;
}

ByteString toBytes(const std::string& text)
{
    return ByteString(text.begin(), text.end());
}

std::string toText(const ByteString& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

namespace {

class PositionRecorder final : public dbx::ProgressSink {
public:
    explicit PositionRecorder(std::vector<int>& positions) : m_positions(positions) {}
    void setPosition(int percent) override { m_positions.push_back(percent); }

private:
    std::vector<int>& m_positions;
};

void collectMails(const std::filesystem::path& folder, AdvancedScanRun& run)
{
    for (int k = 1;; ++k) {
        const auto path = folder / ("mail_" + std::to_string(k) + ".eml");
        if (!std::filesystem::exists(path))
            break;
        run.mails.push_back(readFile(path));
    }
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        if (entry.path().extension() == ".eml")
            ++run.emlFiles;
}

void carveInto(dbx::MappedMailExtractor& extractor, const std::filesystem::path& working,
               const std::filesystem::path& folder, AdvancedScanRun& run)
{
    run.workingOpened = extractor.openMapping(working);
    if (run.workingOpened) {
        PositionRecorder bar(run.carvePositions);
        extractor.carveMails((folder / "mail").string(), bar);
        extractor.closeMapping();
    }
    run.mailsWritten = extractor.mailsWritten();
    run.mailsFailed = extractor.mailsFailed();
    run.nextCounter = extractor.nextCounter();
    collectMails(folder, run);
}

} // namespace

namespace {

// Where two byte strings part, for failure messages.
std::string difference(const std::string& got, const std::string& want)
{
    std::ostringstream out;
    out << got.size() << " bytes where " << want.size() << " were expected";
    const std::size_t common = std::min(got.size(), want.size());
    std::size_t i = 0;
    while (i < common && got[i] == want[i])
        ++i;
    if (i < common)
        out << ", first different byte at " << i;
    else if (got.size() != want.size())
        out << ", the shorter is a prefix of the longer";
    return out.str();
}

// Builds a failure message with <<.
class Said {
public:
    template <typename T>
    Said& operator<<(const T& value)
    {
        m_out << value;
        return *this;
    }
    operator std::string() const { return m_out.str(); }

private:
    std::ostringstream m_out;
};

bool climbs(const std::vector<int>& positions, int from, int to)
{
    if (positions.empty() || positions.front() != from || positions.back() != to)
        return false;
    for (std::size_t i = 1; i < positions.size(); ++i)
        if (positions[i] < positions[i - 1])
            return false;
    return true;
}

std::string listed(const std::vector<int>& positions)
{
    std::ostringstream out;
    for (const int p : positions)
        out << ' ' << p;
    return out.str();
}

std::string carveAgrees(const AdvancedScanRun& run, const ByteString& working)
{
    const std::vector<std::string> want = rangeTexts(working, literalCarve(working));
    if (!working.empty() && !run.workingOpened)
        return Said() << "the working file could not be opened";
    for (std::size_t k = 0; k < std::min(want.size(), run.mails.size()); ++k)
        if (run.mails[k] != want[k])
            return Said() << "mail " << k + 1 << " of " << want.size() << ": " << difference(run.mails[k], want[k]);
    if (run.mails.size() != want.size() || run.emlFiles != want.size())
        return Said() << run.mails.size() << " mails numbered from 1 and "
                                             << run.emlFiles << " .eml files where " << want.size()
                                             << " were expected";
    if (run.mailsWritten != want.size() || run.mailsFailed != 0 || run.nextCounter != want.size() + 1)
        return Said() << "tallies: " << run.mailsWritten << " written, " << run.mailsFailed
            << " failed, next counter " << run.nextCounter << " for " << want.size() << " mails";
    if (run.workingOpened && !climbs(run.carvePositions, 50, 100))
        return Said() << "carve progress:" << listed(run.carvePositions);
    return {};
}

} // namespace

std::string oracleDifference(const AdvancedScanRun& run, const ByteString& source)
{
    if (!source.empty() && !run.sourceOpened)
        return Said() << "the source could not be opened";
    const ByteString working = literalCopy(source);
    if (run.working != toText(working))
        return Said() << "working file: " << difference(run.working, toText(working));
    if (run.sourceOpened && run.copyFailed)
        return Said() << "the copy reports a failure";
    if (run.sourceOpened && !climbs(run.copyPositions, 0, 50))
        return Said() << "copy progress:" << listed(run.copyPositions);
    return carveAgrees(run, working);
}

std::string carveOracleDifference(const AdvancedScanRun& run, const ByteString& working)
{
    if (run.working != toText(working))
        return Said() << "the working file changed";
    return carveAgrees(run, working);
}

AdvancedScanRun runAdvancedScan(const std::filesystem::path& source,
                                const std::filesystem::path& folder, std::size_t windowSize,
                                const ScanSetup& setUp)
{
    AdvancedScanRun run;
    dbx::MappedMailExtractor extractor;
    if (setUp)
        setUp(extractor);
    extractor.setActive(true);
    if (windowSize != 0)
        extractor.setWindowSize(windowSize);
    extractor.reset();

    const auto working = folder / "working.tmp";
    run.sourceOpened = extractor.openMapping(source);
    if (run.sourceOpened) {
        PositionRecorder bar(run.copyPositions);
        extractor.copyWithoutBlockHeaders(working, bar);
        extractor.closeMapping();
    }
    run.copyFailed = extractor.copyFailed();
    run.working = readFile(working);
    carveInto(extractor, working, folder, run);
    return run;
}

AdvancedScanRun runCarve(const std::filesystem::path& working, const std::filesystem::path& folder,
                         std::size_t windowSize)
{
    AdvancedScanRun run;
    dbx::MappedMailExtractor extractor;
    extractor.setActive(true);
    if (windowSize != 0)
        extractor.setWindowSize(windowSize);
    extractor.reset();
    run.working = readFile(working);
    carveInto(extractor, working, folder, run);
    return run;
}

} // namespace mailmend::testing
