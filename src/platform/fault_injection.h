// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

// Failures of the file system on demand, for tests: a plan armed by a test makes the k-th
// file operation of one kind fail the way a full or failing disk makes it fail. Every file
// operation of platform/ asks the armed plan before it calls the system; with no plan
// armed (always, outside tests) that costs one load and one well-predicted branch.
namespace mailmend::platform {

enum class FileOperation : std::uint8_t {
    Create,        // creating a file, or opening an existing one for writing
    Write,         // one transfer to a file, or cutting its length
    Read,          // opening a file for reading, or one transfer from it
    Rename,        // renaming a file
    Remove,        // removing a file, a link or an empty directory
    MakeDirectory, // making one directory
    Sync,          // sending what was written to a file to the disk (a sync, or its close)
};
inline constexpr std::size_t kFileOperationKinds = 7;

// "create", "write", ...: for test names and messages.
const char* fileOperationName(FileOperation operation);

// How the chosen operation fails.
enum class FaultStyle : std::uint8_t {
    // The call fails: with ENOSPC when it creates, writes, renames or makes a directory,
    // with EIO when it reads or syncs, with EACCES when it removes.
    Refuse,
    // A transfer moves half of its bytes, and the next transfer of that kind fails as
    // above: a disk that fills up, or goes bad, part of the way through. Other kinds of
    // operation are refused.
    Short,
};

// What a test arms: which operation fails and how. A plan with no target only counts.
// One plan at a time is armed for the whole process, from arm() until disarm() or its
// end; it may be asked from any thread.
class FaultPlan {
public:
    FaultPlan() = default;
    FaultPlan(FileOperation operation, std::uint64_t k, FaultStyle style = FaultStyle::Refuse);
    ~FaultPlan();
    FaultPlan(const FaultPlan&) = delete;
    FaultPlan& operator=(const FaultPlan&) = delete;

    // False when another plan is armed already.
    bool arm();
    void disarm();

    // Operations of a kind seen while armed, the failed ones included.
    std::uint64_t count(FileOperation operation) const;
    // True once the fault was injected.
    bool fired() const { return m_fired.load(std::memory_order_relaxed); }
    // Runs on the failing call's thread just before the fault is injected, so that a test
    // can look at what was written up to then.
    void onFire(std::function<void()> hook) { m_onFire = std::move(hook); }

    // For the file operations (see injectedFault).
    int consult(FileOperation operation, std::size_t* transfer);

private:
    std::array<std::atomic<std::uint64_t>, kFileOperationKinds> m_counts {};
    FileOperation m_operation = FileOperation::Create;
    std::uint64_t m_target = 0; // the k of the k-th operation; 0: none
    FaultStyle m_style = FaultStyle::Refuse;
    std::function<void()> m_onFire;
    std::atomic<bool> m_fired {false};
    std::atomic<bool> m_transferPending {false}; // a short transfer happened: the next fails
};

namespace detail {
inline std::atomic<FaultPlan*> g_armedFaultPlan {nullptr};
} // namespace detail

// Asked by every file operation of platform/ before it calls the system: the errno value
// the call is to fail with, or 0 when it goes ahead. A transfer passes its size in
// `transfer`, which a short fault makes smaller.
inline int injectedFault(FileOperation operation, std::size_t* transfer = nullptr)
{
    FaultPlan* const plan = detail::g_armedFaultPlan.load(std::memory_order_acquire);
    if (plan == nullptr) [[likely]]
        return 0;
    return plan->consult(operation, transfer);
}

} // namespace mailmend::platform
