// Figures of the command-line tool against a virtual processor paced at 38400 baud on a pseudo-terminal,
// with the device's own waits: a 20-line set-up script in one connection, and single commands, each
// with its own scan, connection and read-back; and the set-up report of a full set-up, HTML and PDF.
// Usage: quellmarin-cli-figures
#include "cli/Cli.h"
#include "core/panel/ReportTestSupport.h"
#include "panel/SetupReport.h"
#include "model/ParameterFile.h"
#ifdef QUELLMARIN_HAS_PDF
#include "graph/ReportPdf.h"
#endif

#include "PacedProcessor.h"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace quellmarin;
using Clock = std::chrono::steady_clock;

namespace {

// The 2-way active loudspeaker of the README, and a little more, in 20 lines.
constexpr const char* kScript = R"(set name in A "Main L"
set link out 1,1,3,3,5,6,7,8
set route out 1 in A
set route out 3 in A
set name out 1 "Low"
set name out 3 "High"
set out 1 xover lp lr24 1.2k
set out 1 xover hp bw12 35
set out 3 xover hp lr24 1.2k
set out 3 delay 0.25ms
set out 3 gain -4
set out 3 polarity inverted
set out 1 peq on
set out 1 peq 1 peaking 60 3 1.4
set out 1 peq 2 notch 180 4
set out 3 peq on
set out 3 peq 1 hi-shelf 8k -2
set out 1 limit 12
set out 3 limit 8
set in A comp threshold 10 attack 5 release 330 ratio 2
)";

struct Timed {
    int code;
    double ms;
    std::string err;
};

Timed RunTool(const std::vector<std::string>& args) {
    cli::Environment env;
    env.includeHardware = false;
    env.progressOnTerminal = false;
    std::ostringstream out, err;
    const auto start = Clock::now();
    const int code = cli::Run(args, out, err, env);
    return {code, std::chrono::duration<double, std::milli>(Clock::now() - start).count(), err.str()};
}

} // namespace

int main() {
    Processor paced(7, true);
    const std::string port = paced.pty.SlavePath();
    const auto dir = std::filesystem::temp_directory_path() / "quellmarin-cli-figures";
    std::filesystem::create_directories(dir);
    const std::string script = (dir / "two-way.txt").string();
    std::ofstream(script) << kScript;

    const Timed scan = RunTool({"--port", port, "--id", "7", "scan"});
    const Timed one = RunTool({"--port", port, "--id", "7", "set", "out", "2", "gain", "-3"});
    const Timed all = RunTool({"--port", port, "--id", "7", "-f", script});
    if (scan.code != 0 || one.code != 0 || all.code != 0) {
        std::printf("failed: %s%s%s\n", scan.err.c_str(), one.err.c_str(), all.err.c_str());
        return 1;
    }
    std::printf("scan of the one port for ID 7: %.0f ms\n", scan.ms);
    std::printf("one set command (scan, connection, frame, read-back, end): %.0f ms\n", one.ms);
    std::printf("20-line script in one connection: %.0f ms, %.0f ms a line beyond the connection\n", all.ms,
                (all.ms - one.ms) / 19);

    const std::string file = (dir / "two-way.asc").string();
    SaveParameterFile(file, DefaultSystemParameters(), DefaultDeviceInfo());
    const Timed offline = RunTool({"--file", file, "-f", script});
    std::printf("the same script on a parameter file: %.1f ms\n", offline.ms);

    // The report of a set-up with every channel at work, best of five.
    const SystemParameters busy = test::BusySetup();
    const auto best = [](auto f) {
        double ms = 1e9;
        for (int i = 0; i < 5; ++i) {
            const auto start = Clock::now();
            f();
            ms = std::min(ms, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        return ms;
    };
    const std::string html = (dir / "report.html").string();
    const double htmlMs = best([&] {
        WriteFileAtomically(html,
                            SetupReportHtml(BuildSetupReport(busy, DefaultDeviceInfo(), DeviceModel::Mivon)));
    });
    std::printf("report of a full set-up: HTML %.1f ms, %.0f KiB\n", htmlMs,
                static_cast<double>(std::filesystem::file_size(html)) / 1024);
#ifdef QUELLMARIN_HAS_PDF
    EnsureGuiForReports();
    const std::string pdf = (dir / "report.pdf").string();
    int pages = 0;
    const double pdfMs = best([&] {
        pages = WriteReportPdf(BuildSetupReport(busy, DefaultDeviceInfo(), DeviceModel::Mivon), pdf);
    });
    std::printf("report of a full set-up: PDF %.1f ms, %.0f KiB, %d pages\n", pdfMs,
                static_cast<double>(std::filesystem::file_size(pdf)) / 1024, pages);
#endif
    std::filesystem::remove_all(dir);
    return offline.code;
}
