// The gain, limiter and compressor windows on the offscreen platform, opened from the strip and
// driven like a user, with the frames arriving at the built-in virtual processor.
#include "ui/WindowTest.h"
#include "dsp/Scales.h"
#include "protocol/Frames.h"
#include "widgets/MessageBox.h"
#include "widgets/Theme.h"
#include "widgets/Controls.h"
#include "windows/CompressorPopup.h"
#include "windows/GainPopup.h"
#include "windows/LimiterPopup.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

using namespace quellmarin;
using namespace quellmarin::ui;
using namespace quellmarin::test;

class TestLevelWindows : public WindowTest {
    Q_OBJECT

  private slots:
    void theInputFaderSendsEveryStep() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ConnectToVirtual(app));
        QTest::mouseClick(Strip(frame, "Input 3 gain"), Qt::LeftButton);
        auto* popup = frame.Page()->findChild<GainPopup*>("inputGainPopup");
        QVERIFY(popup && popup->isVisible());
        QCOMPARE(popup->windowTitle(), QString("INPUT GAIN") + QString(20, ' ') + "CH[3]");
        QCOMPARE(popup->Fader()->Position(), 13);
        QCOMPARE(popup->Readout()->text(), QString("0dB"));
        QCOMPARE(popup->Fader()->accessibleName(), QString("Input 3 gain"));

        popup->Fader()->setFocus();
        QTest::keyClick(popup->Fader(), Qt::Key_Up);
        QCOMPARE(popup->Readout()->text(), QString("1dB"));
        QCOMPARE(program.app.Params().InCH[2].Gain, std::uint8_t(183));
        QUELLMARIN_TRY_RECEIVED(app, "(01$0282183)");
        QVERIFY(frame.Page()->StripTip(Strip(frame, "Input 3 gain")).startsWith("Gain 1 dB"));

        // Held at the bottom, the down arrow keeps sending the -90 dB frame.
        popup->Fader()->SetPosition(103);
        program.app.Params().InCH[2].Gain = 1;
        for (int i = 0; i < 8; ++i) popup->DownButton()->TickOnce();
        QCOMPARE(popup->Readout()->text(), QString("-90dB"));
        QUELLMARIN_TRY_RECEIVED(app, "(01$0282001)");

        // Another input selected on the strip: the open window follows it.
        program.app.Params().InCH[5].LinkIndex = 2;
        QTest::mouseClick(Strip(frame, "Input 6 equaliser"), Qt::LeftButton);
        QCOMPARE(popup->windowTitle(), QString("INPUT GAIN") + QString(20, ' ') + "CH[6] (editing CH[3])");
        QCOMPARE(popup->Readout()->text(), QString("-90dB"));
        KeepScreenshot(popup, "input-gain");
        QTest::keyClick(popup, Qt::Key_Escape);
        QVERIFY(popup->isHidden());
    }

    void aGainIsTypedInWholeDecibels() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ConnectToVirtual(app));
        QTest::mouseClick(Strip(frame, "Output 2 gain"), Qt::LeftButton);
        auto* popup = frame.Page()->findChild<GainPopup*>("outputGainPopup");
        QVERIFY(popup && popup->isVisible());
        QCOMPARE(popup->Readout()->accessibleName(), QString("Output 2 gain in decibels"));
        QLineEdit* field = popup->Readout();
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, "-6.4");
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(field->text(), QString("-6dB"));
        QCOMPARE(popup->Fader()->Position(), 19);
        QUELLMARIN_TRY_RECEIVED(app, FrameOutputGain("01", 1, GainCode(-6)));
        // Out of range, or no number: the range, and nothing changes.
        for (const char* typed : {"13", "-91", "loud", "6 dB"}) {
            field->selectAll();
            QTest::keyClicks(field, typed);
            QTest::keyClick(field, Qt::Key_Return);
            QCOMPARE(messages_.last(), QString("Input illegal|Input range:[-90,+12]"));
            QCOMPARE(field->text(), QString("-6dB"));
        }
        QCOMPARE(messages_.size(), 4);
        QCOMPARE(app.Params().OutCH[1].Gain, std::uint8_t(GainCode(-6)));
    }

    void theOutputGainWindowSetsThePolarity() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ConnectToVirtual(app));
        QTest::mouseClick(Strip(frame, "Output 5 gain"), Qt::LeftButton);
        auto* popup = frame.Page()->findChild<GainPopup*>("outputGainPopup");
        QVERIFY(popup && popup->isVisible());
        QCOMPARE(popup->windowTitle(), QString("OUTPUT GAIN") + QString(18, ' ') + "CH[5]");
        QVERIFY(popup->NormalButton()->CheckedFlag());
        QTest::mouseClick(popup->InvertedButton(), Qt::LeftButton);
        QVERIFY(popup->InvertedButton()->CheckedFlag());
        QVERIFY(!popup->NormalButton()->CheckedFlag());
        QTRY_COMPARE_WITH_TIMEOUT(app.VirtualDevice()->Parameters().OutCH[4].Polarity, std::uint8_t(1), 5000);
        QVERIFY(Received(app, "(01$0394111)"));
        KeepScreenshot(popup, "output-gain");
        QVERIFY(!frame.Page()->Logic().InputSectionActive());
    }

    void theLimiterListSelects() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ConnectToVirtual(app));
        QTest::mouseClick(Strip(frame, "Output 2 limiter"), Qt::LeftButton);
        auto* popup = frame.Page()->findChild<LimiterPopup*>("limiterPopup");
        QVERIFY(popup && popup->isVisible());
        QCOMPARE(popup->windowTitle(), QString("OUTPUT LIMIT") + QString(18, ' ') + "CH[2]");
        QCOMPARE(popup->List()->currentRow(), 0);
        QCOMPARE(popup->Selected()->text(), QString("22.0   dBu"));
        QListWidgetItem* item = popup->List()->item(44);
        popup->List()->scrollToItem(item);
        QTest::mouseClick(popup->List()->viewport(), Qt::LeftButton, {},
                          popup->List()->visualItemRect(item).center());
        QCOMPARE(popup->Selected()->text(), QString("0.0   dBu"));
        QTRY_COMPARE_WITH_TIMEOUT(app.VirtualDevice()->Parameters().OutCH[1].Limit, std::uint8_t(55), 5000);
        QVERIFY(Received(app, "(01$036100005500)"));
        KeepScreenshot(popup, "limiter");
        QVERIFY(frame.Page()->StripTip(Strip(frame, "Output 2 limiter")).startsWith("Limit +0.0 dBu"));
    }

    void theCompressorTakesTypedValues() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ConnectToVirtual(app));
        QTest::mouseClick(Strip(frame, "Input 1 compressor"), Qt::LeftButton);
        auto* popup = frame.Page()->findChild<CompressorPopup*>("compressorPopup");
        QVERIFY(popup && popup->isVisible());
        QCOMPARE(popup->windowTitle(), QString("INPUT COMP") + QString(20, ' ') + "CH[1]");
        QCOMPARE(popup->Field(CompField::Ratio)->text(), QString("1.00 : 1"));
        QVERIFY(QTest::qWaitForWindowActive(popup));
        CMyNumEdit* attack = popup->Field(CompField::Attack);
        attack->setFocus();
        attack->selectAll();
        QTest::keyClicks(attack, "5");
        QTest::keyClick(attack, Qt::Key_Tab); // leaving the field applies it
        QCOMPARE(attack->text(), QString("4.70ms"));
        QTRY_COMPARE_WITH_TIMEOUT(app.VirtualDevice()->Parameters().Comp[0].Attack, std::uint8_t(32), 5000);
        QVERIFY(Received(app, "(01$0440320012056)"));

        // Leaving a field untouched sends nothing; a spin sends at once.
        const std::size_t before = app.VirtualDevice()->FrameCount();
        popup->Field(CompField::Ratio)->setFocus();
        popup->Field(CompField::Threshold)->setFocus();
        QTest::mouseClick(popup->SpinButton(CompField::Ratio, true), Qt::LeftButton);
        QCOMPARE(popup->Field(CompField::Ratio)->text(), QString("1.01 : 1"));
        QUELLMARIN_TRY_RECEIVED(app, "(01$0440320112056)");
        QVERIFY(app.VirtualDevice()->FrameCount() > before);
        KeepScreenshot(popup, "compressor");
        QVERIFY(frame.Page()->Logic().InputSectionActive());
    }
};

QTEST_MAIN(TestLevelWindows)
#include "test_level_windows.moc"
