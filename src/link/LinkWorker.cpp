#include "link/LinkWorker.h"

namespace quellmarin {

using Clock = std::chrono::steady_clock;

LinkWorker::LinkWorker(CSerialPort& port, PendingSlot& slot, DeviceModel model, const LinkTimings& timings,
                       WorkerCallbacks callbacks)
    : port_(port), slot_(slot), model_(model), timings_(timings), callbacks_(std::move(callbacks)) {}

LinkWorker::~LinkWorker() {
    Stop();
}

void LinkWorker::Start(std::string address) {
    Stop();
    address_ = std::move(address);
    emptyReplies_ = 0;
    {
        std::lock_guard lock(mutex_);
        stop_ = false;
    }
    slot_.SetListener([this] { Wake(); });
    thread_ = std::thread([this] { Run(); });
}

void LinkWorker::Stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
    slot_.SetListener(nullptr);
    // Jobs that never ran are dropped with the connection.
    std::lock_guard lock(mutex_);
    jobs_.clear();
}

void LinkWorker::SetMeterPoll(bool on) {
    meterPoll_ = on;
    Wake();
}

void LinkWorker::Pause() {
    paused_ = true;
}

void LinkWorker::Resume() {
    paused_ = false;
    Wake();
}

void LinkWorker::Post(Job job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
        woken_ = true;
    }
    wake_.notify_all();
}

void LinkWorker::Wake() {
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
    }
    wake_.notify_all();
}

bool LinkWorker::FlushPending(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::unique_lock lock(mutex_);
    return writtenChanged_.wait_until(
        lock, deadline, [&] { return !thread_.joinable() || (!slot_.Pending() && written_ == taken_); });
}

void LinkWorker::SleepUntil(Clock::time_point until, bool wakeOnWork) {
    std::unique_lock lock(mutex_);
    if (wakeOnWork) {
        wake_.wait_until(lock, until, [&] { return stop_ || woken_; });
        woken_ = false;
    } else {
        wake_.wait_until(lock, until, [&] { return stop_ || !jobs_.empty(); });
    }
}

void LinkWorker::Run() {
    for (;;) {
        Job job;
        {
            std::lock_guard lock(mutex_);
            if (stop_) return;
            if (!jobs_.empty()) {
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
        }
        if (job) {
            job(port_);
            continue;
        }

        std::string command;
        bool levelPoll = false;
        if (!paused_) {
            command = slot_.TakeCommand();
            if (!command.empty()) ++taken_;
            if (command.empty() && meterPoll_) {
                command = FrameLevelPoll(address_);
                levelPoll = true;
            }
        }
        const auto cycleStart = Clock::now();
        if (command.empty()) {
            // Idle: wait out the cycle, but wake as soon as something is posted.
            SleepUntil(cycleStart + timings_.cycle, true);
            continue;
        }

        port_.WriteText(command);
        if (!levelPoll) {
            std::lock_guard lock(mutex_);
            ++written_;
        }
        writtenChanged_.notify_all();
        if (callbacks_.sent) callbacks_.sent(command);

        port_.WaitForReply(levelPoll ? 41 : 0, timings_.cycle);
        const std::string reply(TrimBlanks(port_.ReadText()));
        if (const auto levels = DecodeLevelFrame(reply, model_); levels && callbacks_.levels)
            callbacks_.levels(*levels);
        if (!reply.empty()) {
            emptyReplies_ = 0;
        } else if (++emptyReplies_ > kEmptyRepliesTolerated && callbacks_.lostDevice) {
            callbacks_.lostDevice();
        }
        SleepUntil(cycleStart + timings_.cycle, false);
    }
}

} // namespace quellmarin
