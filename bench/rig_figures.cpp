// Figures of a rig on real pseudo-terminals paced at the device's 38400 baud, with the device's own
// waits: the meter refresh of each processor (eight on one line, four on four lines), the time a
// group mute takes to reach every processor (eight on one line, eight on eight lines), opening a show
// file of eight and comparing it against the processors next to reading them alone, and the memory
// of the whole process with eight processors connected.
#include "edit/MuteEditor.h"
#include "edit/RecordDiff.h"
#include "link/RigLink.h"
#include "session/Rig.h"
#include "session/RigFile.h"
#include "sim/PseudoTerminal.h"
#include "sim/SimServer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace quellmarin;
using Clock = std::chrono::steady_clock;

namespace {

// Processors on lines: `perLine` IDs 1..perLine on each of `lines` pseudo-terminals.
struct Bench {
    struct Line {
        sim::PseudoTerminal pty;
        std::deque<sim::VirtualProcessor> devices;
        std::unique_ptr<sim::SimServer> server;
    };
    std::deque<Line> lines;
    SystemPortProvider provider;
    std::mutex mutex;
    std::map<std::pair<std::string, std::string>, int> frames;
    std::unique_ptr<RigLink> link;
    Rig rig;
    std::vector<sim::VirtualProcessor*> devices;

    Bench(int lineCount, int perLine) {
        for (int l = 0; l < lineCount; ++l) {
            Line& line = lines.emplace_back();
            std::vector<sim::VirtualProcessor*> all;
            for (int id = 1; id <= perLine; ++id) {
                all.push_back(&line.devices.emplace_back(id, DeviceModel::Mivon));
                devices.push_back(all.back());
            }
            line.server = std::make_unique<sim::SimServer>(all, line.pty.TakeMaster(), sim::SimFaults{}, true);
            line.server->Start();
        }
        RigLink::Events ev;
        ev.levels = [this](const std::string& port, const LevelFrame& f) {
            std::lock_guard lock(mutex);
            ++frames[{port, f.address}];
        };
        link = std::make_unique<RigLink>(provider, DeviceModel::Mivon, LinkTimings{}, ev);
    }
    // Connects every processor by reading it; false when one fails.
    bool ConnectAll() {
        for (Line& line : lines)
            for (sim::VirtualProcessor& d : line.devices) {
                const std::size_t u = rig.Add("", line.pty.SlavePath(), d.DeviceId(), DeviceModel::Mivon);
                const ConnectOutcome c = link->Connect(line.pty.SlavePath(), d.DeviceId(), false, {});
                if (!c.connected) return false;
                rig.At(u).ReplaceRecords(c.params, c.info);
                rig.At(u).SetPost([this, port = line.pty.SlavePath()](std::string f) { link->Post(port, std::move(f)); });
            }
        return true;
    }
    int Frames(std::size_t u) {
        std::lock_guard lock(mutex);
        return frames[{rig.At(u).Port(), rig.At(u).Address()}];
    }
};

// The lowest meter refresh of any processor, in frames a second, over `seconds`.
double LowestMeterRate(Bench& b, double seconds) {
    std::vector<int> before;
    for (std::size_t u = 0; u < b.rig.Size(); ++u) before.push_back(b.Frames(u));
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    double lowest = 1e9;
    for (std::size_t u = 0; u < b.rig.Size(); ++u) lowest = std::min(lowest, (b.Frames(u) - before[u]) / seconds);
    return lowest;
}

// The median time from a group mute (or unmute) until every processor holds it, in ms.
double GroupMuteMs(Bench& b, int rounds) {
    std::vector<std::size_t> all;
    for (std::size_t u = 0; u < b.rig.Size(); ++u) all.push_back(u);
    b.rig.SetGroup(all);
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        const bool on = i % 2 == 0;
        const auto start = Clock::now();
        b.rig.Edit("Output 3 mute", [on](EditContext& ctx, std::size_t) {
            MuteEditor(ctx).Set({Section::Output, 2}, on);
            return std::string();
        });
        const auto deadline = start + std::chrono::seconds(5);
        for (;;) {
            const bool held = std::all_of(b.devices.begin(), b.devices.end(), [on](sim::VirtualProcessor* d) {
                return d->Parameters().OutCH[2].Mute == (on ? 1 : 0);
            });
            if (held || Clock::now() > deadline) break;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

long RssKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

} // namespace

int main() {
    {
        Bench b(1, 8);
        if (!b.ConnectAll()) return std::fprintf(stderr, "eight on one line: a connection failed\n"), 1;
        std::printf("meter refresh, 8 processors on one line: lowest %.1f Hz per processor\n", LowestMeterRate(b, 4));
        std::printf("group mute, 8 processors on one line: median %.0f ms to reach all\n", GroupMuteMs(b, 10));
        std::printf("memory with 8 processors connected (and their virtual processors): %ld KiB\n", RssKiB());

        // A show file of the eight, opened and compared with the processors, next to reading them.
        const auto file = std::filesystem::temp_directory_path() / "quellmarin-rig-figures.json";
        if (!SaveRigFile(file, b.rig.Members()).empty()) return 1;
        b.link->Shutdown();
        const auto readAll = [&](const std::vector<RigMember>* compareWith) {
            RigLink again(b.provider, DeviceModel::Mivon, LinkTimings{});
            std::size_t differences = 0;
            for (std::size_t u = 0; u < b.rig.Size(); ++u) {
                const ConnectOutcome c = again.Connect(b.rig.At(u).Port(), b.rig.Id(u), false, {});
                if (!c.connected) return -1.0;
                if (compareWith)
                    differences += DiffFrames((*compareWith)[u].params, ParametersFromBytes(*c.params),
                                              b.rig.At(u).Address(), DeviceModel::Mivon)
                                       .frames.size();
            }
            return static_cast<double>(differences);
        };
        auto start = Clock::now();
        if (readAll(nullptr) < 0) return 1;
        const double reads = Seconds(start);
        start = Clock::now();
        const RigRead opened = OpenRigFile(file);
        if (!opened.ok() || readAll(&*opened.members) != 0) return 1;
        const double compare = Seconds(start);
        std::filesystem::remove(file);
        std::printf("show file of 8: open and compare %.2f s, eight reads %.2f s (%.2fx)\n", compare, reads,
                    compare / reads);
    }
    {
        Bench b(8, 1);
        if (!b.ConnectAll()) return std::fprintf(stderr, "eight lines: a connection failed\n"), 1;
        std::printf("group mute, 8 processors on 8 lines: median %.0f ms to reach all\n", GroupMuteMs(b, 10));
    }
    {
        Bench b(4, 1);
        if (!b.ConnectAll()) return std::fprintf(stderr, "four lines: a connection failed\n"), 1;
        std::printf("meter refresh, 4 processors on 4 lines: lowest %.1f Hz per processor\n", LowestMeterRate(b, 4));
    }
    return 0;
}
