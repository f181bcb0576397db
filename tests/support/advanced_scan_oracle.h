// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>


namespace mailmend::dbx {
class MappedMailExtractor;
}

namespace mailmend::testing {

// The Advanced Scan written out the slow, obvious way: one byte at a time, every text
// compared where it stands, no windows. The tests check the real extractor against it,
// so it must stay a plain loop that can be read line by line against the rules.

using ByteString = std::vector<std::uint8_t>;
using ByteRange = std::pair<std::uint64_t, std::uint64_t>; // [first, second)

// The mends of the Advanced Scan over the plain procedure it grew out of. Each can be
// turned off to show the fault it mends.
struct AdvancedScanMends {
    // A block whose selfOffset is 0x000200xx shows the 00 02 00 00 word one byte early,
    // at the selfOffset's second byte. Unmended, that early word is taken for the
    // block size: 3 bytes of text are lost and 3 header bytes kept. Mended, the early
    // word is passed over when the real one follows 3 bytes on with a dataLength of
    // 1 to 512 after it.
    bool selfOffsetMarker = true;
    // The working file ends at the last write position. Unmended it ends at the
    // farthest position ever written, so bytes left behind by a step back stay at its end.
    bool tailCut = true;
    // A mail starting at byte 0 (a MIME-Version: line before any From:) is written once.
    // Unmended it is written again at every MIME-Version: until the first From:.
    bool zeroStartOnce = true;
    // A mail ends at its last byte that is not zero. Unmended, a mail carved up to unused
    // space keeps all of that zero padding.
    bool trailingZerosCut = true;
};

// Pass 1: the source with every block header cut out.
//
// At each position q: a 00 02 00 00 word with at least 13 bytes from q to the end is a
// block size word (unless selfOffsetMarker passes it over). The 4 bytes written last (the selfOffset) are taken back, when there
// are 4, bytes q..q+11 are skipped and the byte at q+12 is written. Any other byte is
// written as it is, and so are the last 3 bytes. Writes overwrite what was taken back.
ByteString literalCopy(const ByteString& source, AdvancedScanMends mends = {});

// Pass 2: the ranges of the working file written to <prefix>_1.eml, <prefix>_2.eml, ...
// in that order.
//
// Every "MIME-Version:" (or "MIME-version:") starts a mail at the last "From:" (also
// "from:", "FROM:") before it, or at byte 0 when there is none, unless the MIME-Version:
// line before it had that same start. The mail is walked from its start until the
// second MIME-Version: line the walk meets (the first is its own), and ends at the last
// "Return-path:" met on the way, else at the last "Received:", else at that second line
// (a cut at byte 0 counts as none); with no second line it runs to the end of the file.
// Texts are found at any byte, and only where 13 bytes remain.
std::vector<ByteRange> literalCarve(const ByteString& working, AdvancedScanMends mends = {});

// The bytes of the ranges, as the mails are written.
std::vector<std::string> rangeTexts(const ByteString& bytes, const std::vector<ByteRange>& ranges,
                                    AdvancedScanMends mends = {});

ByteString toBytes(const std::string& text);
std::string toText(const ByteString& bytes);

// What one run of the real extractor left behind.
struct AdvancedScanRun {
    bool sourceOpened = false;
    bool workingOpened = false;
    bool copyFailed = false;
    std::uint32_t mailsWritten = 0;
    std::uint32_t mailsFailed = 0;
    std::uint32_t nextCounter = 0;
    std::string working;            // the working file's bytes
    std::vector<std::string> mails; // <prefix>_1.eml, _2.eml, ... up to the first gap
    std::size_t emlFiles = 0;       // every .eml file in the output folder
    std::vector<int> copyPositions; // progress bar positions, each pass on its own
    std::vector<int> carvePositions;
};

// Sets up the run's extractor beyond the window size (how it maps files, the mails' file
// times) before the first pass.
using ScanSetup = std::function<void(dbx::MappedMailExtractor&)>;

// Runs both passes on `source` the way the recovery does, with the working file and the
// mails in `folder` (prefix "mail"). A window size of 0 keeps the extractor's own.
AdvancedScanRun runAdvancedScan(const std::filesystem::path& source,
                                const std::filesystem::path& folder, std::size_t windowSize = 0,
                                const ScanSetup& setUp = {});

// Only pass 2, on a working file written beforehand.
AdvancedScanRun runCarve(const std::filesystem::path& working, const std::filesystem::path& folder,
                         std::size_t windowSize = 0);

// Where a run of both passes on `source` parts from what the plain procedure makes: the
// working file, each mail file and no other, tallies that agree, and a progress bar that
// climbs from 0 to 50 in the copy and from 50 to 100 in the carve. Empty when it agrees.
std::string oracleDifference(const AdvancedScanRun& run, const ByteString& source);

// The same for a run of pass 2 alone on `working`.
std::string carveOracleDifference(const AdvancedScanRun& run, const ByteString& working);

} // namespace mailmend::testing
