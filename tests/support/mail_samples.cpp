// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/mail_samples.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace mailmend::testing {
namespace {

const char kMixedHead[] = "From: Sender <sender@example.com>\r\nTo: receiver@example.com\r\n"
                          "Subject: Generated\r\nMIME-Version: 1.0\r\n"
                          "Content-Type: multipart/mixed; boundary=\"gen-b\"\r\n\r\n"
                          "--gen-b\r\nContent-Type: text/plain\r\n\r\nSee attached.\r\n";

// One line of base64 for up to 57 bytes.
std::string base64Line(const unsigned char* data, std::size_t count)
{
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < count; i += 3) {
        const std::uint32_t v = (std::uint32_t {data[i]} << 16)
            | (i + 1 < count ? std::uint32_t {data[i + 1]} << 8 : 0)
            | (i + 2 < count ? std::uint32_t {data[i + 2]} : 0);
        for (std::size_t k = 0; k < 4; ++k)
            out += k <= count - i ? kDigits[(v >> (18 - 6 * k)) & 63] : '=';
    }
    return out + "\r\n";
}

} // namespace

const std::vector<MailSample>& mailSamples()
{
    static const std::vector<MailSample> samples = [] {
        const auto tests = std::filesystem::path(__FILE__).parent_path().parent_path();
        std::vector<MailSample> all;
        for (const auto& entry : std::filesystem::directory_iterator(tests / "data" / "mail")) {
            std::ifstream in(entry.path(), std::ios::binary);
            if (entry.path().extension() == ".eml")
                all.push_back({entry.path().stem().string(),
                               {std::istreambuf_iterator<char>(in), {}}});
        }
        std::sort(all.begin(), all.end(), [](auto& a, auto& b) { return a.name < b.name; });
        return all;
    }();
    return samples;
}

const MailSample& mailSample(const std::string& name)
{
    for (const MailSample& sample : mailSamples())
        if (sample.name == name)
            return sample;
    throw std::out_of_range("no sample mail " + name);
}

void largeAttachmentBytes(std::uint64_t offset, char* out, std::size_t count)
{
    for (std::uint64_t n = offset; n < offset + count; ++n)
        out[n - offset] = static_cast<char>(((n * 0x9E3779B97F4A7C15ull) >> 56) ^ (n & 0xFF));
}

void writeMailWithLargeAttachment(const std::filesystem::path& path, std::uint64_t size)
{
    std::ofstream out(path, std::ios::binary);
    out << kMixedHead << "--gen-b\r\nContent-Type: application/octet-stream\r\n"
        << "Content-Disposition: attachment; filename=\"large.bin\"\r\n"
        << "Content-Transfer-Encoding: base64\r\n\r\n";
    char line[57];
    for (std::uint64_t at = 0; at < size; at += sizeof line) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof line, size - at));
        largeAttachmentBytes(at, line, n);
        out << base64Line(reinterpret_cast<const unsigned char*>(line), n);
    }
    out << "--gen-b--\r\n";
}

void writeMailWithAttachments(const std::filesystem::path& path, std::size_t count)
{
    std::ofstream out(path, std::ios::binary);
    out << kMixedHead;
    for (std::size_t i = 0; i < count; ++i)
        out << "--gen-b\r\nContent-Type: text/plain\r\nContent-Disposition: attachment; "
            << "filename=\"file-" << i << ".txt\"\r\n\r\nattachment " << i << "\n\r\n";
    out << "--gen-b--\r\n";
}

} // namespace mailmend::testing
