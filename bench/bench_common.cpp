// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench_common.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace mailmend::bench {

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double best(const std::vector<double>& v)
{
    return v.empty() ? 0 : *std::min_element(v.begin(), v.end());
}

const char* verdict(bool ok)
{
    return ok ? "PASS" : "MISS";
}

void section(const char* title)
{
    std::printf("\n%s\n", title);
}

// One figure: name, value, target and verdict in fixed columns.
void figure(const char* name, const std::string& value, const std::string& target,
            std::optional<bool> ok)
{
    if (target.empty() && !ok) {
        std::printf("  %-34s %s\n", name, value.c_str());
        return;
    }
    std::printf("  %-34s %-28s target %-12s", name, value.c_str(), target.c_str());
    if (ok)
        std::printf(" %s", verdict(*ok));
    std::printf("\n");
}


// Reads the whole file with read() calls of `chunk` bytes; returns the bytes read.
std::uint64_t plainRead(const fs::path& file, std::size_t chunk)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    std::vector<unsigned char> buffer(chunk);
    std::uint64_t total = 0;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        total += static_cast<std::uint64_t>(got);
    }
    ::close(fd);
    return total;
}



// Runs a program with standard output sent to `output` (default /dev/null) and standard
// error to /dev/null, and waits for it.
ChildRun runChild(const std::vector<std::string>& args, const std::string& output)
{
    ChildRun run;
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const double start = now();
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return run;
    run.started = true;
    struct rusage usage {};
    while (::wait4(pid, &run.status, 0, &usage) < 0 && errno == EINTR) {
    }
    run.wall = now() - start;
    run.user = static_cast<double>(usage.ru_utime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec) / 1e6;
    run.system = static_cast<double>(usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_stime.tv_usec) / 1e6;
    run.peakBytes = static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;
    return run;
}


TreeSize measureTree(const fs::path& root)
{
    TreeSize size;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        if (it->is_regular_file(ec)) {
            ++size.files;
            size.bytes += it->file_size(ec);
        }
    }
    return size;
}

// Writes `bytes` bytes to one new file with 1 MiB write() calls: a reference for the
// amount of data an extraction writes. Not a floor: one large file can be slower to
// write than many small ones (writeback and dirty-page throttling work per file).
double plainWrite(const fs::path& file, std::uint64_t bytes)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return 0;
    std::vector<char> buffer(std::size_t {1} << 20, 'x');
    const double start = now();
    std::uint64_t left = bytes;
    while (left > 0) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
        const ssize_t done = ::write(fd, buffer.data(), n);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            break;
        left -= static_cast<std::uint64_t>(done);
    }
    ::close(fd);
    return now() - start;
}

std::string findOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    if (!path)
        return {};
    std::string all = path;
    std::size_t start = 0;
    while (start <= all.size()) {
        const std::size_t end = std::min(all.find(':', start), all.size());
        const fs::path candidate = fs::path(all.substr(start, end - start)) / name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate.string();
        start = end + 1;
    }
    return {};
}

std::uint64_t ownPeakBytes()
{
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtoull(line.c_str() + 6, nullptr, 10) * 1024;
    return 0;
}

std::string mib(std::uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1 << 20));
    return text;
}

std::map<std::string, std::string> optionPairs(int argc, char** argv)
{
    std::map<std::string, std::string> pairs;
    for (int i = 1; i + 1 < argc; i += 2)
        pairs[argv[i]] = argv[i + 1];
    return pairs;
}

} // namespace mailmend::bench
