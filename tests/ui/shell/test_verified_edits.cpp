// Edits on a line that loses frames, against the built-in virtual processor: the program reads the
// processor back once the edits have settled, sends again what it lacks, and names what never arrives,
// in a warning, in the status bar and in the lock and generator windows.
#include "ui/WindowTest.h"
#include "edit/GainEditor.h"
#include "edit/PanelLock.h"
#include "edit/RecordDiff.h"
#include "edit/RouteEditor.h"
#include "windows/GeneratorWindow.h"
#include "windows/PanelLockWindow.h"
#include "edit/Generator.h"
#include <QPushButton>

#include <QAction>
#include <QLabel>
#include <QRadioButton>
#include <QSettings>
#include <QTest>

#include <iostream>

using namespace quellmarin;
using namespace quellmarin::ui;
using namespace quellmarin::test;

namespace {

QLabel* UnconfirmedPane(const CMainFrame& frame) {
    return frame.findChild<QLabel*>("unconfirmedEdits");
}

// The 25 settings of the burst that differ between the program and the processor.
QStringList Differing(const SystemParameters& program, const SystemParameters& device) {
    QStringList names;
    for (int k = 0; k < 8; ++k) {
        if (program.InCH[k].Mute != device.InCH[k].Mute) names << QString("Input %1 mute").arg(k + 1);
        if (program.InCH[k].Gain != device.InCH[k].Gain) names << QString("Input %1 gain").arg(k + 1);
    }
    for (int out = 0; out < 8; ++out)
        for (int in = 0; in < 8; ++in)
            if (program.OutCH[out].Route[in] != device.OutCH[out].Route[in])
                names << QString("Output %1 routing").arg(out + 1);
    names.removeDuplicates();
    return names;
}

} // namespace

class TestVerifiedEdits : public WindowTest {
    Q_OBJECT

  private slots:
    void aLossyBurstEndsOnTheProcessorOrNamedInTheWarning() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ConnectToVirtual(app));
        sim::SimFaults lossy;
        lossy.lose = 0.1;
        lossy.seed = 3;
        app.SetVirtualFaults(lossy);
        // 8 input mutes on the strip, 36 gain steps over the eight inputs, 9 routing crosspoints.
        for (int k = 1; k <= 8; ++k) QTest::mouseClick(Strip(frame, QString("Input %1 mute").arg(k)), Qt::LeftButton);
        GainEditor gains(app.Context(), Section::Input);
        for (int step = 0; step < 36; ++step) gains.StepDown(step % 8);
        RouteEditor routes(app.Context());
        for (int k = 0; k < 9; ++k) routes.Toggle(k % 8, (k * 3 + 1) % 8);
        // Never silent and different: within 10 s every setting is on the processor, or named.
        const auto settled = [&] {
            const QStringList missing = Differing(app.Params(), app.VirtualDevice()->Parameters());
            if (missing.isEmpty()) return true;
            const QString warning = messages_.isEmpty() ? QString() : messages_.last();
            for (const QString& name : missing)
                if (!warning.contains(name + " did not reach the processor.")) return false;
            return true;
        };
        QTRY_VERIFY_WITH_TIMEOUT(settled(), 10000);
        const QStringList missing = Differing(app.Params(), app.VirtualDevice()->Parameters());
        std::cout << "lossy burst: " << missing.size() << " of 25 settings missing after verification\n";
        if (missing.isEmpty()) QTRY_VERIFY_WITH_TIMEOUT(!app.Verifier().Unconfirmed(), 5000);
        QCOMPARE(!UnconfirmedPane(frame)->isHidden(), !missing.isEmpty());
    }

    void aSettingThatNeverSticksIsNamedUntilALaterReadAgrees() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ConnectToVirtual(app));
        frame.show();
        sim::SimFaults ignoring;
        ignoring.ignore = "$037"; // the output mutes never arrive
        app.SetVirtualFaults(ignoring);
        QTest::mouseClick(Strip(frame, "Output 3 mute"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!messages_.isEmpty(), 15000);
        QVERIFY2(messages_.last().startsWith("Warning|Output 3 mute did not reach the processor."),
                 qPrintable(messages_.last()));
        QCOMPARE(UnconfirmedPane(frame)->text(), QString("Unconfirmed: Output 3 mute"));
        QVERIFY(!UnconfirmedPane(frame)->isHidden());
        QCOMPARE(UnconfirmedPane(frame)->accessibleName(), QString("Unconfirmed changes"));
        KeepScreenshot(&frame, "unconfirmed-edit");
        QCOMPARE(app.VirtualDevice()->Parameters().OutCH[2].Mute, std::uint8_t(0));

        // The line is mended; the next edit sends both again, and the read that finds them clears it.
        app.SetVirtualFaults({});
        QTest::mouseClick(Strip(frame, "Output 4 mute"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(UnconfirmedPane(frame)->isHidden(), 10000);
        QCOMPARE(app.VirtualDevice()->Parameters().OutCH[2].Mute, std::uint8_t(1));
        QCOMPARE(app.VirtualDevice()->Parameters().OutCH[3].Mute, std::uint8_t(1));
        QVERIFY(!app.Verifier().Unconfirmed());
    }

    void theLockWindowSaysWhenTheProcessorDidNotTakeTheLock() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ConnectToVirtual(app));
        sim::SimFaults ignoring;
        ignoring.ignore = "J";
        app.SetVirtualFaults(ignoring);
        bool said = false;
        WhenShown<PanelLockWindow>([&](PanelLockWindow* w) {
            QVERIFY(!w->Confirmation()->isVisible());
            w->LockButton()->click();
            QTRY_VERIFY_WITH_TIMEOUT(w->Confirmation()->isVisible(), 15000);
            QCOMPARE(w->Confirmation()->text(), QString::fromUtf8(PanelLock::kUnconfirmed.data()));
            KeepScreenshot(w, "lock-unconfirmed");
            said = true;
        });
        Command(frame, "Pannel Lock Settng...")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(WindowsHandled(), 20000);
        QVERIFY(said);
        QCOMPARE(app.VirtualDevice()->Info().PanelLock, std::uint8_t(0));
    }

    void theGeneratorWindowSaysWhenTheToneDidNotStart() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ConnectToVirtual(app));
        sim::SimFaults ignoring;
        ignoring.ignore = "$001";
        app.SetVirtualFaults(ignoring);
        bool said = false;
        WhenShown<GeneratorWindow>([&](GeneratorWindow* w) {
            w->StartStop()->click();
            QTRY_VERIFY_WITH_TIMEOUT(w->Confirmation()->isVisible(), 15000);
            QCOMPARE(w->Confirmation()->text(), QString::fromUtf8(Generator::kUnconfirmed.data()));
            KeepScreenshot(w, "generator-unconfirmed");
            said = true;
        });
        Command(frame, "Generator...")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(WindowsHandled(), 20000);
        QVERIFY(said);
        QCOMPARE(app.VirtualDevice()->Info().GenRun, std::uint8_t(0));
        QCOMPARE(app.Info().GenRun, std::uint8_t(1)); // the program still shows what was asked
    }

    void verificationIsASettingThatIsRemembered() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QAction* verify = frame.findChild<QAction*>("verifyEdits");
        QVERIFY(verify);
        QVERIFY(verify->isChecked());
        QVERIFY(app.Verifier().Enabled());
        verify->setChecked(false);
        QVERIFY(!app.Verifier().Enabled());
        QSettings settings(CMainFrame::SettingsPath(), QSettings::IniFormat);
        QCOMPARE(settings.value("link/verifyEdits").toBool(), false);
        // Off, an edit of the settings is not read back (the lock and the generator still are).
        QVERIFY(ConnectToVirtual(app));
        QTest::mouseClick(Strip(frame, "Output 3 mute"), Qt::LeftButton);
        QVERIFY(!app.Verifier().Unconfirmed());
        settings.remove("link/verifyEdits");
    }
};

QTEST_MAIN(TestVerifiedEdits)
#include "test_verified_edits.moc"
