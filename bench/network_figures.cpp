// Figures of network ports: the upload connection and the forty program names through a real
// ser2net (raw TCP and RFC 2217) against the same over the pseudo-terminal itself, the processor
// answering at 38400 baud; and a scan of four local ports with one network port that never answers.
// Everything runs on loopback. Usage: quellmarin-network-figures [RUNS]
#include "edit/ProgramExchange.h"
#include "link/DeviceLink.h"
#include "link/Discovery.h"
#include "sim/NetworkSimServer.h"
#include "sim/PseudoTerminal.h"
#include "sim/SimServer.h"
#include "sim/VirtualProcessor.h"

#include "core/link/NetworkTestSupport.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <vector>

using namespace quellmarin;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct PacedProcessor {
    explicit PacedProcessor(int id) : device(id, DeviceModel::Mivon), server(device, pty.TakeMaster(), {}, true) {
        server.Start();
    }
    sim::PseudoTerminal pty;
    sim::VirtualProcessor device;
    sim::SimServer server;
};

struct Figures {
    double connect = 0, names = 0;
};

Figures Measure(const std::string& port, int runs) {
    Figures f;
    SystemPortProvider provider;
    DeviceLink link(provider);
    link.SetCatalog({port});
    link.Select(Selection{"07", port, 1, 7});
    std::vector<double> connects, names;
    for (int r = 0; r < runs; ++r) {
        const auto start = Clock::now();
        const ConnectOutcome c = link.Connect(false, {});
        if (!c.connected) {
            std::printf("  %s: %s\n", port.c_str(), c.message.c_str());
            return f;
        }
        connects.push_back(Ms(Clock::now() - start));
        link.Worker().Pause();
        const LinkTimings timings;
        const auto named = Clock::now();
        int answered = 0;
        for (int slot = 1; slot <= kProgramSlots; ++slot)
            answered += link.Worker()
                            .Submit([&](CSerialPort& p) { return QuerySlot(p, "07", slot, timings); })
                            .get()
                            .Usable();
        names.push_back(Ms(Clock::now() - named));
        if (answered != kProgramSlots) std::printf("  %s: %d of 40 names answered\n", port.c_str(), answered);
        link.Worker().Resume();
        link.Disconnect();
    }
    f.connect = Median(connects);
    f.names = Median(names);
    return f;
}

// The whole scan, and when the four local ports had been probed (200 probes counted).
double ScanSeconds(const std::vector<std::string>& ports, double* localProbed = nullptr) {
    SystemPortProvider provider;
    const auto start = Clock::now();
    std::atomic<long long> localDone{0};
    const ScanResult r = ScanPorts(provider, ports, DeviceModel::Mivon, LinkTimings{}, [&](int done, int) {
        if (done == 4 * 50) localDone = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
    });
    const double s = Ms(Clock::now() - start) / 1000;
    if (localProbed) *localProbed = static_cast<double>(localDone.load()) / 1e6;
    std::printf("    (%zu found, %zu ports named with a problem)\n", r.devices.size(), r.problems.size());
    return s;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    if (!test::Ser2net::Installed()) {
        std::fprintf(stderr, "ser2net is not installed (scripts/install-deps --test)\n");
        return 1;
    }
    PacedProcessor baseline(7), processor(7), second(7);
    const int raw = test::FreePort(), telnet = test::FreePort();
    const auto dir = std::filesystem::temp_directory_path() / ("quellmarin-figures-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = processor.pty.SlavePath();
    // Each ser2net connection has a processor of its own: one device shared by two accepters is held
    // by the first for a while after its client has gone.
    const std::string secondPath = second.pty.SlavePath();
    const char* options = std::getenv("QUELLMARIN_SER2NET_OPTIONS");
    const std::string extra = options ? options : "";
    test::Ser2net ser2net((dir / "ser2net.yaml").string(),
                          "%YAML 1.1\n---\nconnection: &raw\n  accepter: tcp,127.0.0.1," + std::to_string(raw) +
                              "\n  connector: serialdev," + path +
                              ",38400n81,local\n  options:\n    mdns: false\n" + extra +
                              "connection: &telnet\n  accepter: telnet(rfc2217),tcp,127.0.0.1," +
                              std::to_string(telnet) + "\n  connector: serialdev," + secondPath +
                              ",9600n81,local\n  options:\n    mdns: false\n" + extra);
    const std::string rawName = "tcp://127.0.0.1:" + std::to_string(raw);
    const std::string telnetName = "rfc2217://127.0.0.1:" + std::to_string(telnet);
    for (int i = 0; i < 500; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(raw));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        if (up) break;
        ::usleep(10000);
    }

    std::printf("median of %d runs, the processor answering at 38400 baud:\n", runs);
    const Figures pty = Measure(baseline.pty.SlavePath(), runs);
    const Figures tcp = Measure(rawName, runs);
    const Figures rfc = Measure(telnetName, runs);
    std::printf("  upload connection: pseudo-terminal %.0f ms, ser2net raw %.0f ms (ratio %.3f), ser2net RFC 2217 "
                "%.0f ms (ratio %.3f)\n",
                pty.connect, tcp.connect, tcp.connect / pty.connect, rfc.connect, rfc.connect / pty.connect);
    std::printf("  forty program names: pseudo-terminal %.0f ms, ser2net raw %.0f ms (ratio %.3f), ser2net RFC "
                "2217 %.0f ms (ratio %.3f)\n",
                pty.names, tcp.names, tcp.names / pty.names, rfc.names, rfc.names / pty.names);

    // The virtual processor's own network port: no server in between, so only the program's own
    // network line differs from the pseudo-terminal.
    for (const bool telnetPort : {false, true}) {
        sim::VirtualProcessor device(7, DeviceModel::Mivon);
        sim::NetworkSimServer own(device, telnetPort, {}, true);
        std::string error;
        if (!own.Listen("127.0.0.1", 0, error)) {
            std::printf("  %s\n", error.c_str());
            continue;
        }
        const Figures f = Measure(own.PortName(), runs);
        std::printf("  the virtual processor's own %s port: upload connection %.0f ms (ratio %.3f), forty names "
                    "%.0f ms (ratio %.3f)\n",
                    telnetPort ? "RFC 2217" : "raw", f.connect, f.connect / pty.connect, f.names, f.names / pty.names);
    }

    PacedProcessor a(1), b(2), c(3), d(4);
    const std::vector<std::string> local = {a.pty.SlavePath(), b.pty.SlavePath(), c.pty.SlavePath(),
                                            d.pty.SlavePath()};
    std::printf("scan, real waits:\n");
    double probedAlone = 0, probedWith = 0;
    const double alone = ScanSeconds(local, &probedAlone);
    std::printf("  four local ports: %.2f s (their 200 probes done after %.2f s)\n", alone, probedAlone);
    test::FullListener hangs;
    std::vector<std::string> withHang = local;
    withHang.push_back("tcp://127.0.0.1:" + std::to_string(hangs.Port()));
    const double hanging = ScanSeconds(withHang, &probedWith);
    std::printf("  four local ports and one network port whose connection never completes: %.2f s (the local "
                "ports' 200 probes done after %.2f s)\n",
                hanging, probedWith);
    test::TestListener silent([](int fd, const std::atomic<bool>& stop) { test::UntilClosed(fd, stop); });
    std::vector<std::string> withSilent = local;
    withSilent.push_back("rfc2217://127.0.0.1:" + std::to_string(silent.Port()));
    std::printf("  four local ports and one Telnet port that never negotiates: %.2f s\n", ScanSeconds(withSilent));
    test::TestListener mute([](int fd, const std::atomic<bool>& stop) { test::UntilClosed(fd, stop); });
    std::vector<std::string> withMute = local;
    withMute.push_back("tcp://127.0.0.1:" + std::to_string(mute.Port()));
    std::printf("  four local ports and one raw port that accepts and never answers: %.2f s\n", ScanSeconds(withMute));
    std::filesystem::remove_all(dir);
    return 0;
}
