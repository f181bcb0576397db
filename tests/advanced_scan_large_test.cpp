// SPDX-License-Identifier: GPL-3.0-or-later
// The Advanced Scan on files past 2 GiB, without writing gigabytes: a made-up mapping
// whose bytes are zeros except for a few mails placed near its end.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "dbx/mapped_mail_extractor.h"
#include "support/dbx_fixture.h"
#include "support/temp_dir.h"

namespace mailmend::dbx {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::TempDir;

constexpr std::uint64_t kGiB = std::uint64_t {1} << 30;

// What the made-up file holds: its size and the texts placed in it.
std::uint64_t g_size = 0;
std::vector<std::pair<std::uint64_t, std::string>> g_texts;

constexpr std::size_t kWindow = 64u << 20;

// Windows without a placed text all show one buffer of zeros, so walking gigabytes
// costs no memory and no page faults.
const std::vector<std::uint8_t>& zeros()
{
    static const std::vector<std::uint8_t> buffer(kWindow + 4096);
    return buffer;
}

class ZeroView final : public platform::MappedView {
public:
    const std::uint8_t* map(std::uint64_t start, std::size_t length, bool) override
    {
        if (length > zeros().size())
            return nullptr;
        bool placed = false;
        for (const auto& [position, text] : g_texts) {
            const std::uint64_t end = position + text.size();
            if (end <= start || position >= start + length)
                continue;
            if (!placed)
                m_bytes.assign(length, 0);
            placed = true;
            const std::uint64_t from = std::max(position, start);
            const std::uint64_t to = std::min<std::uint64_t>(end, start + length);
            std::memcpy(m_bytes.data() + (from - start), text.data() + (from - position), to - from);
        }
        return placed ? m_bytes.data() : zeros().data();
    }
    void unmap() override {}

private:
    std::vector<std::uint8_t> m_bytes;
};

class ZeroMapping final : public platform::FileMapping {
public:
    std::uint64_t size() const override { return g_size; }
    std::unique_ptr<platform::MappedView> newView() override { return std::make_unique<ZeroView>(); }
};

platform::MappingResult mapMadeUp(const fs::path&)
{
    platform::MappingResult result;
    result.mapping = std::make_unique<ZeroMapping>();
    return result;
}

class Progress final : public ProgressSink {
public:
    void setPosition(int percent) override { positions.push_back(percent); }
    std::vector<int> positions;
};

TEST(AdvancedScanLarge, MailsNearThreeGiBAreCarvedWithTheirExactBytes)
{
    const std::string first = "From: a@example.org\r\nMIME-Version: 1.0\r\n\r\nfirst body\r\n";
    const std::string second = "Return-path: <b@example.org>\r\nFrom: b@example.org\r\n"
                               "MIME-Version: 1.0\r\n\r\nsecond body\r\n";
    const std::uint64_t firstAt = 3 * kGiB - 70001;
    const std::uint64_t secondAt = 3 * kGiB - 7;   // straddles the 3 GiB window edge
    g_texts = {{firstAt, first}, {secondAt, second}};
    g_size = secondAt + second.size() + 100;

    TempDir dir;
    MappedMailExtractor extractor;
    extractor.setMapper(&mapMadeUp);
    extractor.setWindowSize(kWindow);
    extractor.setActive(true);
    ASSERT_TRUE(extractor.openMapping("made-up"));
    EXPECT_EQ(extractor.size(), g_size);
    Progress bar;
    extractor.carveMails((dir / "big").string(), bar);
    extractor.closeMapping();

    EXPECT_EQ(extractor.mailsWritten(), 2u);
    // The zeros between and after the mails are unused space, not mail.
    EXPECT_EQ(readFile(dir / "big_1.eml"), first);
    EXPECT_EQ(readFile(dir / "big_2.eml"), second.substr(second.find("From:")));
    ASSERT_FALSE(bar.positions.empty());
    EXPECT_EQ(bar.positions.front(), 50);
    EXPECT_EQ(bar.positions.back(), 100);
    EXPECT_TRUE(std::is_sorted(bar.positions.begin(), bar.positions.end()));
    g_texts.clear();
}

TEST(AdvancedScanLarge, FourGiBIsReadAndAnythingLargerIsRefusedWithAReason)
{
    MappedMailExtractor extractor;
    extractor.setMapper(&mapMadeUp);
    g_size = 4 * kGiB;
    EXPECT_TRUE(extractor.openMapping("made-up"));
    EXPECT_TRUE(extractor.lastOpenError().empty());
    extractor.closeMapping();

    g_size = 4 * kGiB + 1;
    EXPECT_FALSE(extractor.openMapping("made-up"));
    EXPECT_EQ(extractor.lastOpenError(), "larger than 4 GB (4294967297 bytes)");
    EXPECT_EQ(extractor.size(), 4 * kGiB) << "a refused file leaves the last size alone";
}

} // namespace
} // namespace mailmend::dbx
