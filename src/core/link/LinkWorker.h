// The link worker: one thread that owns the primary port while connected. It sends the oldest
// pending command, or the level poll when nothing is pending, and reads the reply; level frames, the
// lost-device alarm and the device's return go to callbacks. Paced by the device's answers, one
// request is in flight at a time: a posted frame is followed at once by a level poll, the next frame
// goes when that poll is answered, and idle polls stay a cycle apart; on the fixed pacing every frame
// takes a whole cycle. Exchanges that wait for a reply run as jobs on the same thread between two
// requests, so nothing else ever talks on the wire at the same time. Once the device is lost, the
// worker keeps posted commands for its return and probes it instead: every reconnect interval it
// opens its port anew (a USB adapter pulled out and put back leaves the old handle dead) and sends
// the hello of the device's ID.
#pragma once

#include "link/CommandQueue.h"
#include "link/SerialPort.h"
#include "link/Timings.h"
#include "protocol/Frames.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

namespace quellmarin {

struct WorkerCallbacks {
    std::function<void(const LevelFrame&)> levels;
    // From the 21st empty reply in a row on, once per further empty reply or unanswered probe.
    std::function<void()> lostDevice;
    // Every reply that was not empty, and a lost device's hello reply (the device is there).
    std::function<void()> answered;
    // Every frame the worker wrote, as written (for logs and tests).
    std::function<void(const std::string&)> sent;
};

class LinkWorker {
  public:
    static constexpr int kEmptyRepliesTolerated = 20;
    // A job gets the port, or nothing when it was dropped unrun (the connection ended first).
    using Job = std::function<void(CSerialPort*)>;

    LinkWorker(CSerialPort& port, CommandQueue& queue, DeviceModel model, const LinkTimings& timings,
               WorkerCallbacks callbacks);
    ~LinkWorker();
    LinkWorker(const LinkWorker&) = delete;
    LinkWorker& operator=(const LinkWorker&) = delete;

    void Start(std::string address);
    // Ends the thread after the cycle or job in hand; safe from any thread but the worker's own.
    void Stop();
    // Sends what is pending without waiting out the cycles or the poll, then ends by itself; true when
    // everything pending was written within the time-out. Jobs queued or running go first, and the
    // time-out counts from their end: the last posted frame is never cut off by a long exchange.
    // Stop() still has to be called.
    bool Finish(std::chrono::milliseconds timeout);
    bool Running() const { return thread_.joinable(); }

    // Takes effect from the next frame on; any thread.
    void SetPacing(Pacing pacing) { pacing_ = pacing; }
    Pacing CurrentPacing() const { return pacing_; }
    void SetMeterPoll(bool on);
    bool MeterPoll() const { return meterPoll_; }
    // A paused worker sends nothing of its own (neither posted commands nor the poll); jobs still run.
    void Pause();
    void Resume();
    bool Paused() const { return paused_; }

    // Queues a job to run on the worker between two cycles.
    void Post(Job job);
    template <class F> auto Submit(F f) -> std::future<decltype(f(std::declval<CSerialPort&>()))> {
        using R = decltype(f(std::declval<CSerialPort&>()));
        auto task = std::make_shared<std::packaged_task<R(CSerialPort&)>>(std::move(f));
        auto future = task->get_future();
        Post([task](CSerialPort* port) {
            if (port) (*task)(*port);
        });
        return future;
    }

    // Waits until every pending command has been taken and written, for at most the time-out.
    bool FlushPending(std::chrono::milliseconds timeout);
    int EmptyReplies() const { return emptyReplies_; }
    bool DeviceLost() const { return emptyReplies_ > kEmptyRepliesTolerated; }

  private:
    void Run();
    void Wake();
    void DropJobs();
    // The thread ends by itself after a finish: nothing more may be sent.
    void EndOfRun();
    // Sleeps until the time point, or earlier when stopped, finishing or (if wakeOnWork) work arrives.
    void SleepUntil(LinkClock::TimePoint until, bool wakeOnWork);
    // The next frame to send: a posted one, else the level poll (when polling); empty when there is
    // nothing. `ended` when a finish has sent everything.
    std::string TakeNext(bool& levelPoll, bool& ended);
    // Writes a frame; true when it was the last of a finish and the run has ended.
    bool Write(const std::string& frame, bool posted);
    // The level frame that ends a reply, if it is one.
    std::optional<LevelFrame> LevelFrameAtEnd(std::string_view reply) const;
    // A reply to the level poll (perhaps after an answer to the posted frame before it): the meters,
    // the device's return and the lost-device count. `sentAt` is when its request went out.
    void TakeReply(std::string_view reply, LinkClock::TimePoint sentAt);
    // One frame a 200 ms cycle. True when the run has ended.
    bool FixedCycle();
    // One request in flight, the next as soon as the device has answered. True when the run has ended.
    bool AnsweredStep();
    // One hello probe of a lost device on its port opened anew; true when it answered.
    bool ProbeLostDevice();

    CSerialPort& port_;
    CommandQueue& queue_;
    DeviceModel model_;
    LinkTimings timings_;
    WorkerCallbacks callbacks_;
    std::string address_;
    LinkClock::TimePoint nextProbe_{};
    LinkClock::TimePoint nextPoll_{}; // when an idle level poll is due (answered pacing)

    std::thread thread_; // started and joined by one thread, the link's owner
    std::mutex mutex_;
    bool running_ = false; // guarded by mutex_: jobs may be posted from any thread
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool jobInHand_ = false; // guarded by mutex_
    bool stop_ = false;
    bool woken_ = false;
    std::atomic<bool> finishing_{false};
    std::atomic<bool> meterPoll_{true};
    std::atomic<Pacing> pacing_;
    std::atomic<bool> paused_{false};
    std::atomic<int> emptyReplies_{0};
    unsigned taken_ = 0, written_ = 0; // guarded by mutex_
    std::condition_variable writtenChanged_;
};

} // namespace quellmarin
