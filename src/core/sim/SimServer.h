// Puts virtual processors on a serial line: reads frames as they arrive, answers them, optionally at
// the wire's own pace (38400 baud) and with injected faults. Several processors on one line share it as
// units on one bus do: each frame goes to the processor whose address it carries, and only that one
// answers; a frame for an address nobody has gets no answer.
#pragma once

#include "link/SerialLine.h"
#include "sim/VirtualProcessor.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace quellmarin::sim {

struct SimFaults {
    double drop = 0;     // chance that a reply is not sent
    double garble = 0;   // chance that one character of a reply is replaced
    int slowMs = 0;      // every reply this much late
    int muteAfter = 0;   // answer nothing after this many frames (0: never)
    bool shortQ = false; // whole-record replies cut short
    bool hangupQ = false; // the connection closed halfway through a whole-record reply
    unsigned seed = 1;
    double lose = 0;       // chance that a frame from the program never arrives
    int loseDownloads = 0; // so many whole-record downloads ("P") never arrive
    std::string ignore;    // frames that start with this command ("$037") never arrive: a setting that never sticks
};
// "drop=0.2,garble=0.1,slow=150,mute_after=30,short_q,hangup_q,lose=0.1,lose_p=1,ignore=$037,seed=7"
std::optional<SimFaults> ParseFaults(std::string_view text, std::string& error);

class SimServer {
  public:
    SimServer(VirtualProcessor& device, std::unique_ptr<SerialLine> line, SimFaults faults = {},
              bool pace = false, std::ostream* log = nullptr);
    // Several processors on the line, with different device IDs.
    SimServer(std::vector<VirtualProcessor*> devices, std::unique_ptr<SerialLine> line, SimFaults faults = {},
              bool pace = false, std::ostream* log = nullptr);
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // `fresh`: the line is new (a network connection), so nothing heard before is stale.
    void Start(bool fresh = false);
    void Stop();
    void SetFaults(const SimFaults& faults);
    // A processor on the line switched off (it hears and answers nothing) or on again.
    void SwitchOff(int deviceId, bool off = true);
    int FramesSeen() const { return framesSeen_; }
    // Requests that arrived while a reply was still being sent: a program that waits for each
    // answer never makes one.
    int OverlappingRequests() const { return overlapping_; }
    // The line's other end went away (a network client closed), or the server hung up itself.
    bool Ended() const { return ended_; }

  private:
    void Run();
    // Sends a reply, late, paced or faulted as set; false when it was dropped.
    bool Send(std::string reply);
    bool Lost(const std::string& frame);
    // The processor a frame is addressed to, or none.
    VirtualProcessor* Addressee(const std::string& frame) const;

    std::vector<VirtualProcessor*> devices_;
    std::unique_ptr<SerialLine> line_;
    bool pace_;
    std::ostream* log_;
    std::mutex faultMutex_;
    SimFaults faults_;
    std::vector<int> switchedOff_; // guarded by faultMutex_
    std::mt19937 rng_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> ended_{false};
    std::atomic<int> framesSeen_{0};
    std::atomic<int> overlapping_{0};
    std::thread thread_;
};

} // namespace quellmarin::sim
