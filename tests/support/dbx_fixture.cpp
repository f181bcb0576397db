// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/dbx_fixture.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <stdexcept>

namespace mailmend::testing {
namespace {

constexpr std::uint32_t kHeaderSize = 16;
constexpr std::uint32_t kDataSize = 512;
constexpr std::uint32_t kBlockSize = kHeaderSize + kDataSize;

std::uint32_t le32(const unsigned char* p)
{
    return std::uint32_t {p[0]} | (std::uint32_t {p[1]} << 8) | (std::uint32_t {p[2]} << 16)
        | (std::uint32_t {p[3]} << 24);
}

void putLe32(unsigned char* p, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(value >> (8 * i));
}

// splitmix64: small, and the same sequence on every platform.
std::uint64_t nextRandom(std::uint64_t& state)
{
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::uint64_t randomBelow(std::uint64_t& state, std::uint64_t bound)
{
    return bound == 0 ? 0 : nextRandom(state) % bound;
}

bool hasByte02(std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        if (((value >> (8 * i)) & 0xFF) == 0x02)
            return true;
    return false;
}

} // namespace

std::string mailText(int n, std::size_t size)
{
    const std::string id = std::to_string(n);
    std::string text = "From: \"Sender " + id + "\" <sender" + id + "@example.org>\r\n"
        "To: <reader@example.net>\r\n"
        "Subject: Fixture mail " + id + "\r\n"
        "Date: Mon, 7 Mar 2011 09:05:03 +0100\r\n"
        "MIME-Version: 1.0\r\n"
        "Content-Type: text/plain; charset=\"iso-8859-1\"\r\n"
        "X-MimeOLE: Produced By MimeOLE V6.00.2900.2180\r\n"
        "\r\n";
    for (int line = 1; text.size() < size; ++line)
        text += "Line " + std::to_string(line) + " of mail " + id
            + ": the quick brown fox jumps over the lazy dog.\r\n";
    text.resize(size);
    return text;
}

std::vector<unsigned char> blockHeader(std::uint32_t selfOffset, std::uint32_t dataLength,
                                       std::uint32_t nextOffset, std::uint32_t blockSize)
{
    std::vector<unsigned char> header(kHeaderSize);
    putLe32(header.data(), selfOffset);
    putLe32(header.data() + 4, blockSize);
    putLe32(header.data() + 8, dataLength);
    putLe32(header.data() + 12, nextOffset);
    return header;
}

bool isValidHeaderAt(const std::vector<unsigned char>& bytes, std::uint64_t position)
{
    if (position + kHeaderSize > bytes.size())
        return false;
    const unsigned char* p = bytes.data() + position;
    const std::uint32_t self = le32(p);
    const std::uint32_t blockSize = le32(p + 4);
    const std::uint32_t length = le32(p + 8);
    const std::uint32_t next = le32(p + 12);
    if (blockSize != 512 || self < 60116)
        return false;
    if (length == 512)
        return next == 0 || (next >= 60116 && next < bytes.size());
    return length >= 1 && length <= 511 && next == 0;
}

std::vector<std::uint64_t> validHeaderPositions(const std::vector<unsigned char>& bytes)
{
    std::vector<std::uint64_t> out;
    for (std::uint64_t p = 0; p + kHeaderSize <= bytes.size(); ++p)
        if (bytes[p + 5] == 0x02 && isValidHeaderAt(bytes, p))
            out.push_back(p);
    return out;
}

DbxFixture::DbxFixture(std::vector<std::string> mails, Layout layout)
    : m_layout(std::move(layout)), m_random(m_layout.seed)
{
    std::vector<BlockRef> order;
    for (std::size_t m = 0; m < mails.size(); ++m) {
        if (mails[m].empty())
            throw std::logic_error("fixture: a mail needs at least one byte");
        MailPlan plan;
        plan.text = std::move(mails[m]);
        const std::size_t count = (plan.text.size() + kDataSize - 1) / kDataSize;
        for (std::size_t b = 0; b < count; ++b) {
            BlockPlan block;
            block.dataLength = static_cast<std::uint32_t>(
                std::min<std::size_t>(kDataSize, plan.text.size() - b * kDataSize));
            plan.blocks.push_back(block);
            order.push_back({m, b});
        }
        m_mails.push_back(std::move(plan));
    }

    if (!m_layout.placement.empty()) {
        if (m_layout.placement.size() != order.size())
            throw std::logic_error("fixture: the placement must name every block once");
        order = m_layout.placement;
    } else if (m_layout.order == Order::Reversed) {
        std::reverse(order.begin(), order.end());
    } else if (m_layout.order == Order::Shuffled) {
        for (std::size_t i = order.size(); i > 1; --i)
            std::swap(order[i - 1], order[randomBelow(m_random, i)]);
    }

    std::vector<std::uint64_t> positions = m_layout.positions;
    if (positions.empty()) {
        std::uint64_t at = m_layout.firstBlockAt;
        for (std::size_t i = 0; i < order.size(); ++i) {
            at += randomBelow(m_random, m_layout.maxGap + 1);
            positions.push_back(at);
            at += kBlockSize;
        }
    }
    if (positions.size() != order.size())
        throw std::logic_error("fixture: one position per placed block");
    place(order, positions);
}

const BlockPlan& DbxFixture::block(std::size_t mail, std::size_t block) const
{
    return m_mails.at(mail).blocks.at(block);
}

std::vector<unsigned char> DbxFixture::garbageBytes(std::size_t count)
{
    std::vector<unsigned char> out(count);
    for (auto& byte : out) {
        byte = static_cast<unsigned char>(nextRandom(m_random));
        if (byte == 0x02)
            byte = 0x03;
    }
    return out;
}

void DbxFixture::place(const std::vector<BlockRef>& order, const std::vector<std::uint64_t>& positions)
{
    // Where each block goes, checked for overlaps.
    std::map<std::uint64_t, BlockRef> byPosition;
    std::set<std::pair<std::size_t, std::size_t>> seen;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const BlockRef ref = order[i];
        if (ref.mail >= m_mails.size() || ref.block >= m_mails[ref.mail].blocks.size()
            || !seen.insert({ref.mail, ref.block}).second)
            throw std::logic_error("fixture: the placement must name every block once");
        if (positions[i] < sizeof kMailFolderHeader)
            throw std::logic_error("fixture: a block cannot overlap the file header");
        m_mails[ref.mail].blocks[ref.block].position = positions[i];
        byPosition.emplace(positions[i], ref);
    }
    std::uint64_t end = sizeof kMailFolderHeader;
    for (const auto& [position, ref] : byPosition) {
        if (position < end)
            throw std::logic_error("fixture: blocks overlap");
        end = position + kBlockSize;
    }
    end += m_layout.trailing;
    const std::uint64_t fileSize = end;

    // Identities: the real positions, or distinct valid values that differ from them.
    std::set<std::uint32_t> used;
    for (auto& mail : m_mails) {
        for (auto& block : mail.blocks) {
            if (!m_layout.lyingOffsets) {
                if (block.position > UINT32_MAX)
                    throw std::logic_error("fixture: a block beyond 4 GiB needs lying offsets");
                block.selfOffset = static_cast<std::uint32_t>(block.position);
                continue;
            }
            const std::uint64_t span = std::min<std::uint64_t>(fileSize, UINT32_MAX) - 60116;
            if (span < 4 * order.size())
                throw std::logic_error("fixture: the file is too small for lying offsets");
            std::uint32_t value;
            do {
                value = static_cast<std::uint32_t>(60116 + randomBelow(m_random, span));
            } while (value == block.position || hasByte02(value) || !used.insert(value).second);
            block.selfOffset = value;
        }
    }
    for (auto& mail : m_mails)
        for (std::size_t b = 0; b < mail.blocks.size(); ++b)
            mail.blocks[b].nextOffset
                = b + 1 < mail.blocks.size() ? mail.blocks[b + 1].selfOffset : 0;

    // Bytes: the file header, fill, then the blocks.
    m_bytes.assign(fileSize, 0);
    std::copy(std::begin(kMailFolderHeader), std::end(kMailFolderHeader), m_bytes.begin());
    std::uint64_t gapStart = sizeof kMailFolderHeader;
    auto fillGap = [&](std::uint64_t from, std::uint64_t to) {
        if (to <= from)
            return;
        const std::size_t length = static_cast<std::size_t>(to - from);
        if (m_layout.garbage || m_layout.maxGap > 0) {
            const auto junk = garbageBytes(length);
            std::copy(junk.begin(), junk.end(), m_bytes.begin() + static_cast<std::ptrdiff_t>(from));
        }
        if (m_layout.fakeMarkers && length >= kHeaderSize) {
            // Fakes that fail the rule each in another way.
            static const std::uint32_t fakes[][3] = {
                {512, 100, 0},              // selfOffset in the first sector
                {60115, 512, 0},            // selfOffset one too low
                {70000, 0, 0},              // no data
                {70000, 300, 70528},        // not full, yet links on
                {70000, 513, 0},            // longer than a data area
                {70000, 512, 60115},        // links into the first sector
                {70000, 512, 0xFFFFFFF0u},  // links beyond the end of the file
            };
            const auto& fake = fakes[randomBelow(m_random, std::size(fakes))];
            const auto header = blockHeader(fake[0], fake[1], fake[2]);
            const std::uint64_t at = from + randomBelow(m_random, length - kHeaderSize + 1);
            std::copy(header.begin(), header.end(), m_bytes.begin() + static_cast<std::ptrdiff_t>(at));
        }
    };
    for (const auto& [position, ref] : byPosition) {
        fillGap(gapStart, position);
        const MailPlan& mail = m_mails[ref.mail];
        const BlockPlan& block = mail.blocks[ref.block];
        const auto header = blockHeader(block.selfOffset, block.dataLength, block.nextOffset);
        auto out = m_bytes.begin() + static_cast<std::ptrdiff_t>(position);
        out = std::copy(header.begin(), header.end(), out);
        const std::string segment = mail.text.substr(ref.block * kDataSize, block.dataLength);
        out = std::copy(segment.begin(), segment.end(), out);
        if (m_layout.leftoverTail) {
            static const std::string stale = "stale bytes of an older mail | ";
            for (std::uint32_t i = block.dataLength; i < kDataSize; ++i)
                *out++ = static_cast<unsigned char>(stale[i % stale.size()]);
        }
        gapStart = position + kBlockSize;
    }
    fillGap(gapStart, fileSize);

    std::vector<std::uint64_t> planned;
    for (const auto& [position, ref] : byPosition)
        planned.push_back(position);
    if (validHeaderPositions(m_bytes) != planned)
        throw std::logic_error("fixture: the bytes hold a header that was not planned");
    m_original = m_bytes;
}

void DbxFixture::truncate(std::uint64_t size)
{
    if (size < m_bytes.size())
        m_bytes.resize(size);
}

void DbxFixture::zero(std::uint64_t from, std::uint64_t to)
{
    to = std::min<std::uint64_t>(to, m_bytes.size());
    if (from < to)
        std::fill(m_bytes.begin() + static_cast<std::ptrdiff_t>(from),
                  m_bytes.begin() + static_cast<std::ptrdiff_t>(to), 0);
}

void DbxFixture::overwrite(std::uint64_t position, const std::vector<unsigned char>& data)
{
    if (position + data.size() > m_bytes.size())
        m_bytes.resize(position + data.size(), 0);
    std::copy(data.begin(), data.end(), m_bytes.begin() + static_cast<std::ptrdiff_t>(position));
}

void DbxFixture::setNextOffset(std::size_t mail, std::size_t block, std::uint32_t nextOffset)
{
    const BlockPlan& plan = this->block(mail, block);
    std::vector<unsigned char> word(4);
    putLe32(word.data(), nextOffset);
    overwrite(plan.position + 12, word);
    m_mails[mail].relinked = true;
}

void DbxFixture::linkLastBlockTo(std::size_t mail, std::size_t targetMail, std::size_t targetBlock)
{
    const BlockPlan& last = m_mails.at(mail).blocks.back();
    if (last.dataLength != kDataSize)
        throw std::logic_error("fixture: only a full block can link on");
    setNextOffset(mail, m_mails[mail].blocks.size() - 1, block(targetMail, targetBlock).selfOffset);
    m_mails[targetMail].relinked = true;
}

std::vector<ExpectedMail> DbxFixture::expected() const
{
    std::multiset<std::uint32_t> selfOffsets;
    std::multiset<std::uint32_t> links;
    std::set<std::uint64_t> found;
    for (const std::uint64_t p : validHeaderPositions(m_bytes)) {
        found.insert(p);
        selfOffsets.insert(le32(m_bytes.data() + p));
        if (const std::uint32_t next = le32(m_bytes.data() + p + 12); next != 0)
            links.insert(next);
    }

    std::vector<ExpectedMail> out;
    for (std::size_t m = 0; m < m_mails.size(); ++m) {
        const MailPlan& mail = m_mails[m];
        bool whole = !mail.relinked;
        for (std::size_t b = 0; whole && b < mail.blocks.size(); ++b) {
            const BlockPlan& block = mail.blocks[b];
            const std::uint64_t end = block.position + kHeaderSize + block.dataLength;
            whole = end <= m_bytes.size() && found.count(block.position) != 0
                && std::equal(m_bytes.begin() + static_cast<std::ptrdiff_t>(block.position),
                              m_bytes.begin() + static_cast<std::ptrdiff_t>(end),
                              m_original.begin() + static_cast<std::ptrdiff_t>(block.position))
                && selfOffsets.count(block.selfOffset) == 1
                && links.count(block.selfOffset) == (b == 0 ? 0u : 1u);
        }
        if (whole)
            out.push_back({m, mail.text, mail.blocks.front().position});
    }
    return out;
}

void DbxFixture::writeTo(const std::filesystem::path& path) const
{
    writeFile(path, m_bytes);
}

void writeFile(const std::filesystem::path& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        throw std::runtime_error("cannot write " + path.string());
}

void writeFile(const std::filesystem::path& path, const std::string& bytes)
{
    writeFile(path, std::vector<unsigned char>(bytes.begin(), bytes.end()));
}

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace mailmend::testing
