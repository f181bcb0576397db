// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/directory_listing.h"

namespace mailmend::testing {

// A directory tree in memory, rooted at "/r". Every directory lists "." and ".." first,
// as real ones do, then its entries in the order they were added.
class FakeLister final : public platform::DirectoryLister {
public:
    FakeLister();

    // The new directory's path.
    std::string addDirectory(const std::string& parent, const std::string& name, bool symlink = false);
    void addFile(const std::string& dir, const std::string& name, std::uint64_t size = 0,
                 bool withStatus = true);
    void makeUnlistable(const std::string& dir);

    // Fetching entry number `n` of the whole walk holds the walker until release().
    void gateAt(long n) { m_gate = n; }
    void waitReached() const;
    void release() { m_released = true; }

    std::unique_ptr<platform::DirectoryListing> list(const std::filesystem::path& dir,
                                                     std::string_view pattern) const override;
    std::optional<platform::FileStatus> status(const std::filesystem::path& file) const override;

    // Every list() call as "<directory> <pattern>".
    std::vector<std::string> calls() const;

    mutable std::atomic<long> fetched {0};
    mutable std::atomic<int> openListings {0};
    mutable std::atomic<int> mostOpenListings {0};

private:
    class Listing;

    std::map<std::string, std::vector<platform::DirectoryEntry>> m_tree;
    std::map<std::string, platform::FileStatus> m_status;
    std::set<std::string> m_unlistable;
    mutable std::mutex m_mutex;
    mutable std::vector<std::string> m_calls;
    long m_gate = -1;
    mutable std::atomic<bool> m_reached {false};
    std::atomic<bool> m_released {false};
};

} // namespace mailmend::testing
