// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

namespace mailmend::platform {
namespace {

// A signal handler may only touch lock-free atomics.
static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<CancellationToken*>::is_always_lock_free);

std::atomic<CancellationToken*> g_stopToken {nullptr};
std::atomic<int> g_stopSignals {0};
std::atomic<bool> g_errorIsTerminal {false};

extern "C" void onStopSignal(int signal)
{
    if (g_stopSignals.fetch_add(1, std::memory_order_relaxed) > 0) {
        // The second request: the default action, once this handler has returned, with
        // the shell's prompt on a line of its own rather than after the progress line.
        if (g_errorIsTerminal.load(std::memory_order_relaxed)) {
            const ssize_t written = ::write(STDERR_FILENO, "\n", 1);
            (void)written;
        }
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    if (CancellationToken* token = g_stopToken.load(std::memory_order_relaxed))
        token->cancel();
}

} // namespace

bool isTerminal(std::FILE* stream)
{
    return ::isatty(::fileno(stream)) == 1;
}

std::size_t terminalWidth(std::FILE* stream)
{
    winsize size {};
    if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

void installStopSignals(CancellationToken& token)
{
    g_stopToken.store(&token, std::memory_order_relaxed);
    g_errorIsTerminal.store(::isatty(STDERR_FILENO) == 1, std::memory_order_relaxed);
    struct sigaction action {};
    action.sa_handler = &onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    action.sa_flags = SA_RESTART; // the job's reads and writes go on until its next check
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

} // namespace mailmend::platform
