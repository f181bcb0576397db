// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/mime/source_stream.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace mailmend::mailstore::mime {
namespace {

using SharedFile = std::shared_ptr<platform::ReadableFile>;

struct SourceStream {
    GMimeStream parent;
    SharedFile* file; // owned by this stream; the file itself is shared with every window
    gint64 fileSize;
    gboolean failed; // a read came up short: the file shrank or cannot be read
    // The parse budget (see newSourceStream): lines beginning with "--" still allowed, or
    // -1 for no budget; where the stream was cut short, or -1.
    gint64 boundaryLinesLeft;
    gint64 cutAt;
    gboolean atLineStart;
};

struct SourceStreamClass {
    GMimeStreamClass parent;
};

GObjectClass* parentClass = nullptr;

SourceStream* self(GMimeStream* stream)
{
    return reinterpret_cast<SourceStream*>(stream);
}

gint64 endOf(GMimeStream* stream)
{
    const gint64 end = stream->bound_end != -1 ? stream->bound_end : self(stream)->fileSize;
    return self(stream)->cutAt >= 0 ? std::min(end, self(stream)->cutAt) : end;
}

// Counts the lines that begin with "--" in what the parser is handed, and cuts the stream
// short at the start of the line that is one too many.
std::size_t spendBudget(SourceStream* source, const char* bytes, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        if (source->atLineStart && bytes[i] == '-') {
            char next = '\0';
            if (i + 1 < count)
                next = bytes[i + 1];
            else // the second byte is not read yet: look ahead
                (*source->file)->readAt(std::uint64_t(source->parent.position) + i + 1, &next, 1);
            if (next == '-' && source->boundaryLinesLeft-- == 0) {
                source->cutAt = source->parent.position + static_cast<gint64>(i);
                return i;
            }
        }
        source->atLineStart = bytes[i] == '\n';
    }
    return count;
}

ssize_t streamRead(GMimeStream* stream, char* buffer, size_t length)
{
    SourceStream* source = self(stream);
    const gint64 end = endOf(stream);
    if (source->failed) { // what follows a failed read is never taken for the end
        errno = EIO;
        return -1;
    }
    if (stream->position >= end || stream->position < 0)
        return 0;
    const auto wanted =
        static_cast<std::size_t>(std::min<gint64>(end - stream->position, gint64(length)));
    std::size_t got =
        (*source->file)->readAt(static_cast<std::uint64_t>(stream->position), buffer, wanted);
    if (got < wanted)
        source->failed = TRUE;
    if (got == 0) {
        errno = EIO;
        return -1;
    }
    if (source->boundaryLinesLeft >= 0)
        got = spendBudget(source, buffer, got); // 0 when cut right here: the end
    stream->position += static_cast<gint64>(got);
    return static_cast<ssize_t>(got);
}

ssize_t streamWrite(GMimeStream*, const char*, size_t)
{
    errno = EBADF; // a mail being read is never written
    return -1;
}

int streamFlush(GMimeStream*)
{
    return 0;
}

int streamClose(GMimeStream*)
{
    return 0; // the file stays open for the other windows; it closes with its last share
}

gboolean streamEos(GMimeStream* stream)
{
    return self(stream)->failed || stream->position >= endOf(stream);
}

int streamReset(GMimeStream*)
{
    return 0; // g_mime_stream_reset() moves the position back to the start
}

gint64 streamSeek(GMimeStream* stream, gint64 offset, GMimeSeekWhence whence)
{
    const gint64 end = endOf(stream);
    gint64 target = offset;
    if (whence == GMIME_STREAM_SEEK_CUR)
        target = stream->position + offset;
    else if (whence == GMIME_STREAM_SEEK_END)
        target = end + offset;
    if (target < stream->bound_start || target > end) {
        errno = EINVAL;
        return -1;
    }
    stream->position = target;
    return target;
}

gint64 streamTell(GMimeStream* stream)
{
    return stream->position;
}

gint64 streamLength(GMimeStream* stream)
{
    return std::max<gint64>(0, endOf(stream) - stream->bound_start);
}

GMimeStream* newStream(const SharedFile& file, gint64 fileSize, gint64 start, gint64 end,
                       gint64 boundaryLines);

GMimeStream* streamSubstream(GMimeStream* stream, gint64 start, gint64 end)
{
    return newStream(*self(stream)->file, self(stream)->fileSize, start, end, -1);
}

void streamFinalize(GObject* object)
{
    auto* source = reinterpret_cast<SourceStream*>(object);
    delete source->file;
    source->file = nullptr;
    parentClass->finalize(object);
}

void classInit(gpointer klass, gpointer)
{
    parentClass = G_OBJECT_CLASS(g_type_class_peek_parent(klass));
    G_OBJECT_CLASS(klass)->finalize = streamFinalize;
    auto* streamClass = GMIME_STREAM_CLASS(klass);
    streamClass->read = streamRead;
    streamClass->write = streamWrite;
    streamClass->flush = streamFlush;
    streamClass->close = streamClose;
    streamClass->eos = streamEos;
    streamClass->reset = streamReset;
    streamClass->seek = streamSeek;
    streamClass->tell = streamTell;
    streamClass->length = streamLength;
    streamClass->substream = streamSubstream;
}

GType sourceStreamType()
{
    static const GType type = g_type_register_static_simple(
        GMIME_TYPE_STREAM, "MailmendSourceStream", sizeof(SourceStreamClass), classInit,
        sizeof(SourceStream), nullptr, GTypeFlags(0));
    return type;
}

GMimeStream* newStream(const SharedFile& file, gint64 fileSize, gint64 start, gint64 end,
                       gint64 boundaryLines)
{
    auto* source = static_cast<SourceStream*>(g_object_new(sourceStreamType(), nullptr));
    source->file = new SharedFile(file);
    source->fileSize = fileSize;
    source->failed = FALSE;
    source->boundaryLinesLeft = boundaryLines;
    source->cutAt = -1;
    source->atLineStart = TRUE;
    g_mime_stream_construct(&source->parent, start, end);
    return &source->parent;
}

class MemoryFile final : public platform::ReadableFile {
public:
    explicit MemoryFile(std::string bytes) : m_bytes(std::move(bytes)) {}

    std::uint64_t size() const override { return m_bytes.size(); }

    std::size_t readAt(std::uint64_t position, void* buffer, std::size_t count) override
    {
        if (position >= m_bytes.size())
            return 0;
        const std::size_t n = std::min<std::size_t>(count, m_bytes.size() - position);
        std::memcpy(buffer, m_bytes.data() + position, n);
        return n;
    }

private:
    std::string m_bytes;
};

} // namespace

ObjectRef<_GMimeStream> newSourceStream(std::shared_ptr<platform::ReadableFile> file,
                                        std::int64_t maxBoundaryLines)
{
    ensureGMime();
    const auto size = static_cast<gint64>(
        std::min<std::uint64_t>(file->size(), std::uint64_t(G_MAXINT64)));
    const gint64 budget = std::max<gint64>(-1, maxBoundaryLines);
    return ObjectRef<_GMimeStream>(newStream(file, size, 0, -1, budget));
}

bool sourceReadFailed(GMimeStream* stream)
{
    return stream && G_TYPE_CHECK_INSTANCE_TYPE(stream, sourceStreamType()) && self(stream)->failed;
}

std::int64_t sourceCutOffset(GMimeStream* stream)
{
    return self(stream)->cutAt;
}

std::shared_ptr<platform::ReadableFile> memorySource(std::string bytes)
{
    return std::make_shared<MemoryFile>(std::move(bytes));
}

} // namespace mailmend::mailstore::mime
