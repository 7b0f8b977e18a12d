#include "link/LinkController.h"

namespace quellmarin {

std::string_view StateText(LinkState s) {
    switch (s) {
    case LinkState::NotConnected:
        return "None device connected..";
    case LinkState::Scanning:
        return "Scanning for processors..";
    case LinkState::Connecting:
        return "Connecting to device..";
    case LinkState::Connected:
        return "has been connected to device..";
    case LinkState::Lost:
        return "lost \u2014 reconnecting\u2026";
    case LinkState::Disconnecting:
        return "Disconnecting..";
    }
    return {};
}

LinkController::PollSuspension& LinkController::PollSuspension::operator=(PollSuspension&& o) noexcept {
    if (this != &o) {
        Release();
        c_ = std::exchange(o.c_, nullptr);
    }
    return *this;
}

void LinkController::PollSuspension::Release() {
    if (c_) std::exchange(c_, nullptr)->Unsuspend();
}

LinkController::LinkController(DeviceLink& link, Events events) : link_(link), events_(std::move(events)) {
    WorkerCallbacks cb;
    cb.levels = events_.levels; // straight from the worker's thread to the program's handler
    cb.lostDevice = [this](const std::string& address) {
        if (events_.unitState) events_.unitState(address, true);
        if (!link_.Worker().DeviceLost()) return; // others on the line still answer
        ChangeState(LinkState::Connected, LinkState::Lost);
        if (events_.lostDevice) events_.lostDevice();
    };
    cb.answered = [this](const std::string& address) {
        ChangeState(LinkState::Lost, LinkState::Connected);
        if (events_.unitState) events_.unitState(address, false);
    };
    link_.SetCallbacks(std::move(cb));
    thread_ = std::thread([this] { Run(); });
}

LinkController::~LinkController() {
    Shutdown();
}

void LinkController::Enqueue(std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        if (stop_) return;
        requests_.push_back(std::move(work));
        ++enqueued_;
    }
    changed_.notify_all();
}

void LinkController::Run() {
    for (;;) {
        std::function<void()> work;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stop_ || !requests_.empty(); });
            if (requests_.empty()) return; // stopped, and everything asked for has run
            work = std::move(requests_.front());
            requests_.pop_front();
        }
        work();
        {
            std::lock_guard lock(mutex_);
            ++done_;
        }
        changed_.notify_all();
    }
}

void LinkController::Drain() {
    std::unique_lock lock(mutex_);
    const unsigned target = enqueued_;
    changed_.wait(lock, [&] { return done_ >= target; });
}

void LinkController::SetState(LinkState s) {
    if (state_.exchange(s) != s && events_.stateChanged) events_.stateChanged(s);
}

bool LinkController::ChangeState(LinkState from, LinkState to) {
    if (!state_.compare_exchange_strong(from, to)) return false;
    if (events_.stateChanged) events_.stateChanged(to);
    return true;
}

void LinkController::RequestScan(IdRange ids) {
    Enqueue([this, ids] {
        if (link_.Connected()) return;
        SetState(LinkState::Scanning);
        cancelScan_ = false;
        ScanReport report;
        report.catalog = link_.Catalog();
        ScanResult scan = ScanPorts(
            link_.Provider(), report.catalog, link_.Model(), link_.Timings(),
            [this](int done, int planned) {
                if (events_.scanProgress) events_.scanProgress(done, planned);
            },
            &cancelScan_, ids);
        report.usable = std::move(scan.usable);
        report.problems = std::move(scan.problems);
        report.devices = std::move(scan.devices);
        link_.SetDevices(report.devices);
        report.lines = DeviceListLines(report.devices);
        SetState(LinkState::NotConnected);
        if (events_.scanFinished) events_.scanFinished(report);
    });
}

void LinkController::RequestSelect(const Selection& selection) {
    Enqueue([this, selection] { link_.Select(selection); });
}

void LinkController::RequestConnect(bool download, const ParameterBytes& record) {
    Enqueue([this, download, record] {
        const bool already = link_.Connected();
        if (!already) SetState(LinkState::Connecting);
        ConnectOutcome outcome = link_.Connect(download, record);
        if (!already) SetState(outcome.connected ? LinkState::Connected : LinkState::NotConnected);
        if (events_.connectFinished) events_.connectFinished(outcome);
    });
}

void LinkController::RequestDisconnect() {
    Enqueue([this] {
        if (!link_.Connected()) return;
        SetState(LinkState::Disconnecting);
        link_.Disconnect();
        SetState(LinkState::NotConnected);
    });
}

void LinkController::RequestCall(std::function<void(DeviceLink&)> work) {
    Enqueue([this, work = std::move(work)] { work(link_); });
}

void LinkController::RequestJob(LinkWorker::Job job) {
    link_.Worker().Post(std::move(job));
}

LinkController::PollSuspension LinkController::SuspendPoll() {
    Suspend();
    return PollSuspension(this);
}

void LinkController::Suspend() {
    if (++suspensions_ == 1) link_.Worker().Pause();
}

void LinkController::Unsuspend() {
    if (--suspensions_ == 0) link_.Worker().Resume();
}

void LinkController::MarkLost() {
    if (ChangeState(LinkState::Connected, LinkState::Lost) && events_.lostDevice) events_.lostDevice();
}

void LinkController::Shutdown() {
    if (!thread_.joinable()) return;
    cancelScan_ = true;
    Enqueue([this] {
        if (link_.Connected()) {
            SetState(LinkState::Disconnecting);
            link_.Shutdown();
            SetState(LinkState::NotConnected);
        }
    });
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

} // namespace quellmarin
