// Seeded fault runs of the command-line tool against a virtual processor on a pseudo-terminal that
// loses a share of the frames: downloads with and without --retry, and single set commands. Each run
// ends confirmed or with a failure; the failures are counted by the message that names their step. The
// panel lock and the generator are checked in the device information, which a settings read-back does
// not hold.
// Usage: quellmarin-fault-figures [LOSS [info]]   (LOSS: the share of frames lost, 0.2 by default;
// "info": only the lock and generator runs)
#include "cli/Cli.h"
#include "model/ParameterFile.h"
#include "sim/PseudoTerminal.h"
#include "sim/SimServer.h"
#include "sim/VirtualProcessor.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

using namespace quellmarin;

namespace {

struct Tally {
    int confirmed = 0, falseSuccess = 0;
    std::map<std::string, int> failed; // by the last line the tool said
};

std::string LastLine(const std::string& text) {
    std::string t = text;
    while (!t.empty() && t.back() == '\n') t.pop_back();
    const std::size_t nl = t.rfind('\n');
    return nl == std::string::npos ? t : t.substr(nl + 1);
}

template <class Check>
Tally Runs(int count, sim::SimFaults faults, const std::vector<std::string>& args, const SystemParameters& start,
           Check holds) {
    Tally tally;
    for (int seed = 1; seed <= count; ++seed) {
        faults.seed = static_cast<unsigned>(seed);
        sim::PseudoTerminal pty;
        sim::VirtualProcessor device(7, DeviceModel::Mivon);
        device.SetParameters(start);
        sim::SimServer server(device, pty.TakeMaster(), faults);
        server.Start();
        std::vector<std::string> full = {"--port", pty.SlavePath(), "--id", "7"};
        full.insert(full.end(), args.begin(), args.end());
        cli::Environment env;
        env.timings = LinkTimings::Fast();
        env.includeHardware = false;
        env.progressOnTerminal = false;
        std::ostringstream out, err;
        const int code = cli::Run(full, out, err, env);
        server.Stop();
        const bool held = holds(device);
        if (code == 0) {
            ++tally.confirmed;
            if (!held) ++tally.falseSuccess;
        } else {
            ++tally.failed[LastLine(err.str())];
        }
    }
    return tally;
}

void Print(const char* what, int count, const Tally& t) {
    std::printf("%s: %d of %d confirmed, %d false successes\n", what, t.confirmed, count, t.falseSuccess);
    for (const auto& [message, n] : t.failed) std::printf("    %3d  %s\n", n, message.c_str());
}

} // namespace

int main(int argc, char** argv) {
    const double loss = argc > 1 ? std::atof(argv[1]) : 0.2;
    const auto dir = std::filesystem::temp_directory_path() / ("quellmarin-faults-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    SystemParameters sent = DefaultSystemParameters(DeviceModel::Mivon);
    sent.InCH[2].Gain = 171;
    sent.OutCH[5].Gain = 150;
    SetProgramName(sent, "Fault runs");
    const std::string file = (dir / "sent.asc").string();
    SaveParameterFile(file, sent, DefaultDeviceInfo(DeviceModel::Mivon));
    const SystemParameters old = DefaultSystemParameters(DeviceModel::Mivon);
    const auto isSent = [&](const sim::VirtualProcessor& d) { return d.Parameters() == sent; };
    const auto gainSet = [](const sim::VirtualProcessor& d) { return d.Parameters().OutCH[2].Gain == 169; };
    const auto locked = [](const sim::VirtualProcessor& d) { return d.Info().PanelLock == 1; };
    const auto toneOn = [](const sim::VirtualProcessor& d) {
        const DeviceInfoRecord i = d.Info();
        return i.GenRun == 1 && i.GenFreq == 69 && i.GenLevel == 141; // 1 kHz at -20 dB
    };

    for (const bool replies : {false, true}) {
        sim::SimFaults f;
        (replies ? f.drop : f.lose) = loss;
        std::printf("== %.0f %% of the %s lost\n", loss * 100, replies ? "replies" : "frames to the processor");
        if (argc > 2 && std::string(argv[2]) == "info") {
            Print("set lock on", 55, Runs(55, f, {"set", "lock", "on"}, old, locked));
            Print("generator on 1k -20", 55, Runs(55, f, {"generator", "on", "1k", "-20"}, old, toneOn));
            continue;
        }
        Print("download", 80, Runs(80, f, {"download", file}, old, isSent));
        Print("download --retry 3", 40, Runs(40, f, {"download", file, "--retry", "3"}, old, isSent));
        Print("set out 3 gain -6", 20, Runs(20, f, {"set", "out", "3", "gain", "-6"}, old, gainSet));
        Print("set lock on", 55, Runs(55, f, {"set", "lock", "on"}, old, locked));
        Print("generator on 1k -20", 55, Runs(55, f, {"generator", "on", "1k", "-20"}, old, toneOn));
    }
    std::filesystem::remove_all(dir);
    return 0;
}
