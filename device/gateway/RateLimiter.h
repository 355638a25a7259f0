#pragma once

#include <QMutex>

#include <chrono>

// Spaces submissions out to at most `perSecond` a second, shared by every
// thread that sends: each caller gets the next free slot in time and sleeps
// until it comes. A rate of 0 (or less) lets everything through at once.
class RateLimiter
{
public:
    using Clock = std::chrono::steady_clock;

    explicit RateLimiter(double perSecond = 0);
    void setRate(double perSecond);
    double rate() const;
    // Returns at the caller's slot.
    void acquire();

private:
    mutable QMutex m_mutex;
    Clock::duration m_interval{};
    Clock::time_point m_next{};
};
