// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/file_reader.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix_open.h"
#include "platform/system_calls.h"

namespace mailmend::platform {
namespace {

class PosixReadableFile final : public ReadableFile {
public:
    explicit PosixReadableFile(int fd) : m_fd(fd) {}
    ~PosixReadableFile() override { ::close(m_fd); }
    PosixReadableFile(const PosixReadableFile&) = delete;
    PosixReadableFile& operator=(const PosixReadableFile&) = delete;

    std::uint64_t size() const override
    {
        struct stat st {};
        if (::fstat(m_fd, &st) != 0)
            return 0;
        if (S_ISREG(st.st_mode))
            return static_cast<std::uint64_t>(st.st_size);
        const off_t end = ::lseek(m_fd, 0, SEEK_END); // block devices report their size here
        return end < 0 ? 0 : static_cast<std::uint64_t>(end);
    }

    std::size_t readAt(std::uint64_t position, void* buffer, std::size_t count) override
    {
        auto* out = static_cast<unsigned char*>(buffer);
        std::size_t done = 0;
        while (done < count) {
            const ssize_t got = sys::readAt(m_fd, out + done, count - done, position + done);
            if (got > 0) {
                done += static_cast<std::size_t>(got);
            } else if (got < 0 && errno == EINTR) {
                continue;
            } else {
                break; // end of file or a read error
            }
        }
        return done;
    }

private:
    int m_fd;
};

} // namespace

OpenResult openForReading(const std::filesystem::path& path)
{
    OpenResult result;
    struct stat st {};
    const int fd = openForSequentialRead(path, true, st, result.error);
    if (fd >= 0)
        result.file = std::make_unique<PosixReadableFile>(fd);
    return result;
}

} // namespace mailmend::platform
