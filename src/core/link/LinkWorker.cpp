#include "link/LinkWorker.h"

#include <charconv>

namespace quellmarin {

LinkWorker::LinkWorker(CSerialPort& port, CommandQueue& queue, DeviceModel model, const LinkTimings& timings,
                       WorkerCallbacks callbacks)
    : port_(port), queue_(queue), model_(model), timings_(timings), callbacks_(std::move(callbacks)),
      pacing_(timings.pacing) {}

LinkWorker::~LinkWorker() {
    Stop();
}

void LinkWorker::Start(std::string address) {
    Stop();
    address_ = std::move(address);
    emptyReplies_ = 0;
    finishing_ = false;
    nextPoll_ = {};
    {
        std::lock_guard lock(mutex_);
        stop_ = false;
        running_ = true;
        taken_ = written_ = 0;
    }
    queue_.SetListener([this] { Wake(); });
    thread_ = std::thread([this] { Run(); });
}

void LinkWorker::Stop() {
    if (thread_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
        {
            std::lock_guard lock(mutex_);
            running_ = false;
        }
        queue_.SetListener(nullptr);
        writtenChanged_.notify_all();
    }
    DropJobs();
}

void LinkWorker::DropJobs() {
    std::deque<Job> dropped;
    {
        std::lock_guard lock(mutex_);
        dropped.swap(jobs_);
    }
    // Jobs that never ran learn it, so that whoever waits for them is answered.
    for (Job& job : dropped) job(nullptr);
}

bool LinkWorker::Finish(std::chrono::milliseconds timeout) {
    if (!Running()) return false;
    paused_ = false;
    finishing_ = true;
    Wake();
    {
        std::unique_lock lock(mutex_);
        writtenChanged_.wait(lock, [&] { return !running_ || stop_ || (jobs_.empty() && !jobInHand_); });
    }
    return FlushPending(timeout);
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
        if (running_ && !stop_) {
            jobs_.push_back(std::move(job));
            woken_ = true;
            job = nullptr;
        }
    }
    if (job) {
        job(nullptr); // no connection: the job cannot run
        return;
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
    // A real-time bound: this runs on the caller's thread, not the worker's.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(mutex_);
    return writtenChanged_.wait_until(
        lock, deadline, [&] { return !running_ || stop_ || (!queue_.Pending() && written_ == taken_); });
}

void LinkWorker::SleepUntil(LinkClock::TimePoint until, bool wakeOnWork) {
    std::unique_lock lock(mutex_);
    if (wakeOnWork) {
        timings_.clock->WaitUntil(lock, wake_, until, [&] { return stop_ || woken_ || finishing_; });
        woken_ = false;
    } else {
        timings_.clock->WaitUntil(lock, wake_, until, [&] { return stop_ || !jobs_.empty() || finishing_; });
    }
}

void LinkWorker::Run() {
    LinkClock& clock = *timings_.clock;
    for (;;) {
        Job job;
        {
            std::lock_guard lock(mutex_);
            if (stop_) return;
            if (!jobs_.empty()) {
                job = std::move(jobs_.front());
                jobs_.pop_front();
                jobInHand_ = true;
            }
        }
        if (job) {
            job(&port_);
            {
                std::lock_guard lock(mutex_);
                jobInHand_ = false;
            }
            writtenChanged_.notify_all();
            continue;
        }

        if (DeviceLost() && !paused_ && !finishing_) {
            // Posted commands wait for the device's return; only the probe goes out.
            if (clock.Now() >= nextProbe_) {
                nextProbe_ = clock.Now() + timings_.reconnectInterval;
                if (ProbeLostDevice()) {
                    emptyReplies_ = 0;
                    if (callbacks_.answered) callbacks_.answered();
                    continue;
                }
                ++emptyReplies_;
                if (callbacks_.lostDevice) callbacks_.lostDevice();
            }
            SleepUntil(nextProbe_, false);
            continue;
        }

        const bool ended = pacing_ == Pacing::Fixed ? FixedCycle() : AnsweredStep();
        if (ended) return;
    }
}

std::string LinkWorker::TakeNext(bool& levelPoll, bool& ended) {
    levelPoll = ended = false;
    if (paused_) return {};
    std::string command = queue_.TakeCommand();
    if (!command.empty()) {
        std::lock_guard lock(mutex_);
        ++taken_;
        return command;
    }
    if (finishing_) {
        EndOfRun(); // everything pending has been written
        ended = true;
        return {};
    }
    if (!meterPoll_) return {};
    levelPoll = true;
    return FrameLevelPoll(address_);
}

bool LinkWorker::Write(const std::string& frame, bool posted) {
    port_.WriteText(frame);
    if (posted) {
        std::lock_guard lock(mutex_);
        ++written_;
    }
    writtenChanged_.notify_all();
    if (callbacks_.sent) callbacks_.sent(frame);
    if (posted && ((finishing_ && !queue_.Pending()) || frame == FrameEnd(address_))) {
        // The last frame ("B"): it must leave the port before it closes; no reply is awaited, and
        // nothing may follow it, not even the poll of an edit, however soon the finish follows. A job
        // posted meanwhile (a read the window asked for as the user disconnected) learns that it
        // cannot run.
        port_.Drain(timings_.cycle);
        EndOfRun();
        return true;
    }
    return false;
}

std::optional<LevelFrame> LinkWorker::LevelFrameAtEnd(std::string_view reply) const {
    // A device may answer a posted frame before the poll that follows it: the level frame is the tail.
    reply = TrimBlanks(reply);
    if (reply.size() > kLevelReplyLength) reply = reply.substr(reply.size() - kLevelReplyLength);
    return DecodeLevelFrame(reply, model_);
}

void LinkWorker::TakeReply(std::string_view reply, LinkClock::TimePoint sentAt) {
    reply = TrimBlanks(reply);
    if (const auto levels = LevelFrameAtEnd(reply); levels && callbacks_.levels) callbacks_.levels(*levels);
    if (!reply.empty()) {
        emptyReplies_ = 0;
        if (callbacks_.answered) callbacks_.answered();
    } else if (port_.LineBroken()) {
        // The network server closed the connection: the device is gone at once, not after the
        // tolerated silences; the reconnection probes connect anew.
        emptyReplies_ = kEmptyRepliesTolerated + 1;
        nextProbe_ = sentAt + timings_.reconnectInterval;
        if (callbacks_.lostDevice) callbacks_.lostDevice();
    } else if (++emptyReplies_ > kEmptyRepliesTolerated) {
        nextProbe_ = sentAt + timings_.reconnectInterval;
        if (callbacks_.lostDevice) callbacks_.lostDevice();
    }
}

bool LinkWorker::FixedCycle() {
    LinkClock& clock = *timings_.clock;
    bool levelPoll = false, ended = false;
    const std::string command = TakeNext(levelPoll, ended);
    if (ended) return true;
    const auto cycleStart = clock.Now();
    if (command.empty()) {
        // Idle: wait out the cycle, but wake as soon as something is posted.
        SleepUntil(cycleStart + timings_.cycle, true);
        return false;
    }
    if (Write(command, !levelPoll)) return true;
    port_.WaitForReply(levelPoll ? kLevelReplyLength : 0, timings_.cycle, &finishing_);
    const std::string reply = port_.ReadText();
    // A posted command gets no reply of its own: its silence says nothing about the device.
    if (levelPoll || !TrimBlanks(reply).empty()) TakeReply(reply, cycleStart);
    SleepUntil(cycleStart + timings_.cycle, false);
    return false;
}

bool LinkWorker::AnsweredStep() {
    LinkClock& clock = *timings_.clock;
    bool levelPoll = false, ended = false;
    const std::string command = TakeNext(levelPoll, ended);
    if (ended) return true;
    if (command.empty() || (levelPoll && clock.Now() < nextPoll_)) {
        // Nothing to send, or the idle poll is not yet due: wake as soon as something is posted.
        SleepUntil(command.empty() && !meterPoll_ ? clock.Now() + timings_.cycle : nextPoll_, true);
        return false;
    }
    const auto sentAt = clock.Now();
    if (Write(command, !levelPoll)) return true;
    if (finishing_) {
        // Ending: what is pending goes out without waiting for polls; the end ("B") follows.
        (void)port_.ReadText();
        return false;
    }
    // The device does not answer a posted frame; the poll after it does, once it has taken it.
    if (!levelPoll) Write(FrameLevelPoll(address_), false);
    nextPoll_ = clock.Now() + timings_.cycle;
    TakeReply(port_.ReadReply(kLevelReplyLength, timings_.cycle, &finishing_,
                              [this](std::string_view r) { return LevelFrameAtEnd(r).has_value(); }),
              sentAt);
    return false;
}

void LinkWorker::EndOfRun() {
    // From here on a posted job is told at once that it cannot run, and Finish stops waiting.
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    writtenChanged_.notify_all();
}

bool LinkWorker::ProbeLostDevice() {
    int id = 0;
    const auto [end, error] = std::from_chars(address_.data(), address_.data() + address_.size(), id);
    if (error != std::errc{} || end != address_.data() + address_.size()) return false;
    port_.Close();
    if (port_.Open() != CSerialPort::kOpened) return false;
    const std::string hello = FrameHello(id);
    port_.WriteText(hello);
    if (callbacks_.sent) callbacks_.sent(hello);
    port_.WaitForReply(kHelloReplyLength, timings_.cycle, &finishing_);
    return IsHelloReply(TrimBlanks(port_.ReadText()), id, model_);
}

} // namespace quellmarin
