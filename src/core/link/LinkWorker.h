// The link worker: one thread that owns the primary port while connected. It sends the oldest
// pending command, or the level poll when nothing is pending, and reads the reply; level frames, the
// lost-device alarm and the device's return go to callbacks. Several processors on one line share its
// worker: each frame carries its processor's address, the level polls go round them, and each has its
// own count of empty replies, so one that stops answering is lost alone while the others go on; its
// posted frames wait for its return and a hello probe asks for it every reconnect interval. Paced by the device's answers, one
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
#include <string_view>
#include <thread>
#include <vector>

namespace quellmarin {

struct WorkerCallbacks {
    // The frame's `address` says whose meters they are.
    std::function<void(const LevelFrame&)> levels;
    // From the 21st empty reply in a row on, once per further empty reply or unanswered probe; with the
    // address of the processor that did not answer.
    std::function<void(const std::string& address)> lostDevice;
    // Every reply that was not empty, and a lost device's hello reply (the device is there).
    std::function<void(const std::string& address)> answered;
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
    // Another processor on the same line, or one that leaves it; from any thread, in effect from the
    // next request on. The last one leaves with the end of the connection ("B"), not here.
    void AddAddress(std::string address);
    void RemoveAddress(const std::string& address);
    std::vector<std::string> Addresses() const;
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
    // Of one processor; without an address, of the one the worker was started with.
    int EmptyReplies(std::string_view address = {}) const;
    bool Lost(std::string_view address) const;
    // Every processor on the line is lost.
    bool DeviceLost() const;

  private:
    struct Peer {
        std::string address;
        int emptyReplies = 0;
        LinkClock::TimePoint nextPoll{};  // when its idle level poll is due (answered pacing)
        LinkClock::TimePoint nextProbe{}; // when a lost one is asked for again
        bool Lost() const { return emptyReplies > kEmptyRepliesTolerated; }
    };
    Peer* FindLocked(std::string_view address);
    const Peer* FindLocked(std::string_view address) const;
    // The processor a frame is for: its own address when that is one of the line's, else the first.
    std::string TargetOf(const std::string& frame) const;
    LinkClock::TimePoint PollDue(const std::string& address) const;
    // When the next idle poll or probe is due.
    LinkClock::TimePoint NextDue() const;
    // Some processors lost, not all: asks one whose probe is due, on the open port. True when it did.
    bool ProbeOneLost();

    void Run();
    void Wake();
    void DropJobs();
    // The thread ends by itself after a finish: nothing more may be sent.
    void EndOfRun();
    // Sleeps until the time point, or earlier when stopped, finishing or (if wakeOnWork) work arrives.
    void SleepUntil(LinkClock::TimePoint until, bool wakeOnWork);
    // The next frame to send: a posted one, else the level poll (when polling); empty when there is
    // nothing. `ended` when a finish has sent everything.
    std::string TakeNext(bool& levelPoll, bool& ended, std::string& target);
    // Writes a frame; true when it was the last of a finish and the run has ended.
    bool Write(const std::string& frame, bool posted);
    // The level frame that ends a reply, if it is one.
    std::optional<LevelFrame> LevelFrameAtEnd(std::string_view reply) const;
    // A reply to the level poll (perhaps after an answer to the posted frame before it): the meters,
    // the device's return and the lost-device count. `sentAt` is when its request went out.
    void TakeReply(std::string_view reply, LinkClock::TimePoint sentAt, const std::string& target);
    // One frame a 200 ms cycle. True when the run has ended.
    bool FixedCycle();
    // One request in flight, the next as soon as the device has answered. True when the run has ended.
    bool AnsweredStep();
    // Every processor lost: one hello probe of each on the port opened anew; true when one answered.
    bool ProbeLostDevice();
    // The hello of one processor on the open port; true when it answered.
    bool Hello(const std::string& address);
    // Counts a probe's outcome and says it.
    void ProbeAnswer(const std::string& address, bool answered, LinkClock::TimePoint askedAt);

    CSerialPort& port_;
    CommandQueue& queue_;
    DeviceModel model_;
    LinkTimings timings_;
    WorkerCallbacks callbacks_;
    mutable std::mutex peerMutex_;
    std::vector<Peer> peers_; // guarded by peerMutex_
    std::size_t turn_ = 0;    // whose poll is next on the fixed pacing; the worker's own

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
    unsigned taken_ = 0, written_ = 0; // guarded by mutex_
    std::condition_variable writtenChanged_;
};

} // namespace quellmarin
