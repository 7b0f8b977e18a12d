#include "link/RigLink.h"

#include "protocol/Frames.h"

#include <algorithm>

namespace quellmarin {

RigLink::RigLink(PortProvider& provider, DeviceModel model, const LinkTimings& timings, Events events)
    : provider_(provider), model_(model), timings_(timings), events_(std::move(events)) {}

RigLink::~RigLink() {
    Shutdown();
}

DeviceLink* RigLink::LinkFor(const std::string& port) const {
    std::lock_guard lock(mutex_);
    const auto it = links_.find(port);
    return it == links_.end() ? nullptr : it->second.get();
}

DeviceLink& RigLink::MakeLink(const std::string& port) {
    if (DeviceLink* link = LinkFor(port)) return *link;
    auto link = std::make_unique<DeviceLink>(provider_, model_, timings_);
    WorkerCallbacks cb;
    cb.levels = [this, port](const LevelFrame& f) {
        if (events_.levels) events_.levels(port, f);
    };
    cb.lostDevice = [this, port](const std::string& address) {
        SetState(port, address, LinkState::Lost, LinkState::Connected);
    };
    cb.answered = [this, port](const std::string& address) {
        SetState(port, address, LinkState::Connected, LinkState::Lost);
    };
    link->SetCallbacks(std::move(cb));
    std::lock_guard lock(mutex_);
    return *links_.emplace(port, std::move(link)).first->second;
}

void RigLink::SetState(const std::string& port, const std::string& address, LinkState to,
                       std::optional<LinkState> from) {
    {
        std::lock_guard lock(mutex_);
        const Key key{port, address};
        const auto it = states_.find(key);
        const LinkState now = it == states_.end() ? LinkState::NotConnected : it->second;
        if (now == to || (from && now != *from)) return;
        if (to == LinkState::NotConnected) {
            states_.erase(key);
            std::erase(order_, key);
        } else {
            states_[key] = to;
            if (std::find(order_.begin(), order_.end(), key) == order_.end()) order_.push_back(key);
        }
    }
    if (events_.stateChanged) events_.stateChanged(port, std::stoi(address), to);
}

ConnectOutcome RigLink::Connect(const std::string& port, int id, bool download, const ParameterBytes& record) {
    DeviceLink& link = MakeLink(port);
    const Selection selection{AddressText(id), port, 1, id};
    SetState(port, selection.address, LinkState::Connecting, LinkState::NotConnected);
    ConnectOutcome out;
    if (link.Connected()) {
        out = link.Join(selection, download, record);
    } else {
        link.Select(selection);
        out = link.Connect(download, record);
    }
    SetState(port, selection.address, out.connected ? LinkState::Connected : LinkState::NotConnected);
    return out;
}

void RigLink::Disconnect(const std::string& port, int id) {
    DeviceLink* link = LinkFor(port);
    if (!link) return;
    const std::string address = AddressText(id);
    if (State(port, id) == LinkState::NotConnected) return;
    SetState(port, address, LinkState::Disconnecting);
    link->Leave(address);
    SetState(port, address, LinkState::NotConnected);
}

void RigLink::Shutdown() {
    std::vector<DeviceLink*> links;
    {
        std::lock_guard lock(mutex_);
        for (auto& [port, link] : links_) links.push_back(link.get());
    }
    // Each line says goodbye to all its processors at once; the lines end one after the other.
    for (DeviceLink* link : links) link->Shutdown();
    for (const auto& [port, id] : Connected()) SetState(port, AddressText(id), LinkState::NotConnected);
}

void RigLink::Post(const std::string& port, std::string frame) {
    if (DeviceLink* link = LinkFor(port); link && link->Connected()) link->Post(std::move(frame));
}

void RigLink::Job(const std::string& port, LinkWorker::Job job) {
    if (DeviceLink* link = LinkFor(port)) {
        link->Worker().Post(std::move(job));
        return;
    }
    job(nullptr);
}

void RigLink::SetMeterPoll(bool on) {
    std::lock_guard lock(mutex_);
    for (auto& [port, link] : links_) link->Worker().SetMeterPoll(on);
}

LinkState RigLink::State(const std::string& port, int id) const {
    std::lock_guard lock(mutex_);
    const auto it = states_.find(Key{port, AddressText(id)});
    return it == states_.end() ? LinkState::NotConnected : it->second;
}

std::vector<std::pair<std::string, int>> RigLink::Connected() const {
    std::lock_guard lock(mutex_);
    std::vector<std::pair<std::string, int>> out;
    for (const auto& [port, address] : order_) out.emplace_back(port, std::stoi(address));
    return out;
}

} // namespace quellmarin
