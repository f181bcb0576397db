// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/mime/attached_mail_range.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <optional>
#include <string_view>

namespace mailmend::mailstore::mime {
namespace {

// The first and the last offset GMime recorded inside an attached mail: its header lines
// and its leaf contents. The text runs from the first; its end lies after the last.
struct KnownSpan {
    std::int64_t first = -1;
    std::int64_t last = -1;

    void add(std::int64_t begin, std::int64_t end)
    {
        if (begin < 0 || end < begin)
            return;
        first = first < 0 ? begin : std::min(first, begin);
        last = std::max(last, end);
    }
};

void addHeaders(GMimeObject* object, KnownSpan& span)
{
    GMimeHeaderList* headers = g_mime_object_get_header_list(object);
    const int count = headers ? g_mime_header_list_get_count(headers) : 0;
    for (int i = 0; i < count; ++i) {
        GMimeHeader* header = g_mime_header_list_get_header_at(headers, i);
        const gint64 offset = g_mime_header_get_offset(header);
        span.add(offset, offset);
    }
}

KnownSpan knownSpan(GMimeMessage* message)
{
    KnownSpan span;
    std::vector<GMimeObject*> pending {GMIME_OBJECT(message)};
    while (!pending.empty()) { // no recursion: attached mails may nest as deep as GMime lets them
        GMimeObject* object = pending.back();
        pending.pop_back();
        addHeaders(object, span);
        if (GMIME_IS_MESSAGE(object)) {
            if (GMimeObject* body = g_mime_message_get_mime_part(GMIME_MESSAGE(object)))
                pending.push_back(body);
        } else if (GMIME_IS_MULTIPART(object)) {
            const int count = g_mime_multipart_get_count(GMIME_MULTIPART(object));
            for (int i = 0; i < count; ++i)
                pending.push_back(g_mime_multipart_get_part(GMIME_MULTIPART(object), i));
        } else if (GMIME_IS_MESSAGE_PART(object)) {
            if (GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object)))
                pending.push_back(GMIME_OBJECT(inner));
        } else if (GMIME_IS_PART(object)) {
            GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(object));
            GMimeStream* stream = content ? g_mime_data_wrapper_get_stream(content) : nullptr;
            if (stream && stream->bound_end >= 0)
                span.add(stream->bound_start, stream->bound_end);
        }
    }
    return span;
}

// Reads a source a block at a time, for a byte-by-byte walk.
class BlockReader {
public:
    BlockReader(platform::ReadableFile& source, std::int64_t limit)
        : m_source(source), m_limit(limit), m_block(65536)
    {
    }

    // The byte at `position`, or -1 past the end or on a read error.
    int at(std::int64_t position)
    {
        if (position < 0 || position >= m_limit)
            return -1;
        if (position < m_start || position >= m_start + static_cast<std::int64_t>(m_size)) {
            m_start = position;
            const auto wanted = static_cast<std::size_t>(
                std::min<std::int64_t>(m_limit - position, std::int64_t(m_block.size())));
            m_size = m_source.readAt(static_cast<std::uint64_t>(position), m_block.data(), wanted);
            if (m_size == 0)
                return -1;
        }
        return static_cast<unsigned char>(m_block[static_cast<std::size_t>(position - m_start)]);
    }

private:
    platform::ReadableFile& m_source;
    std::int64_t m_limit;
    std::vector<char> m_block;
    std::int64_t m_start = 0;
    std::size_t m_size = 0;
};

bool isBlank(int c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// Whether the line at `position` is a boundary line for one of `markers` ("--" and the
// boundary): the marker, perhaps "--", then only blanks, as GMime's parser reads them.
bool isBoundaryLine(BlockReader& reader, std::int64_t position,
                    const std::vector<std::string>& markers)
{
    for (const std::string& marker : markers) {
        std::int64_t p = position;
        bool matches = true;
        for (char expected : marker) {
            if (reader.at(p++) != static_cast<unsigned char>(expected)) {
                matches = false;
                break;
            }
        }
        if (!matches)
            continue;
        if (reader.at(p) == '-' && reader.at(p + 1) == '-')
            p += 2;
        int c = reader.at(p);
        while (isBlank(c))
            c = reader.at(++p);
        if (c == '\n' || c == -1)
            return true;
    }
    return false;
}

// The start of the first boundary line that begins at or after `from`.
std::optional<std::int64_t> findBoundaryLine(BlockReader& reader, std::int64_t from,
                                             const std::vector<std::string>& markers)
{
    std::int64_t p = from;
    if (p > 0 && reader.at(p - 1) != '\n') {
        for (int c = reader.at(p); c != '\n'; c = reader.at(++p)) {
            if (c == -1)
                return std::nullopt;
        }
        ++p;
    }
    while (reader.at(p) != -1) {
        if (reader.at(p) == '-' && isBoundaryLine(reader, p, markers))
            return p;
        for (int c = reader.at(p); c != '\n'; c = reader.at(++p)) {
            if (c == -1)
                return std::nullopt;
        }
        ++p;
    }
    return std::nullopt;
}

} // namespace

ByteRange attachedMailRange(GMimeMessagePart* part,
                            const std::vector<std::string>& enclosingBoundaries,
                            platform::ReadableFile& source)
{
    GMimeMessage* message = part ? g_mime_message_part_get_message(part) : nullptr;
    if (!message)
        return {};
    const KnownSpan span = knownSpan(message);
    if (span.first < 0)
        return {};
    const auto size = static_cast<std::int64_t>(source.size());
    ByteRange range {std::min(span.first, size), size};
    if (enclosingBoundaries.empty())
        return range;

    std::vector<std::string> markers;
    for (const std::string& boundary : enclosingBoundaries)
        markers.push_back("--" + boundary);
    BlockReader reader(source, size);
    if (const auto line = findBoundaryLine(reader, std::max(span.last, range.begin), markers)) {
        // The line end before a boundary line belongs to the boundary.
        std::int64_t end = *line;
        if (end > range.begin && reader.at(end - 1) == '\n')
            --end;
        if (end > range.begin && reader.at(end - 1) == '\r')
            --end;
        range.end = std::max(end, range.begin);
    }
    return range;
}

} // namespace mailmend::mailstore::mime
