#include "link/Clock.h"

#include "link/SerialLine.h"

#include <thread>

namespace quellmarin {

namespace {

class SteadyLinkClock : public LinkClock {
  public:
    TimePoint Now() const override { return std::chrono::steady_clock::now(); }
    bool WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, TimePoint deadline,
                   const std::function<bool()>& ready) override {
        return cv.wait_until(lock, deadline, ready);
    }
    bool WaitForBytes(SerialLine& line, std::size_t count, std::chrono::milliseconds timeout) override {
        return line.WaitForBytes(count, timeout);
    }
    void SleepFor(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }
};

} // namespace

LinkClock& SystemClock() {
    static SteadyLinkClock clock;
    return clock;
}

StepClock::TimePoint StepClock::Now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

std::chrono::milliseconds StepClock::Elapsed() const {
    std::lock_guard lock(mutex_);
    return std::chrono::duration_cast<std::chrono::milliseconds>(now_ - start_);
}

void StepClock::Advance(TimePoint to) {
    std::lock_guard lock(mutex_);
    if (to > now_) now_ = to;
}

bool StepClock::WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable&, TimePoint deadline,
                          const std::function<bool()>& ready) {
    if (ready()) return true;
    // Let other threads run (and post) before time jumps, so a test's thread is not starved.
    lock.unlock();
    std::this_thread::yield();
    lock.lock();
    if (ready()) return true;
    Advance(deadline);
    return ready();
}

bool StepClock::WaitForBytes(SerialLine& line, std::size_t count, std::chrono::milliseconds timeout) {
    if (line.BytesWaiting() >= count) return true;
    Advance(Now() + timeout);
    return line.BytesWaiting() >= count;
}

void StepClock::SleepFor(std::chrono::milliseconds duration) {
    Advance(Now() + duration);
}

} // namespace quellmarin
