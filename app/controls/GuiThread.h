#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <type_traits>

// Runs `work` on the GUI thread and returns its result: directly when already
// there, else through a blocking queued call, so a worker can ask a question
// or touch a widget and wait for the answer. Never call it from the GUI thread
// while that thread waits for the caller.
template <typename F>
auto onGuiThread(F&& work) -> std::invoke_result_t<F>
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        return work();
    if constexpr (std::is_void_v<std::invoke_result_t<F>>) {
        QMetaObject::invokeMethod(app, std::forward<F>(work), Qt::BlockingQueuedConnection);
    } else {
        std::invoke_result_t<F> result{};
        QMetaObject::invokeMethod(
            app, [&] { result = work(); }, Qt::BlockingQueuedConnection);
        return result;
    }
}
