#include "RateLimiter.h"

#include <thread>

RateLimiter::RateLimiter(double perSecond)
{
    setRate(perSecond);
}

void RateLimiter::setRate(double perSecond)
{
    QMutexLocker lock(&m_mutex);
    m_interval = perSecond > 0 ? std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / perSecond))
                               : Clock::duration::zero();
}

double RateLimiter::rate() const
{
    QMutexLocker lock(&m_mutex);
    return m_interval.count() > 0 ? 1.0 / std::chrono::duration<double>(m_interval).count() : 0.0;
}

void RateLimiter::acquire()
{
    Clock::time_point slot;
    {
        QMutexLocker lock(&m_mutex);
        if (m_interval.count() <= 0)
            return;
        const Clock::time_point now = Clock::now();
        // An idle spell earns no burst: the slot is never earlier than now.
        slot = std::max(now, m_next);
        m_next = slot + m_interval;
    }
    std::this_thread::sleep_until(slot);
}
