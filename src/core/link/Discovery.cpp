#include "link/Discovery.h"

#include "protocol/Frames.h"
#include "link/PortCatalog.h"
#include "link/SerialPort.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

namespace quellmarin {

std::string DescribePortProblem(const std::string& path, const PortProblem& problem) {
    switch (problem.fault) {
    case PortFault::None:
        return {};
    case PortFault::Missing:
        return path + ": there is no such port (is the adapter plugged in?)";
    case PortFault::NotSerial:
        return path + ": this is not a serial port";
    case PortFault::Busy:
        return path + ": the port is busy: another program holds it open (close that program and scan again)";
    case PortFault::NoPermission:
        if (problem.group.empty())
            return path + ": permission denied (ask the administrator for read and write rights to the port)";
        return path + ": permission denied; the port belongs to the group \"" + problem.group +
               "\": run \"sudo usermod -aG " + problem.group + " $USER\", then log out and in again";
    case PortFault::Network:
        return path + ": " + problem.detail;
    case PortFault::Other:
        break;
    }
    return path + ": the port cannot be opened" + (problem.detail.empty() ? "" : " (" + problem.detail + ")");
}

namespace {

// Runs `work(i)` for i in 0..count-1 on threads of their own, at most 64 at a time (a Windows catalog
// holds 256 ports, most of which fail to open at once).
void ForEachPort(std::size_t count, const std::function<void(std::size_t)>& work) {
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < std::min<std::size_t>(count, 64); ++t)
        threads.emplace_back([&] {
            for (std::size_t i = next++; i < count; i = next++) work(i);
        });
    for (auto& t : threads) t.join();
}

// Nothing when the port opens and proves usable, else the line that says why not.
std::optional<std::string> CheckOnePort(PortProvider& provider, const std::string& path) {
    auto line = provider.Create(path);
    if (!line) return DescribePortProblem(path, {PortFault::Other, {}, {}});
    if (!line->Open(path, true)) return DescribePortProblem(path, line->LastProblem());
    const bool usable = line->Verify(kNetworkPortCheck);
    const PortProblem problem = line->LastProblem();
    line->Close();
    if (usable) return std::nullopt;
    return DescribePortProblem(path, problem);
}

} // namespace

PortCheck CheckPorts(PortProvider& provider, const std::vector<std::string>& catalog) {
    std::vector<std::optional<std::string>> results(catalog.size());
    ForEachPort(catalog.size(), [&](std::size_t i) { results[i] = CheckOnePort(provider, catalog[i]); });
    PortCheck check;
    for (std::size_t i = 0; i < catalog.size(); ++i) {
        if (results[i])
            check.problems.push_back(*results[i]);
        else
            check.usable.push_back(catalog[i]);
    }
    return check;
}

std::optional<int> HelloReplyId(std::string_view reply, DeviceModel model) {
    if (reply.size() != kHelloReplyLength) return std::nullopt;
    const char first = reply[9], second = reply[8];
    if (first < '0' || first > '9' || second < '0' || second > '9') return std::nullopt;
    const int id = (first - '0') * 10 + (second - '0');
    if (!IsHelloReply(reply, id, model)) return std::nullopt;
    return id;
}

namespace {

// Hello replies out of what a port delivered: complete ones are taken out and their IDs returned; an
// unfinished one stays for the next read, anything else is dropped.
std::vector<int> TakeHelloReplies(std::string& pending, DeviceModel model) {
    std::vector<int> ids;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t start = pending.find('(', pos);
        if (start == std::string::npos) {
            pending.clear();
            return ids;
        }
        if (pending.size() - start < kHelloReplyLength) {
            pending.erase(0, start);
            return ids;
        }
        if (const auto id = HelloReplyId(std::string_view(pending).substr(start, kHelloReplyLength), model)) {
            ids.push_back(*id);
            pos = start + kHelloReplyLength;
        } else {
            pos = start + 1;
        }
    }
}

// The devices a port answers for; `problem` is set when a network port's server went away meanwhile.
std::vector<FoundDevice> ProbeOnePort(PortProvider& provider, const std::string& path, DeviceModel model,
                                      const LinkTimings& timings, const std::function<void()>& probed,
                                      const std::atomic<bool>* cancel, IdRange ids,
                                      const CSerialPort::Tap& tap, std::string* problem = nullptr) {
    std::vector<FoundDevice> found;
    CSerialPort port(provider, timings);
    port.SetTap(tap);
    port.SetDeviceLineSettings();
    port.SetPortName(std::string(TrimBlanks(path)));
    if (port.Open() != CSerialPort::kOpened) {
        for (int id = ids.first; id <= ids.last; ++id) probed();
        return found;
    }
    LinkClock& clock = *timings.clock;
    std::string pending;
    std::vector<bool> answered(kLastDeviceId + 1, false);
    int lastProbed = ids.first - 1;
    const auto cancelled = [&] { return cancel && cancel->load(); };
    // Reads until the deadline, or until `id` (when given) has answered.
    const auto listen = [&](LinkClock::TimePoint deadline, int id) {
        while (clock.Now() < deadline && !cancelled()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock.Now());
            port.WaitForReply(kHelloReplyLength - std::min(pending.size(), kHelloReplyLength - 1), left);
            pending += port.ReadText();
            for (const int got : TakeHelloReplies(pending, model))
                if (got >= ids.first && got <= lastProbed) answered[static_cast<std::size_t>(got)] = true;
            if (id > 0 && answered[static_cast<std::size_t>(id)]) return;
        }
    };
    for (int id = ids.first; id <= ids.last && !cancelled(); ++id) {
        if (port.LineBroken()) {
            probed(); // the rest of the port's probes count as done
            continue;
        }
        port.WriteText(FrameHello(id));
        lastProbed = id;
        listen(clock.Now() + timings.helloWait, id);
        probed();
    }
    if (!port.LineBroken()) listen(clock.Now() + timings.lateHelloWait, 0);
    if (port.LineBroken() && problem) *problem = path + ": the server closed the connection during the scan";
    port.Close();
    for (int id = ids.first; id <= lastProbed; ++id)
        if (answered[static_cast<std::size_t>(id)]) found.push_back({id, path});
    return found;
}

} // namespace

ScanResult ScanPorts(PortProvider& provider, const std::vector<std::string>& catalog, DeviceModel model,
                     const LinkTimings& timings, const ScanProgress& progress, const std::atomic<bool>* cancel,
                     IdRange ids, const CSerialPort::Tap& tap) {
    const int perPortProbes = std::max(0, ids.last - ids.first + 1);
    const int planned = static_cast<int>(catalog.size()) * perPortProbes;
    std::atomic<int> done{0};
    const std::function<void()> probed = [&] {
        const int d = ++done;
        if (progress) progress(d, planned);
    };
    struct PortResult {
        std::optional<std::string> problem;
        std::vector<FoundDevice> devices;
    };
    std::vector<PortResult> results(catalog.size());
    ForEachPort(catalog.size(), [&](std::size_t i) {
        PortResult& r = results[i];
        r.problem = CheckOnePort(provider, catalog[i]);
        if (r.problem) {
            for (int n = 0; n < perPortProbes; ++n) probed();
            return;
        }
        std::string lost;
        r.devices = ProbeOnePort(provider, catalog[i], model, timings, probed, cancel, ids, tap, &lost);
        if (!lost.empty()) r.problem = lost;
    });
    ScanResult all;
    for (std::size_t i = 0; i < catalog.size(); ++i) {
        PortResult& r = results[i];
        if (!r.problem || !r.devices.empty()) all.usable.push_back(catalog[i]);
        if (r.problem) all.problems.push_back(*r.problem);
        all.devices.insert(all.devices.end(), r.devices.begin(), r.devices.end());
    }
    return all;
}

std::vector<std::string> DeviceListLines(const std::vector<FoundDevice>& devices) {
    std::vector<std::string> lines;
    for (const FoundDevice& d : devices) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "Device.....%.2d", d.id);
        const bool shared = std::count_if(devices.begin(), devices.end(), [&](const FoundDevice& o) {
                                return o.id == d.id;
                            }) > 1;
        lines.push_back(shared ? std::string(buf) + std::string(kDeviceOnPort) + d.port : std::string(buf));
    }
    if (lines.empty()) lines.emplace_back(kNoDeviceLine);
    return lines;
}

SelectResult SelectDevice(std::string_view line, const std::vector<FoundDevice>& devices,
                          const std::vector<std::string>& catalog) {
    line = TrimBlanks(line);
    if (line.empty()) return {std::nullopt, kNothingSelected};
    if (line == kNoDeviceLine) return {std::nullopt, kNoDeviceSelected};
    std::optional<std::string_view> port;
    if (const std::size_t on = line.find(kDeviceOnPort); on != std::string_view::npos) {
        port = line.substr(on + kDeviceOnPort.size());
        line = line.substr(0, on);
    }
    if (line.size() < 2) return {};
    const std::string_view digits = line.substr(line.size() - 2);
    if (digits[0] < '0' || digits[0] > '9' || digits[1] < '0' || digits[1] > '9') return {};
    const int id = (digits[0] - '0') * 10 + (digits[1] - '0');
    for (const FoundDevice& d : devices)
        if (d.id == id && (!port || d.port == *port)) return {SelectionOf(d, catalog), {}};
    return {};
}

Selection SelectionOf(const FoundDevice& device, const std::vector<std::string>& catalog) {
    return {AddressText(device.id), device.port, PortNumberOf(device.port, catalog), device.id};
}

} // namespace quellmarin
