// The window holding a rig: three virtual processors on the virtual line connected at once, the rig
// view's rows, switching the processor the panel and the editors show, a group edit and its undo, a
// processor lost alone, and a show file opened offline and compared unit by unit.
#include "ui/WindowTest.h"

#include "core/link/LinkTestSupport.h"

#include "edit/GainEditor.h"
#include "edit/MuteEditor.h"
#include "session/RigFile.h"
#include "widgets/RigMeters.h"
#include "windows/CompareWindow.h"
#include "windows/ModulePopup.h"
#include "windows/RigView.h"
#include "windows/VirtualProcessorsWindow.h"

#include <QCheckBox>
#include <QSpinBox>
#include <QDockWidget>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>

using namespace quellmarin;
using namespace quellmarin::test;

namespace {

QString Cell(ui::RigView* view, int row, int column) {
    const QTableWidgetItem* item = view->Table()->item(row, column);
    return item ? item->text() : QString();
}

int OutputGainDb(const SystemParameters& p, int channel) {
    return 13 - (207 - p.OutCH[channel].Gain) / 2;
}

} // namespace

class TestRigWindow : public WindowTest {
    Q_OBJECT

    // Three virtual processors on the virtual line, all connected: the first as a connection is made,
    // the other two joining it from the device list.
    bool ConnectThree(VirtualProgram& program) {
        program.app.SetVirtualCount(3);
        if (!ScanAndSelect(program.app, "Device.....01")) return false;
        program.app.StartConnect(false);
        if (!QTest::qWaitFor([&] { return program.app.State() == LinkState::Connected; }, 10000)) return false;
        for (const char* line : {"Device.....02", "Device.....03"}) {
            const std::size_t before = program.app.GetRig().Size();
            if (!program.app.Select(line).empty() || !program.app.ChosenJoins()) return false;
            program.app.StartConnect(false);
            if (!QTest::qWaitFor([&] { return program.app.GetRig().Size() == before + 1 && !program.app.Joining(); },
                                 10000))
                return false;
        }
        return true;
    }

    // Connects the device of `line` from the device list, as the list's Connect does, and waits until
    // the rig has it.
    bool ConnectFromList(VirtualProgram& program, const std::string& line) {
        const std::size_t before = program.app.GetRig().Size();
        if (!program.app.Select(line).empty()) return false;
        program.app.StartConnect(false);
        return QTest::qWaitFor(
            [&] { return program.app.GetRig().Size() == before + 1 && !program.app.Joining() && program.app.Connected(); },
            10000);
    }

  private slots:
    void theRigViewListsEveryConnectedProcessorWithItsStateAndMeters() {
        VirtualProgram& program = Program();
        QVERIFY(ConnectThree(program));
        ui::RigView* view = program.frame.RigPanel();
        QVERIFY(program.frame.RigDock()->isVisible() || !program.frame.isVisible());
        QCOMPARE(view->RowCount(), 3);
        for (int r = 0; r < 3; ++r) {
            // "Unit <ID>", or the name given to that ID on this port before.
            QCOMPARE(Cell(view, r, ui::RigView::NameColumn), QString::fromStdString(program.app.GetRig().Name(r)));
            if (r > 0) QCOMPARE(Cell(view, r, ui::RigView::NameColumn), QString("Unit %1").arg(r + 1));
            QCOMPARE(Cell(view, r, ui::RigView::IdColumn), QString("ID %1 \u00b7 virtual").arg(r + 1));
            QCOMPARE(Cell(view, r, ui::RigView::StateColumn), QString("connected"));
            QVERIFY(Cell(view, r, ui::RigView::ProgramColumn).startsWith("01"));
            QCOMPARE(view->Meters(r)->accessibleName(), "Meters of " + Cell(view, r, ui::RigView::NameColumn));
        }
        QCOMPARE(view->SelectedRow(), 2); // the processor that joined last is the one edited

        // Each row's meters show its own processor's levels.
        program.app.SelectUnit(1);
        MuteEditor(program.app.Context()).Set({Section::Output, 0}, true);
        QTRY_VERIFY_WITH_TIMEOUT(view->Meters(1)->OutputLevels().at(0) == 0 && view->Meters(0)->OutputLevels().at(0) > 0 &&
                                     view->Meters(2)->OutputLevels().at(0) > 0,
                                 5000);

        // A rename is kept for that port and ID.
        view->Table()->item(0, ui::RigView::NameColumn)->setText("Sub left");
        QCOMPARE(program.app.GetRig().Name(0), std::string("Sub left"));
        QVERIFY2(program.frame.windowTitle().contains("Sub left") || program.app.GetRig().Selected() != 0,
                 qPrintable(program.frame.windowTitle()));
        view->Table()->item(0, ui::RigView::NameColumn)->setText(" ");
        QCOMPARE(program.app.GetRig().Name(0), std::string("Sub left")); // a blank name is not taken
        QCOMPARE(Cell(view, 0, ui::RigView::NameColumn), QString("Sub left"));
        QVERIFY(Named<QPushButton>(view, "Connect the chosen processor"));
        QVERIFY(Named<QPushButton>(view, "Group all processors"));
        KeepScreenshot(&program.frame, "rig-view");
        view->Table()->item(0, ui::RigView::NameColumn)->setText("Unit 1"); // the settings stay as they were
    }

    void switchingTheEditedProcessorKeepsEachUnitsEditorStateApart() {
        VirtualProgram& program = Program();
        QVERIFY(ConnectThree(program));
        program.app.SelectUnit(0);
        GainEditor(program.app.Context(), Section::Output).SetDb(0, -6);
        ui::ModulePopup* gain = program.Page()->Popup(StripAction::OpenOutputGain);
        QVERIFY(gain);
        gain->Refresh();
        const QString first = QString::fromStdString(program.app.GetRig().Name(0)); // a name kept from before, maybe
        QVERIFY2(gain->windowTitle().endsWith("\u2014 " + first), qPrintable(gain->windowTitle()));
        QVERIFY2(program.frame.windowTitle().startsWith(first + " (ID 1 on virtual)"), qPrintable(program.frame.windowTitle()));
        QVERIFY2(program.frame.PaneText(0).startsWith("Editing " + first), qPrintable(program.frame.PaneText(0)));

        Command(program.frame, "Next processor")->trigger(); // Ctrl+PageDown
        QCOMPARE(program.app.GetRig().Selected(), std::size_t{1});
        QCOMPARE(program.app.Address(), std::string("02"));
        QVERIFY2(gain->windowTitle().endsWith("\u2014 Unit 2"), qPrintable(gain->windowTitle()));
        QCOMPARE(GainEditor(program.app.Context(), Section::Output).Db(0), 0); // the second unit's own gain
        QCOMPARE(program.frame.RigPanel()->SelectedRow(), 1);
        GainEditor(program.app.Context(), Section::Output).SetDb(0, 3);
        sim::VirtualProcessor* second = program.app.VirtualDevices().at(1);
        QTRY_COMPARE_WITH_TIMEOUT(OutputGainDb(second->Parameters(), 0), 3, 5000);
        QCOMPARE(OutputGainDb(program.app.VirtualDevices().at(0)->Parameters(), 0), -6);

        Command(program.frame, "Previous processor")->trigger(); // Ctrl+PageUp
        QCOMPARE(GainEditor(program.app.Context(), Section::Output).Db(0), -6);
        QCOMPARE(program.app.History().UndoName(), std::string("Output 1 gain"));
        program.app.Undo(); // the first unit's own step, not the second's
        QTRY_COMPARE_WITH_TIMEOUT(OutputGainDb(program.app.VirtualDevices().at(0)->Parameters(), 0), 0, 5000);
        QCOMPARE(OutputGainDb(second->Parameters(), 0), 3);
    }

    void aGroupEditReachesEveryMemberAndOneUndoTakesItBack() {
        VirtualProgram& program = Program();
        QVERIFY(ConnectThree(program));
        program.app.SelectUnit(1);
        GainEditor(program.app.Context(), Section::Output).SetDb(2, 10); // the second runs hotter
        program.frame.RigPanel()->GroupAllButton()->click();
        QVERIFY(program.app.GetRig().GroupActive());
        ui::ModulePopup* gain = program.Page()->Popup(StripAction::OpenOutputGain);
        QVERIFY2(gain->windowTitle().endsWith("(group of 3)"), qPrintable(gain->windowTitle()));

        MuteEditor(program.app.Context()).Set({Section::Output, 2}, true);
        for (sim::VirtualProcessor* d : program.app.VirtualDevices())
            QTRY_COMPARE_WITH_TIMEOUT(d->Parameters().OutCH[2].Mute, std::uint8_t{1}, 5000);
        GainEditor(program.app.Context(), Section::Output).SetDb(2, 12); // +2 dB from this one's +10
        QTRY_COMPARE_WITH_TIMEOUT(OutputGainDb(program.app.VirtualDevices().at(0)->Parameters(), 2), 2, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(OutputGainDb(program.app.VirtualDevices().at(2)->Parameters(), 2), 2, 5000);

        QAction* undo = Command(program.frame, "Undo Output 3 gain (group of 3)");
        QVERIFY(undo);
        undo->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(OutputGainDb(program.app.VirtualDevices().at(0)->Parameters(), 2), 0, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(OutputGainDb(program.app.VirtualDevices().at(1)->Parameters(), 2), 10, 5000);
        program.app.Undo();
        for (sim::VirtualProcessor* d : program.app.VirtualDevices())
            QTRY_COMPARE_WITH_TIMEOUT(d->Parameters().OutCH[2].Mute, std::uint8_t{0}, 5000);

        // Without the group the edit is the shown processor's alone.
        program.frame.RigPanel()->NoGroupButton()->click();
        MuteEditor(program.app.Context()).Set({Section::Output, 5}, true);
        QTRY_COMPARE_WITH_TIMEOUT(program.app.VirtualDevices().at(1)->Parameters().OutCH[5].Mute, std::uint8_t{1}, 5000);
        QCOMPARE(program.app.VirtualDevices().at(0)->Parameters().OutCH[5].Mute, std::uint8_t{0});
    }

    void aProcessorThatStopsAnsweringIsLostAloneAndDisconnectsAlone() {
        VirtualProgram& program = Program();
        QVERIFY(ConnectThree(program));
        ui::RigView* view = program.frame.RigPanel();
        program.app.SwitchVirtualOff(2, true);
        QTRY_COMPARE_WITH_TIMEOUT(Cell(view, 1, ui::RigView::StateColumn), QString("lost \u2014 reconnecting"), 10000);
        QCOMPARE(Cell(view, 0, ui::RigView::StateColumn), QString("connected"));
        QCOMPARE(program.app.State(), LinkState::Connected); // the others still answer
        program.app.SwitchVirtualOff(2, false);
        QTRY_COMPARE_WITH_TIMEOUT(Cell(view, 1, ui::RigView::StateColumn), QString("connected"), 10000);

        // Disconnecting the shown processor leaves the others connected.
        program.app.SelectUnit(2);
        program.app.StartDisconnect();
        QTRY_COMPARE_WITH_TIMEOUT(Cell(view, 2, ui::RigView::StateColumn), QString("not connected"), 5000);
        QCOMPARE(program.app.State(), LinkState::Connected);
        QTRY_VERIFY_WITH_TIMEOUT(program.app.VirtualDevices().at(2)->FramesReceived().back().find("B)") !=
                                     std::string::npos,
                                 5000);
    }

    void aShowFileOpensOfflineAndConnectingComparesEachUnit() {
        VirtualProgram& program = Program();
        QVERIFY(ConnectThree(program));
        QTemporaryDir dir;
        const QString show = dir.filePath("show.json");
        QVERIFY(program.frame.SaveShowFile(show));
        Command(program.frame, "Disconnect all processors")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(program.app.State() == LinkState::NotConnected, 5000);

        // A damaged file is refused and the rig stays as it is.
        const QString cut = dir.filePath("cut.json");
        {
            std::ifstream in(show.toStdString());
            std::string text((std::istreambuf_iterator<char>(in)), {});
            std::ofstream(cut.toStdString()) << text.substr(0, text.size() / 2);
        }
        QVERIFY(!program.frame.OpenShowFile(cut));
        QVERIFY2(messages_.last().contains("cut.json"), qPrintable(messages_.last()));
        QCOMPARE(program.app.GetRig().Size(), std::size_t{3});

        QVERIFY(program.frame.OpenShowFile(show));
        ui::RigView* view = program.frame.RigPanel();
        for (int r = 0; r < 3; ++r) QCOMPARE(Cell(view, r, ui::RigView::StateColumn), QString("not connected"));
        // Offline, the third unit's output 7 is muted; connecting the first finds nothing to compare.
        program.app.SelectUnit(2);
        MuteEditor(program.app.Context()).Set({Section::Output, 6}, true);
        program.app.ConnectUnit(0);
        QTRY_VERIFY_WITH_TIMEOUT(program.app.State() == LinkState::Connected, 10000);
        QCOMPARE(Cell(view, 0, ui::RigView::StateColumn), QString("connected"));
        QStringList compared;
        WhenShown<ui::CompareWindow>(
            [&](ui::CompareWindow* w) {
                for (int i = 0; i < w->Lines()->count(); ++i) compared << w->Lines()->item(i)->text();
            },
            false);
        program.app.ConnectUnit(2);
        QTRY_VERIFY_WITH_TIMEOUT(WindowsHandled(), 10000);
        QCOMPARE(compared.size(), 1);
        QVERIFY2(compared.value(0).startsWith("out 7 mute"), qPrintable(compared.join('|')));
        QCOMPARE(program.app.Params().OutCH[6].Mute, std::uint8_t{1}); // the program keeps the file's settings
        QCOMPARE(Cell(view, 2, ui::RigView::StateColumn), QString("connected"));
        QCOMPARE(Cell(view, 1, ui::RigView::StateColumn), QString("not connected"));

        const QString exported = dir.filePath("export");
        QVERIFY(QDir().mkpath(exported));
        QVERIFY(program.frame.ExportRig(exported));
        QCOMPARE(QDir(exported).entryList(QDir::Files).size(), 3);
    }

    void processorsOnTwoLinesRunOnTwoWorkersAndTakeOneGroupEdit() {
        VirtualProgram& program = Program();
        PtyBus bus({1, 2});
        program.app.SetVirtualCount(2);
        program.app.SetUserPorts({bus.Path()});
        QVERIFY(ScanAndSelect(program.app, "Device.....01 on virtual"));
        const std::string onBus = " on " + bus.Path();
        QCOMPARE(program.app.LastScan().lines,
                 (std::vector<std::string>{"Device.....01" + onBus, "Device.....02" + onBus, "Device.....01 on virtual",
                                           "Device.....02 on virtual"}));
        program.app.StartConnect(false);
        QTRY_VERIFY_WITH_TIMEOUT(program.app.State() == LinkState::Connected, 10000);
        QVERIFY(ConnectFromList(program, "Device.....02 on virtual"));
        QVERIFY(ConnectFromList(program, "Device.....01" + onBus)); // a line of its own
        QVERIFY(ConnectFromList(program, "Device.....02" + onBus));
        ui::RigView* view = program.frame.RigPanel();
        QCOMPARE(view->RowCount(), 4);
        for (int r = 0; r < 4; ++r) QCOMPARE(Cell(view, r, ui::RigView::StateColumn), QString("connected"));
        QCOMPARE(Cell(view, 3, ui::RigView::IdColumn), QString("ID 2 \u00b7 ") + QString::fromStdString(bus.Path()));

        program.frame.RigPanel()->GroupAllButton()->click();
        MuteEditor(program.app.Context()).Set({Section::Output, 2}, true);
        for (sim::VirtualProcessor* d : program.app.VirtualDevices())
            QTRY_COMPARE_WITH_TIMEOUT(d->Parameters().OutCH[2].Mute, std::uint8_t{1}, 5000);
        for (std::size_t i = 0; i < 2; ++i)
            QTRY_COMPARE_WITH_TIMEOUT(bus.Device(i).Parameters().OutCH[2].Mute, std::uint8_t{1}, 5000);

        // The bus's first unit stops answering: it alone is lost; the virtual line does not notice.
        bus.SwitchOff(1);
        QTRY_COMPARE_WITH_TIMEOUT(Cell(view, 2, ui::RigView::StateColumn), QString("lost \u2014 reconnecting"), 10000);
        QCOMPARE(Cell(view, 3, ui::RigView::StateColumn), QString("connected"));
        QCOMPARE(Cell(view, 0, ui::RigView::StateColumn), QString("connected"));
        bus.SwitchOff(1, false);
        QTRY_COMPARE_WITH_TIMEOUT(Cell(view, 2, ui::RigView::StateColumn), QString("connected"), 10000);

        Command(program.frame, "Disconnect all processors")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!program.app.AnyConnected(), 10000);
        for (int r = 0; r < 4; ++r) QCOMPARE(Cell(view, r, ui::RigView::StateColumn), QString("not connected"));
        QTRY_VERIFY_WITH_TIMEOUT(bus.Device(1).FramesReceived().back() == "(02B)", 5000);
    }

    void virtualProcessorsOnLinesOfTheirOwnAreARigOfThreeLines() {
        VirtualProgram& program = Program();
        WhenShown<ui::VirtualProcessorsWindow>([&](ui::VirtualProcessorsWindow* w) {
            w->CountField()->setValue(3);
            QVERIFY(Named<QCheckBox>(w, "Each virtual processor on a line of its own"));
            w->OwnLinesBox()->setChecked(true);
        });
        Command(program.frame, "Virtual processors...")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(WindowsHandled(), 20000);
        QVERIFY(program.app.VirtualOwnLines());
        QVERIFY2(program.frame.Note().contains("each on a line of its own"), qPrintable(program.frame.Note()));
        QVERIFY(ScanAndSelect(program.app, "Device.....01"));
        QCOMPARE(program.app.LastScan().lines,
                 (std::vector<std::string>{"Device.....01", "Device.....02", "Device.....03"}));
        program.app.StartConnect(false);
        QTRY_VERIFY_WITH_TIMEOUT(program.app.State() == LinkState::Connected, 10000);
        QVERIFY(ConnectFromList(program, "Device.....02"));
        QVERIFY(ConnectFromList(program, "Device.....03"));
        ui::RigView* view = program.frame.RigPanel();
        QCOMPARE(Cell(view, 2, ui::RigView::IdColumn), QString("ID 3 \u00b7 virtual-3"));
        view->GroupAllButton()->click();
        MuteEditor(program.app.Context()).Set({Section::Output, 7}, true);
        for (sim::VirtualProcessor* d : program.app.VirtualDevices())
            QTRY_COMPARE_WITH_TIMEOUT(d->Parameters().OutCH[7].Mute, std::uint8_t{1}, 5000);
        // Switching the line of the second off loses it alone.
        program.app.SwitchVirtualOff(2, true);
        QTRY_COMPARE_WITH_TIMEOUT(Cell(view, 1, ui::RigView::StateColumn), QString("lost \u2014 reconnecting"), 10000);
        QCOMPARE(Cell(view, 0, ui::RigView::StateColumn), QString("connected"));
        QCOMPARE(Cell(view, 2, ui::RigView::StateColumn), QString("connected"));
    }
};

QTEST_MAIN(TestRigWindow)
#include "test_rig_window.moc"
