// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace mailmend::dbx {

// Small bit containers for the chain linker, which keeps its per-block state in bits so
// that its memory stays a small part of the block table's.

class BitVector {
public:
    BitVector() = default;
    explicit BitVector(std::size_t bits) : m_words((bits + 63) / 64, 0) {}

    bool test(std::size_t i) const { return (m_words[i >> 6] >> (i & 63)) & 1u; }
    void set(std::size_t i) { m_words[i >> 6] |= std::uint64_t {1} << (i & 63); }
    void reset(std::size_t i) { m_words[i >> 6] &= ~(std::uint64_t {1} << (i & 63)); }
    void release() { std::vector<std::uint64_t>().swap(m_words); }

    std::size_t count() const
    {
        std::size_t total = 0;
        for (std::uint64_t w : m_words)
            total += static_cast<std::size_t>(std::popcount(w));
        return total;
    }
    // The first set bit at or after `i`, or `end` when there is none below `end`.
    std::size_t nextSet(std::size_t i, std::size_t end) const
    {
        while (i < end) {
            const std::uint64_t w = m_words[i >> 6] >> (i & 63);
            if (w != 0)
                return std::min(end, i + static_cast<std::size_t>(std::countr_zero(w)));
            i = (i | 63) + 1;
        }
        return end;
    }
    // The last set bit below `i`, or `none` when there is none.
    std::size_t previousSet(std::size_t i, std::size_t none) const
    {
        while (i > 0) {
            const std::size_t last = i - 1;
            const unsigned shift = 63 - static_cast<unsigned>(last & 63);
            const std::uint64_t w = m_words[last >> 6] << shift;
            if (w != 0)
                return last - static_cast<std::size_t>(std::countl_zero(w));
            i = last & ~std::size_t {63};
        }
        return none;
    }
    const std::vector<std::uint64_t>& words() const { return m_words; }

private:
    std::vector<std::uint64_t> m_words;
};

// Bits with the number of set bits before each one: a dense index for a sparse subset.
class RankedBits {
public:
    explicit RankedBits(BitVector bits) : m_bits(std::move(bits)), m_before(m_bits.words().size())
    {
        std::uint32_t sum = 0;
        for (std::size_t w = 0; w < m_before.size(); ++w) {
            m_before[w] = sum;
            sum += static_cast<std::uint32_t>(std::popcount(m_bits.words()[w]));
        }
        m_count = sum;
    }
    bool test(std::size_t i) const { return m_bits.test(i); }
    std::uint32_t count() const { return m_count; }
    // Set bits below `i`.
    std::uint32_t rank(std::size_t i) const
    {
        const std::uint64_t below = m_bits.words()[i >> 6] & ((std::uint64_t {1} << (i & 63)) - 1);
        return m_before[i >> 6] + static_cast<std::uint32_t>(std::popcount(below));
    }

private:
    BitVector m_bits;
    std::vector<std::uint32_t> m_before; // per word
    std::uint32_t m_count = 0;
};

// Two bits a block.
class TwoBitArray {
public:
    explicit TwoBitArray(std::size_t n) : m_words((n + 31) / 32, 0) {}
    unsigned get(std::size_t i) const
    {
        return static_cast<unsigned>(m_words[i >> 5] >> ((i & 31) * 2)) & 3u;
    }
    void set(std::size_t i, unsigned value)
    {
        const unsigned shift = static_cast<unsigned>(i & 31) * 2;
        std::uint64_t& w = m_words[i >> 5];
        w = (w & ~(std::uint64_t {3} << shift)) | (std::uint64_t {value & 3u} << shift);
    }
    void release() { std::vector<std::uint64_t>().swap(m_words); }

private:
    std::vector<std::uint64_t> m_words;
};

} // namespace mailmend::dbx
