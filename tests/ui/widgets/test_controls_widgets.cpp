// The controls and the graph as widgets, driven like a user on the offscreen platform.
#include "ui/WindowTest.h"
#include "shell/MainFrame.h"
#include "widgets/MessageBox.h"
#include "widgets/Theme.h"
#include "widgets/Controls.h"
#include "graph/ResponseGraph.h"

#include <QApplication>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

using namespace quellmarin;
using namespace quellmarin::ui;
using namespace quellmarin::test;

class TestControls : public WindowTest {
    Q_OBJECT
  private slots:
    void sliderKeysAndWheel() {
        SkinSlider s;
        s.resize(36, 220);
        s.SetRange(1, 103);
        s.SetPageSize(10);
        s.SetPosition(100);
        QSignalSpy changed(&s, &SkinSlider::changed);
        QTest::keyClick(&s, Qt::Key_PageDown);
        QCOMPARE(s.Position(), 103);
        QTest::keyClick(&s, Qt::Key_Home);
        QCOMPARE(s.Position(), 1);
        QCOMPARE(changed.count(), 2);
        QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), {}, QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(&s, &wheel);
        QCOMPARE(s.Position(), 1);
        QCOMPARE(changed.count(), 3);
        QCOMPARE(changed.last().at(0).toInt(), 1);
    }

    void numericAndTextFields() {
        CMyNumEdit num;
        QTest::keyClicks(&num, "-12.5k");
        QCOMPARE(num.text(), QString("12.5k"));
        num.SetNegativeAllowed(true);
        num.clear();
        QTest::keyClicks(&num, "-3");
        QCOMPARE(num.text(), QString("-3"));
        CMyTextEdit name(5);
        QTest::keyClicks(&name, "Stage (left)");
        QCOMPARE(name.text(), QString("Stage left"));
        CMyIntEdit level;
        QTest::keyClicks(&level, "-9x0.5");
        QCOMPARE(level.text(), QString("-905"));
    }

    void skinButtonLookAndRadioGroup() {
        QWidget parent;
        auto* a = new SkinButton("A", SkinButtonState::Style::Radio, &parent);
        auto* b = new SkinButton("B", SkinButtonState::Style::Radio, &parent);
        auto* band = new SkinButton("1", SkinButtonState::Style::Push, &parent);
        for (auto* w : {a, b, band}) w->resize(60, 28);
        b->move(70, 0);
        band->move(140, 0);
        parent.show();
        b->SetCheckedFlag(true);
        QTest::mouseClick(a, Qt::LeftButton, {}, QPoint(10, 10));
        QVERIFY(a->CheckedFlag());
        QVERIFY(!b->CheckedFlag());
        band->SetLook(1);
        int seen = -1;
        connect(band, &SkinButton::skinClicked, this, [&] { seen = band->Look(); });
        QTest::mouseClick(band, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(seen, 1);
        QCOMPARE(band->Look(), 0);
    }

    void repeatButtonHeldGivesRepeatsThenOneClick() {
        RepeatButton r("+");
        r.resize(40, 30);
        r.show();
        QSignalSpy repeats(&r, &RepeatButton::repeat);
        QSignalSpy clicks(&r, &SkinButton::clicked);
        QTest::mousePress(&r, Qt::LeftButton, {}, QPoint(10, 10));
        r.Timer().stop(); // the test drives the ticks itself
        // Held for 400 ms: the ticks at 50 .. 350 ms, the release at 400 ms.
        for (int i = 0; i < 7; ++i) r.TickOnce();
        QCOMPARE(clicks.count(), 0);
        QTest::mouseRelease(&r, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(repeats.count(), 2);
        QCOMPARE(clicks.count(), 1);
        QVERIFY(!r.Timer().isActive());
    }

    void macButtonPassesOnlyTheReleasingClick() {
        CMyMacBTN m("Start");
        m.resize(100, 30);
        m.show();
        QSignalSpy clicks(&m, &CMyMacBTN::clicked);
        QTest::mouseClick(&m, Qt::LeftButton, {}, QPoint(20, 15));
        QVERIFY(m.Latched());
        QCOMPARE(clicks.count(), 0);
        QTest::mouseClick(&m, Qt::LeftButton, {}, QPoint(20, 15));
        QVERIFY(!m.Latched());
        QCOMPARE(clicks.count(), 1);
    }

    void theSelectedHandlePulsesOnlyWhileTheGraphIsAttended() {
        ResponseGraph graph(DeviceModel::Mivon);
        graph.resize(620, 280);
        graph.Model().SelectBand(1);
        graph.Invalidate();
        QVERIFY2(!graph.Animating(), "no timer while the pointer is elsewhere");
        QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), QPointF(10, 10));
        QApplication::sendEvent(&graph, &enter);
        QVERIFY(graph.Animating());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&graph, &leave);
        QVERIFY2(!graph.Animating(), "the timer stops when the pointer leaves");
        QApplication::sendEvent(&graph, &enter);
        graph.Model().SelectBand(std::nullopt);
        graph.Invalidate();
        QVERIFY2(!graph.Animating(), "nothing selected, nothing pulses");
    }

    void draggingOnTheFrontPanelGraphPostsBandFrames() {
        qApp->setStyleSheet(StyleSheet());
        CQuellmarinApp app(DeviceModel::Mivon, LinkTimings::Fast());
        app.Params().InCH[0].PeqEnable = 111;
        app.Params().InCH[0].Peq[1] = {kEqPeaking, 59, 24, 46};
        app.Params().InCH[0].Peq[2] = {kEqLowShelf, 29, 30, 46};
        app.Params().InCH[0].Peq[4] = {kEqNotch, 100, 24, 30};
        app.SetIncludeHardware(false);
        std::vector<std::string> posted;
        app.Context().address = [] { return std::string("01"); };
        app.Context().post = [&posted](std::string f) { posted.push_back(std::move(f)); };
        CMainFrame frame(app);
        frame.resize(1280, 720);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        ResponseGraph* graph = frame.Page()->Graph();
        frame.Page()->RefreshAll();
        const QPoint start = graph->BandPoint(1).toPoint();
        QTest::mousePress(graph, Qt::LeftButton, {}, start);
        QMouseEvent move(QEvent::MouseMove, QPointF(start + QPoint(60, -40)),
                         graph->mapToGlobal(QPointF(start + QPoint(60, -40))), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(graph, &move);
        QTest::mouseRelease(graph, Qt::LeftButton, {}, start + QPoint(60, -40));
        QVERIFY(!posted.empty());
        const std::string frame1 = posted.back();
        QVERIFY2(frame1.rfind("(01$0270011", 0) == 0, frame1.c_str());
        QVERIFY(app.Params().InCH[0].Peq[1].Level > 24);
        QVERIFY(app.Params().InCH[0].Peq[1].Freq > 59);

        // The output section shows the crossover too.
        app.Params().OutCH[2].HpfType = 11;
        app.Params().OutCH[2].HpfFreq = 29;
        app.Params().OutCH[2].LpfFreq = 105;
        app.Params().OutCH[2].PeqEnable = 111;
        app.Params().OutCH[2].Peq[3] = {kEqPeaking, 75, 18, 50};
        app.Params().OutCH[2].Peq[6] = {kEqHighShelf, 109, 30, 46};
        QTest::mouseClick(Strip(frame, "Output 3 crossover"), Qt::LeftButton);
        QVERIFY(!graph->Model().InputSection());
        QVERIFY(!graph->Model().Crossover().hpf.off);
        if (qEnvironmentVariableIsSet("QUELLMARIN_SCREENSHOT_DIR")) {
            // Three bands close together, as a filter import leaves them.
            app.Params().OutCH[2].Peq[0] = {kEqPeaking, 40, 28, 46};
            app.Params().OutCH[2].Peq[1] = {kEqPeaking, 42, 26, 46};
            app.Params().OutCH[2].Peq[2] = {kEqPeaking, 46, 27, 46};
            frame.Page()->RefreshAll();
            QTest::mousePress(graph, Qt::LeftButton, {}, graph->BandPoint(8).toPoint());
            QTest::mouseRelease(graph, Qt::LeftButton, {}, graph->BandPoint(8).toPoint());
            QTest::qWait(200);
            frame.grab().save(qEnvironmentVariable("QUELLMARIN_SCREENSHOT_DIR") + "/graph.png");
        }
    }
};

QTEST_MAIN(TestControls)
#include "test_controls_widgets.moc"
