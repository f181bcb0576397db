// SPDX-License-Identifier: GPL-3.0-or-later
// The read-ahead window must return exactly the bytes a direct read returns, whatever the
// pattern of reads, and must save system calls on reads that follow one another.

#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "platform/read_window.h"

using namespace mailmend::platform;

namespace {

class MemoryFile final : public ReadableFile {
public:
    explicit MemoryFile(std::vector<unsigned char> bytes) : m_bytes(std::move(bytes)) {}
    std::uint64_t size() const override { return m_bytes.size(); }
    std::size_t readAt(std::uint64_t position, void* buffer, std::size_t count) override
    {
        ++calls;
        if (position >= m_bytes.size())
            return 0;
        const std::size_t n = std::min<std::size_t>(count, m_bytes.size() - position);
        std::copy_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(position), n,
                    static_cast<unsigned char*>(buffer));
        return n;
    }
    int calls = 0;

private:
    std::vector<unsigned char> m_bytes;
};

std::vector<unsigned char> randomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<unsigned char> out(n);
    for (auto& b : out)
        b = static_cast<unsigned char>(rng());
    return out;
}

TEST(ReadWindow, MatchesDirectReadsForSequentialRandomAndEndOfFileReads)
{
    const auto bytes = randomBytes(3 * 1024 * 1024 + 123, 7);
    MemoryFile direct(bytes);
    MemoryFile windowed(bytes);
    ReadWindow window(windowed);
    std::mt19937 rng(11);
    std::vector<unsigned char> a(2 * ReadWindow::kLargest);
    std::vector<unsigned char> b(2 * ReadWindow::kLargest);
    std::uint64_t sequential = 0;
    for (int i = 0; i < 20000; ++i) {
        std::uint64_t position;
        std::size_t count;
        switch (rng() % 4) {
        case 0: // random jump
            position = rng() % (bytes.size() + 600);
            count = 1 + rng() % 528;
            break;
        case 1: // near the end of the file, often past it
            position = bytes.size() - 600 + rng() % 1200;
            count = 1 + rng() % 1024;
            break;
        case 2: // larger than any window
            position = rng() % bytes.size();
            count = ReadWindow::kLargest + 1 + rng() % 1000;
            break;
        default: // the next block of a chain
            position = sequential;
            count = 512;
            sequential = (sequential + 528) % bytes.size();
            break;
        }
        const std::size_t gotA = direct.readAt(position, a.data(), count);
        const std::size_t gotB = window.readAt(position, b.data(), count);
        ASSERT_EQ(gotA, gotB) << "read " << count << " at " << position;
        ASSERT_TRUE(std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(gotA), b.begin()))
            << "read " << count << " at " << position;
    }
}

TEST(ReadWindow, ConsecutiveBlocksShareSystemCalls)
{
    MemoryFile file(randomBytes(8 * 1024 * 1024, 3));
    ReadWindow window(file);
    unsigned char block[512];
    for (std::uint64_t p = 0; p + 528 <= 8 * 1024 * 1024; p += 528)
        ASSERT_EQ(window.readAt(p + 16, block, sizeof block), sizeof block);
    EXPECT_LT(file.calls, 100); // ~15 800 blocks
}

} // namespace
