// Figures of the read-back that confirms edits (run with QT_QPA_PLATFORM=offscreen):
// - a burst of 8 input mutes, 36 gain steps and 9 routing crosspoints on a line losing 10 % of the
//   frames, against the built-in virtual processor: settings missing on the processor afterwards, with
//   the read-back switched off and on, over several seeds;
// - on a clean line paced at 38400 baud (a virtual processor on a pseudo-terminal): the time from the
//   last edit until a read confirmed it, and how long the meters go without a reading meanwhile.
// Usage: quellmarin-verify-figures [SEEDS]
#include "PacedProcessor.h"
#include "edit/GainEditor.h"
#include "edit/MuteEditor.h"
#include "edit/RouteEditor.h"
#include "shell/QuellmarinApp.h"

#include "QtFigures.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace quellmarin;

namespace {

bool Connect(ui::CQuellmarinApp& app, const std::string& line) {
    app.StartScan();
    if (!QTest::qWaitFor([&] { return app.State() == LinkState::NotConnected && !app.LastScan().lines.empty(); },
                         20000))
        return false;
    app.Select(line);
    app.StartConnect(false);
    return QTest::qWaitFor([&] { return app.Connected(); }, 10000);
}

int Missing(const SystemParameters& program, const SystemParameters& device) {
    int n = 0;
    for (int k = 0; k < 8; ++k) n += (program.InCH[k].Mute != device.InCH[k].Mute) + (program.InCH[k].Gain != device.InCH[k].Gain);
    for (int out = 0; out < 8; ++out) {
        bool differs = false;
        for (int in = 0; in < 8; ++in) differs = differs || program.OutCH[out].Route[in] != device.OutCH[out].Route[in];
        n += differs;
    }
    return n;
}

// The burst on one seed; the settings still missing `waitMs` after its last edit.
int Burst(bool verify, unsigned seed, int waitMs, int& named) {
    ui::CQuellmarinApp app(DeviceModel::Mivon);
    app.SetIncludeHardware(false);
    app.StartVirtualProcessor(1);
    app.SetVerifyEdits(verify);
    if (!Connect(app, "Device.....01")) return -1;
    QObject::connect(&app, &ui::CQuellmarinApp::editsNotConfirmed,
                     [&named](const QStringList& missing, bool) { named = static_cast<int>(missing.size()); });
    sim::SimFaults lossy;
    lossy.lose = 0.1;
    lossy.seed = seed;
    app.SetVirtualFaults(lossy);
    MuteEditor mutes(app.Context());
    GainEditor gains(app.Context(), Section::Input);
    RouteEditor routes(app.Context());
    for (int k = 0; k < 8; ++k) {
        mutes.Toggle({Section::Input, k});
        RunFor(30);
    }
    for (int step = 0; step < 36; ++step) {
        gains.StepDown(step % 8);
        RunFor(10);
    }
    for (int k = 0; k < 9; ++k) {
        routes.Toggle(k % 8, (k * 3 + 1) % 8);
        RunFor(20);
    }
    RunFor(waitMs);
    const int missing = Missing(app.Params(), app.VirtualDevice()->Parameters());
    app.Shutdown();
    return missing;
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    QApplication qapp(argc, argv);
    const int seeds = argc > 1 ? std::atoi(argv[1]) : 10;

    for (const bool verify : {false, true}) {
        int total = 0, worst = 0, runs = 0, namedTotal = 0;
        for (int seed = 1; seed <= seeds; ++seed) {
            int named = 0;
            const int missing = Burst(verify, static_cast<unsigned>(seed), verify ? 10000 : 3000, named);
            if (missing < 0) continue;
            ++runs;
            total += missing;
            namedTotal += named;
            worst = std::max(worst, missing);
        }
        std::printf("lossy burst (10 %% of frames lost), read-back %s: %d of %d settings missing in all over %d "
                    "runs (worst run %d of 25); %d named in a warning\n",
                    verify ? "on, 10 s after" : "off, 3 s after", total, 25 * runs, runs, worst, namedTotal);
    }

    // A clean line at the device's speed.
    Processor paced(1, true);
    ui::CQuellmarinApp app(DeviceModel::Mivon);
    app.SetIncludeHardware(false);
    app.SetUserPorts({paced.pty.SlavePath()});
    if (!Connect(app, "Device.....01")) {
        std::printf("could not connect to the paced processor\n");
        return 1;
    }
    std::vector<qint64> levelTimes;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&app, &ui::CQuellmarinApp::levelsArrived, [&] { levelTimes.push_back(clock.elapsed()); });
    RunFor(3000);
    std::vector<qint64> idleGaps;
    for (std::size_t i = 1; i < levelTimes.size(); ++i) idleGaps.push_back(levelTimes[i] - levelTimes[i - 1]);
    std::sort(idleGaps.begin(), idleGaps.end());

    std::vector<double> toVerified;
    std::vector<qint64> worstGaps;
    MuteEditor mutes(app.Context());
    for (int i = 0; i < 10; ++i) {
        levelTimes.clear();
        mutes.Toggle({Section::Output, i % 8});
        const qint64 edited = clock.elapsed();
        (void)QTest::qWaitFor([&] { return !app.Verifier().Unconfirmed(); }, 10000);
        const qint64 verified = clock.elapsed();
        toVerified.push_back(static_cast<double>(verified - edited));
        RunFor(300);
        qint64 worst = 0;
        for (std::size_t k = 1; k < levelTimes.size(); ++k) worst = std::max(worst, levelTimes[k] - levelTimes[k - 1]);
        worstGaps.push_back(worst);
        RunFor(2500);
    }
    std::sort(toVerified.begin(), toVerified.end());
    std::sort(worstGaps.begin(), worstGaps.end());
    std::printf("clean paced line: last edit to verified, 10 edits: median %.0f ms, worst %.0f ms\n",
                toVerified[toVerified.size() / 2], toVerified.back());
    std::printf("meters: %zu readings idle, median gap %lld ms; longest gap around a verification: median %lld "
                "ms, worst %lld ms\n",
                idleGaps.size() + 1, idleGaps.empty() ? 0LL : static_cast<long long>(idleGaps[idleGaps.size() / 2]),
                static_cast<long long>(worstGaps[worstGaps.size() / 2]), static_cast<long long>(worstGaps.back()));
    app.Shutdown();
    return 0;
}
