// SPDX-License-Identifier: GPL-3.0-or-later
#include "msgrtf_peer.h"

#include <cstdio>
#include <sstream>

namespace mailmend::testing {
namespace {

class StringSource final : public mailstore::ByteSource {
public:
    explicit StringSource(std::shared_ptr<const std::string> text) : m_text(std::move(text)) {}
    std::ptrdiff_t read(char* buffer, std::size_t count) override
    {
        const std::size_t n = std::min(count, m_text->size() - m_pos);
        m_text->copy(buffer, n, m_pos);
        m_pos += n;
        return static_cast<std::ptrdiff_t>(n);
    }

private:
    std::shared_ptr<const std::string> m_text;
    std::size_t m_pos = 0;
};

char generatedByte(std::uint64_t i)
{
    return static_cast<char>((i * 7) ^ (i >> 9));
}

class GeneratedSource final : public mailstore::ByteSource {
public:
    explicit GeneratedSource(std::uint64_t size) : m_size(size) {}
    std::ptrdiff_t read(char* buffer, std::size_t count) override
    {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, m_size - m_pos));
        for (std::size_t i = 0; i < n; ++i)
            buffer[i] = generatedByte(m_pos + i);
        m_pos += n;
        return static_cast<std::ptrdiff_t>(n);
    }

private:
    std::uint64_t m_size;
    std::uint64_t m_pos = 0;
};

// CRC-32 as zlib computes it.
struct Crc32 {
    std::uint32_t value = 0xFFFFFFFF;
    void add(char c)
    {
        value ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit)
            value = (value >> 1) ^ (0xEDB88320u & (0u - (value & 1u)));
    }
};

std::string digestText(std::uint64_t size, const Crc32& crc)
{
    char text[48];
    std::snprintf(text, sizeof text, "%llu %08x", static_cast<unsigned long long>(size),
                  static_cast<unsigned>(crc.value ^ 0xFFFFFFFF));
    return text;
}

} // namespace

std::string digestOf(std::string_view bytes)
{
    Crc32 crc;
    for (const char c : bytes)
        crc.add(c);
    return digestText(bytes.size(), crc);
}

mailstore::MailAttachment attachment(std::string name, std::string mimeType, std::string content)
{
    mailstore::MailAttachment a;
    a.fileName = std::move(name);
    a.mimeType = std::move(mimeType);
    auto shared = std::make_shared<const std::string>(std::move(content));
    a.open = [shared] { return std::make_unique<StringSource>(shared); };
    return a;
}

mailstore::MailAttachment generatedAttachment(std::string name, std::uint64_t size, std::string& digest)
{
    Crc32 crc;
    for (std::uint64_t i = 0; i < size; ++i)
        crc.add(generatedByte(i));
    digest = digestText(size, crc);
    mailstore::MailAttachment a;
    a.fileName = std::move(name);
    a.mimeType = "application/octet-stream";
    a.open = [size] { return std::make_unique<GeneratedSource>(size); };
    return a;
}

std::string fromHex(const std::string& hex)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

std::vector<std::vector<std::string>> PeerRecords::all(const std::string& kind) const
{
    std::vector<std::vector<std::string>> found;
    for (const auto& line : lines) {
        if (!line.empty() && line[0] == kind)
            found.emplace_back(line.begin() + 1, line.end());
    }
    return found;
}

std::string PeerRecords::text(const std::string& kind, const std::string& key) const
{
    for (const auto& fields : all(kind)) {
        if (key.empty() && !fields.empty())
            return fromHex(fields.back());
        if (fields.size() >= 2 && fields[0] == key)
            return fromHex(fields[1]);
    }
    return {};
}

PeerRecords readWithPeers(const std::string& mode, const std::filesystem::path& file)
{
    PeerRecords records;
    if (std::string(MAILMEND_SYSTEM_PYTHON).empty()) {
        records.skipReason = "the system's python3 is not installed";
        return records;
    }
    const std::string command = std::string(MAILMEND_SYSTEM_PYTHON) + " " + MSGRTF_PEER_SCRIPT + " " + mode +
                                " '" + file.string() + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string output;
    char buffer[65536];
    for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    const int status = pipe ? ::pclose(pipe) : -1;
    if (status != 0)
        records.failure = output;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::vector<std::string> fields;
        for (std::string word; words >> word;)
            fields.push_back(word == "-" ? std::string() : word);
        if (fields.size() == 1 && fields[0].find(".missing") != std::string::npos)
            records.skipReason = fields[0] + ": a peer reader is not installed";
        records.lines.push_back(std::move(fields));
    }
    return records;
}

} // namespace mailmend::testing
