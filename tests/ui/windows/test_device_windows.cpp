// The routing, link, alias and panel lock windows on the offscreen platform, opened from the strip, a
// link indicator and the Device menu, with the frames arriving at the built-in virtual processor.
#include "ui/WindowTest.h"

#include <algorithm>
#include "widgets/Lamp.h"
#include "widgets/MessageBox.h"
#include "widgets/Theme.h"
#include "widgets/Controls.h"
#include "windows/AliasWindow.h"
#include "windows/CompareWindow.h"
#include "edit/LinkEditor.h"
#include "windows/LinkWindow.h"
#include "windows/NetworkPortsWindow.h"
#include "windows/VirtualProcessorsWindow.h"
#include "edit/MuteEditor.h"
#include "sim/NetworkSimServer.h"
#include "windows/PanelLockWindow.h"
#include "edit/RouteEditor.h"
#include "windows/RouteWindow.h"
#include "model/ParameterFile.h"
#include "edit/EqEditor.h"
#include "edit/GainEditor.h"
#include "edit/RecordDiff.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QTreeWidget>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace quellmarin;
using namespace quellmarin::ui;
using namespace quellmarin::test;

class TestDeviceWindows : public WindowTest {
    Q_OBJECT

  private slots:
    void undoAndRedoAcrossEditorsReachTheProcessor() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ConnectToVirtual(app));
        const SystemParameters start = program.app.Params();
        QAction* undo = frame.findChild<QAction*>("undo");
        QAction* redo = frame.findChild<QAction*>("redo");
        QVERIFY(!undo->isEnabled());

        GainEditor gain(app.Context(), Section::Output);
        EqEditor eq(app.Context(), Section::Output);
        RouteEditor route(app.Context());
        LinkEditor links(app.Context());
        gain.Apply(2, 40); // a drag: two positions, one step
        gain.Apply(2, 45);
        eq.SetType(1, 2, 4);
        route.Toggle(3, 1);
        links.Confirm(Section::Output, {0, 0, 2, 3, 4, 5, 6, 7});
        const SystemParameters edited = program.app.Params();
        QCOMPARE(undo->text(), QString("Undo Links of the outputs"));
        QTRY_VERIFY_WITH_TIMEOUT(SameSettings(app.VirtualDevice()->Parameters(), edited), 5000);

        for (const char* name : {"Undo Links of the outputs", "Undo Output 4 routing",
                                 "Undo Output 2 PEQ band 3", "Undo Output 3 gain"}) {
            QCOMPARE(undo->text(), QString(name));
            undo->trigger();
        }
        QVERIFY(!undo->isEnabled());
        QVERIFY(program.app.Params() == start);
        QTRY_VERIFY_WITH_TIMEOUT(app.VirtualDevice()->Parameters() == start, 5000);

        for (int i = 0; i < 4; ++i) redo->trigger();
        QVERIFY(!redo->isEnabled());
        QVERIFY(program.app.Params() == edited);
        QTRY_VERIFY_WITH_TIMEOUT(app.VirtualDevice()->Parameters() == edited, 5000);

        // A new edit after an undo drops the redo branch.
        undo->trigger();
        QVERIFY(redo->isEnabled());
        gain.Apply(0, 30);
        QVERIFY(!redo->isEnabled());
        QCOMPARE(undo->text(), QString("Undo Output 1 gain"));
    }

    void compareListsTheDifferencesAndSendsOrTakes() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ConnectToVirtual(app));
        sim::VirtualProcessor& device = *app.VirtualDevice();
        // Changed behind the program's back, on the processor's own panel.
        SystemParameters theirs = device.Parameters();
        theirs.OutCH[4].Gain = 150;
        theirs.InCH[1].Mute = 1;
        device.SetParameters(theirs);

        const auto shown = [&frame] {
            auto* w = frame.findChild<CompareWindow*>("compareWindow");
            return w && w->isVisible() ? w : nullptr;
        };
        frame.findChild<QAction*>("compareWithDevice")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(shown(), 5000);
        QStringList listed;
        for (int i = 0; i < shown()->Lines()->count(); ++i) listed << shown()->Lines()->item(i)->text();
        QCOMPARE(listed.size(), 2);
        shown()->SendButton()->click();
        QVERIFY(listed.contains(QString::fromUtf8("in 2 mute: on \u2192 off")));
        QVERIFY(listed.filter("out 5 gain: -15.5 dB").size() == 1);
        QTRY_VERIFY_WITH_TIMEOUT(SameSettings(device.Parameters(), program.app.Params()), 5000);

        // Changed again; this time the program takes the device's values, as one step to undo.
        theirs = device.Parameters();
        theirs.OutCH[0].Limit = 40;
        device.SetParameters(theirs);
        frame.findChild<QAction*>("compareWithDevice")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(shown(), 5000);
        shown()->TakeButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(program.app.Params().OutCH[0].Limit, std::uint8_t(40), 5000);
        QCOMPARE(frame.findChild<QAction*>("undo")->text(), QString("Undo Take the device's values"));
    }

    void aFileLoadedWhileConnectedCanGoToTheDevice() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ConnectToVirtual(app));
        QTemporaryDir dir;
        SystemParameters p = program.app.Params();
        p.OutCH[6].Gain = 141;
        p.InCH[0].Peq[0] = {1, 50, 30, 20};
        const QString path = dir.filePath("venue.asc");
        QCOMPARE(SaveParameterFile(path.toStdString(), p, program.app.Info()).size(), std::size_t(0));
        QString asked;
        SetQuestionHandler([&](QWidget*, const QString&, const QString& text) {
            asked = text;
            return true;
        });
        QVERIFY(frame.LoadFile(path));
        QVERIFY(asked.startsWith("venue.asc is loaded, but the processor still holds its own settings."));
        QTRY_VERIFY_WITH_TIMEOUT(SameSettings(app.VirtualDevice()->Parameters(), p), 5000);
        QVERIFY(std::none_of(app.VirtualDevice()->FramesReceived().begin(),
                             app.VirtualDevice()->FramesReceived().end(),
                             [](const std::string& f) { return f.rfind("(01P", 0) == 0; }));
    }

    void theRoutingWindowTogglesAndResets() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ConnectToVirtual(app));
        QTest::mouseClick(Strip(frame, "Output 8 routing"), Qt::LeftButton);
        auto* route = frame.Page()->findChild<RouteWindow*>("routeWindow");
        QVERIFY(route && route->isVisible());
        QCOMPARE(route->windowTitle(), QString("Route"));
        QCOMPARE(route->accessibleName(), QString("Routing")); // the window of all outputs, not "Output 8 "
        QVERIFY(route->Crosspoint(7, 7)->CheckedFlag());
        QTest::mouseClick(route->Crosspoint(7, 1), Qt::LeftButton);
        QCOMPARE(route->Crosspoint(7, 1)->Look(), 0);
        QUELLMARIN_TRY_RECEIVED(app, "(01$0317000181000000000000000181)");
        QCOMPARE(app.VirtualDevice()->Parameters().OutCH[7].Route[1], std::uint8_t(181));
        // Pressed through the accessibility interface, a crosspoint does what a click does.
        QVERIFY(PressAccessibly(route->Crosspoint(7, 2)));
        QTRY_COMPARE_WITH_TIMEOUT(app.VirtualDevice()->Parameters().OutCH[7].Route[2], std::uint8_t(181), 5000);
        QCOMPARE(route->Crosspoint(7, 2)->Look(), 0);
        // Enter on a focused crosspoint presses it too.
        route->Crosspoint(7, 2)->setFocus();
        QTest::keyClick(route->Crosspoint(7, 2), Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(app.VirtualDevice()->Parameters().OutCH[7].Route[2], std::uint8_t(0), 5000);
        KeepScreenshot(route, "route");
        QVERIFY(frame.Page()->StripTip(Strip(frame, "Output 8 routing")).startsWith("From B, H"));

        int asked = 0;
        SetQuestionHandler([&](QWidget*, const QString& caption, const QString& text) {
            ++asked;
            return caption == "TIP:" && text == "Are you sure reset route setting ?" && asked > 1;
        });
        QTest::mouseClick(route->ResetButton(), Qt::LeftButton); // answered No
        QCOMPARE(program.app.Params().OutCH[7].Route[1], std::uint8_t(181));
        QTest::mouseClick(route->ResetButton(), Qt::LeftButton); // answered Yes
        QCOMPARE(program.app.Params().OutCH[7].Route[1], std::uint8_t(0));
        QVERIFY(!route->Crosspoint(7, 1)->CheckedFlag());
        QUELLMARIN_TRY_RECEIVED(app, "(01K)");
        QCOMPARE(app.VirtualDevice()->Parameters().OutCH[7].Route[1], std::uint8_t(0));
    }

    void aLinkIndicatorOpensTheLinkWindow() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ConnectToVirtual(app));
        WhenShown<LinkWindow>([](LinkWindow* w) {
            QCOMPARE(w->windowTitle(), QString(" Link Setting Input"));
            w->Choose(1, 0); // input B into input A's group
            KeepScreenshot(w, "link");
        });
        QTest::mouseClick(frame.Page()->LinkLamp(Section::Input, 3), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(WindowsHandled(), 20000);
        QCOMPARE(program.app.Params().InCH[1].LinkIndex, std::uint8_t(0));
        QUELLMARIN_TRY_RECEIVED(app, "(01$04000234567)");
        // The selected input (A) lights its own and B's indicator.
        QVERIFY(frame.Page()->LinkLamp(Section::Input, 1)->Lit());
        QVERIFY(!frame.Page()->LinkLamp(Section::Input, 2)->Lit());

        // Cancel changes nothing.
        WhenShown<LinkWindow>([](LinkWindow* w) { w->Choose(5, 0); }, false);
        QTest::mouseClick(frame.Page()->LinkLamp(Section::Input, 0), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(WindowsHandled(), 20000);
        QCOMPARE(program.app.Params().InCH[5].LinkIndex, std::uint8_t(5));
    }

    void aliasNamesAreSentAndShown() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ConnectToVirtual(app));
        WhenShown<AliasWindow>([&app](AliasWindow* w) {
            QVERIFY(app.Controller().PollSuspended());
            w->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(w));
            CMyTextEdit* field = w->Field(10);
            field->setFocus();
            QTRY_VERIFY(field->hasFocus());
            field->selectAll();
            QTest::keyClicks(field, "Stage (left)");
            QCOMPARE(field->text(), QString("Stage left"));
            QTest::keyClick(field, Qt::Key_Return); // hands the focus on: the name is stored and sent
            KeepScreenshot(w, "alias");
        });
        Command(frame, "CH Alias Setting...")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(WindowsHandled(), 20000);
        QVERIFY(!app.Controller().PollSuspended());
        QCOMPARE(std::string(program.app.Params().ChName[10], 15), std::string("Stage left     "));
        QTRY_COMPARE_WITH_TIMEOUT(std::string(app.VirtualDevice()->Parameters().ChName[10], 15),
                                  std::string("Stage left     "), 5000);
        QVERIFY(Received(app, "(01E12Stage left     )"));
        const auto frames = app.VirtualDevice()->FramesReceived();
        QCOMPARE(std::count(frames.begin(), frames.end(), std::string("(01E12Stage left     )")), 1); // one Enter, one frame
        // The name appears where output 3 is shown.
        QTest::mouseClick(Strip(frame, "Output 3 limiter"), Qt::LeftButton);
        QVERIFY(
            frame.Page()->findChild<QWidget*>("limiterPopup")->windowTitle().endsWith("CH[3] Stage left"));
    }

    void commandsThatOpenAWindowReturnAtOnce() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ConnectToVirtual(app));
        const auto shownDialog = [] {
            for (QWidget* top : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<QDialog*>(top); d && d->isVisible() && d->isModal()) return d;
            return static_cast<QDialog*>(nullptr);
        };
        for (const char* command : {"Program List...", "Save To Device..", "Generator...", "CH Alias Setting...",
                                    "Pannel Lock Settng...", "Network ports...", "Contents"}) {
            QAction* action = Command(frame, command);
            QVERIFY2(action, command);
            // A screen reader's press on the menu item comes back with the window already on screen.
            action->trigger();
            QPointer<QDialog> shown = shownDialog();
            QVERIFY2(shown, command);
            shown->reject();
            QTRY_VERIFY2(shown.isNull(), command);
            QVERIFY2(!app.Controller().PollSuspended(), command);
        }
        // The link indicator's window too, and Cancel there changes nothing.
        const SystemParameters before = app.Params();
        QTest::mouseClick(frame.Page()->LinkLamp(Section::Output, 0), Qt::LeftButton);
        QPointer<QDialog> links = shownDialog();
        QVERIFY(qobject_cast<LinkWindow*>(links.data()));
        static_cast<LinkWindow*>(links.data())->Choose(3, 0);
        links->reject();
        QTRY_VERIFY(links.isNull());
        QVERIFY(SameSettings(app.Params(), before));
    }

    void thePanelLockIsSentOnEveryClick() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ConnectToVirtual(app));
        WhenShown<PanelLockWindow>([](PanelLockWindow* w) {
            QVERIFY(w->UnlockButton()->isChecked());
            w->LockButton()->click();
            w->LockButton()->click();
        });
        Command(frame, "Pannel Lock Settng...")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(WindowsHandled(), 20000);
        QCOMPARE(program.app.Info().PanelLock, std::uint8_t(1));
        QTRY_COMPARE_WITH_TIMEOUT(app.VirtualDevice()->Info().PanelLock, std::uint8_t(1), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(
            [&] {
                const auto frames = app.VirtualDevice()->FramesReceived();
                return std::count(frames.begin(), frames.end(), "(01J001)");
            }(),
            2L, 5000);

        // Not connected, only the record changes.
        app.StartDisconnect();
        QTRY_VERIFY_WITH_TIMEOUT(!app.Connected(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(app.VirtualDevice()->FramesReceived().back() == "(01B)", 5000);
        const std::size_t count = app.VirtualDevice()->FrameCount();
        WhenShown<PanelLockWindow>([](PanelLockWindow* w) { w->UnlockButton()->click(); });
        Command(frame, "Pannel Lock Settng...")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(WindowsHandled(), 20000);
        QCOMPARE(program.app.Info().PanelLock, std::uint8_t(0));
        QCOMPARE(app.VirtualDevice()->FrameCount(), count);
    }

    void networkPortsAreCheckedBeforeTheyEnterTheList() {
        NetworkPortsWindow w({"tcp://10.0.0.5:4001", "not a port"}, nullptr);
        QCOMPARE(w.Ports(), std::vector<std::string>{"tcp://10.0.0.5:4001"});
        QLineEdit* field = Named<QLineEdit>(&w, "Network port host and port");
        QComboBox* kind = Named<QComboBox>(&w, "Kind of the network port to add");
        QPushButton* add = Named<QPushButton>(&w, "Add the network port");
        QVERIFY(field && kind && add);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        // Typed and confirmed with Enter, with the kind chosen by keyboard.
        field->setFocus();
        QTest::keyClicks(field, "rack-room:99999");
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(w.Message(), QString("rack-room:99999: the port number must be 1 to 65535: give it as HOST:PORT, "
                                      "for example tcp://192.168.1.20:4001"));
        QCOMPARE(w.Ports().size(), std::size_t(1));
        QVERIFY2(w.isVisible(), "Enter in the field does not close the window");
        kind->setCurrentIndex(1);
        field->clear();
        QTest::keyClicks(field, "Rack-Room:2217");
        add->click();
        QCOMPARE(w.Ports(), (std::vector<std::string>{"tcp://10.0.0.5:4001", "rfc2217://rack-room:2217"}));
        QCOMPARE(w.List()->topLevelItem(1)->text(1), QString("RFC 2217 (Telnet)"));
        QVERIFY(field->text().isEmpty());
        QTest::keyClicks(field, "rfc2217://RACK-ROOM:2217");
        add->click();
        QCOMPARE(w.Message(), QString("rack-room:2217 is in the list already."));
        KeepScreenshot(&w, "network-ports");

        // Delete on the list removes the selected entry.
        w.List()->setFocus();
        w.List()->setCurrentItem(w.List()->topLevelItem(0));
        QTest::keyClick(w.List(), Qt::Key_Delete);
        QCOMPARE(w.Ports(), std::vector<std::string>{"rfc2217://rack-room:2217"});
    }

    void aNetworkPortIsRememberedAndScanned() {
        sim::VirtualProcessor device(14, DeviceModel::Mivon);
        sim::NetworkSimServer server(device, true);
        std::string error;
        QVERIFY2(server.Listen("127.0.0.1", 0, error), error.c_str());
        const QString hostPort = QString("127.0.0.1:%1").arg(server.Port());
        const auto forget = [] {
            QSettings settings(CMainFrame::SettingsPath(), QSettings::IniFormat);
            settings.remove("link/networkPorts");
        };
        forget();
        {
            VirtualProgram program;
            WhenShown<NetworkPortsWindow>([&](NetworkPortsWindow* w) {
                w->KindChoice()->setCurrentIndex(1);
                w->AddressField()->setText(hostPort);
                QVERIFY(w->AddTyped());
            });
            Command(program.frame, "Network ports...")->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(WindowsHandled(), 20000);
            QCOMPARE(program.app.NetworkPorts(), std::vector<std::string>{server.PortName()});
        }
        // A new start of the program scans it with the others.
        VirtualProgram& program = Program();
        QCOMPARE(program.app.NetworkPorts(), std::vector<std::string>{server.PortName()});
        QVERIFY(ScanAndSelect(program.app, "Device.....14"));
        QCOMPARE(program.app.SelectedPort(), server.PortName());
        QListWidget* list = Named<QListWidget>(program.frame.Page(), "Device list");
        QVERIFY(list);
        QList<QListWidgetItem*> lines = list->findItems("Device.....14", Qt::MatchExactly);
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines[0]->toolTip(), "Answered on the port " + QString::fromStdString(server.PortName()) +
                                          " (a network serial server, RFC 2217: the line is set by the program)");
        program.app.StartConnect(false);
        QTRY_VERIFY_WITH_TIMEOUT(program.app.State() == LinkState::Connected, 10000);
        QCOMPARE(server.Connections() >= 1, true);
        program.app.StartDisconnect();
        QTRY_VERIFY_WITH_TIMEOUT(!program.app.Connected(), 5000);
        forget();
    }

    void severalVirtualProcessorsShareTheVirtualLineEachAnsweringItsOwnId() {
        VirtualProgram& program = Program();
        WhenShown<VirtualProcessorsWindow>([&](VirtualProcessorsWindow* w) {
            QCOMPARE(w->IdsText(), QString("1"));
            QVERIFY(Named<QSpinBox>(w, "Number of virtual processors on the port virtual"));
            w->CountField()->setValue(4);
            QCOMPARE(w->IdsText(), QString("1, 2, 3, 4"));
            KeepScreenshot(w, "virtual-processors");
        });
        Command(program.frame, "Virtual processors...")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(WindowsHandled(), 20000);
        QCOMPARE(program.app.VirtualCount(), 4);
        QVERIFY2(program.frame.Note().contains("4 virtual processors (IDs 1, 2, 3, 4)"), qPrintable(program.frame.Note()));

        QVERIFY(ScanAndSelect(program.app, "Device.....03"));
        QCOMPARE(program.app.LastScan().lines, (std::vector<std::string>{"Device.....01", "Device.....02",
                                                                          "Device.....03", "Device.....04"}));
        program.app.StartConnect(false);
        QTRY_VERIFY_WITH_TIMEOUT(program.app.State() == LinkState::Connected, 10000);
        MuteEditor(program.app.Context()).Set({Section::Output, 2}, true);
        sim::VirtualProcessor* third = program.app.VirtualDevices().at(2);
        QTRY_COMPARE_WITH_TIMEOUT(third->Parameters().OutCH[2].Mute, std::uint8_t{1}, 5000);
        for (sim::VirtualProcessor* d : program.app.VirtualDevices())
            if (d != third) QCOMPARE(d->Parameters().OutCH[2].Mute, std::uint8_t{0});

        // Fewer again: the line keeps the first ones; a cancelled window changes nothing.
        WhenShown<VirtualProcessorsWindow>([&](VirtualProcessorsWindow* w) { w->CountField()->setValue(2); }, false);
        Command(program.frame, "Virtual processors...")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(WindowsHandled(), 20000);
        QCOMPARE(program.app.VirtualCount(), 4);
        program.app.StartDisconnect();
        QTRY_VERIFY_WITH_TIMEOUT(program.app.State() == LinkState::NotConnected, 5000);
        program.app.SetVirtualCount(2);
        QVERIFY(ScanAndSelect(program.app, "Device.....02"));
        QCOMPARE(program.app.LastScan().lines, (std::vector<std::string>{"Device.....01", "Device.....02"}));
    }
};

QTEST_MAIN(TestDeviceWindows)
#include "test_device_windows.moc"
