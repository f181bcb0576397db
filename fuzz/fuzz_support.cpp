// SPDX-License-Identifier: GPL-3.0-or-later
#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <system_error>

#include "platform/message_sink.h"
#include "support/temp_dir.h"

namespace mailmend::fuzz {
namespace {

class SilentSink final : public platform::MessageSink {
public:
    platform::MessageAnswer show(const std::string&, const std::string&,
                                 platform::MessageStyle style) override
    {
        return style == platform::MessageStyle::YesNoQuestion ? platform::MessageAnswer::Yes
                                                              : platform::MessageAnswer::Ok;
    }
};

class DiscardingLog final : public LogWriter {
public:
    void write(const std::string&, bool) override { }
};

} // namespace

void fail(const std::string& what)
{
    std::fprintf(stderr, "wrong result: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

std::ostream& operator<<(std::ostream& out, const Difference& d)
{
    out << d.got.size() << " bytes where " << d.want.size() << " were expected";
    std::size_t i = 0;
    while (i < d.got.size() && i < d.want.size() && d.got[i] == d.want[i])
        ++i;
    if (i < d.got.size() && i < d.want.size())
        out << ", first different byte at " << i;
    return out;
}

const std::filesystem::path& scratchFolder()
{
    // Kept for the process's life; its destructor removes it at exit.
    static const testing::TempDir folder;
    return folder.path();
}

void emptyScratchFolder()
{
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(scratchFolder(), ec))
        std::filesystem::remove_all(entry.path(), ec);
}

std::string readWholeFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void silenceMessages()
{
    static SilentSink sink;
    platform::setMessageSink(&sink);
}

LogWriter& discardingLog()
{
    static DiscardingLog log;
    return log;
}

std::uint8_t InputFields::byte()
{
    return m_at < m_size ? m_data[m_at++] : 0;
}

std::size_t InputFields::below(std::size_t bound)
{
    const std::size_t value = std::size_t {byte()} | (std::size_t {byte()} << 8);
    return value % bound;
}

std::string InputFields::text(std::size_t longest)
{
    const std::size_t length = std::min<std::size_t>(byte(), longest);
    const std::size_t take = std::min(length, m_size - std::min(m_at, m_size));
    std::string out(reinterpret_cast<const char*>(m_data) + m_at, take);
    m_at += take;
    return out;
}

std::string InputFields::rest()
{
    const std::size_t from = std::min(m_at, m_size);
    m_at = m_size;
    return std::string(reinterpret_cast<const char*>(m_data) + from, m_size - from);
}

} // namespace mailmend::fuzz
