// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mapped_file.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/posix_open.h"
#include "platform/system_calls.h"

namespace mailmend::platform {
namespace {

// A window is read into memory of its own with positional reads rather than mapped
// with mmap: a mapped page whose bytes are gone (the file was cut short meanwhile, the
// disk fails) raises SIGBUS at whatever later read touches it, while a read simply comes
// up short. The window then fails and the step that needed it ends.
class PosixMappedView final : public MappedView {
public:
    PosixMappedView(int fd, std::uint64_t size) : m_fd(fd), m_size(size) {}

    const std::uint8_t* map(std::uint64_t start, std::size_t length, bool /*whole*/) override
    {
        unmap();
        if (length == 0 || start % mappingGranularity() != 0 || start > m_size
            || length > m_size - start)
            return nullptr;
        if (m_buffer.size() < length)
            m_buffer.resize(length);
        std::size_t done = 0;
        while (done < length) {
            const ssize_t n
                = sys::readAt(m_fd, m_buffer.data() + done, length - done, start + done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return nullptr;
            done += static_cast<std::size_t>(n);
        }
        return m_buffer.data();
    }

    // The memory stays for the next window: a view reads window after window.
    void unmap() override {}

private:
    int m_fd;
    std::uint64_t m_size;
    std::vector<std::uint8_t> m_buffer;
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
    struct stat st {};
    const int fd = openForSequentialRead(path, false, st, result.error);
    if (fd < 0)
        return result;
    if (st.st_size == 0) { // nothing to map
        result.error = "The file is empty";
        ::close(fd);
        return result;
    }
    result.mapping = std::make_unique<PosixFileMapping>(fd, static_cast<std::uint64_t>(st.st_size));
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
