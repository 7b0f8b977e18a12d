// Figures of the windowed program holding a rig (run with QT_QPA_PLATFORM=offscreen or under Xvfb):
// eight virtual processors on the virtual line connected at once, the meter refresh each one's row of
// the rig view gets, a group mute of all eight until the last has it, and the resident memory.
// Usage: quellmarin-rig-window-figures
#include "edit/MuteEditor.h"
#include "shell/MainFrame.h"
#include "widgets/Theme.h"

#include "QtFigures.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <map>

using namespace quellmarin;

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    QApplication qapp(argc, argv);
    qapp.setStyleSheet(ui::StyleSheet());
    ui::CQuellmarinApp app;
    app.SetIncludeHardware(false);
    app.StartVirtualProcessor(1);
    ui::CMainFrame frame(app);
    frame.show();
    constexpr int kUnits = 8;
    app.SetVirtualCount(kUnits);
    app.StartScan();
    if (!QTest::qWaitFor([&] { return app.State() == LinkState::NotConnected && app.LastScan().lines.size() == kUnits; },
                         20000)) {
        std::printf("the scan did not find %d processors\n", kUnits);
        return 1;
    }
    QElapsedTimer connecting;
    connecting.start();
    for (int id = 1; id <= kUnits; ++id) {
        char line[32];
        std::snprintf(line, sizeof line, "Device.....%02d", id);
        app.Select(line);
        app.StartConnect(false);
        if (!QTest::qWaitFor([&] { return app.GetRig().Size() == std::size_t(id) && !app.Joining() && app.Connected(); },
                             20000)) {
            std::printf("processor %d did not connect\n", id);
            return 1;
        }
    }
    std::printf("%d processors on one line connected (each read whole) in %.2f s\n", kUnits,
                connecting.elapsed() / 1000.0);

    std::map<int, int> frames;
    QObject::connect(&app, &ui::CQuellmarinApp::unitLevels, [&](int unit, const LevelFrame&) { ++frames[unit]; });
    constexpr int kWindowMs = 10000;
    RunFor(kWindowMs);
    int fewest = 1 << 30, most = 0;
    for (int u = 0; u < kUnits; ++u) {
        fewest = std::min(fewest, frames[u]);
        most = std::max(most, frames[u]);
    }
    std::printf("meter refresh per processor in the rig view over %d s: %.1f to %.1f Hz\n", kWindowMs / 1000,
                fewest * 1000.0 / kWindowMs, most * 1000.0 / kWindowMs);

    std::vector<std::size_t> all;
    for (std::size_t u = 0; u < kUnits; ++u) all.push_back(u);
    app.SetGroup(all);
    QElapsedTimer mute;
    mute.start();
    MuteEditor(app.Context()).Set({Section::Output, 2}, true);
    const auto devices = app.VirtualDevices();
    const bool arrived = QTest::qWaitFor(
        [&] {
            return std::all_of(devices.begin(), devices.end(),
                               [](sim::VirtualProcessor* d) { return d->Parameters().OutCH[2].Mute == 1; });
        },
        5000);
    std::printf("group mute of %d processors on one line until the last has it: %s%lld ms\n", kUnits,
                arrived ? "" : "not all within ", static_cast<long long>(mute.elapsed()));
    std::printf("resident memory of the program with %d processors connected: %.1f MiB\n", kUnits,
                ResidentKb() / 1024.0);
    app.Shutdown();
    return 0;
}
