#include "DialogWorker.h"

DialogWorker::DialogWorker(QObject* owner) : QObject(owner) {}

DialogWorker::~DialogWorker()
{
    join();
}

void DialogWorker::join()
{
    if (!m_thread)
        return;
    QThread* thread = m_thread;
    m_thread = nullptr;
    thread->disconnect(this);
    thread->wait();
    delete thread;
}

void DialogWorker::startThread(std::function<void()> work, std::function<void()> deliver, QThread::Priority priority)
{
    Q_ASSERT(!m_thread);
    m_thread = QThread::create(std::move(work));
    QThread* thread = m_thread;
    connect(thread, &QThread::finished, this, [this, thread, deliver = std::move(deliver)]() mutable {
        if (m_thread != thread)
            return;
        m_thread = nullptr;
        auto handOver = std::move(deliver);
        thread->wait();
        delete thread;
        handOver();
    });
    thread->start(priority);
}
