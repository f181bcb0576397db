// SPDX-License-Identifier: GPL-3.0-or-later
// The reader on any bytes: open, findConvertableMails, then every mail in normal and in
// recovery mode. Checked against the plain procedures of the test support: the header test
// at every position, the list procedure's linking, and each mail holding exactly the bytes
// of its chain. Inputs under 128 KiB run again padded with zeros to 128 KiB, so that
// links to offsets above 60115 can resolve.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "dbx/dbx_file.h"
#include "dbx/format.h"
#include "dbx/header_test.h"
#include "fuzz_support.h"
#include "support/dbx_fixture.h"
#include "support/list_linker_oracle.h"
#include "support/memory_files.h"
#include "support/recording.h"

namespace mailmend::fuzz {
namespace {

using Bytes = std::vector<unsigned char>;

constexpr std::size_t kPaddedSize = 128 * 1024;
// The list procedure takes time in the square of the block count; past this many blocks
// only the scan and the mails' bytes are checked.
constexpr std::size_t kListProcedureBlocks = 4096;
// Mails past this many go to a sink in memory rather than to files of their own: the same
// walk, without thousands of files an input.
constexpr std::int32_t kMailFiles = 24;

// The table the reader must build: every valid header, in file order.
dbx::BlockTable headersOf(const Bytes& bytes)
{
    dbx::BlockTable table;
    for (const std::uint64_t p : testing::validHeaderPositions(bytes)) {
        const unsigned char* h = bytes.data() + p;
        dbx::BlockRecord record;
        record.fileOffset = static_cast<std::uint32_t>(p);
        record.selfOffset = dbx::readLe32(h + dbx::kSelfOffsetAt);
        record.dataLength = static_cast<std::uint16_t>(dbx::readLe32(h + dbx::kDataLengthAt));
        record.nextOffset = dbx::readLe32(h + dbx::kNextOffsetAt);
        table.push_back(record);
    }
    return table;
}

// The mail's text as its chain gives it: the used bytes of each block from the head, up to
// the first block met twice, cut where the file ends and at the file's size in all.
std::string chainText(const Bytes& bytes, const dbx::BlockTable& table, std::int32_t head)
{
    std::string text;
    std::vector<bool> seen(table.size(), false);
    for (std::int32_t b = head; b >= 0 && !seen[static_cast<std::size_t>(b)];) {
        seen[static_cast<std::size_t>(b)] = true;
        const dbx::BlockRecord& block = table[static_cast<std::size_t>(b)];
        const std::size_t from = std::size_t {block.fileOffset} + dbx::kBlockHeaderSize;
        const std::size_t to = std::min(from + block.dataLength, bytes.size());
        if (from < to)
            text.append(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                        bytes.begin() + static_cast<std::ptrdiff_t>(to));
        if (text.size() >= bytes.size()) {
            text.resize(bytes.size());
            break;
        }
        b = block.nextIndex;
    }
    return text;
}

// Recovery mode keeps a mail only when the used bytes of its first five chain blocks look
// like a mail header; a block whose used bytes the file cuts ends the gathering, and
// when that is the first block the mail is refused.
bool passesHeaderTest(const Bytes& bytes, const dbx::BlockTable& table, std::int32_t head)
{
    std::string text;
    std::int32_t b = head;
    for (int taken = 0; taken < dbx::kHeaderTestBlocks && b >= 0; ++taken) {
        const dbx::BlockRecord& block = table[static_cast<std::size_t>(b)];
        const std::size_t from = std::size_t {block.fileOffset} + dbx::kBlockHeaderSize;
        if (from + block.dataLength > bytes.size()) {
            if (taken == 0)
                return false;
            break;
        }
        text.append(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                    bytes.begin() + static_cast<std::ptrdiff_t>(from + block.dataLength));
        b = block.nextIndex;
    }
    return dbx::looksLikeMailHeader(text);
}

class StringSink final : public dbx::MailSink {
public:
    void write(const unsigned char* data, std::size_t count) override
    {
        text.append(reinterpret_cast<const char*>(data), count);
    }
    std::string text;
};

// The linker's lines of the reader's log, to hold against the list procedure's.
std::vector<testing::LogLine> linkerLines(const testing::RecordingLog& log)
{
    std::vector<testing::LogLine> lines;
    for (const testing::LogLine& line : log.lines()) {
        const std::string& m = line.message;
        if (m.rfind("Total ", 0) == 0
            || m.find(" rejected as last object in chain") != std::string::npos
            || m.find(" Mail headers identified") != std::string::npos)
            lines.push_back(line);
    }
    return lines;
}

void checkTable(const dbx::DbxFile& file, const dbx::BlockTable& want)
{
    const dbx::PackedBlockTable& got = file.blockTable();
    check(got.size() == want.size(), "scan found ", got.size(),
          " headers, the "
          "header test at every position ",
          want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        const dbx::BlockRecord x = got[i];
        const dbx::BlockRecord& y = want[i];
        check(x.fileOffset == y.fileOffset && x.selfOffset == y.selfOffset
                  && x.nextOffset == y.nextOffset && x.dataLength == y.dataLength,
              "block ", i, " scanned wrongly");
        check(x.role == y.role && x.nextIndex == y.nextIndex
                  && x.hasPredecessor == y.hasPredecessor,
              "block ", i, " linked unlike the list procedure");
    }
}

// One mail in one mode: to a file of its own for the first few, else to memory.
void checkMail(dbx::DbxFile& file, std::int32_t i, const std::string& want, bool expectWritten)
{
    std::string got;
    bool written = false;
    if (i < kMailFiles) {
        std::string outPath;
        written = file.saveMailToEML(scratchFolder(), outPath, i);
        if (written) {
            char name[32];
            std::snprintf(name, sizeof name, "fuzz_%06d.eml", i + 1);
            check(outPath == (scratchFolder() / name).string(), "file name of mail ", i);
            got = readWholeFile(outPath);
            std::filesystem::remove(outPath);
        }
    } else {
        StringSink sink;
        written = file.saveMailTo(sink, i);
        got = std::move(sink.text);
    }
    check(written == expectWritten, "mail ", i,
          expectWritten ? " not written" : " written though taken over or failing the header test",
          " (result ", static_cast<int>(file.lastWriteResult()), ")");
    if (written)
        check(got == want, "text of mail ", i, ": ", Difference {got, want});
}

void readAndCheck(const Bytes& bytes)
{
    const dbx::BlockTable headers = headersOf(bytes);
    const bool listProcedure = headers.size() <= kListProcedureBlocks;
    const testing::ListLinkResult expected
        = listProcedure ? testing::linkByLists(headers) : testing::ListLinkResult {};

    testing::RecordingLog log;
    dbx::DbxFile file;
    file.setLogging(true);
    file.setLogWriter(&log);
    // Mail files take their Date as their time, as the command line's option asks.
    file.setMailFileTimes({true, 1300000000});
    file.setOpener([&bytes](const std::filesystem::path&) {
        return platform::OpenResult {testing::memoryFile(bytes), {}};
    });
    check(file.open("fuzz.dbx"), "the bytes in memory could not be opened");
    std::int32_t count = -1;
    const std::int32_t found = file.findConvertableMails(count);
    check(found == count && found >= 0, "findConvertableMails disagrees with its count");
    check(file.blocksFound() == headers.size(), "blocksFound");

    const dbx::BlockTable& table = listProcedure ? expected.table : headers;
    if (listProcedure) {
        checkTable(file, expected.table);
        check(file.mailHeads() == expected.mailHeads,
              "the mail heads differ from the list procedure's");
        check(linkerLines(log) == expected.log,
              "the linker's log lines differ from the list procedure's");
    }
    // Past the list procedure's reach, the reader's own links give the chains.
    dbx::BlockTable linked = table;
    if (!listProcedure)
        for (std::size_t b = 0; b < linked.size(); ++b) {
            linked[b].nextIndex = file.blockTable().nextIndex(b);
            linked[b].role = file.blockTable().role(b);
        }
    file.setLogWriter(&discardingLog());

    const std::vector<std::int32_t> heads = file.mailHeads();
    check(heads.size() == static_cast<std::size_t>(count), "the count is not the number of heads");
    for (std::int32_t i = 0; i < count; ++i) {
        const std::int32_t head = heads[static_cast<std::size_t>(i)];
        check(head >= 0 && static_cast<std::size_t>(head) < linked.size(), "mail ", i,
              " starts outside the block table");
        const std::string want = chainText(bytes, linked, head);
        // A head whose block another chain took over stays listed but is no mail.
        const bool ownMail
            = linked[static_cast<std::size_t>(head)].role == dbx::BlockRole::MailHead;
        file.setRecoveryMode(false);
        checkMail(file, i, want, ownMail);
        file.setRecoveryMode(true);
        checkMail(file, i, want, ownMail && passesHeaderTest(bytes, linked, head));
    }
    file.close();
}

} // namespace
} // namespace mailmend::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    mailmend::fuzz::silenceMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace mailmend::fuzz;
    Bytes bytes(data, data + size);
    readAndCheck(bytes);
    if (size < kPaddedSize) {
        bytes.resize(kPaddedSize, 0);
        readAndCheck(bytes);
    }
    return 0;
}
