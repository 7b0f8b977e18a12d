// The two delay windows on the offscreen platform: typed fields, the range message through the
// message seam, and the input window's table following the outputs' delays.
#include "ui/WindowTest.h"
#include "widgets/MessageBox.h"
#include "widgets/Theme.h"
#include "widgets/Controls.h"
#include "windows/DelayRoutesView.h"
#include "windows/InputDelayPopup.h"
#include "windows/OutputDelayPopup.h"

#include <QLineEdit>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTest>

using namespace quellmarin;
using namespace quellmarin::ui;
using namespace quellmarin::test;

class TestDelayWindows : public WindowTest {
    Q_OBJECT

    // Types into a field of an active window and leaves it with Tab.
    static void TypeAndLeave(QLineEdit* field, const QString& text) {
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Tab);
    }

  private slots:
    void theInputDelayTakesMillisecondsAndMetres() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ConnectToVirtual(app));
        QTest::mouseClick(Strip(frame, "Input 1 delay"), Qt::LeftButton);
        auto* popup = frame.Page()->findChild<InputDelayPopup*>("inputDelayPopup");
        QVERIFY(popup && popup->isVisible());
        QCOMPARE(popup->windowTitle(), QString("INPUT DELAY") + QString(27, ' ') + "CH[1]");
        QVERIFY(QTest::qWaitForWindowActive(popup));

        TypeAndLeave(popup->MsField(), "2000");
        QTRY_VERIFY_WITH_TIMEOUT(DelaySamples(app.VirtualDevice()->Parameters().InCH[0]) == 96000, 5000);
        QCOMPARE(popup->MetresField()->text(), QString("680.000"));
        QCOMPARE(popup->Table()->item(0, 1)->text(), QString("2000.000 ms")); // input 1 reaches output 1
        QCOMPARE(popup->Table()->item(1, 1)->text(), QString("0.000 ms"));
        QVERIFY(popup->Routes()->Routes()[0]);
        QVERIFY(!popup->Routes()->Routes()[1]);

        TypeAndLeave(popup->MetresField(), "700");
        QCOMPARE(messages_, QStringList{"Input illegal|Input range:[0,680m]"});
        QCOMPARE(popup->MetresField()->text(), QString("680.000"));
        QCOMPARE(DelaySamples(program.app.Params().InCH[0]), 96000);
        QVERIFY(popup->MetresField()->hasFocus());

        TypeAndLeave(popup->MetresField(), "1");
        QCOMPARE(popup->MsField()->text(), QString("2.941"));
        QTRY_VERIFY_WITH_TIMEOUT(DelaySamples(app.VirtualDevice()->Parameters().InCH[0]) == 141, 5000);
        QVERIFY(frame.Page()->StripTip(Strip(frame, "Input 1 delay")).startsWith("Delay 2.938 ms"));
        KeepScreenshot(popup, "input-delay");
    }

    void anOutputDelayShowsInTheInputTable() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ConnectToVirtual(app));
        QTest::mouseClick(Strip(frame, "Input 1 delay"), Qt::LeftButton);
        auto* input = frame.Page()->findChild<InputDelayPopup*>("inputDelayPopup");
        QTest::mouseClick(Strip(frame, "Output 2 delay"), Qt::LeftButton);
        auto* output = frame.Page()->findChild<OutputDelayPopup*>("outputDelayPopup");
        QVERIFY(output && output->isVisible() && input->isVisible());
        QCOMPARE(output->windowTitle(), QString("OUTPUT DELAY") + QString(17, ' ') + "CH[2]");
        QVERIFY(QTest::qWaitForWindowActive(output));
        TypeAndLeave(output->MsField(), "10");
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                const auto f = app.VirtualDevice()->FramesReceived();
                return std::find(f.begin(), f.end(), "(01$0321000480)") != f.end();
            }(),
            5000);
        QCOMPARE(output->FeetField()->text(), QString("11.155"));
        QCOMPARE(input->Table()->item(1, 0)->text(), QString("10.000 ms"));
        QCOMPARE(input->Table()->item(1, 1)->text(), QString("10.000 ms"));

        TypeAndLeave(output->MsField(), "2500");
        QCOMPARE(messages_, QStringList{"Input illegal|Input range:[0,2000ms]"});
        QCOMPARE(output->MsField()->text(), QString("10"));
        KeepScreenshot(output, "output-delay");

        // The spin steps one sample and is sent at once.
        QTest::mouseClick(output->SpinUp(), Qt::LeftButton);
        QCOMPARE(DelaySamples(program.app.Params().OutCH[1]), 481);
        QCOMPARE(output->MsField()->text(), QString("10.021"));
    }
};

QTEST_MAIN(TestDelayWindows)
#include "test_delay_windows.moc"
