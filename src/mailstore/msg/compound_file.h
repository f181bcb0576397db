// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace mailmend::mailstore::msg {

class CompoundFile;
struct GsfHandle;    // a libgsf output; its type stays inside compound_file.cpp
struct CompoundSink; // where libgsf's output goes

// One stream of a compound file being written. libgsf lays a stream's sectors out as
// they are written, so only one stream of the whole file may be open at a time: close
// it (or let it go) before the next one is added.
class CompoundStream {
public:
    ~CompoundStream();
    CompoundStream(const CompoundStream&) = delete;
    CompoundStream& operator=(const CompoundStream&) = delete;

    bool write(const void* data, std::size_t size);
    std::uint64_t size() const { return m_size; }
    bool close();

private:
    friend class CompoundStorage;
    CompoundStream(CompoundFile& file, GsfHandle* handle) : m_file(file), m_handle(handle) {}

    CompoundFile& m_file;
    GsfHandle* m_handle;
    std::uint64_t m_size = 0;
};

// A storage (a folder) of a compound file being written. Names are at most 31 UTF-16
// units; a storage's children are written in any order and sorted by the container.
class CompoundStorage {
public:
    ~CompoundStorage();
    CompoundStorage(const CompoundStorage&) = delete;
    CompoundStorage& operator=(const CompoundStorage&) = delete;

    // Null when the container refused (the file then counts as failed).
    std::unique_ptr<CompoundStorage> addStorage(const std::string& name);
    std::unique_ptr<CompoundStream> addStream(const std::string& name);
    // A whole stream at once.
    bool writeStream(const std::string& name, std::string_view bytes);

private:
    friend class CompoundFile;
    CompoundStorage(CompoundFile& file, GsfHandle* handle, bool owned)
        : m_file(file), m_handle(handle), m_owned(owned) {}

    CompoundFile& m_file;
    GsfHandle* m_handle;
    bool m_owned;
};

// A compound file (OLE2, 512-byte sectors) written with libgsf straight into the file
// at a path, through the platform's random-access file: large streams go to the disk as
// they are written. When it is finished the directory's sibling trees are rebuilt
// balanced (libgsf chains them, which readers that walk the tree recursively cannot
// follow when a storage holds thousands of entries).
class CompoundFile {
public:
    // Adding more than `maxEntries` storages and streams fails: libgsf holds memory for
    // each until the file is finished.
    explicit CompoundFile(std::size_t maxEntries);
    // A file that was not finished is removed.
    ~CompoundFile();
    CompoundFile(const CompoundFile&) = delete;
    CompoundFile& operator=(const CompoundFile&) = delete;

    bool create(const std::filesystem::path& path);
    CompoundStorage& root();
    // Writes the directory and allocation tables and closes the file. True when every
    // byte reached the file; otherwise the file is removed.
    bool finish();

    bool failed() const { return m_failed; }
    const std::string& error() const { return m_error; }
    // Marks the file as failed; the first reason given is kept.
    void fail(const std::string& reason);

private:
    friend class CompoundStorage;
    void release();
    bool admitEntry(const std::string& name);

    std::filesystem::path m_path;
    std::unique_ptr<CompoundSink> m_sink;
    GsfHandle* m_output = nullptr; // the sink as libgsf sees it
    std::unique_ptr<CompoundStorage> m_root;
    std::size_t m_maxEntries;
    std::size_t m_entries = 0;
    bool m_failed = false;
    std::string m_error;
};

} // namespace mailmend::mailstore::msg
