// The time of the link. Every wait of the worker, the reply waits and the connection's pauses go
// through a clock, so that tests can run them on a step clock: time that moves only when a wait
// would otherwise have to pass, which makes "nothing happens for a cycle" and the lost-device count
// testable without sleeping.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>

namespace quellmarin {

class SerialLine;

class LinkClock {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;
    virtual ~LinkClock() = default;

    virtual TimePoint Now() const = 0;
    // Waits on `cv` (with `lock` held) until `ready` holds or the deadline passes; returns ready().
    virtual bool WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                           TimePoint deadline, const std::function<bool()>& ready) = 0;
    // Waits until `count` bytes are waiting on the line, for at most `timeout` of this clock's time.
    virtual bool WaitForBytes(SerialLine& line, std::size_t count, std::chrono::milliseconds timeout) = 0;
    virtual void SleepFor(std::chrono::milliseconds duration) = 0;
};

// The steady clock of the machine.
LinkClock& SystemClock();

// A clock for tests whose time stands still until a wait cannot be met: then it jumps to that wait's
// deadline at once. Bytes must already be there when it is asked for them (a line that answers as it
// is written to).
class StepClock : public LinkClock {
  public:
    TimePoint Now() const override;
    bool WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, TimePoint deadline,
                   const std::function<bool()>& ready) override;
    bool WaitForBytes(SerialLine& line, std::size_t count, std::chrono::milliseconds timeout) override;
    void SleepFor(std::chrono::milliseconds duration) override;
    // Time passed since the clock was made.
    std::chrono::milliseconds Elapsed() const;

  private:
    void Advance(TimePoint to);

    mutable std::mutex mutex_;
    TimePoint start_{};
    TimePoint now_{};
};

} // namespace quellmarin
