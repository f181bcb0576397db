// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/mime/part_content.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <cstring>

#include "mailstore/mime/source_stream.h"

namespace mailmend::mailstore::mime {
namespace {

constexpr int kMaxEmptyReads = 1 << 22;

class StreamSource final : public ByteSource {
public:
    // `source` is the window `stream` decodes, or `stream` itself.
    StreamSource(ObjectRef<GMimeStream> stream, GMimeStream* source)
        : m_stream(std::move(stream)), m_source(source ? source : m_stream.get())
    {
        if (m_source != m_stream.get())
            g_object_ref(m_source);
    }
    ~StreamSource() override
    {
        if (m_source && m_source != m_stream.get())
            g_object_unref(m_source);
    }
    StreamSource(const StreamSource&) = delete;
    StreamSource& operator=(const StreamSource&) = delete;

    std::ptrdiff_t read(char* buffer, std::size_t count) override
    {
        if (!m_stream || count == 0)
            return 0;
        // A decoding filter may take a piece of input and give nothing yet (a line break
        // in base64, a quantum cut in two), so 0 means the end only at the end. Each empty
        // read still takes input, so the loop ends; the cap only guards against a filter
        // that would not.
        for (int empty = 0; empty < kMaxEmptyReads; ++empty) {
            const ssize_t n = g_mime_stream_read(m_stream.get(), buffer, count);
            // A decoder takes a failed read of its window for the end: it is not.
            if (n < 0 || (n == 0 && sourceReadFailed(m_source)))
                return -1;
            if (n > 0)
                return n;
            if (g_mime_stream_eos(m_stream.get()))
                return 0;
        }
        return -1;
    }

private:
    ObjectRef<GMimeStream> m_stream;
    GMimeStream* m_source; // a reference of its own when not m_stream
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::shared_ptr<const std::string> bytes) : m_bytes(std::move(bytes)) {}

    std::ptrdiff_t read(char* buffer, std::size_t count) override
    {
        const std::size_t n = std::min(count, m_bytes->size() - m_position);
        std::memcpy(buffer, m_bytes->data() + m_position, n);
        m_position += n;
        return static_cast<std::ptrdiff_t>(n);
    }

private:
    std::shared_ptr<const std::string> m_bytes;
    std::size_t m_position = 0;
};

bool needsDecoding(GMimeContentEncoding encoding)
{
    return encoding == GMIME_CONTENT_ENCODING_BASE64
        || encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE
        || encoding == GMIME_CONTENT_ENCODING_UUENCODE;
}

} // namespace

std::unique_ptr<ByteSource> openPartContent(GMimePart* part)
{
    GMimeDataWrapper* content = part ? g_mime_part_get_content(part) : nullptr;
    GMimeStream* encoded = content ? g_mime_data_wrapper_get_stream(content) : nullptr;
    if (!encoded)
        return openBytes(std::make_shared<const std::string>());
    // A window of its own, so that every reader starts at the start.
    ObjectRef<GMimeStream> window(
        g_mime_stream_substream(encoded, encoded->bound_start, encoded->bound_end));
    if (!window)
        return openBytes(std::make_shared<const std::string>());
    const GMimeContentEncoding encoding = g_mime_data_wrapper_get_encoding(content);
    if (!needsDecoding(encoding))
        return std::make_unique<StreamSource>(std::move(window), nullptr);
    ObjectRef<GMimeStream> decoded(g_mime_stream_filter_new(window.get()));
    ObjectRef<GMimeFilter> decoder(g_mime_filter_basic_new(encoding, FALSE));
    g_mime_stream_filter_add(GMIME_STREAM_FILTER(decoded.get()), decoder.get());
    return std::make_unique<StreamSource>(std::move(decoded), window.get());
}

std::unique_ptr<ByteSource> openStreamRange(GMimeStream* stream, std::int64_t begin,
                                            std::int64_t end)
{
    ObjectRef<GMimeStream> window(stream && begin <= end
                                      ? g_mime_stream_substream(stream, begin, end)
                                      : nullptr);
    return std::make_unique<StreamSource>(std::move(window), nullptr);
}

std::unique_ptr<ByteSource> openBytes(std::shared_ptr<const std::string> bytes)
{
    return std::make_unique<MemorySource>(std::move(bytes));
}

std::string readAll(ByteSource& source)
{
    std::string out;
    char buffer[65536];
    while (true) {
        const std::ptrdiff_t n = source.read(buffer, sizeof buffer);
        if (n <= 0)
            return out;
        out.append(buffer, static_cast<std::size_t>(n));
    }
}

} // namespace mailmend::mailstore::mime
