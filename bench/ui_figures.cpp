// Figures of the windowed program (run with QT_QPA_PLATFORM=offscreen or under Xvfb): resident memory
// after connecting to the built-in virtual processor, CPU use while connected and idle, and the time
// to repaint both meter strips. Usage: quellmarin-ui-figures [--quick]
#include "app/MainFrame.h"
#include "app/Theme.h"
#include "app/Widgets.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>

using namespace quellmarin;

namespace {
long ResidentKb() {
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}
double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
} // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    QApplication qapp(argc, argv);
    qapp.setStyleSheet(ui::StyleSheet());
    ResetDefaults();
    ui::CQuellmarinApp app;
    app.SetIncludeHardware(false);
    app.StartVirtualProcessor(1);
    ui::CMainFrame frame(app);
    frame.show();
    app.Link().Scan();
    app.Link().Select("Device.....01");
    app.StartConnect(false);
    if (!QTest::qWaitFor([&] { return app.Connected(); }, 5000)) {
        std::printf("could not connect\n");
        return 1;
    }
    QTest::qWait(1000);
    std::printf("resident memory after connecting: %.1f MiB\n", ResidentKb() / 1024.0);

    const int seconds = quick ? 5 : 30;
    const double cpu0 = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(seconds * 1000);
    std::printf("connected and idle, meters polling, %d s: %.2f %% of a core (program and virtual processor)\n",
                seconds, 100 * (CpuSeconds() - cpu0) / (wall.elapsed() / 1000.0));

    auto* in = frame.Page()->InputMeters();
    auto* out = frame.Page()->OutputMeters();
    QElapsedTimer t;
    t.start();
    const int rounds = 300;
    for (int i = 0; i < rounds; ++i) {
        in->repaint();
        out->repaint();
    }
    std::printf("repaint of both meter strips: %.3f ms (%dx%d and %dx%d pixels)\n", t.nsecsElapsed() / 1e6 / rounds,
                in->width(), in->height(), out->width(), out->height());
    app.StartDisconnect();
    QTest::qWaitFor([&] { return !app.Connected(); }, 3000);
    return 0;
}
