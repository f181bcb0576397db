// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <functional>
#include <type_traits>

namespace mailmend::gui {

// Runs `work` on the thread of `owner` and returns its result. From another thread (a
// recovery or search worker) the call waits until the window's thread has carried it
// out, so the worker's calls take effect in the order it makes them.
template <typename Work>
auto onGuiThread(QObject* owner, Work&& work) -> decltype(work())
{
    if (QThread::currentThread() == owner->thread())
        return work();
    if constexpr (std::is_void_v<decltype(work())>) {
        QMetaObject::invokeMethod(owner, std::forward<Work>(work), Qt::BlockingQueuedConnection);
    } else {
        decltype(work()) result {};
        QMetaObject::invokeMethod(
            owner, [&] { result = work(); }, Qt::BlockingQueuedConnection);
        return result;
    }
}

// Keeps carrying out queued calls (a worker's requests among them), but no user input,
// until `done()` is true.
inline void serveUntil(const std::function<bool()>& done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents, 20);
}

} // namespace mailmend::gui
