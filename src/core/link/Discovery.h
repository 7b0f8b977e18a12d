// Finding processors: which ports open, then a hello probe for every device ID on every usable port,
// and the device list the user picks from.
#pragma once

#include "link/SerialLine.h"
#include "link/SerialPort.h"
#include "link/Timings.h"
#include "model/DeviceModel.h"

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quellmarin {

inline constexpr int kFirstDeviceId = 1;
inline constexpr int kLastDeviceId = 50;
inline constexpr std::string_view kNoDeviceLine = "None device";
inline constexpr std::string_view kNothingSelected = "hasn't selected device !";
inline constexpr std::string_view kNoDeviceSelected = "没有设备!2";

struct FoundDevice {
    int id = 0;
    std::string port;
    bool operator==(const FoundDevice&) const = default;
};

// Probes done out of probes planned; called from the scanning threads.
using ScanProgress = std::function<void(int done, int planned)>;

// One line for the user: what is wrong with the port and, where there is one, what to do about it.
std::string DescribePortProblem(const std::string& path, const PortProblem& problem);

// The catalog's ports that can be opened now, in catalog order, and why each of the others cannot.
struct PortCheck {
    std::vector<std::string> usable;
    std::vector<std::string> problems; // DescribePortProblem lines, in catalog order
};
PortCheck CheckPorts(PortProvider& provider, const std::vector<std::string>& catalog);

struct IdRange {
    int first = kFirstDeviceId;
    int last = kLastDeviceId;
};

// A network port is watched this long after it opens, for a server that closes at once or talks
// unasked.
inline constexpr std::chrono::milliseconds kNetworkPortCheck{100};

// A whole scan of the catalog: each port is checked and, when usable, probed for IDs 1..50 on a
// thread of its own, so that a network port that is slow to connect holds up no other port. Each
// probe waits its hello window, but the port is read all the time: a reply names its ID, so one that
// comes after its own window still counts, and after the last probe the scan listens for late replies
// a while longer. `cancel` stops the probing early; `tap`, when set, sees what every port sends and
// reads (from the ports' threads). Lists in catalog order, then ID order.
struct ScanResult {
    std::vector<std::string> usable;
    std::vector<std::string> problems;
    std::vector<FoundDevice> devices;
};
ScanResult ScanPorts(PortProvider& provider, const std::vector<std::string>& catalog, DeviceModel model,
                     const LinkTimings& timings, const ScanProgress& progress = {},
                     const std::atomic<bool>* cancel = nullptr, IdRange ids = {},
                     const CSerialPort::Tap& tap = {});

// The device ID a complete hello reply names (its digits come reversed), or nothing when the text is
// not a hello reply of the model.
std::optional<int> HelloReplyId(std::string_view reply, DeviceModel model);

// "Device.....%0.2d" per entry, or the single line "None device". An ID found on more than one port
// names its port too ("Device.....01 on /dev/ttyUSB1"), so that each of them can be chosen.
std::vector<std::string> DeviceListLines(const std::vector<FoundDevice>& devices);
inline constexpr std::string_view kDeviceOnPort = " on ";

struct Selection {
    std::string address; // "07"
    std::string port;
    int portNumber = 0;
    int id = 0;
};
struct SelectResult {
    std::optional<Selection> selection;
    std::string_view message; // to show when nothing was selected; empty when there is nothing to say
};
// The selection of one found device (its address text, port and port number).
Selection SelectionOf(const FoundDevice& device, const std::vector<std::string>& catalog);
// The reaction to a selection in the device list: the device with the line's ID (and port, when the
// line names one).
SelectResult SelectDevice(std::string_view line, const std::vector<FoundDevice>& devices,
                          const std::vector<std::string>& catalog);

} // namespace quellmarin
