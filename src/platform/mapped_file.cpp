// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mapped_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mailmend::platform {
namespace {

class PosixMappedView final : public MappedView {
public:
    PosixMappedView(int fd, std::uint64_t size) : m_fd(fd), m_size(size) {}
    ~PosixMappedView() override { unmap(); }
    PosixMappedView(const PosixMappedView&) = delete;
    PosixMappedView& operator=(const PosixMappedView&) = delete;

    const std::uint8_t* map(std::uint64_t start, std::size_t length, bool whole) override
    {
        unmap();
        if (length == 0 || start % mappingGranularity() != 0 || start > m_size
            || length > m_size - start)
            return nullptr;
        // A window read whole is populated at once: handing unmapped pages to write()
        // makes the kernel fall back to a slow path page by page.
        const int flags = MAP_SHARED | (whole ? MAP_POPULATE : 0);
        void* at = ::mmap(nullptr, length, PROT_READ, flags, m_fd, static_cast<off_t>(start));
        if (at == MAP_FAILED)
            return nullptr;
        if (!whole)
            ::madvise(at, length, MADV_SEQUENTIAL); // the walks read front to back
        m_at = at;
        m_length = length;
        return static_cast<const std::uint8_t*>(at);
    }

    void unmap() override
    {
        if (m_at)
            ::munmap(m_at, m_length);
        m_at = nullptr;
        m_length = 0;
    }

private:
    int m_fd;
    std::uint64_t m_size;
    void* m_at = nullptr;
    std::size_t m_length = 0;
};

class PosixFileMapping final : public FileMapping {
public:
    PosixFileMapping(int fd, std::uint64_t size) : m_fd(fd), m_size(size) {}
    ~PosixFileMapping() override { ::close(m_fd); }
    PosixFileMapping(const PosixFileMapping&) = delete;
    PosixFileMapping& operator=(const PosixFileMapping&) = delete;

    std::uint64_t size() const override { return m_size; }
    std::unique_ptr<MappedView> newView() override
    {
        return std::make_unique<PosixMappedView>(m_fd, m_size);
    }

private:
    int m_fd;
    std::uint64_t m_size;
};

} // namespace

MappingResult mapFileForReading(const std::filesystem::path& path)
{
    MappingResult result;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        result.error = std::strerror(errno);
        return result;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        result.error = std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
        result.error = S_ISDIR(st.st_mode) ? "Is a directory" : "Not a regular file";
    } else if (st.st_size == 0) {
        result.error = "The file is empty";
    } else {
#ifdef POSIX_FADV_SEQUENTIAL
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
        result.mapping = std::make_unique<PosixFileMapping>(fd, static_cast<std::uint64_t>(st.st_size));
        return result;
    }
    ::close(fd);
    return result;
}

std::size_t mappingGranularity()
{
    static const std::size_t granularity = [] {
        const long page = ::sysconf(_SC_PAGESIZE);
        return page > 0 ? static_cast<std::size_t>(page) : std::size_t {4096};
    }();
    return granularity;
}

} // namespace mailmend::platform
