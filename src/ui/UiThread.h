#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <functional>
#include <type_traits>
#include <utility>

namespace qv {

// Runs f on the thread of target and waits until it has run: how a worker changes a window, or
// asks the user, and knows it has taken effect when the call returns. On target's own thread it
// simply calls f.
template <typename F>
auto CallOnUiThread(QObject* target, F&& f) -> std::invoke_result_t<F> {
    using Result = std::invoke_result_t<F>;
    if (QThread::currentThread() == target->thread()) return f();
    if constexpr (std::is_void_v<Result>) {
        QMetaObject::invokeMethod(target, std::forward<F>(f), Qt::BlockingQueuedConnection);
    } else {
        Result result{};
        QMetaObject::invokeMethod(
            target, [&result, &f] { result = f(); }, Qt::BlockingQueuedConnection);
        return result;
    }
}

// Queues f on target's thread and returns at once.
template <typename F>
void PostToUiThread(QObject* target, F&& f) {
    QMetaObject::invokeMethod(target, std::forward<F>(f), Qt::QueuedConnection);
}

// Processes events while waiting for a worker to end, so that a last synchronous call of the
// worker can never wait on a thread that waits for it. Returns once done() is true.
void WaitProcessingEvents(const std::function<bool()>& done);

}  // namespace qv
