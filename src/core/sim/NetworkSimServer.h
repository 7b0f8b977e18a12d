// The virtual processor behind a network port of its own, as a network serial server would offer it:
// raw TCP, or Telnet answering COM-port control. One client at a time; a second one is told the port is
// in use and closed, as a busy serial server does. The processor keeps its state across connections.
#pragma once

#include "sim/SimServer.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace quellmarin::sim {

class NetworkSimServer {
  public:
    NetworkSimServer(VirtualProcessor& device, bool telnet, SimFaults faults = {}, bool pace = false,
                     std::ostream* log = nullptr);
    ~NetworkSimServer();
    NetworkSimServer(const NetworkSimServer&) = delete;
    NetworkSimServer& operator=(const NetworkSimServer&) = delete;

    // Listens on `host` (a numeric address) and `port` (0: one the system picks); false, with
    // `error` set, when it cannot.
    bool Listen(const std::string& host, int port, std::string& error);
    int Port() const { return port_; }
    // "tcp://127.0.0.1:PORT" or "rfc2217://127.0.0.1:PORT".
    std::string PortName() const;
    void Stop();
    // Connections taken so far (the busy ones turned away not counted).
    int Connections() const { return connections_; }
    // Closes the current client's connection, as a server restart does.
    void DropClient();
    void SetFaults(const SimFaults& faults);
    // Frames the processor saw on the current connection.
    int FramesSeen() const;

  private:
    void Run();

    VirtualProcessor& device_;
    bool telnet_;
    SimFaults faults_;
    bool pace_;
    std::ostream* log_;
    int listener_ = -1;
    int port_ = 0;
    std::string host_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> drop_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    std::unique_ptr<SimServer> client_;
    std::thread thread_;
};

} // namespace quellmarin::sim
