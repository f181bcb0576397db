// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/fake_lister.h"

#include <chrono>
#include <thread>
#include <utility>

namespace mailmend::testing {

class FakeLister::Listing final : public platform::DirectoryListing {
public:
    Listing(const FakeLister& lister, std::vector<platform::DirectoryEntry> entries)
        : m_lister(lister), m_entries(std::move(entries))
    {
        const int open = ++m_lister.openListings;
        int most = m_lister.mostOpenListings;
        while (open > most && !m_lister.mostOpenListings.compare_exchange_weak(most, open)) {
        }
    }
    ~Listing() override { --m_lister.openListings; }

    bool next(platform::DirectoryEntry& entry) override
    {
        if (m_next == m_entries.size())
            return false;
        if (++m_lister.fetched == m_lister.m_gate) {
            m_lister.m_reached = true;
            while (!m_lister.m_released)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        entry = m_entries[m_next++];
        return true;
    }

private:
    const FakeLister& m_lister;
    std::vector<platform::DirectoryEntry> m_entries;
    std::size_t m_next = 0;
};

FakeLister::FakeLister()
{
    m_tree["/r"];
}

std::string FakeLister::addDirectory(const std::string& parent, const std::string& name, bool symlink)
{
    const std::string path = (std::filesystem::path(parent) / name).string();
    m_tree[parent].push_back({name, path, true, symlink, false});
    m_tree[path];
    return path;
}

void FakeLister::addFile(const std::string& dir, const std::string& name, std::uint64_t size,
                         bool withStatus)
{
    const std::string path = (std::filesystem::path(dir) / name).string();
    m_tree[dir].push_back({name, path, false, false, false});
    if (withStatus)
        m_status[path] = {size, 0};
}

void FakeLister::makeUnlistable(const std::string& dir)
{
    m_unlistable.insert(dir);
}

void FakeLister::waitReached() const
{
    while (!m_reached)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

std::unique_ptr<platform::DirectoryListing> FakeLister::list(const std::filesystem::path& dir,
                                                             std::string_view pattern) const
{
    {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(dir.string() + " " + std::string(pattern));
    }
    const auto it = m_tree.find(dir.string());
    if (it == m_tree.end() || m_unlistable.count(dir.string()))
        return nullptr;
    std::vector<platform::DirectoryEntry> entries {{".", dir / ".", true, false, true},
                                                   {"..", dir / "..", true, false, true}};
    entries.insert(entries.end(), it->second.begin(), it->second.end());
    std::erase_if(entries, [&](const auto& e) { return !platform::matchesWildcard(e.name, pattern); });
    return std::make_unique<Listing>(*this, std::move(entries));
}

std::optional<platform::FileStatus> FakeLister::status(const std::filesystem::path& file) const
{
    const auto it = m_status.find(file.string());
    return it == m_status.end() ? std::nullopt : std::optional(it->second);
}

std::vector<std::string> FakeLister::calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

} // namespace mailmend::testing
