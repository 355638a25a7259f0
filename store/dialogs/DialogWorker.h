#pragma once

#include <QObject>
#include <QThread>

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

// Runs one piece of work at a time on a thread of its own and hands the result
// to a callback on the GUI thread. The callback is dropped when the owner is
// gone; the owner's destruction joins a thread still running. The work must
// not touch widgets (the Ui seam may be used: it carries its boxes over).
class DialogWorker : public QObject
{
    Q_OBJECT

public:
    explicit DialogWorker(QObject* owner);
    ~DialogWorker() override;

    bool isRunning() const { return m_thread != nullptr; }

    template <typename Work, typename Done>
    void start(Work work, Done done, QThread::Priority priority = QThread::InheritPriority)
    {
        using Result = std::invoke_result_t<Work>;
        auto result = std::make_shared<std::optional<Result>>();
        startThread([work = std::move(work), result]() mutable { result->emplace(work()); },
                    [done = std::move(done), result]() mutable { done(std::move(**result)); }, priority);
    }

    // Waits for the running work, if any, without delivering its result.
    void join();

private:
    void startThread(std::function<void()> work, std::function<void()> deliver, QThread::Priority priority);

    QThread* m_thread = nullptr;
};
