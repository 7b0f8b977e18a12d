// The windows on the offscreen platform: wiring of the front panel, file loading, and the whole
// program against its built-in virtual processor.
#include "app/Dialogs.h"
#include "app/MainFrame.h"
#include "app/MessageBox.h"
#include "app/Theme.h"
#include "app/Widgets.h"
#include "model/ParameterFile.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace quellmarin;
using namespace quellmarin::ui;

class TestFrontPanel : public QObject {
    Q_OBJECT

    QStringList messages_;

  private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        qApp->setStyleSheet(StyleSheet());
        SetMessageHandler([this](QWidget*, const QString& caption, const QString& text) {
            messages_ << caption + "|" + text;
        });
    }
    void init() {
        messages_.clear();
        ResetDefaults(DeviceModel::Mivon);
    }

    void outputClickChangesOnlyTheOutputChannel() {
        CQuellmarinApp app(DeviceModel::Mivon, LinkTimings::Fast());
        app.SetIncludeHardware(false);
        CMainFrame frame(app);
        CPropertyViewPage* page = frame.Page();
        QTest::mouseClick(page->StripButton(2203), Qt::LeftButton);
        QCOMPARE(page->Logic().CurrentInputChannel(), 3);
        QTest::mouseClick(page->StripButton(2906), Qt::LeftButton);
        QCOMPARE(page->Logic().CurrentOutputChannel(), 6);
        QCOMPARE(page->Logic().CurrentInputChannel(), 3);
        QVERIFY(!page->Logic().InputSectionActive());
        QVERIFY(page->StripButton(2906)->property("selectedChannel").toBool());
        QVERIFY(!page->StripButton(2905)->property("selectedChannel").toBool());
    }

    void muteButtonPostsFramesAndFollowsTheRecord() {
        CQuellmarinApp app(DeviceModel::Mivon, LinkTimings::Fast());
        app.SetIncludeHardware(false);
        CMainFrame frame(app);
        CPropertyViewPage* page = frame.Page();
        Selection s{"01", "virtual", 1, 1};
        app.Link().Select(s);
        QTest::mouseClick(page->StripButton(2403), Qt::LeftButton);
        QCOMPARE(QString::fromStdString(app.Link().Slot().TakeCommand()), QString("(01$0303001)"));
        QCOMPARE(g_SystemParameters.InCH[3].Mute, 1);
        QVERIFY(page->StripButton(2403)->property("muted").toBool());
        QTest::mouseClick(page->StripButton(2403), Qt::LeftButton);
        QCOMPARE(QString::fromStdString(app.Link().Slot().TakeCommand()), QString("(01$0303000)"));
        QCOMPARE(g_SystemParameters.InCH[3].Mute, 0);

        g_SystemParameters.OutCH[5].Mute = 1;
        g_SystemParameters.InCH[0].Mute = 1;
        page->RefreshMuteButtons();
        QVERIFY(page->StripButton(3105)->property("muted").toBool());
        QVERIFY(page->StripButton(2400)->property("muted").toBool());
        QVERIFY(!page->StripButton(3104)->property("muted").toBool());
    }

    void metersAndIndicators() {
        CQuellmarinApp app(DeviceModel::Mivon, LinkTimings::Fast());
        CMainFrame frame(app);
        CPropertyViewPage* page = frame.Page();
        LevelFrame f;
        f.in = {96, 0, 48, 0, 0, 0, 0, 0};
        f.out = {0, 0, 0, 0, 0, 0, 0, 96};
        page->SetLevels(f);
        QCOMPARE(page->InputMeters()->LitSegmentsOf(0), 50);
        QCOMPARE(page->InputMeters()->LitSegmentsOf(1), 0);
        QCOMPARE(page->InputMeters()->LitSegmentsOf(2), 25);
        QCOMPARE(page->OutputMeters()->LitSegmentsOf(7), 50);
        // Indicators stay off while not connected.
        page->SetStatusBytes(0x81, 0x02);
        QTest::qWait(30);
        QVERIFY(!page->StatusLamp(false, 0)->Lit());
        page->ResetIndicators();
        QCOMPARE(page->InputMeters()->LitSegmentsOf(0), 0);

        CQuellmarinApp ketraApp(DeviceModel::Ketra, LinkTimings::Fast());
        CMainFrame ketra(ketraApp);
        f.in = {96, 1, 48, 3, 4, 20, 6, 96};
        ketra.Page()->SetLevels(f);
        QCOMPARE(ketra.Page()->InputMeters()->Columns(), (std::vector<int>{96, 48, 20, 96}));
        QVERIFY(ketra.Page()->StripButton(2100)->isHidden());
        QVERIFY(!ketra.Page()->StripButton(2104)->isHidden());
    }

    void statusTextsAndMenus() {
        CQuellmarinApp app(DeviceModel::Mivon, LinkTimings::Fast());
        CMainFrame frame(app);
        QCOMPARE(frame.windowTitle(), QString("Quellmarin V" QUELLMARIN_VERSION));
        QCOMPARE(frame.PaneText(0), QString("Device ID:01"));
        QCOMPARE(frame.PaneText(1), QString("Program No.:01"));
        QCOMPARE(frame.PaneText(2), QString("Program Name:...................."));
        QCOMPARE(frame.PaneText(3), QString("None device connected.."));
        frame.Action(32807)->trigger();
        QCOMPARE(messages_.value(0), QString("Has not connect to device |Please connect to device first."));
        for (int command : {32781, 32805, 32806, 57665, 32807, 32811, 32812, 32813, 32824, 32779, 57664})
            QVERIFY2(frame.Action(command), qPrintable(QString::number(command)));
        frame.Action(32812)->trigger();
        QVERIFY(messages_.last().contains("not available yet"));
        QVERIFY(QFile::exists(frame.HelpPath()));
    }

    void fileLoadErrorsLeaveTheRecords() {
        QTemporaryDir dir;
        CQuellmarinApp app(DeviceModel::Mivon, LinkTimings::Fast());
        CMainFrame frame(app);
        const SystemParameters before = g_SystemParameters;
        const DeviceInfoRecord infoBefore = DeviceInfo;

        QFile shortFile(dir.filePath("short.asc"));
        QVERIFY(shortFile.open(QIODevice::WriteOnly));
        shortFile.write(QByteArray(1104, 'x'));
        shortFile.close();
        QVERIFY(!frame.LoadFile(shortFile.fileName()));
        QVERIFY(!frame.LoadFile(dir.filePath("missing.asc")));
        const std::string ketra = dir.filePath("ketra.asc").toStdString();
        QCOMPARE(QString::fromUtf8(SaveParameterFile(ketra, DefaultSystemParameters(DeviceModel::Ketra),
                                                     DefaultDeviceInfo(DeviceModel::Ketra))
                                       .data()),
                 QString());
        QVERIFY(!frame.LoadFile(QString::fromStdString(ketra)));
        QCOMPARE(messages_, (QStringList{"Quellmarin|File read Failed...!", "Quellmarin|File read Failed...!",
                                         "Quellmarin|Import file error,it is incompatible with device"}));
        QVERIFY(g_SystemParameters == before);
        QVERIFY(DeviceInfo == infoBefore);
        QVERIFY(!frame.SaveFile(dir.filePath("notes.txt")));
        QCOMPARE(messages_.last(), QString("Quellmarin|File ext error...!"));

        // A good file replaces both records and refreshes the panel and the status bar.
        SystemParameters p = DefaultSystemParameters(DeviceModel::Mivon);
        SetProgramName(p, "Loaded show");
        p.OutCH[2].Mute = 1;
        DeviceInfoRecord d = DefaultDeviceInfo(DeviceModel::Mivon);
        d.DeviceId = 9;
        const std::string good = dir.filePath("good.asc").toStdString();
        QCOMPARE(SaveParameterFile(good, p, d).size(), std::size_t(0));
        QVERIFY(frame.LoadFile(QString::fromStdString(good)));
        QVERIFY(g_SystemParameters == p);
        QCOMPARE(frame.PaneText(0), QString("Device ID:09"));
        QCOMPARE(frame.PaneText(2), QString("Program Name:Loaded show"));
        QVERIFY(frame.Page()->StripButton(3102)->property("muted").toBool());
        QVERIFY(frame.SaveFile(dir.filePath("again.ASC")));
    }

    void wholeProgramAgainstTheVirtualProcessor() {
        CQuellmarinApp app(DeviceModel::Mivon, LinkTimings::Fast());
        app.SetIncludeHardware(false);
        QVERIFY(app.StartVirtualProcessor(1));
        CMainFrame frame(app);
        frame.show();
        CPropertyViewPage* page = frame.Page();
        QPushButton* scan = page->findChild<QPushButton*>("scanButton");
        QVERIFY(scan);

        QTest::mouseClick(scan, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(page->DeviceList()->count(), 1, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(page->DeviceList()->item(0)->text(), QString("Device.....01"), 5000);
        QVERIFY(!page->NoDeviceFound());
        page->DeviceList()->setCurrentRow(0);
        QCOMPARE(QString::fromStdString(app.Link().PortPath()), QString("virtual"));

        // The connect dialog: upload is the default; accept it.
        app.VirtualDevice()->SetParameters([] {
            SystemParameters p = DefaultSystemParameters(DeviceModel::Mivon);
            SetProgramName(p, "From the device");
            return p;
        }());
        QTimer::singleShot(50, [] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<QDialog*>(w); d && d->objectName() == "connectDialog") {
                    QVERIFY(d->findChild<QRadioButton*>("uploadRadio")->isChecked());
                    d->findChild<QPushButton*>("connectButton")->click();
                }
        });
        page->ConnectFromList();
        QTRY_VERIFY_WITH_TIMEOUT(app.Connected(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(frame.PaneText(3), QString("has been connected to device.."), 5000);
        QCOMPARE(frame.PaneText(2), QString("Program Name:From the device"));
        QCOMPARE(scan->text(), QString("Disconnect.."));
        QTRY_VERIFY_WITH_TIMEOUT(page->InputMeters()->LitSegmentsOf(0) > 0, 5000);

        QTest::mouseClick(page->StripButton(3102), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(app.VirtualDevice()->Parameters().OutCH[2].Mute, std::uint8_t(1), 5000);
        if (qEnvironmentVariableIsSet("QUELLMARIN_SCREENSHOT_DIR")) {
            QTest::qWait(300);
            frame.grab().save(qEnvironmentVariable("QUELLMARIN_SCREENSHOT_DIR") + "/connected.png");
        }
        const auto frames = app.VirtualDevice()->FramesReceived();
        QVERIFY(std::find(frames.begin(), frames.end(), "(01$0372001)") != frames.end());

        page->ConnectFromList();
        QCOMPARE(messages_.value(0), QString("Prompt|Has been connected to device!"));

        QTest::mouseClick(scan, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!app.Connected(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(scan->text(), QString("Scan device"), 5000);
        QCOMPARE(QString::fromStdString(app.VirtualDevice()->FramesReceived().back()), QString("(01B)"));
        QCOMPARE(frame.PaneText(3), QString("None device connected.."));
        QCOMPARE(page->InputMeters()->LitSegmentsOf(0), 0);
    }

    void lostDeviceWarningAndItsSuppression() {
        CQuellmarinApp app(DeviceModel::Mivon, LinkTimings::Fast());
        app.SetIncludeHardware(false);
        app.StartVirtualProcessor(1);
        CMainFrame frame(app);
        CPropertyViewPage* page = frame.Page();
        app.Link().Scan();
        app.Link().Select("Device.....01");
        app.StartConnect(false);
        QTRY_VERIFY_WITH_TIMEOUT(app.Connected(), 5000);
        page->ShowLostDevice();
        QVERIFY(page->Warning()->isVisible());
        page->Warning()->findChild<QPushButton*>()->click();
        QVERIFY(page->WarningSuppressed());
        page->ShowLostDevice();
        QVERIFY(!page->Warning()->isVisible());
        app.StartDisconnect();
        QTRY_VERIFY_WITH_TIMEOUT(!app.Connected(), 5000);
    }
};

QTEST_MAIN(TestFrontPanel)
#include "test_front_panel.moc"
