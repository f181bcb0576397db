// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/fault_injection.h"

#include <cerrno>

namespace mailmend::platform {
namespace {

std::size_t indexOf(FileOperation operation)
{
    return static_cast<std::size_t>(operation);
}

int errorFor(FileOperation operation)
{
    switch (operation) {
    case FileOperation::Read:
    case FileOperation::Sync:
        return EIO;
    case FileOperation::Remove:
        return EACCES;
    default:
        return ENOSPC;
    }
}

bool isTransfer(FileOperation operation)
{
    return operation == FileOperation::Write || operation == FileOperation::Read;
}

} // namespace

const char* fileOperationName(FileOperation operation)
{
    static constexpr const char* kNames[kFileOperationKinds]
        = {"create", "write", "read", "rename", "remove", "make-directory", "sync"};
    return kNames[indexOf(operation)];
}

FaultPlan::FaultPlan(FileOperation operation, std::uint64_t k, FaultStyle style)
    : m_operation(operation), m_target(k), m_style(style)
{
}

FaultPlan::~FaultPlan()
{
    disarm();
}

bool FaultPlan::arm()
{
    FaultPlan* none = nullptr;
    return detail::g_armedFaultPlan.compare_exchange_strong(none, this)
        || detail::g_armedFaultPlan.load() == this;
}

void FaultPlan::disarm()
{
    FaultPlan* self = this;
    detail::g_armedFaultPlan.compare_exchange_strong(self, nullptr);
}

std::uint64_t FaultPlan::count(FileOperation operation) const
{
    return m_counts[indexOf(operation)].load(std::memory_order_relaxed);
}

int FaultPlan::consult(FileOperation operation, std::size_t* transfer)
{
    const std::uint64_t number = m_counts[indexOf(operation)].fetch_add(1) + 1;
    if (operation != m_operation || m_target == 0)
        return 0;
    if (m_transferPending.exchange(false))
        return errorFor(operation);
    if (number != m_target)
        return 0;
    m_fired.store(true, std::memory_order_relaxed);
    if (m_onFire)
        m_onFire();
    if (m_style == FaultStyle::Short && isTransfer(operation) && transfer && *transfer > 1) {
        *transfer /= 2;
        m_transferPending.store(true);
        return 0;
    }
    return errorFor(operation);
}

} // namespace mailmend::platform
