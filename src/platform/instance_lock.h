// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace mailmend::platform {

// A named lock that one process at a time can hold: a lock file held with an exclusive
// advisory lock. The system releases it when the process ends, however it ends, so a
// lock file left behind by a crash never keeps the next start out.
class InstanceLock {
public:
    // Takes the lock `name`. Nothing when another process (or another InstanceLock of
    // this process) holds it. When the lock file cannot be made at all, the lock is taken
    // without a file: a start is never refused for want of a place to keep the file.
    //
    // The file is "<name>.lock" in `directory`; an empty `directory` means
    // $XDG_RUNTIME_DIR, else the per-user state directory.
    static std::optional<InstanceLock> tryAcquire(const std::string& name,
                                                  const std::filesystem::path& directory = {});

    InstanceLock(InstanceLock&& other) noexcept;
    InstanceLock& operator=(InstanceLock&& other) noexcept;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock();

    // False when the lock was taken without a file (see tryAcquire).
    bool holdsFile() const { return m_fd >= 0; }

private:
    explicit InstanceLock(int fd) : m_fd(fd) {}

    int m_fd = -1;
};

// Where instance locks are kept by default.
std::filesystem::path instanceLockDirectory();

} // namespace mailmend::platform
