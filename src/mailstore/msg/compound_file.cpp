// SPDX-License-Identifier: GPL-3.0-or-later
// The only file that sees libgsf's (GLib's) headers: the container, its output sink and
// the library's one-time set-up.
#include "mailstore/msg/compound_file.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output.h>
#include <gsf/gsf-utils.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "mailstore/msg/directory_tree.h"
#include "platform/file_system.h"
#include "platform/random_access_file.h"

namespace mailmend::mailstore::msg {

// Writes what libgsf hands over at the offsets it gives, gathering runs of adjacent
// small writes (directory entries, table entries) into one system call.
struct CompoundSink {
    platform::RandomAccessFile file;
    std::vector<char> buffer = std::vector<char>(std::size_t{1} << 16);
    std::size_t used = 0;
    std::uint64_t bufferOffset = 0; // file offset of buffer[0]
    bool discard = false;           // the file is being given up: write nothing more

    bool flush()
    {
        const bool ok = used == 0 || file.writeAt(bufferOffset, buffer.data(), used);
        used = 0;
        return ok;
    }

    bool write(std::uint64_t offset, const void* data, std::size_t size)
    {
        if (discard)
            return true;
        if (used > 0 && offset == bufferOffset + used && size <= buffer.size() - used) {
            std::memcpy(buffer.data() + used, data, size);
            used += size;
            return true;
        }
        if (!flush())
            return false;
        if (size >= buffer.size())
            return file.writeAt(offset, data, size);
        std::memcpy(buffer.data(), data, size);
        bufferOffset = offset;
        used = size;
        return true;
    }
};

namespace {

// A GsfOutput subclass over our sink, so that every byte goes through the platform's
// file rather than through a file libgsf would open itself.
struct SinkOutput {
    GsfOutput parent;
    CompoundSink* sink;
};

struct SinkOutputClass {
    GsfOutputClass parent;
};

gboolean sinkWrite(GsfOutput* output, size_t size, const guint8* data)
{
    auto* self = reinterpret_cast<SinkOutput*>(output);
    if (self->sink->write(static_cast<std::uint64_t>(output->cur_offset), data, size))
        return TRUE;
    gsf_output_set_error(output, 0, "%s", self->sink->file.lastError().c_str());
    return FALSE;
}

gboolean sinkSeek(GsfOutput*, gsf_off_t, GSeekType)
{
    return TRUE; // GsfOutput keeps the position; writes take it from there
}

gboolean sinkClose(GsfOutput* output)
{
    auto* self = reinterpret_cast<SinkOutput*>(output);
    return self->sink->flush() ? TRUE : FALSE;
}

void sinkClassInit(gpointer klass, gpointer)
{
    auto* output = static_cast<GsfOutputClass*>(klass);
    output->Write = sinkWrite;
    output->Seek = sinkSeek;
    output->Close = sinkClose;
}

void sinkInit(GTypeInstance* instance, gpointer)
{
    reinterpret_cast<SinkOutput*>(instance)->sink = nullptr;
}

// libgsf's types and ours are registered once per process, whichever thread comes first.
GType sinkOutputType()
{
    static std::once_flag once;
    static GType type = 0;
    std::call_once(once, [] {
        gsf_init();
        type = g_type_register_static_simple(
            gsf_output_get_type(), "MailmendCompoundSink", sizeof(SinkOutputClass), sinkClassInit,
            sizeof(SinkOutput), sinkInit, static_cast<GTypeFlags>(0));
    });
    return type;
}

GsfOutput* gsf(GsfHandle* handle)
{
    return reinterpret_cast<GsfOutput*>(handle);
}

GsfHandle* handleOf(GsfOutput* output)
{
    return reinterpret_cast<GsfHandle*>(output);
}

// Closes and lets go of one child output.
void closeChild(GsfHandle*& handle)
{
    if (!handle)
        return;
    GsfOutput* output = gsf(handle);
    if (!gsf_output_is_closed(output))
        gsf_output_close(output);
    g_object_unref(output);
    handle = nullptr;
}

} // namespace

CompoundStream::~CompoundStream()
{
    close();
}

bool CompoundStream::write(const void* data, std::size_t size)
{
    if (!m_handle) {
        m_file.fail("a stream was written after it was closed");
        return false;
    }
    if (size == 0)
        return true;
    if (!gsf_output_write(gsf(m_handle), size, static_cast<const guint8*>(data))) {
        m_file.fail("cannot write a stream of the compound file");
        return false;
    }
    m_size += size;
    return true;
}

bool CompoundStream::close()
{
    closeChild(m_handle);
    return !m_file.failed();
}

CompoundStorage::~CompoundStorage()
{
    if (m_owned)
        closeChild(m_handle);
}

std::unique_ptr<CompoundStorage> CompoundStorage::addStorage(const std::string& name)
{
    if (!m_file.admitEntry(name))
        return nullptr;
    GsfOutput* child = gsf_outfile_new_child(GSF_OUTFILE(gsf(m_handle)), name.c_str(), TRUE);
    if (!child) {
        m_file.fail("cannot add the storage " + name);
        return nullptr;
    }
    return std::unique_ptr<CompoundStorage>(new CompoundStorage(m_file, handleOf(child), true));
}

std::unique_ptr<CompoundStream> CompoundStorage::addStream(const std::string& name)
{
    if (!m_file.admitEntry(name))
        return nullptr;
    GsfOutput* child = gsf_outfile_new_child(GSF_OUTFILE(gsf(m_handle)), name.c_str(), FALSE);
    if (!child) {
        m_file.fail("cannot add the stream " + name);
        return nullptr;
    }
    return std::unique_ptr<CompoundStream>(new CompoundStream(m_file, handleOf(child)));
}

bool CompoundStorage::writeStream(const std::string& name, std::string_view bytes)
{
    const std::unique_ptr<CompoundStream> stream = addStream(name);
    return stream && stream->write(bytes.data(), bytes.size()) && stream->close();
}

CompoundFile::CompoundFile(std::size_t maxEntries) : m_maxEntries(maxEntries) {}

bool CompoundFile::admitEntry(const std::string& name)
{
    if (m_failed)
        return false;
    if (++m_entries > m_maxEntries) {
        fail("more than " + std::to_string(m_maxEntries) + " entries are needed; " + name + " is one too many");
        return false;
    }
    return true;
}

CompoundFile::~CompoundFile()
{
    if (m_sink) {
        fail("the file was given up before it was finished");
        release();
    }
}

void CompoundFile::fail(const std::string& reason)
{
    if (!m_failed)
        m_error = reason;
    m_failed = true;
}

bool CompoundFile::create(const std::filesystem::path& path)
{
    const GType type = sinkOutputType();
    m_path = path;
    m_sink = std::make_unique<CompoundSink>();
    if (!m_sink->file.create(path)) {
        fail("cannot create " + path.string() + ": " + m_sink->file.lastError());
        m_sink.reset();
        return false;
    }
    GsfOutput* output = GSF_OUTPUT(g_object_new(type, nullptr));
    reinterpret_cast<SinkOutput*>(output)->sink = m_sink.get();
    m_output = handleOf(output);
    GsfOutfile* root = gsf_outfile_msole_new(output);
    if (!root) {
        fail("cannot start the compound file");
        release();
        return false;
    }
    m_root.reset(new CompoundStorage(*this, handleOf(GSF_OUTPUT(root)), false));
    return true;
}

CompoundStorage& CompoundFile::root()
{
    return *m_root;
}

// Closes the container (which writes its tables through the sink) and the file; removes
// the file when anything failed.
void CompoundFile::release()
{
    if (m_failed)
        m_sink->discard = true;
    if (m_root) {
        GsfOutput* root = gsf(m_root->m_handle);
        if (!gsf_output_close(root) && !m_failed)
            fail("cannot write the compound file's tables");
        g_object_unref(root);
        m_root.reset();
    }
    if (m_output) {
        GsfOutput* output = gsf(m_output);
        if (gsf_output_error(output) && !m_failed)
            fail(std::string("cannot write ") + m_path.string() + ": " + gsf_output_error(output)->message);
        if (!gsf_output_is_closed(output))
            gsf_output_close(output);
        g_object_unref(output);
        m_output = nullptr;
    }
    if (!m_failed) {
        std::string error;
        if (!balanceDirectoryTrees(m_sink->file, error))
            fail(error);
    }
    if (!m_sink->file.close() && !m_failed)
        fail("cannot write " + m_path.string() + ": " + m_sink->file.lastError());
    if (m_failed)
        platform::removeFile(m_path);
    m_sink.reset();
}

bool CompoundFile::finish()
{
    if (!m_sink)
        return false;
    release();
    return !m_failed;
}

} // namespace mailmend::mailstore::msg
