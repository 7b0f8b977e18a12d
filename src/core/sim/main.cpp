// quellmarin-sim: a virtual processor on a pseudo-terminal, or behind a network port of its own
// (--tcp ADDRESS:PORT, raw or with --rfc2217 as Telnet); with --ids 1,2,3,4 several processors share
// one pseudo-terminal as units on one line do, each answering only its own address. Prints the port's name on its first line and
// answers until it is interrupted or its standard input closes.
#include "sim/NetworkSimServer.h"
#include "sim/PseudoTerminal.h"
#include "sim/SimServer.h"

#include <algorithm>
#include <charconv>
#include <csignal>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <vector>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quellmarin;

namespace {

volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) {
    g_stop = 1;
}

int Usage(const std::string& why) {
    std::cerr << why
              << "\nusage: quellmarin-sim [--id N | --ids N,N,...] [--model Mivon|Ketra] [--pace] [--faults LIST]"
                 " [--log FILE] [--state FILE] [--tcp ADDRESS:PORT [--rfc2217]]\n"
                 "  LIST: drop=P,garble=P,slow=MS,mute_after=N,short_q,hangup_q,lose=P,lose_p=N,ignore=CODE,seed=N\n"
                 "  --tcp 127.0.0.1:0 listens on a port the system picks; the first line names it\n"
                 "  --ids: several processors on one pseudo-terminal; --state FILE keeps each in FILE.ID\n";
    return 2;
}

// "1,2,3,4": distinct device IDs of 1 to 50; nothing when the list is not that.
std::optional<std::vector<int>> ParseIds(std::string_view text) {
    std::vector<int> ids;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        int id = 0;
        const auto [p, ec] = std::from_chars(item.data(), item.data() + item.size(), id);
        if (item.empty() || ec != std::errc() || p != item.data() + item.size() || id < 1 || id > 50)
            return std::nullopt;
        if (std::find(ids.begin(), ids.end(), id) != ids.end()) return std::nullopt;
        ids.push_back(id);
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
        if (text.empty()) return std::nullopt;
    }
    if (ids.empty()) return std::nullopt;
    return ids;
}

} // namespace

int main(int argc, char** argv) {
    int id = 1;
    std::vector<int> ids;
    DeviceModel model = kBuildModel;
    bool pace = false;
    sim::SimFaults faults;
    std::string logPath, statePath, listenAt;
    bool telnet = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (a == "--id") {
            const char* v = value();
            if (!v) return Usage("--id needs a value");
            const std::string_view s(v);
            const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), id);
            if (ec != std::errc() || p != s.data() + s.size() || id < 1 || id > 50)
                return Usage("--id takes 1 to 50");
        } else if (a == "--ids") {
            const char* v = value();
            const auto parsed = v ? ParseIds(v) : std::nullopt;
            if (!parsed) return Usage("--ids takes distinct device IDs of 1 to 50, as in 1,2,3,4");
            ids = *parsed;
        } else if (a == "--model") {
            const char* v = value();
            const auto m = v ? ParseModelName(v) : std::nullopt;
            if (!m) return Usage("--model takes Mivon or Ketra");
            model = *m;
        } else if (a == "--pace") {
            pace = true;
        } else if (a == "--faults") {
            const char* v = value();
            std::string error;
            const auto f = v ? sim::ParseFaults(v, error) : std::nullopt;
            if (!f) return Usage(v ? error : "--faults needs a value");
            faults = *f;
        } else if (a == "--log") {
            const char* v = value();
            if (!v) return Usage("--log needs a file");
            logPath = v;
        } else if (a == "--state") {
            const char* v = value();
            if (!v) return Usage("--state needs a file");
            statePath = v;
        } else if (a == "--tcp") {
            const char* v = value();
            if (!v) return Usage("--tcp needs ADDRESS:PORT, for example 127.0.0.1:0");
            listenAt = v;
        } else if (a == "--rfc2217") {
            telnet = true;
        } else {
            return Usage("unknown argument " + a);
        }
    }

    if (telnet && listenAt.empty()) return Usage("--rfc2217 goes with --tcp ADDRESS:PORT");
    if (ids.size() > 1 && !listenAt.empty()) return Usage("--ids with several IDs serves a pseudo-terminal, not --tcp");
    if (ids.empty()) ids.push_back(id);
    std::string host;
    int port = 0;
    if (!listenAt.empty()) {
        const std::size_t colon = listenAt.rfind(':');
        const std::string_view number =
            colon == std::string::npos ? std::string_view{} : std::string_view(listenAt).substr(colon + 1);
        const auto [p, ec] = std::from_chars(number.data(), number.data() + number.size(), port);
        if (colon == std::string::npos || ec != std::errc() || p != number.data() + number.size() || port < 0 ||
            port > 65535)
            return Usage("--tcp takes ADDRESS:PORT with a port of 0 to 65535");
        host = listenAt.substr(0, colon);
        if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    }

    std::vector<std::unique_ptr<sim::VirtualProcessor>> devices;
    const auto stateOf = [&](int deviceId) {
        return ids.size() > 1 ? statePath + "." + std::to_string(deviceId) : statePath;
    };
    for (int deviceId : ids) {
        devices.push_back(std::make_unique<sim::VirtualProcessor>(deviceId, model));
        if (!statePath.empty()) devices.back()->LoadState(stateOf(deviceId));
    }
    sim::VirtualProcessor& device = *devices.front();
    std::ofstream log;
    if (!logPath.empty()) log.open(logPath, std::ios::app);
    std::ostream* logStream = log.is_open() ? &log : nullptr;
    std::unique_ptr<sim::SimServer> server;
    std::unique_ptr<sim::NetworkSimServer> network;
    sim::PseudoTerminal pty;
    if (!listenAt.empty()) {
        network = std::make_unique<sim::NetworkSimServer>(device, telnet, faults, pace, logStream);
        std::string error;
        if (!network->Listen(host, port, error)) {
            std::cerr << "quellmarin-sim: " << error << "\n";
            return 1;
        }
        std::cout << network->PortName() << std::endl;
    } else {
        if (!pty.ok()) {
            std::cerr << "cannot create a pseudo-terminal\n";
            return 1;
        }
        std::vector<sim::VirtualProcessor*> onLine;
        for (const auto& d : devices) onLine.push_back(d.get());
        server = std::make_unique<sim::SimServer>(std::move(onLine), pty.TakeMaster(), faults, pace, logStream);
        server->Start();
        std::cout << pty.SlavePath() << std::endl;
    }

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    // Standard input closing (the parent went away) ends the processor too, when it is a pipe.
    struct stat in {};
    const bool watchStdin = ::fstat(0, &in) == 0 && S_ISFIFO(in.st_mode);
    while (!g_stop) {
        pollfd p{0, POLLIN, 0};
        if (watchStdin && ::poll(&p, 1, 200) > 0) {
            char c;
            if (::read(0, &c, 1) <= 0) break;
        } else if (!watchStdin) {
            ::usleep(200000);
        }
    }
    if (server) server->Stop();
    if (network) network->Stop();
    if (!statePath.empty())
        for (const auto& d : devices) d->SaveState(stateOf(d->DeviceId()));
    return 0;
}
