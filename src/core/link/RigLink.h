// The links of a rig: several processors on one or more lines at once. Each port has one DeviceLink
// (its port, worker and mailbox); the processors on it join its connection, so one request is in
// flight per line and their meters are polled in turn, while lines run in parallel. Each processor
// has its own state: one that stops answering is lost alone and comes back alone. Connect and
// Disconnect block while they run and are made from one thread; Post may be called from any.
#pragma once

#include "link/DeviceLink.h"
#include "link/LinkController.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace quellmarin {

class RigLink {
  public:
    struct Events {
        // From a worker's thread: whose meters the frame's `address` says.
        std::function<void(const std::string& port, const LevelFrame&)> levels;
        // A processor connected, lost, back or disconnected; from the thread that noticed.
        std::function<void(const std::string& port, int id, LinkState)> stateChanged;
    };

    RigLink(PortProvider& provider, DeviceModel model = kBuildModel, const LinkTimings& timings = {},
            Events events = {});
    ~RigLink();
    RigLink(const RigLink&) = delete;
    RigLink& operator=(const RigLink&) = delete;

    // Connects one processor: the first on its port opens the port as a single connection does, the
    // others join it. For a download, `record` is written into the device.
    ConnectOutcome Connect(const std::string& port, int id, bool download, const ParameterBytes& record);
    // That processor alone says goodbye; the others stay connected.
    void Disconnect(const std::string& port, int id);
    // Every processor, with the shorter wait of the program's end.
    void Shutdown();

    // A frame for the processor whose address it carries, on its port; nothing when the port has no
    // connection.
    void Post(const std::string& port, std::string frame);
    // Runs on the worker of that port between two requests; gets nullptr without a connection.
    void Job(const std::string& port, LinkWorker::Job job);
    void SetMeterPoll(bool on);

    LinkState State(const std::string& port, int id) const;
    // The connected processors, as (port, id), in the order they were connected.
    std::vector<std::pair<std::string, int>> Connected() const;

  private:
    using Key = std::pair<std::string, std::string>; // port, address
    DeviceLink* LinkFor(const std::string& port) const;
    DeviceLink& MakeLink(const std::string& port);
    void SetState(const std::string& port, const std::string& address, LinkState to,
                  std::optional<LinkState> from = std::nullopt);

    PortProvider& provider_;
    DeviceModel model_;
    LinkTimings timings_;
    Events events_;
    mutable std::mutex mutex_;
    std::map<std::string, std::unique_ptr<DeviceLink>> links_; // guarded by mutex_; never removed
    std::map<Key, LinkState> states_;                           // guarded by mutex_
    std::vector<Key> order_;                                    // guarded by mutex_
};

} // namespace quellmarin
