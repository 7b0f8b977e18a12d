#include "link/SerialLine.h"

#include "link/NetworkPort.h"
#include "link/NetworkSerialLine.h"

#include <condition_variable>
#include <deque>

namespace quellmarin {

struct LoopbackHub::Direction {
    std::deque<char> bytes;
};

struct LoopbackHub::State {
    std::mutex mutex;
    std::condition_variable changed;
    Direction toDevice, toHost;
    bool hostOpen = false;
};

namespace {

class LoopbackEnd : public SerialLine {
  public:
    LoopbackEnd(std::shared_ptr<LoopbackHub::State> state, bool host)
        : state_(std::move(state)), host_(host) {
        if (!host_) open_ = true;
    }
    ~LoopbackEnd() override { Close(); }

    bool Open(const std::string&, bool) override {
        if (open_) return true;
        std::lock_guard lock(state_->mutex);
        if (state_->hostOpen) return false;
        state_->hostOpen = true;
        state_->toHost.bytes.clear();
        open_ = true;
        return true;
    }
    bool IsOpen() const override { return open_; }
    PortProblem LastProblem() const override { return {PortFault::Busy, {}, {}}; }
    void Close() override {
        if (!open_ || !host_) return;
        std::lock_guard lock(state_->mutex);
        state_->hostOpen = false;
        open_ = false;
        state_->changed.notify_all();
    }
    bool Configure(const LineConfig&) override { return open_; }
    void SetQueueSizes(std::size_t, std::size_t) override {}
    // Written bytes reach the other end at once, so only what was received can be discarded.
    void Purge() override {
        std::lock_guard lock(state_->mutex);
        Incoming().bytes.clear();
    }
    bool WaitSent(std::chrono::milliseconds) override { return true; }
    std::size_t BytesWaiting() override {
        std::lock_guard lock(state_->mutex);
        return Incoming().bytes.size();
    }
    std::string Read(std::size_t max) override {
        std::lock_guard lock(state_->mutex);
        auto& in = Incoming().bytes;
        const std::size_t n = std::min(max, in.size());
        std::string out(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(n));
        in.erase(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(n));
        return out;
    }
    std::size_t Write(std::string_view data, std::chrono::milliseconds) override {
        if (!open_) return 0;
        std::lock_guard lock(state_->mutex);
        // Nobody listens on a closed host end: what the device sends then is lost, as on a wire.
        if (!host_ && !state_->hostOpen) return data.size();
        Outgoing().bytes.insert(Outgoing().bytes.end(), data.begin(), data.end());
        state_->changed.notify_all();
        return data.size();
    }
    bool WaitForBytes(std::size_t count, std::chrono::milliseconds timeout) override {
        std::unique_lock lock(state_->mutex);
        return state_->changed.wait_for(lock, timeout, [&] { return Incoming().bytes.size() >= count; });
    }

  private:
    LoopbackHub::Direction& Incoming() { return host_ ? state_->toHost : state_->toDevice; }
    LoopbackHub::Direction& Outgoing() { return host_ ? state_->toDevice : state_->toHost; }

    std::shared_ptr<LoopbackHub::State> state_;
    bool host_;
    bool open_ = false;
};

} // namespace

LoopbackHub::LoopbackHub() : state_(std::make_shared<State>()) {}

std::shared_ptr<LoopbackHub> LoopbackHub::Create() {
    return std::shared_ptr<LoopbackHub>(new LoopbackHub());
}

std::unique_ptr<SerialLine> LoopbackHub::HostEnd() {
    return std::make_unique<LoopbackEnd>(state_, true);
}

std::unique_ptr<SerialLine> LoopbackHub::DeviceEnd() {
    return std::make_unique<LoopbackEnd>(state_, false);
}

std::unique_ptr<SerialLine> SystemPortProvider::Create(const std::string& path) {
    {
        std::lock_guard lock(mutex_);
        const auto it = virtualPorts_.find(path);
        if (it != virtualPorts_.end()) return it->second->HostEnd();
    }
    if (IsNetworkPort(path)) return CreateNetworkLine();
    return CreatePlatformLine();
}

void SystemPortProvider::RegisterVirtualPort(const std::string& path, std::shared_ptr<LoopbackHub> hub) {
    std::lock_guard lock(mutex_);
    virtualPorts_[path] = std::move(hub);
}

void SystemPortProvider::UnregisterVirtualPort(const std::string& path) {
    std::lock_guard lock(mutex_);
    virtualPorts_.erase(path);
}

bool SystemPortProvider::IsVirtualPort(const std::string& path) const {
    std::lock_guard lock(mutex_);
    return virtualPorts_.count(path) != 0;
}

} // namespace quellmarin
