// SPDX-License-Identifier: GPL-3.0-or-later
// The Advanced Scan on any bytes, through windows of one to three pages so that markers
// and texts straddle window edges, checked against the byte-at-a-time procedure of the
// test support: the working file, every mail, the tallies and the progress bar. The first
// input byte picks the window and whether the mail files take their Date as their time;
// the rest is the file, served from memory.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "dbx/mapped_mail_extractor.h"
#include "fuzz_support.h"
#include "platform/mapped_file.h"
#include "support/advanced_scan_oracle.h"
#include "support/memory_files.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    mailmend::fuzz::silenceMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace mailmend;
    if (size == 0)
        return 0;
    const std::size_t window = (1 + data[0] % 3) * platform::mappingGranularity();
    const std::vector<unsigned char> source(data + 1, data + size);

    const std::filesystem::path sourcePath = fuzz::scratchFolder() / "source.dbx";
    const bool fileTimes = (data[0] & 0x80) != 0;
    auto setUp = [&](dbx::MappedMailExtractor& extractor) {
        extractor.setMapper([&](const std::filesystem::path& path) {
            // The working file the first pass wrote is read back from the disk.
            return path == sourcePath ? testing::memoryMapping(source)
                                      : platform::mapFileForReading(path);
        });
        extractor.setMailFileTimes({fileTimes, 1300000000});
    };
    const testing::AdvancedScanRun run
        = testing::runAdvancedScan(sourcePath, fuzz::scratchFolder(), window, setUp);
    const std::string difference = testing::oracleDifference(run, source);
    fuzz::emptyScratchFolder();
    fuzz::check(difference.empty(), "window of ", window, " bytes: ", difference);
    return 0;
}
