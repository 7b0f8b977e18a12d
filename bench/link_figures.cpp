// Figures of the device link against virtual processors on pseudo-terminals, with the real waits:
// scan time over one and four ports, the upload connection, command latency, an eight-frame burst
// and idle CPU use.
// Usage: quellmarin-link-figures [--quick]
#include "edit/ProgramExchange.h"
#include "link/DeviceLink.h"
#include "link/PortCatalog.h"
#include "edit/RecordDiff.h"
#include "sim/PseudoTerminal.h"
#include "sim/SimServer.h"

#include "CpuTime.h"
#include "PacedProcessor.h"
#include "TimingDevice.h"
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace quellmarin;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// A processor on a pseudo-terminal with a link selected on it, ready to connect.
struct LinkedProcessor {
    LinkedProcessor(int id, bool pace) : processor(id, pace), link(provider) {
        const std::string& path = processor.pty.SlavePath();
        link.SetCatalog({path});
        char address[3];
        std::snprintf(address, sizeof address, "%.2d", id);
        link.Select(Selection{address, path, 1, id});
    }
    Processor processor;
    SystemPortProvider provider;
    DeviceLink link;
};

// With `lateMs`, the first port's processor answers its hello that much late.
double ScanSeconds(int ports, int lateMs = 0) {
    std::vector<std::unique_ptr<Processor>> sims;
    std::vector<std::string> paths;
    for (int i = 0; i < ports; ++i) {
        sim::SimFaults faults;
        if (i == 0) faults.slowMs = lateMs;
        sims.push_back(std::make_unique<Processor>(10 + i, false, faults));
        paths.push_back(sims.back()->pty.SlavePath());
    }
    SystemPortProvider provider;
    DeviceLink link(provider);
    link.SetCatalog(BuildPortCatalog(paths, {}, false));
    const auto start = Clock::now();
    const auto found = link.Scan();
    const double s = Ms(Clock::now() - start) / 1000;
    if (static_cast<int>(found.size()) != ports) std::printf("  (found %zu of %d)\n", found.size(), ports);
    return s;
}

} // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    std::printf("scan, real waits: 1 port %.2f s, 4 ports %.2f s\n", ScanSeconds(1), ScanSeconds(4));
    std::printf("scan with one processor answering 100 ms late: 1 port %.2f s, 4 ports %.2f s\n",
                ScanSeconds(1, 100), ScanSeconds(4, 100));

    {
        // Undo of a change to all seven bands of an output: the difference frames posted as undo posts
        // them, until the processor holds the old values again.
        LinkedProcessor rig(7, true);
        Processor& paced = rig.processor;
        DeviceLink& link = rig.link;
        const SystemParameters before = paced.device.Parameters();
        SystemParameters changed = before;
        for (int j = 0; j < kOutputBands; ++j)
            changed.OutCH[1].Peq[j] = {1, std::uint8_t(20 + 10 * j), 30, 20};
        paced.device.SetParameters(changed);
        if (link.Connect(false, {}).connected) {
            const auto start = Clock::now();
            const RecordDiff undo = DiffFrames(changed, before, "07", DeviceModel::Mivon);
            for (const std::string& f : undo.frames) link.Post(f);
            while (!SameSettings(paced.device.Parameters(), before) &&
                   Clock::now() - start < std::chrono::seconds(10))
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::printf("undo of a seven-band change at 38400 baud: %zu frames, %.0f ms until the processor "
                        "held the old values\n",
                        undo.frames.size(), Ms(Clock::now() - start));
        }
        link.Disconnect();
    }

    {
        LinkedProcessor rig(7, true);
        DeviceLink& link = rig.link;
        SystemParameters p = DefaultSystemParameters(DeviceModel::Mivon);
        p.InCH[1].Gain = 150;
        const auto start = Clock::now();
        const ConnectOutcome c = link.Connect(true, ToBytes(p));
        std::printf("download connection with read-back at 38400 baud: %.0f ms (%s; 2000 ms of it are the "
                    "pauses around the record)\n",
                    Ms(Clock::now() - start),
                    !c.connected    ? c.message.c_str()
                    : c.unconfirmed ? "not confirmed"
                                    : "confirmed");
        link.Disconnect();
    }

    {
        // The program operations as the windows run them: jobs on the worker of a connection, at the
        // wire's pace, with the real waits as upper bounds.
        LinkedProcessor rig(7, true);
        DeviceLink& link = rig.link;
        if (link.Connect(false, {}).connected) {
            link.Worker().Pause();
            const LinkTimings timings;
            auto start = Clock::now();
            int named = 0;
            for (int slot = 1; slot <= kProgramSlots; ++slot)
                named += link.Worker()
                             .Submit([&](CSerialPort& port) { return QuerySlot(port, "07", slot, timings); })
                             .get()
                             .Usable();
            std::printf("forty program names at 38400 baud: %.0f ms (%d answered; the fixed waits alone were "
                        "about 12000 ms)\n",
                        Ms(Clock::now() - start), named);
            start = Clock::now();
            const bool recalled = link.Worker()
                                      .Submit([&](CSerialPort& port) {
                                          return RecallSlot(port, "07", 2, timings, {}).has_value();
                                      })
                                      .get();
            std::printf(
                "recall with the whole-state read: %.0f ms (%s; the fixed waits were 1200 ms + 1700 ms)\n",
                Ms(Clock::now() - start), recalled ? "confirmed" : "failed");
            start = Clock::now();
            const bool stored =
                link.Worker()
                    .Submit([&](CSerialPort& port) { return StoreSlot(port, "07", 7, timings); })
                    .get();
            std::printf("save as: %.0f ms (%s; the fixed waits were 1000 ms)\n", Ms(Clock::now() - start),
                        stored ? "echoed" : "failed");
            link.Worker().Resume();
        }
        link.Disconnect();
    }

    {
        LinkedProcessor rig(7, true);
        DeviceLink& link = rig.link;
        const auto start = Clock::now();
        const ConnectOutcome c = link.Connect(false, {});
        std::printf("upload connection at 38400 baud: %.0f ms (%s; the fixed waits alone were 3700 ms)\n",
                    Ms(Clock::now() - start), c.connected ? "connected" : c.message.c_str());
        link.Disconnect();
    }

    for (const Pacing pacing : {Pacing::Answered, Pacing::Fixed}) {
        const char* how = pacing == Pacing::Fixed ? "fixed pacing" : "answered pacing";
        TimingDevice dev;
        SystemPortProvider provider;
        LinkTimings timings;
        timings.pacing = pacing;
        DeviceLink link(provider, kBuildModel, timings);
        link.SetCatalog({dev.pty.SlavePath()});
        link.Select(Selection{"01", dev.pty.SlavePath(), 1, 1});
        if (!link.Connect(false, {}).connected) {
            std::printf("latency: could not connect\n");
            return 1;
        }
        std::vector<double> latency;
        const int posts = quick ? 40 : 200;
        for (int i = 0; i < posts; ++i) {
            char frame[16];
            std::snprintf(frame, sizeof frame, "(01$0280%.3d)", 1 + i % 200);
            const auto posted = Clock::now();
            link.Post(frame);
            latency.push_back(Ms(dev.ArrivalOf(frame, posted) - posted));
            std::this_thread::sleep_for(std::chrono::milliseconds(37 * (i % 7)));
        }
        std::sort(latency.begin(), latency.end());
        std::printf("%s: post to arrival over %d posts at 38400 baud (meters polling): median %.1f ms, worst "
                    "%.1f ms\n",
                    how, posts, latency[latency.size() / 2], latency.back());

        // Eight mutes posted at once (a user sweeping across the strip): until the last has arrived.
        std::vector<double> bursts;
        for (int round = 0; round < (quick ? 5 : 20); ++round) {
            const bool on = round % 2 == 0;
            const auto posted = Clock::now();
            for (int k = 0; k < 8; ++k) link.Post(FrameOutputMute("01", k, on));
            bursts.push_back(Ms(dev.ArrivalOf(FrameOutputMute("01", 7, on), posted) - posted));
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        std::sort(bursts.begin(), bursts.end());
        std::printf("%s: eight mutes posted at once, until the last arrived: median %.0f ms, worst %.0f ms\n",
                    how, bursts[bursts.size() / 2], bursts.back());

        // A 300-move drag of one fader, a move every 3 ms: what reaches the device, and in which order.
        const std::size_t before = dev.device.FrameCount();
        for (int i = 0; i < 300; ++i) {
            link.Post(FrameInputGain("01", 4, 1 + i % 180));
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
        const std::string last = FrameInputGain("01", 4, 1 + 299 % 180);
        const auto dragEnd = Clock::now();
        (void)dev.ArrivalOf(last, dragEnd - std::chrono::milliseconds(1000));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const auto frames = dev.device.FramesReceived();
        int gains = 0;
        std::string lastGain;
        for (std::size_t i = frames.size() - (dev.device.FrameCount() - before); i < frames.size(); ++i)
            if (frames[i].rfind("(01$0284", 0) == 0) {
                ++gains;
                lastGain = frames[i];
            }
        std::printf("%s: a 300-move drag over 0.9 s: %d frames sent, last value last: %s\n", how, gains,
                    lastGain == last ? "yes" : "no");
        link.Disconnect();
    }

    {
        // A processor that falls silent and answers again at a random moment of the probe interval:
        // from its first possible answer until the link has it back.
        LinkedProcessor rig(5, false);
        DeviceLink& link = rig.link;
        std::atomic<bool> lost{false}, back{false};
        WorkerCallbacks cb;
        cb.lostDevice = [&](const std::string&) { lost = true; };
        cb.answered = [&](const std::string&) { back = lost.load(); };
        link.SetCallbacks(cb);
        link.Connect(false, {});
        std::vector<double> returns;
        for (int round = 0; round < (quick ? 2 : 6); ++round) {
            sim::SimFaults silent;
            silent.muteAfter = 1;
            rig.processor.server.SetFaults(silent);
            while (!lost) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            std::this_thread::sleep_for(std::chrono::milliseconds(150 + 370 * round));
            back = false;
            const auto answering = Clock::now();
            rig.processor.server.SetFaults({});
            while (!back) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            returns.push_back(Ms(Clock::now() - answering));
            lost = false;
        }
        std::sort(returns.begin(), returns.end());
        std::printf(
            "reconnect after the processor answers again (%zu rounds): median %.0f ms, worst %.0f ms\n",
            returns.size(), returns[returns.size() / 2], returns.back());
        link.Disconnect();
    }

    {
        // The processor runs in this process too, so its own share is measured apart and taken off.
        LinkedProcessor rig(3, false);
        DeviceLink& link = rig.link;
        link.Connect(false, {});
        const int seconds = quick ? 5 : 30;
        const double cpu0 = CpuSeconds();
        const auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        const double cpu = CpuSeconds() - cpu0;
        const double wall = Ms(Clock::now() - start) / 1000;
        std::printf(
            "connected and idle for %.0f s (worker and virtual processor together): %.2f %% of a core\n",
            wall, 100 * cpu / wall);
        link.Disconnect();
    }
    return 0;
}
