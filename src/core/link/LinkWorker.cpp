#include "link/LinkWorker.h"

#include <algorithm>
#include <charconv>

namespace quellmarin {

LinkWorker::LinkWorker(CSerialPort& port, CommandQueue& queue, DeviceModel model, const LinkTimings& timings,
                       WorkerCallbacks callbacks)
    : port_(port), queue_(queue), model_(model), timings_(timings), callbacks_(std::move(callbacks)),
      pacing_(timings.pacing) {}

LinkWorker::~LinkWorker() {
    Stop();
}

namespace {
// The address a frame carries: "(07..." -> "07".
std::string_view FrameAddress(std::string_view frame) {
    return frame.size() >= 3 && frame[0] == '(' ? frame.substr(1, 2) : std::string_view{};
}
} // namespace

void LinkWorker::Start(std::string address) {
    Stop();
    {
        std::lock_guard lock(peerMutex_);
        peers_.clear();
        peers_.push_back(Peer{std::move(address)});
    }
    turn_ = 0;
    finishing_ = false;
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

void LinkWorker::AddAddress(std::string address) {
    {
        std::lock_guard lock(peerMutex_);
        if (FindLocked(address)) return;
        peers_.push_back(Peer{std::move(address)});
    }
    Wake();
}

void LinkWorker::RemoveAddress(const std::string& address) {
    std::lock_guard lock(peerMutex_);
    if (peers_.size() < 2) return;
    std::erase_if(peers_, [&](const Peer& p) { return p.address == address; });
}

std::vector<std::string> LinkWorker::Addresses() const {
    std::lock_guard lock(peerMutex_);
    std::vector<std::string> out;
    for (const Peer& p : peers_) out.push_back(p.address);
    return out;
}

LinkWorker::Peer* LinkWorker::FindLocked(std::string_view address) {
    for (Peer& p : peers_)
        if (p.address == address) return &p;
    return nullptr;
}

const LinkWorker::Peer* LinkWorker::FindLocked(std::string_view address) const {
    for (const Peer& p : peers_)
        if (p.address == address) return &p;
    return nullptr;
}

int LinkWorker::EmptyReplies(std::string_view address) const {
    std::lock_guard lock(peerMutex_);
    if (peers_.empty()) return 0;
    const Peer* p = address.empty() ? &peers_.front() : FindLocked(address);
    return p ? p->emptyReplies : 0;
}

bool LinkWorker::Lost(std::string_view address) const {
    std::lock_guard lock(peerMutex_);
    const Peer* p = FindLocked(address);
    return p && p->Lost();
}

bool LinkWorker::DeviceLost() const {
    std::lock_guard lock(peerMutex_);
    return !peers_.empty() && std::all_of(peers_.begin(), peers_.end(), [](const Peer& p) { return p.Lost(); });
}

std::string LinkWorker::TargetOf(const std::string& frame) const {
    std::lock_guard lock(peerMutex_);
    if (const Peer* p = FindLocked(FrameAddress(frame))) return p->address;
    return peers_.empty() ? std::string{} : peers_.front().address;
}

LinkClock::TimePoint LinkWorker::PollDue(const std::string& address) const {
    std::lock_guard lock(peerMutex_);
    const Peer* p = FindLocked(address);
    return p ? p->nextPoll : LinkClock::TimePoint{};
}

LinkClock::TimePoint LinkWorker::NextDue() const {
    std::lock_guard lock(peerMutex_);
    auto due = LinkClock::TimePoint::max();
    for (const Peer& p : peers_) due = std::min(due, p.Lost() ? p.nextProbe : p.nextPoll);
    return due;
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
        timings_.clock->WaitUntil(lock, wake_, until, [&] { return stop_ || woken_ || finishing_ || !jobs_.empty(); });
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
            if (clock.Now() >= NextDue()) {
                if (ProbeLostDevice()) continue;
            }
            SleepUntil(NextDue(), false);
            continue;
        }
        if (!paused_ && !finishing_ && ProbeOneLost()) continue;

        const bool ended = pacing_ == Pacing::Fixed ? FixedCycle() : AnsweredStep();
        if (ended) return;
    }
}

std::string LinkWorker::TakeNext(bool& levelPoll, bool& ended, std::string& target) {
    levelPoll = ended = false;
    if (paused_) return {};
    // A lost processor's frames wait for its return; the others' go on.
    std::string command;
    {
        // A job waiting goes first. Checked with the frame taken under one lock, so that a frame posted
        // after a job never overtakes it.
        std::lock_guard lock(mutex_);
        if (!jobs_.empty()) return {};
        // A finish sends everything pending, as the device may be back by then.
        command = queue_.TakeCommand([this](std::string_view frame) {
            if (finishing_) return true;
            std::lock_guard peers(peerMutex_);
            const Peer* p = FindLocked(FrameAddress(frame));
            return !p || !p->Lost();
        });
        if (!command.empty()) ++taken_;
    }
    if (!command.empty()) {
        target = TargetOf(command);
        return command;
    }
    if (finishing_) {
        EndOfRun(); // everything pending has been written
        ended = true;
        return {};
    }
    if (!meterPoll_) return {};
    {
        // The polls go round the processors that answer: the one whose poll is due first.
        std::lock_guard lock(peerMutex_);
        const Peer* next = nullptr;
        if (pacing_ == Pacing::Fixed) {
            for (std::size_t i = 0; i < peers_.size() && !next; ++i) {
                const Peer& p = peers_[(turn_ + i) % peers_.size()];
                if (!p.Lost()) next = &p;
            }
            ++turn_;
        } else {
            for (const Peer& p : peers_)
                if (!p.Lost() && (!next || p.nextPoll < next->nextPoll)) next = &p;
        }
        if (!next) return {};
        target = next->address;
    }
    levelPoll = true;
    return FrameLevelPoll(target);
}

bool LinkWorker::Write(const std::string& frame, bool posted) {
    port_.WriteText(frame);
    const std::string target = TargetOf(frame);
    const bool end = frame == FrameEnd(target);
    // One processor of several leaves the line: the others stay connected. Its address goes before the
    // write is counted, so that whoever waits for the "B" to leave finds it gone (and a next "B" to the
    // last one ends the connection), and checked and removed under one lock, so that no other removal
    // makes this one look like the last.
    bool leaving = false;
    if (posted && end) {
        std::lock_guard lock(peerMutex_);
        if (peers_.size() > 1) {
            std::erase_if(peers_, [&](const Peer& p) { return p.address == target; });
            leaving = true;
        }
    }
    if (posted) {
        std::lock_guard lock(mutex_);
        ++written_;
    }
    writtenChanged_.notify_all();
    if (callbacks_.sent) callbacks_.sent(frame);
    if (leaving) {
        port_.Drain(timings_.cycle);
        return false;
    }
    if (posted && ((finishing_ && !queue_.Pending()) || end)) {
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

void LinkWorker::TakeReply(std::string_view reply, LinkClock::TimePoint sentAt, const std::string& target) {
    reply = TrimBlanks(reply);
    if (auto levels = LevelFrameAtEnd(reply); levels && callbacks_.levels) {
        levels->address = target;
        callbacks_.levels(*levels);
    }
    bool lost = false;
    {
        std::lock_guard lock(peerMutex_);
        Peer* p = FindLocked(target);
        if (!reply.empty()) {
            if (p) p->emptyReplies = 0;
        } else if (port_.LineBroken()) {
            // The network server closed the connection: every processor on it is gone at once, not
            // after the tolerated silences; the reconnection probes connect anew.
            for (Peer& q : peers_) {
                q.emptyReplies = kEmptyRepliesTolerated + 1;
                q.nextProbe = sentAt + timings_.reconnectInterval;
            }
            lost = true;
        } else if (p && ++p->emptyReplies > kEmptyRepliesTolerated) {
            p->nextProbe = sentAt + timings_.reconnectInterval;
            lost = true;
        }
    }
    if (!reply.empty()) {
        if (callbacks_.answered) callbacks_.answered(target);
    } else if (lost && callbacks_.lostDevice) {
        for (const std::string& address : Addresses())
            if (address == target || port_.LineBroken()) callbacks_.lostDevice(address);
    }
}

bool LinkWorker::FixedCycle() {
    LinkClock& clock = *timings_.clock;
    bool levelPoll = false, ended = false;
    std::string target;
    const std::string command = TakeNext(levelPoll, ended, target);
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
    if (levelPoll || !TrimBlanks(reply).empty()) TakeReply(reply, cycleStart, target);
    SleepUntil(cycleStart + timings_.cycle, false);
    return false;
}

bool LinkWorker::AnsweredStep() {
    LinkClock& clock = *timings_.clock;
    bool levelPoll = false, ended = false;
    std::string target;
    const std::string command = TakeNext(levelPoll, ended, target);
    if (ended) return true;
    if (command.empty() || (levelPoll && clock.Now() < PollDue(target))) {
        // Nothing to send, or the idle poll is not yet due: wake as soon as something is posted.
        SleepUntil(command.empty() && !meterPoll_ ? clock.Now() + timings_.cycle : NextDue(), true);
        return false;
    }
    const auto sentAt = clock.Now();
    if (Write(command, !levelPoll)) return true;
    if (finishing_) {
        // Ending: what is pending goes out without waiting for polls; the end ("B") follows.
        (void)port_.ReadText();
        return false;
    }
    {
        std::lock_guard lock(peerMutex_);
        Peer* p = FindLocked(target);
        if (!p) return false; // it left the line with that frame: nothing to poll
        p->nextPoll = clock.Now() + timings_.cycle;
    }
    // The device does not answer a posted frame; the poll after it does, once it has taken it.
    if (!levelPoll) Write(FrameLevelPoll(target), false);
    TakeReply(port_.ReadReply(kLevelReplyLength, timings_.cycle, &finishing_,
                              [this](std::string_view r) { return LevelFrameAtEnd(r).has_value(); }),
              sentAt, target);
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

namespace {
int AddressId(std::string_view address) {
    int id = 0;
    const auto [end, error] = std::from_chars(address.data(), address.data() + address.size(), id);
    return error == std::errc{} && end == address.data() + address.size() ? id : 0;
}
} // namespace

bool LinkWorker::Hello(const std::string& address) {
    const int id = AddressId(address);
    if (id == 0) return false;
    const std::string hello = FrameHello(id);
    port_.WriteText(hello);
    if (callbacks_.sent) callbacks_.sent(hello);
    port_.WaitForReply(kHelloReplyLength, timings_.cycle, &finishing_);
    return IsHelloReply(TrimBlanks(port_.ReadText()), id, model_);
}

void LinkWorker::ProbeAnswer(const std::string& address, bool answered, LinkClock::TimePoint askedAt) {
    {
        std::lock_guard lock(peerMutex_);
        Peer* p = FindLocked(address);
        if (!p) return;
        p->nextProbe = askedAt + timings_.reconnectInterval;
        if (answered) {
            p->emptyReplies = 0;
            p->nextPoll = {};
        } else {
            ++p->emptyReplies;
        }
    }
    const auto& callback = answered ? callbacks_.answered : callbacks_.lostDevice;
    if (callback) callback(address);
}

bool LinkWorker::ProbeLostDevice() {
    const std::vector<std::string> addresses = Addresses();
    const auto askedAt = timings_.clock->Now();
    port_.Close();
    const bool opened = port_.Open() == CSerialPort::kOpened;
    bool any = false;
    for (const std::string& address : addresses) {
        const bool answered = opened && Hello(address);
        ProbeAnswer(address, answered, askedAt);
        any = any || answered;
    }
    return any;
}

bool LinkWorker::ProbeOneLost() {
    std::string address;
    {
        std::lock_guard lock(peerMutex_);
        const auto now = timings_.clock->Now();
        for (const Peer& p : peers_)
            if (p.Lost() && p.nextProbe <= now) {
                address = p.address;
                break;
            }
    }
    if (address.empty()) return false;
    const auto askedAt = timings_.clock->Now();
    ProbeAnswer(address, Hello(address), askedAt);
    return true;
}

} // namespace quellmarin
