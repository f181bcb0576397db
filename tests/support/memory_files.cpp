// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/memory_files.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace mailmend::testing {
namespace {

using Bytes = std::shared_ptr<const std::vector<unsigned char>>;

class MemoryFile final : public platform::ReadableFile {
public:
    explicit MemoryFile(std::vector<unsigned char> bytes) : m_bytes(std::move(bytes)) { }

    std::uint64_t size() const override { return m_bytes.size(); }

    std::size_t readAt(std::uint64_t position, void* buffer, std::size_t count) override
    {
        if (position >= m_bytes.size())
            return 0;
        const std::size_t n
            = static_cast<std::size_t>(std::min<std::uint64_t>(count, m_bytes.size() - position));
        std::memcpy(buffer, m_bytes.data() + position, n);
        return n;
    }

private:
    std::vector<unsigned char> m_bytes;
};

class MemoryView final : public platform::MappedView {
public:
    explicit MemoryView(Bytes bytes) : m_bytes(std::move(bytes)) { }

    const std::uint8_t* map(std::uint64_t start, std::size_t length, bool) override
    {
        unmap();
        if (length == 0 || start % platform::mappingGranularity() != 0 || start > m_bytes->size()
            || length > m_bytes->size() - start)
            return nullptr;
        m_window = std::make_unique<std::uint8_t[]>(length);
        std::memcpy(m_window.get(), m_bytes->data() + start, length);
        return m_window.get();
    }
    void unmap() override { m_window.reset(); }

private:
    Bytes m_bytes;
    std::unique_ptr<std::uint8_t[]> m_window;
};

class MemoryMapping final : public platform::FileMapping {
public:
    explicit MemoryMapping(Bytes bytes) : m_bytes(std::move(bytes)) { }
    std::uint64_t size() const override { return m_bytes->size(); }
    std::unique_ptr<platform::MappedView> newView() override
    {
        return std::make_unique<MemoryView>(m_bytes);
    }

private:
    Bytes m_bytes;
};

} // namespace

std::unique_ptr<platform::ReadableFile> memoryFile(std::vector<unsigned char> bytes)
{
    return std::make_unique<MemoryFile>(std::move(bytes));
}

platform::MappingResult memoryMapping(std::vector<unsigned char> bytes)
{
    platform::MappingResult result;
    if (bytes.empty())
        result.error = "empty file";
    else
        result.mapping = std::make_unique<MemoryMapping>(
            std::make_shared<const std::vector<unsigned char>>(std::move(bytes)));
    return result;
}

} // namespace mailmend::testing
