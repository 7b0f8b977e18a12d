#include "link/Discovery.h"

#include "link/Frames.h"
#include "link/PortCatalog.h"
#include "link/SerialPort.h"

#include <algorithm>
#include <cstdio>
#include <thread>

namespace quellmarin {

std::vector<std::string> UsablePorts(PortProvider& provider, const std::vector<std::string>& catalog) {
    std::vector<std::string> usable;
    for (const std::string& path : catalog) {
        auto line = provider.Create(path);
        if (line && line->Open(path, true)) {
            usable.push_back(path);
            line->Close();
        }
    }
    return usable;
}

namespace {

std::vector<FoundDevice> ProbeOnePort(PortProvider& provider, const std::string& path, DeviceModel model,
                                      const LinkTimings& timings, const std::function<void()>& probed,
                                      const std::atomic<bool>* cancel, IdRange ids) {
    std::vector<FoundDevice> found;
    CSerialPort port(provider, timings);
    port.SetDeviceLineSettings();
    port.SetPortName(std::string(TrimBlanks(path)));
    if (port.Open() != CSerialPort::kOpened) {
        for (int id = ids.first; id <= ids.last; ++id) probed();
        return found;
    }
    for (int id = ids.first; id <= ids.last; ++id) {
        if (cancel && *cancel) break;
        port.WriteText(FrameHello(id));
        port.WaitForReply(11, timings.helloWait);
        const std::string reply = port.ReadText();
        if (IsHelloReply(reply, id, model)) found.push_back({id, path});
        probed();
    }
    port.Close();
    return found;
}

} // namespace

std::vector<FoundDevice> ProbePorts(PortProvider& provider, const std::vector<std::string>& usable,
                                    DeviceModel model, const LinkTimings& timings,
                                    const ScanProgress& progress, const std::atomic<bool>* cancel,
                                    IdRange ids) {
    const int planned = static_cast<int>(usable.size()) * std::max(0, ids.last - ids.first + 1);
    std::atomic<int> done{0};
    const std::function<void()> probed = [&] {
        const int d = ++done;
        if (progress) progress(d, planned);
    };
    // Each port is probed by a thread of its own; the list keeps the order of a scan in port order.
    std::vector<std::vector<FoundDevice>> perPort(usable.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < usable.size(); ++i)
        threads.emplace_back(
            [&, i] { perPort[i] = ProbeOnePort(provider, usable[i], model, timings, probed, cancel, ids); });
    for (auto& t : threads) t.join();
    std::vector<FoundDevice> all;
    for (auto& list : perPort) all.insert(all.end(), list.begin(), list.end());
    return all;
}

std::vector<FoundDevice> Scan(PortProvider& provider, const std::vector<std::string>& catalog,
                              DeviceModel model, const LinkTimings& timings, const ScanProgress& progress,
                              const std::atomic<bool>* cancel, IdRange ids) {
    return ProbePorts(provider, UsablePorts(provider, catalog), model, timings, progress, cancel, ids);
}

std::vector<std::string> DeviceListLines(const std::vector<FoundDevice>& devices) {
    std::vector<std::string> lines;
    for (const FoundDevice& d : devices) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "Device.....%.2d", d.id);
        lines.push_back(buf);
    }
    if (lines.empty()) lines.emplace_back(kNoDeviceLine);
    return lines;
}

SelectResult SelectDevice(std::string_view line, const std::vector<FoundDevice>& devices,
                          const std::vector<std::string>& catalog) {
    line = TrimBlanks(line);
    if (line.empty()) return {std::nullopt, kNothingSelected};
    if (line == kNoDeviceLine) return {std::nullopt, kNoDeviceSelected};
    if (line.size() < 2) return {};
    const std::string_view digits = line.substr(line.size() - 2);
    if (digits[0] < '0' || digits[0] > '9' || digits[1] < '0' || digits[1] > '9') return {};
    const int id = (digits[0] - '0') * 10 + (digits[1] - '0');
    for (const FoundDevice& d : devices)
        if (d.id == id) return {SelectionOf(d, catalog), {}};
    return {};
}

Selection SelectionOf(const FoundDevice& device, const std::vector<std::string>& catalog) {
    return {AddressText(device.id), device.port, PortNumberOf(device.port, catalog), device.id};
}

} // namespace quellmarin
