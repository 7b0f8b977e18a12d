// Figures of the windowed program (run with QT_QPA_PLATFORM=offscreen or under Xvfb): resident memory
// after connecting to the built-in virtual processor, CPU use while connected and idle, and the time
// to repaint both meter strips. Usage: quellmarin-ui-figures [--quick]
#include "widgets/LevelMeterStrip.h"
#include "shell/MainFrame.h"
#include "widgets/Theme.h"
#include "widgets/Controls.h"
#include "edit/AliasEditor.h"
#include "graph/ResponseGraph.h"
#include "windows/GainPopup.h"

#include <QMouseEvent>
#include <algorithm>
#include <vector>

#include "CpuTime.h"
#include "QtFigures.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstring>

using namespace quellmarin;

namespace {
// A button of the front panel by the name a screen reader says ("Input 1 gain").
QPushButton* StripNamed(const quellmarin::ui::CMainFrame& frame, const QString& name) {
    for (QPushButton* b : frame.findChildren<QPushButton*>())
        if (b->accessibleName() == name) return b;
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    QApplication qapp(argc, argv);
    qapp.setStyleSheet(ui::StyleSheet());
    ui::CQuellmarinApp app;
    app.SetIncludeHardware(false);
    app.StartVirtualProcessor(1);
    ui::CMainFrame frame(app);
    frame.show();
    // Dragging a band on a 1000-pixel-wide graph: rebuild and repaint per pointer move.
    {
        frame.resize(1760, 760);
        QTest::qWait(200);
        ui::ResponseGraph* graph = frame.Page()->Graph();
        app.Params().InCH[0].PeqEnable = 111;
        for (int j = 0; j < 5; ++j)
            app.Params().InCH[0].Peq[j] = {std::uint8_t(1 + j % 5), std::uint8_t(20 + 20 * j), 30, 40};
        frame.Page()->RefreshAll();
        QTest::qWait(50);
        // 300 pointer moves over band 3: the band and the curve rebuilt and the graph repainted each time.
        const auto drag = [&](const char* what) {
            const QPoint start = graph->BandPoint(2).toPoint();
            QTest::mousePress(graph, Qt::LeftButton, {}, start);
            std::vector<double> ms;
            for (int i = 0; i < 300; ++i) {
                const QPointF at(start.x() + (i % 100) * 2 - 100, start.y() + (i % 37) - 18);
                QElapsedTimer t;
                t.start();
                QMouseEvent move(QEvent::MouseMove, at, graph->mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                                 Qt::NoModifier);
                QApplication::sendEvent(graph, &move);
                graph->repaint();
                ms.push_back(t.nsecsElapsed() / 1e6);
            }
            QTest::mouseRelease(graph, Qt::LeftButton, {}, start);
            std::sort(ms.begin(), ms.end());
            std::printf("band drag on a %d-pixel graph %s, rebuild + repaint over 300 moves: median %.2f ms, "
                        "worst %.2f ms\n",
                        graph->Model().Curves().Columns(), what, ms[ms.size() / 2], ms.back());
        };
        drag("alone");
        // With the band's equaliser window open, as a user edits: the window follows every move.
        QTest::mouseClick(StripNamed(frame, "Input 1 equaliser"), Qt::LeftButton);
        QTest::qWait(50);
        drag("with the equaliser window open");
        // A band selected and nothing moving: with the pointer elsewhere, and over the graph, where the
        // selected handle pulses.
        const auto idle = [&](const char* where) {
            const double c0 = CpuSeconds();
            QElapsedTimer w;
            w.start();
            RunFor(quick ? 2000 : 10000);
            std::printf("a band selected, nothing moving, pointer %s: %.2f %% of a core (animation %s)\n", where,
                        100 * (CpuSeconds() - c0) / (w.elapsed() / 1000.0), graph->Animating() ? "on" : "off");
        };
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(graph, &leave);
        idle("elsewhere");
        QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), QPointF(10, 10));
        QApplication::sendEvent(graph, &enter);
        idle("over the graph");
        QApplication::sendEvent(graph, &leave);
        frame.resize(1280, 700);
        for (int i = 0; i < 12; ++i) graph->Model().Band(i).selected = false;
        ResetDefaults(app.Params(), app.Info(), app.Model());
        frame.Page()->RefreshAll();
    }

    app.StartScan();
    (void)QTest::qWaitFor(
        [&] { return app.State() == LinkState::NotConnected && !app.LastScan().lines.empty(); }, 10000);
    app.Select("Device.....01");
    app.StartConnect(false);
    if (!QTest::qWaitFor([&] { return app.Connected(); }, 5000)) {
        std::printf("could not connect\n");
        return 1;
    }
    QTest::qWait(1000);
    std::printf("resident memory after connecting: %.1f MiB\n", ResidentKb() / 1024.0);

    // A key press on the input gain fader until its frame has reached the processor, meters polling.
    {
        QTest::mouseClick(StripNamed(frame, "Input 1 gain"), Qt::LeftButton);
        auto* popup = frame.Page()->findChild<ui::GainPopup*>("inputGainPopup");
        (void)QTest::qWaitForWindowActive(popup);
        std::vector<double> ms;
        const int presses = quick ? 20 : 100;
        for (int i = 0; i < presses; ++i) {
            const bool up = i % 2 == 0;
            const std::string expected = up ? "(01$0280183)" : "(01$0280181)";
            const std::size_t seen = app.VirtualDevice()->FramesReceived().size();
            QElapsedTimer t;
            t.start();
            QTest::keyClick(popup->Fader(), up ? Qt::Key_Up : Qt::Key_Down);
            (void)QTest::qWaitFor(
                [&] {
                    const auto frames = app.VirtualDevice()->FramesReceived();
                    return frames.size() > seen &&
                           std::find(frames.begin() + static_cast<std::ptrdiff_t>(seen), frames.end(),
                                     expected) != frames.end();
                },
                2000);
            ms.push_back(t.nsecsElapsed() / 1e6);
            QTest::qWait(37 * (i % 7));
        }
        std::sort(ms.begin(), ms.end());
        std::printf(
            "fader key press to the frame at the processor over %d presses: median %.0f ms, worst %.0f ms\n",
            presses, ms[ms.size() / 2], ms.back());
        popup->hide();
    }

    // Leaving an alias field until the name is stored in the processor, as the alias window does it
    // (the poll held, each name an exchange on the worker).
    {
        AliasEditor alias(app.Context());
        auto hold = app.SuspendPoll();
        std::vector<double> ms;
        for (int k = 0; k < AliasEditor::kNames; ++k) {
            const std::string name = "Name " + std::to_string(k + 1);
            QElapsedTimer t;
            t.start();
            if (const auto f = alias.Leave(k, name)) app.SendExchange(*f);
            std::string expected = name;
            expected.resize(15, ' ');
            (void)QTest::qWaitFor(
                [&] {
                    const auto p = app.VirtualDevice()->Parameters();
                    return std::string(p.ChName[k], 15) == expected;
                },
                2000);
            ms.push_back(t.nsecsElapsed() / 1e6);
        }
        std::sort(ms.begin(), ms.end());
        std::printf("leaving an alias field to the name stored in the processor, 16 fields: median %.0f ms, "
                    "worst %.0f ms\n",
                    ms[ms.size() / 2], ms.back());
    }

    const int seconds = quick ? 5 : 30;
    if (frame.Page()->Graph()->Animating()) std::printf("(the handle animation is running)\n");
    const double cpu0 = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    int levelFrames = 0;
    const auto counting = QObject::connect(&app, &ui::CQuellmarinApp::levelsArrived, [&] { ++levelFrames; });
    RunFor(seconds * 1000);
    QObject::disconnect(counting);
    const double elapsed = wall.elapsed() / 1000.0;
    std::printf(
        "connected and idle, meters polling, %d s: %.2f %% of a core (program and virtual processor), meters "
        "refreshed at %.1f Hz\n",
        seconds, 100 * (CpuSeconds() - cpu0) / elapsed, levelFrames / elapsed);

    auto* in = frame.Page()->InputMeters();
    auto* out = frame.Page()->OutputMeters();
    QElapsedTimer t;
    t.start();
    const int rounds = 300;
    for (int i = 0; i < rounds; ++i) {
        in->repaint();
        out->repaint();
    }
    std::printf("repaint of both meter strips: %.3f ms (%dx%d and %dx%d pixels)\n",
                t.nsecsElapsed() / 1e6 / rounds, in->width(), in->height(), out->width(), out->height());
    app.StartDisconnect();
    (void)QTest::qWaitFor([&] { return !app.Connected(); }, 3000);
    return 0;
}
