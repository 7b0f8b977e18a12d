// The equaliser and crossover windows with the response graph on the offscreen platform: selection and
// values in step both ways, the "EQ off" switch from the graph, the corner's slope menu, and frames
// arriving at the built-in virtual processor.
#include "ui/WindowTest.h"
#include "widgets/MessageBox.h"
#include "widgets/Theme.h"
#include "widgets/Controls.h"
#include "dsp/Scales.h"
#include "graph/ResponseGraph.h"
#include "windows/CrossoverPopup.h"
#include "windows/EqPopup.h"

#include <QComboBox>
#include <QStandardPaths>
#include <QSet>
#include <QTest>

using namespace quellmarin;
using namespace quellmarin::ui;
using namespace quellmarin::test;

class TestEqWindows : public WindowTest {
    Q_OBJECT

    // The program shown at a usual size and connected to a processor that holds the test's bands.
    static bool ShowConnected(VirtualProgram& program) {
        program.frame.resize(1280, 720);
        program.frame.show();
        if (!QTest::qWaitForWindowExposed(&program.frame)) return false;
        SystemParameters bands = DefaultSystemParameters(DeviceModel::Mivon);
        bands.InCH[0].PeqEnable = 111;
        bands.InCH[0].Peq[1] = {kEqPeaking, 59, 24, 46};
        bands.InCH[0].Peq[3] = {kEqHighShelf, 100, 30, 46};
        program.app.VirtualDevice()->SetParameters(bands); // the upload brings them
        if (!ConnectToVirtual(program.app)) return false;
        // Connected, and the upload has put the processor's bands into the program's records.
        return QTest::qWaitFor([&] { return program.app.Params() == bands; }, 10000);
    }

  private slots:
    void selectionGoesBothWaysAndTypedValuesMoveTheHandle() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ShowConnected(program));
        ResponseGraph* graph = frame.Page()->Graph();
        QTest::mouseClick(Strip(frame, "Input 1 equaliser"), Qt::LeftButton);
        auto* eq = frame.Page()->findChild<EqPopup*>("inputEqPopup");
        QVERIFY(eq && eq->isVisible());
        QCOMPARE(eq->windowTitle(), QString("INPUT PEQ") + QString(21, ' ') + "CH[1]");
        // With no band on the graph, the window opens on band 1, lit, with its fields open.
        QCOMPARE(eq->SelectedBand(), std::optional<int>(0));
        QCOMPARE(eq->BandButton(0)->Look(), 0);
        QVERIFY(eq->TypeList()->isEnabled());

        // A band picked on the graph is the band of the window.
        QTest::mouseClick(graph, Qt::LeftButton, {}, graph->BandPoint(1).toPoint());
        QCOMPARE(eq->SelectedBand(), std::optional<int>(1));
        QCOMPARE(eq->BandButton(1)->Look(), 0);
        QCOMPARE(eq->BandButton(0)->Look(), 1);
        QCOMPARE(eq->TypeList()->currentText(), QString("Peaking"));
        QCOMPARE(eq->Field(BandField::Frequency)->text(), QString("560Hz"));

        // A band button picks the band on the graph; the selected band's button drops the selection.
        QTest::mouseClick(eq->BandButton(3), Qt::LeftButton);
        QCOMPARE(graph->Model().SelectedBand(), std::optional<int>(3));
        QCOMPARE(eq->BandButton(3)->Look(), 0);
        QVERIFY2(!eq->Field(BandField::Q)->isEnabled(), "a shelf has no Q");
        QTest::mouseClick(eq->BandButton(3), Qt::LeftButton);
        QCOMPARE(graph->Model().SelectedBand(), std::nullopt);
        QCOMPARE(eq->BandButton(3)->Look(), 1);
        QVERIFY(!eq->Field(BandField::Frequency)->isEnabled());

        // A typed frequency moves the handle and reaches the processor.
        QTest::mouseClick(eq->BandButton(1), Qt::LeftButton);
        QVERIFY(QTest::qWaitForWindowActive(eq));
        const double before = graph->BandPoint(1).x();
        CMyNumEdit* freq = eq->Field(BandField::Frequency);
        freq->setFocus();
        freq->selectAll();
        QTest::keyClicks(freq, "2k");
        QTest::keyClick(freq, Qt::Key_Return);
        QCOMPARE(freq->text(), QString("2000Hz"));
        QVERIFY(graph->BandPoint(1).x() > before + 20);
        QCOMPARE(graph->Model().Band(1).freqHz, 2000.0);
        QTRY_COMPARE_WITH_TIMEOUT(app.VirtualDevice()->Parameters().InCH[0].Peq[1].Freq,
                                  program.app.Params().InCH[0].Peq[1].Freq, 5000);

        // Out of range: clamped with the messages in order.
        freq->selectAll();
        QTest::keyClicks(freq, "50000");
        QTest::keyClick(freq, Qt::Key_Return);
        QCOMPARE(messages_, QStringList{"Input illegal|Input range:[20,20000]"});
        QCOMPARE(freq->text(), QString("20000Hz"));

        // A drag on the graph shows in the fields, and the level there is the stored one.
        const QPoint start = graph->BandPoint(1).toPoint();
        QTest::mousePress(graph, Qt::LeftButton, {}, start);
        QMouseEvent move(QEvent::MouseMove, QPointF(start + QPoint(-80, -37)),
                         graph->mapToGlobal(QPointF(start + QPoint(-80, -37))), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(graph, &move);
        QTest::mouseRelease(graph, Qt::LeftButton, {}, start + QPoint(-80, -37));
        const PeqBand stored = program.app.Params().InCH[0].Peq[1];
        QCOMPARE(eq->Field(BandField::Level)->text(), QString::fromStdString(LevelText(stored.Level)));
        QCOMPARE(graph->Model().Band(1).gainDb, GainValues()[stored.Level]);
        KeepScreenshot(eq, "input-eq");
    }

    void theWindowOpensOnTheGraphsBandAndTabReachesEveryField() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ShowConnected(program));
        ResponseGraph* graph = frame.Page()->Graph();
        QTest::mouseClick(Strip(frame, "Input 1 gain"), Qt::LeftButton); // the graph shows input 1
        QTest::mouseClick(graph, Qt::LeftButton, {}, graph->BandPoint(1).toPoint());
        QCOMPARE(graph->Model().SelectedBand(), std::optional<int>(1));
        QTest::mouseClick(Strip(frame, "Input 1 equaliser"), Qt::LeftButton);
        auto* eq = frame.Page()->findChild<EqPopup*>("inputEqPopup");
        QVERIFY(eq && eq->isVisible());
        QCOMPARE(eq->SelectedBand(), std::optional<int>(1));
        QCOMPARE(eq->BandButton(1)->Look(), 0);
        QCOMPARE(eq->BandButton(0)->Look(), 1);
        // By keyboard alone: Tab from the band buttons reaches the type and the three fields.
        eq->BandButton(0)->setFocus(Qt::TabFocusReason);
        QCOMPARE(eq->focusWidget(), static_cast<QWidget*>(eq->BandButton(0)));
        QSet<QWidget*> reached;
        for (int i = 0; i < 16; ++i) {
            QTest::keyClick(eq->focusWidget(), Qt::Key_Tab);
            reached << eq->focusWidget();
        }
        QVERIFY(reached.contains(eq->TypeList()));
        QCOMPARE(eq->TypeList()->currentText(), QString("Peaking")); // a type with all three values
        for (BandField f : {BandField::Frequency, BandField::Q, BandField::Level})
            QVERIFY(reached.contains(eq->Field(f)));
        // And a value typed there by keyboard alone lands in the band.
        for (int i = 0; i < 16 && eq->focusWidget() != eq->Field(BandField::Frequency); ++i)
            QTest::keyClick(eq->focusWidget(), Qt::Key_Tab);
        QLineEdit* freq = eq->Field(BandField::Frequency);
        QCOMPARE(eq->focusWidget(), static_cast<QWidget*>(freq));
        freq->selectAll();
        QTest::keyClicks(freq, "1k");
        QTest::keyClick(freq, Qt::Key_Return);
        QTRY_COMPARE(freq->text(), QString("1000Hz"));
        KeepScreenshot(eq, "peq-keyboard");
    }

    void theSwitchAndTheGraphsEqOffMark() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ShowConnected(program));
        ResponseGraph* graph = frame.Page()->Graph();
        QTest::mouseClick(Strip(frame, "Output 3 equaliser"), Qt::LeftButton);
        auto* eq = frame.Page()->findChild<EqPopup*>("outputEqPopup");
        QVERIFY(eq && eq->isVisible());
        QVERIFY(!graph->Model().EqOn());
        QCOMPARE(eq->Switch()->Look(), 1);
        // A double-click on empty graph space switches the equaliser on.
        QTest::mouseDClick(graph, Qt::LeftButton, {}, QPoint(graph->width() / 2, 40));
        QVERIFY(graph->Model().EqOn());
        QCOMPARE(program.app.Params().OutCH[2].PeqEnable, std::uint8_t(111));
        QCOMPARE(eq->Switch()->Look(), 0);
        QUELLMARIN_TRY_RECEIVED(app, "(01$0382111)");
        // The window's switch turns it off again.
        QTest::mouseClick(eq->Switch(), Qt::LeftButton);
        QCOMPARE(program.app.Params().OutCH[2].PeqEnable, std::uint8_t(0));
        QVERIFY(!graph->Model().EqOn());
        QUELLMARIN_TRY_RECEIVED(app, "(01$0382000)");
        KeepScreenshot(&frame, "eq-off");
    }

    void theCrossoverWindowAndTheCornersMenu() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ShowConnected(program));
        ResponseGraph* graph = frame.Page()->Graph();
        QTest::mouseClick(Strip(frame, "Output 1 crossover"), Qt::LeftButton);
        auto* x = frame.Page()->findChild<CrossoverPopup*>("crossoverPopup");
        QVERIFY(x && x->isVisible());
        QCOMPARE(x->windowTitle(), QString("OUTPUT HLPF") + QString(18, ' ') + "CH[1]");
        QCOMPARE(x->Field(true)->text(), QString("OFF"));
        QCOMPARE(x->Field(false)->text(), QString("OFF"));
        QTest::mouseClick(x->Spin(true, true), Qt::LeftButton);
        QCOMPARE(x->Field(true)->text(), QString("20.00Hz"));
        QVERIFY(!graph->Model().Crossover().hpf.off);
        QUELLMARIN_TRY_RECEIVED(app, "(01$03300000100122)");

        // A right click on the high-pass corner offers the twelve slopes, the current one checked.
        QStringList offered;
        QString checked;
        graph->SetMenuSeam([&](QMenu& menu, const QPoint&) -> QAction* {
            for (QAction* a : menu.actions()) {
                offered << a->text();
                if (a->isChecked()) checked = a->text();
            }
            return menu.actions().at(11);
        });
        const QPoint corner = graph->CornerPoint(true).toPoint();
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, corner, graph->mapToGlobal(corner));
        QApplication::sendEvent(graph, &menuEvent);
        QCOMPARE(offered.size(), 12);
        QCOMPARE(checked, QString("-12dB Butterworth"));
        QCOMPARE(program.app.Params().OutCH[0].HpfType, std::uint8_t(11));
        QCOMPARE(x->TypeList(true)->currentText(), QString("-24dB LinkWitz-Riley")); // "the window follows"
        QUELLMARIN_TRY_RECEIVED(app, "(01$03301100100122)");
        KeepScreenshot(x, "crossover");
    }
};

QTEST_MAIN(TestEqWindows)
#include "test_eq_windows.moc"
