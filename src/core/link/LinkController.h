// The one owner of a DeviceLink. Scans, selections, connections, disconnections and any other work
// on the link are requests that run in order on the controller's own thread; results come back
// through events (on that thread or the worker's: a windowed program hands them to its own thread).
// Posting a frame, queuing a job, the meter poll switch and the poll suspension may be used from any
// thread. The controller also keeps the one connection state that the windows show.
#pragma once

#include "link/DeviceLink.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace quellmarin {

enum class LinkState { NotConnected, Scanning, Connecting, Connected, Lost, Disconnecting };

// True while a connection exists (answering or not).
constexpr bool HasConnection(LinkState s) {
    return s == LinkState::Connected || s == LinkState::Lost;
}
// True while an operation runs that other controls must wait for.
constexpr bool IsBusy(LinkState s) {
    return s == LinkState::Scanning || s == LinkState::Connecting || s == LinkState::Disconnecting;
}

struct ScanReport {
    std::vector<FoundDevice> devices;
    std::vector<std::string> lines;    // the device list: "Device.....NN" or "None device"
    std::vector<std::string> catalog;  // every port the scan looked at, in order
    std::vector<std::string> usable;   // those that opened
    std::vector<std::string> problems; // why the others did not, a line each
};

class LinkController {
  public:
    struct Events {
        std::function<void(LinkState)> stateChanged;
        std::function<void(int done, int planned)> scanProgress;
        std::function<void(const ScanReport&)> scanFinished;
        std::function<void(const ConnectOutcome&)> connectFinished;
        std::function<void(const LevelFrame&)> levels;
        // Each lost-device alarm of the connection: from the 21st empty reply on, or the device's port
        // going away; with several processors on the line, once every one of them is lost.
        std::function<void()> lostDevice;
        // One processor of the line stopped answering, or answers again (several on one line are lost
        // and come back each alone); from the worker's thread.
        std::function<void(const std::string& address, bool lost)> unitState;
    };

    // Holds a poll suspension: while any is held, the worker sends neither posted frames nor the
    // level poll (jobs still run). Released when it goes out of scope.
    class PollSuspension {
      public:
        PollSuspension() = default;
        explicit PollSuspension(LinkController* c) : c_(c) {}
        PollSuspension(PollSuspension&& o) noexcept : c_(std::exchange(o.c_, nullptr)) {}
        PollSuspension& operator=(PollSuspension&& o) noexcept;
        ~PollSuspension() { Release(); }
        void Release();

      private:
        LinkController* c_ = nullptr;
    };

    explicit LinkController(DeviceLink& link, Events events = {});
    ~LinkController();
    LinkController(const LinkController&) = delete;
    LinkController& operator=(const LinkController&) = delete;

    void RequestScan(IdRange ids = {});
    void RequestSelect(const Selection& selection);
    // A download writes `record` into the device.
    void RequestConnect(bool download, const ParameterBytes& record);
    void RequestDisconnect();
    // Any other work on the link, in turn with the requests above.
    void RequestCall(std::function<void(DeviceLink&)> work);
    // A job for the worker: it runs between two cycles with the port, or gets nullptr when there is no
    // connection to run it on.
    void RequestJob(LinkWorker::Job job);

    void Post(std::string frame) { link_.Post(std::move(frame)); }
    void SetMeterPoll(bool on) { link_.Worker().SetMeterPoll(on); }
    void SetPacing(Pacing pacing) { link_.Worker().SetPacing(pacing); }
    Pacing CurrentPacing() { return link_.Worker().CurrentPacing(); }
    PollSuspension SuspendPoll();
    bool PollSuspended() const { return suspensions_ > 0; }

    // The device went away without the worker having noticed yet (its port was switched off). Only
    // from work run by the controller.
    void MarkLost();

    LinkState State() const { return state_; }
    // Waits until every request made so far has run.
    void Drain();
    // Program end: a running scan is cut short, the connection ends with "B", the thread stops.
    void Shutdown();

  private:
    void Enqueue(std::function<void()> work);
    void Run();
    void SetState(LinkState s);
    bool ChangeState(LinkState from, LinkState to);
    void Suspend();
    void Unsuspend();

    DeviceLink& link_;
    Events events_;
    std::atomic<LinkState> state_{LinkState::NotConnected};
    std::atomic<bool> cancelScan_{false};
    std::atomic<int> suspensions_{0};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> requests_;
    bool stop_ = false;
    unsigned enqueued_ = 0, done_ = 0;
    std::thread thread_;
};

std::string_view StateText(LinkState s);

} // namespace quellmarin
