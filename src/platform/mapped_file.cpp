// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mapped_file.h"

#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix_open.h"

namespace mailmend::platform {
namespace {

// Touching a mapped page whose bytes cannot be read (the disk fails, or the file was
// cut short by someone else) raises SIGBUS instead of returning an error. Each window
// is touched page by page right after it is mapped, under a handler that turns the
// signal into a failed map, so a bad disk ends the step instead of the program.
// Volatile: the handler reads it, so its stores must not be merged away.
thread_local sigjmp_buf* volatile t_probe = nullptr;
struct sigaction g_previousBusAction {};

void onBusError(int signal, siginfo_t* info, void* context)
{
    if (t_probe)
        siglongjmp(*t_probe, 1);
    // Not raised by a probe: give it to whoever handled it before (by default the
    // signal then ends the program when the faulting access is retried).
    if (g_previousBusAction.sa_flags & SA_SIGINFO) {
        if (g_previousBusAction.sa_sigaction) {
            g_previousBusAction.sa_sigaction(signal, info, context);
            return;
        }
    } else if (g_previousBusAction.sa_handler != SIG_DFL && g_previousBusAction.sa_handler != SIG_IGN) {
        g_previousBusAction.sa_handler(signal);
        return;
    }
    ::sigaction(SIGBUS, &g_previousBusAction, nullptr);
}

void installBusHandler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_sigaction = &onBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &g_previousBusAction);
    });
}

// Reads one byte of every page of [at, at + length). False when a page cannot be read.
bool allPagesReadable(const volatile std::uint8_t* at, std::size_t length, std::size_t page)
{
    installBusHandler();
    sigjmp_buf jump;
    if (sigsetjmp(jump, 1) != 0) {
        t_probe = nullptr;
        return false;
    }
    t_probe = &jump;
    for (std::size_t offset = 0; offset < length; offset += page)
        (void)at[offset];
    (void)at[length - 1];
    t_probe = nullptr;
    return true;
}

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
        if (!allPagesReadable(static_cast<const std::uint8_t*>(at), length, mappingGranularity())) {
            unmap();
            return nullptr;
        }
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
