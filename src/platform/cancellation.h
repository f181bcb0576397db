// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>

namespace mailmend::platform {

// Set by whoever stops a run (the window's Stop, Ctrl-C on the command line); read by
// the worker before each piece of output, so that nothing is written once it is set.
class CancellationToken {
public:
    void cancel() { m_cancelled.store(true, std::memory_order_relaxed); }
    void reset() { m_cancelled.store(false, std::memory_order_relaxed); }
    bool isCancelled() const { return m_cancelled.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> m_cancelled {false};
};

// True when `token` is given and set.
inline bool cancelled(const CancellationToken* token)
{
    return token && token->isCancelled();
}

} // namespace mailmend::platform
