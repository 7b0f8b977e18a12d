// The windows on the offscreen platform: wiring of the front panel, file loading, and the whole
// program against its built-in virtual processor.
#include "ui/WindowTest.h"
#include "windows/HelpWindow.h"
#include "widgets/Lamp.h"
#include "widgets/LevelMeterStrip.h"
#include "shell/MainFrame.h"
#include "widgets/MessageBox.h"
#include "windows/ScanWindow.h"
#include "widgets/Theme.h"
#include "widgets/ToneIndicator.h"
#include "windows/WarningDialog.h"
#include "windows/CompareWindow.h"
#include "windows/GeneratorWindow.h"
#include "link/Exchange.h"
#include "model/ParameterFile.h"
#include "windows/ModulePopup.h"
#include "edit/RecordDiff.h"
#include "edit/GainEditor.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolTip>

using namespace quellmarin;
using namespace quellmarin::ui;
using namespace quellmarin::test;

namespace {
// The smallest editor window: its title names the channel, Refresh counts its reloads.
class TestPopup : public ModulePopup {
  public:
    TestPopup(int code, Section section, QWidget* parent) : ModulePopup(code, section, parent) {
        resize(300, 120);
    }
    void Reload() override { ++refreshes; }
    int refreshes = 0;

  protected:
    QString TitleFor(int channel) const override { return QString("Test editor CH[%1]").arg(channel + 1); }
};
} // namespace

class TestFrontPanel : public WindowTest {
    Q_OBJECT

  private slots:
    void outputClickChangesOnlyTheOutputChannel() {
        CQuellmarinApp app(DeviceModel::Mivon, LinkTimings::Fast());
        app.SetIncludeHardware(false);
        CMainFrame frame(app);
        CPropertyViewPage* page = frame.Page();
        QTest::mouseClick(Strip(frame, "Input 4 gain"), Qt::LeftButton);
        QCOMPARE(page->Logic().CurrentInputChannel(), 3);
        QTest::mouseClick(Strip(frame, "Output 7 gain"), Qt::LeftButton);
        QCOMPARE(page->Logic().CurrentOutputChannel(), 6);
        QCOMPARE(page->Logic().CurrentInputChannel(), 3);
        QVERIFY(!page->Logic().InputSectionActive());
        QVERIFY(Strip(frame, "Output 7 gain")->property("selectedChannel").toBool());
        QVERIFY(!Strip(frame, "Output 6 gain")->property("selectedChannel").toBool());
    }

    void muteButtonPostsFramesAndFollowsTheRecord() {
        CQuellmarinApp app(DeviceModel::Mivon, LinkTimings::Fast());
        app.SetIncludeHardware(false);
        CMainFrame frame(app);
        CPropertyViewPage* page = frame.Page();
        std::vector<std::string> posted;
        CollectPosts(app, posted);
        QTest::mouseClick(Strip(frame, "Input 4 mute"), Qt::LeftButton);
        QCOMPARE(app.Params().InCH[3].Mute, 1);
        QVERIFY(Strip(frame, "Input 4 mute")->property("muted").toBool());
        QTest::mouseClick(Strip(frame, "Input 4 mute"), Qt::LeftButton);
        QCOMPARE(posted, (std::vector<std::string>{"(01$0303001)", "(01$0303000)"}));
        QCOMPARE(app.Params().InCH[3].Mute, 0);

        app.Params().OutCH[5].Mute = 1;
        app.Params().InCH[0].Mute = 1;
        page->RefreshMuteButtons();
        QVERIFY(Strip(frame, "Output 6 mute")->property("muted").toBool());
        QVERIFY(Strip(frame, "Input 1 mute")->property("muted").toBool());
        QVERIFY(!Strip(frame, "Output 5 mute")->property("muted").toBool());
    }

    void metersAndIndicators() {
        CQuellmarinApp app(DeviceModel::Mivon, LinkTimings::Fast());
        CMainFrame frame(app);
        CPropertyViewPage* page = frame.Page();
        LevelFrame f;
        f.in = {96, 0, 48, 0, 0, 0, 0, 0};
        f.out = {0, 0, 0, 0, 0, 0, 0, 96};
        page->SetLevels(f);
        QCOMPARE(page->InputMeters()->LitSegmentsOf(0), 0); // levels count only from a connected device
        page->InputMeters()->SetLevels(f.in);
        page->OutputMeters()->SetLevels(f.out);
        QCOMPARE(page->InputMeters()->LitSegmentsOf(0), 50);
        QCOMPARE(page->InputMeters()->LitSegmentsOf(1), 0);
        QCOMPARE(page->InputMeters()->LitSegmentsOf(2), 25);
        QCOMPARE(page->OutputMeters()->LitSegmentsOf(7), 50);
        // Each channel's level and held peak in decibels, for a screen reader and on hover.
        page->InputMeters()->SetLevels({84, 0, 48, 0, 0, 0, 0, 0});
        QCOMPARE(page->InputMeters()->ColumnText(0), QString::fromUtf8("Input 1 level \u221212 dB, peak 0 dB"));
        QCOMPARE(page->InputMeters()->ColumnText(1), QString("Input 2 level no signal, peak no signal"));
        QVERIFY(page->InputMeters()->accessibleDescription().startsWith(
            QString::fromUtf8("Input 1 level \u221212 dB, peak 0 dB; Input 2 level")));
        QCOMPARE(page->InputMeters()->Peaks()[0], 96);
        // The clip and limit lamps differ by shape and mark, not by colour alone.
        QCOMPARE(page->StatusLamp(Section::Input, 0)->toolTip(), QString("C: the signal is over the clip threshold"));
        QCOMPARE(page->StatusLamp(Section::Output, 0)->toolTip(), QString("L: the limiter is active"));
        // Indicators stay off while not connected.
        page->SetStatusBytes(0x81, 0x02);
        QTest::qWait(30);
        QVERIFY(!page->StatusLamp(Section::Input, 0)->Lit());
        page->ResetIndicators();
        QCOMPARE(page->InputMeters()->LitSegmentsOf(0), 0);

        CQuellmarinApp ketraApp(DeviceModel::Ketra, LinkTimings::Fast());
        CMainFrame ketra(ketraApp);
        f.in = {96, 1, 48, 3, 4, 20, 6, 96};
        ketra.Page()->InputMeters()->SetLevels(f.in);
        QCOMPARE(ketra.Page()->InputMeters()->Columns(), (std::vector<int>{96, 48, 20, 96}));
        QVERIFY(Strip(ketra, "Input 1 equaliser")->isHidden());
        QVERIFY(!Strip(ketra, "Input A equaliser")->isHidden());
    }

    void theFixedPacingChoiceIsAppliedAndRemembered() {
        VirtualProgram& program = Program();
        QAction* fixed = Command(program.frame, "Fixed 200 ms pacing");
        QVERIFY(fixed && fixed->isCheckable() && !fixed->isChecked());
        QCOMPARE(program.app.Controller().CurrentPacing(), Pacing::Answered);
        fixed->trigger();
        QCOMPARE(program.app.Controller().CurrentPacing(), Pacing::Fixed);
        {
            VirtualProgram next; // the next start of the program
            QVERIFY(Command(next.frame, "Fixed 200 ms pacing")->isChecked());
            QCOMPARE(next.app.Controller().CurrentPacing(), Pacing::Fixed);
        }
        fixed->trigger();
        QCOMPARE(program.app.Controller().CurrentPacing(), Pacing::Answered);
    }

    void statusTextsAndMenus() {
        CQuellmarinApp app(DeviceModel::Mivon, LinkTimings::Fast());
        CMainFrame frame(app);
        QCOMPARE(frame.windowTitle(), QString("Quellmarin V" QUELLMARIN_VERSION));
        QCOMPARE(frame.PaneText(0), QString("Device ID:01"));
        QCOMPARE(frame.PaneText(1), QString("Program No.:01"));
        QCOMPARE(frame.PaneText(2), QString("Program Name:...................."));
        QCOMPARE(frame.PaneText(3), QString("None device connected.."));
        Command(frame, "Program List...")->trigger();
        QCOMPARE(messages_.value(0), QString("Has not connect to device |Please connect to device first."));
        for (int command : {32781, 32805, 32806, 57665, 32807, 32811, 32812, 32813, 32824, 32779, 57664})
            QVERIFY2(frame.Action(command), qPrintable(QString::number(command)));
        // The generator opens without a connection too (its settings are kept in the program).
        bool opened = false;
        quellmarin::test::WhenShown<GeneratorWindow>(
            [&](GeneratorWindow* w) { opened = w->windowTitle() == "SIGNAL GENERATOR"; });
        Command(frame, "Generator...")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(WindowsHandled(), 20000);
        QVERIFY(opened);
        QCOMPARE(messages_.size(), 1);
        QVERIFY(QFile::exists(frame.HelpPath()));
    }

    void fileLoadErrorsLeaveTheRecords() {
        QTemporaryDir dir;
        CQuellmarinApp app(DeviceModel::Mivon, LinkTimings::Fast());
        CMainFrame frame(app);
        const SystemParameters before = app.Params();
        const DeviceInfoRecord infoBefore = app.Info();

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
        QCOMPARE(messages_,
                 (QStringList{"Quellmarin|File read Failed...! (it holds 1104 bytes; a parameter file holds 1105 (or "
                              "831 in the older layout))",
                              "Quellmarin|File read Failed...! (" + dir.filePath("missing.asc") +
                                  ": there is no such file)",
                              "Quellmarin|Import file error,it is incompatible with device"}));
        QVERIFY(app.Params() == before);
        QVERIFY(app.Info() == infoBefore);
        QVERIFY(!frame.SaveFile(dir.filePath("notes.txt")));
        QCOMPARE(messages_.last(), QString("Quellmarin|File ext error...! (a parameter file's name ends in .asc)"));

        // A good file replaces both records and refreshes the panel and the status bar.
        SystemParameters p = DefaultSystemParameters(DeviceModel::Mivon);
        SetProgramName(p, "Loaded show");
        p.OutCH[2].Mute = 1;
        DeviceInfoRecord d = DefaultDeviceInfo(DeviceModel::Mivon);
        d.DeviceId = 9;
        const std::string good = dir.filePath("good.asc").toStdString();
        QCOMPARE(SaveParameterFile(good, p, d).size(), std::size_t(0));
        QVERIFY(frame.LoadFile(QString::fromStdString(good)));
        QVERIFY(app.Params() == p);
        QCOMPARE(frame.PaneText(0), QString("Device ID:09"));
        QCOMPARE(frame.PaneText(2), QString("Program Name:Loaded show"));
        QVERIFY(Strip(frame, "Output 3 mute")->property("muted").toBool());
        QVERIFY(frame.SaveFile(dir.filePath("again.ASC")));
    }

    void f1OpensTheHelpInAWindowOfTheProgram() {
        CQuellmarinApp app(DeviceModel::Mivon, LinkTimings::Fast());
        CMainFrame frame(app);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QTest::keyClick(&frame, Qt::Key_F1);
        QTRY_VERIFY(frame.Help() && frame.Help()->isVisible());
        HelpWindow* help = frame.Help();
        QStringList sections;
        for (int i = 0; i < help->Contents()->count(); ++i) sections << help->Contents()->item(i)->text();
        for (const char* s :
             {"Programs in the processor", "Signal generator", "Keyboard", "The command-line tool",
              "When a serial port cannot be opened", "The virtual processor"})
            QVERIFY2(sections.contains(s), s);
        help->SearchField()->setText("usermod");
        QVERIFY(help->FindNext());
        QVERIFY(help->Text()->textCursor().selectedText() == "usermod");
        quellmarin::test::KeepScreenshot(help, "help");
        help->SearchField()->setText("no such word anywhere");
        QVERIFY(!help->FindNext());
    }

    void theWindowComesBackWithItsSize() {
        QFile::remove(CMainFrame::SettingsPath());
        {
            CQuellmarinApp first(DeviceModel::Mivon, LinkTimings::Fast());
            CMainFrame frame(first);
            frame.show();
            QVERIFY(QTest::qWaitForWindowExposed(&frame));
            frame.resize(1111, 666);
            QTRY_COMPARE(frame.size(), QSize(1111, 666));
            frame.close();
        }
        CQuellmarinApp app(DeviceModel::Mivon, LinkTimings::Fast());
        CMainFrame again(app);
        QCOMPARE(again.size(), QSize(1111, 666));
        QFile::remove(CMainFrame::SettingsPath());
    }

    void unsavedEditsAskBeforeQuittingAndSaveWritesTheFileInTheTitle() {
        QTemporaryDir dir;
        const QString path = dir.filePath("show.asc");
        CQuellmarinApp app(DeviceModel::Mivon, LinkTimings::Fast());
        app.SetIncludeHardware(false);
        CMainFrame frame(app);
        frame.show();
        QVERIFY(frame.SaveFile(path));
        QCOMPARE(frame.windowTitle(), QString("show.asc - Quellmarin V" QUELLMARIN_VERSION));
        QTest::mouseClick(Strip(frame, "Output 3 mute"), Qt::LeftButton);
        QCOMPARE(frame.windowTitle(), QString("show.asc* - Quellmarin V" QUELLMARIN_VERSION));

        // Quitting asks; Cancel keeps the program running with its edits.
        QStringList asked;
        SaveChoice answer = SaveChoice::Cancel;
        SetSaveQuestionHandler([&](QWidget*, const QString& caption, const QString& text) {
            asked << caption + "|" + text;
            return answer;
        });
        QVERIFY(!frame.close());
        QVERIFY(frame.isVisible());
        QCOMPARE(asked, QStringList{"Quellmarin|show.asc has changes that are not saved. Save them before quitting?"});
        QCOMPARE(app.Params().OutCH[2].Mute, 1);
        // Opening a file asks the same way; cancelled, the edits stay and nothing is loaded.
        QVERIFY(!frame.RecentActions().isEmpty());
        frame.RecentActions().first()->trigger();
        QCOMPARE(asked.size(), 2);
        QCOMPARE(asked.last(), QString("Quellmarin|show.asc has changes that are not saved. Save them before "
                                       "opening another file?"));
        QCOMPARE(app.Params().OutCH[2].Mute, 1);

        // File > Save (Ctrl+S) writes the file of the title; then quitting asks nothing.
        QCOMPARE(Command(frame, "Save")->shortcut(), QKeySequence(QKeySequence::Save));
        Command(frame, "Save")->trigger();
        QCOMPARE(frame.windowTitle(), QString("show.asc - Quellmarin V" QUELLMARIN_VERSION));
        const auto saved = LoadParameterFile(std::filesystem::path(path.toStdString()), 0x88);
        QVERIFY(saved.ok());
        QCOMPARE(saved.records->params.OutCH[2].Mute, std::uint8_t(1));
        QVERIFY(frame.close());
        QCOMPARE(asked.size(), 2);
        QFile::remove(CMainFrame::SettingsPath());
    }

    void recentFilesKeepTheFourNewestAndDropMissingOnes() {
        QFile::remove(CMainFrame::SettingsPath());
        QVERIFY(CMainFrame::SettingsPath().contains(".qttest")); // never a user's own settings
        QTemporaryDir dir;
        CQuellmarinApp app(DeviceModel::Mivon, LinkTimings::Fast());
        {
            CMainFrame frame(app);
            QVERIFY(frame.RecentActions().isEmpty());
            for (int i = 1; i <= 5; ++i) QVERIFY(frame.SaveFile(dir.filePath(QString("show%1.asc").arg(i))));
            QVERIFY(frame.SaveFile(dir.filePath("show3.asc"))); // used again: it moves to the top
            QCOMPARE(frame.windowTitle(), QString("show3.asc - Quellmarin V" QUELLMARIN_VERSION));
            QCOMPARE(frame.RecentFiles(),
                     (QStringList{dir.filePath("show3.asc"), dir.filePath("show5.asc"),
                                  dir.filePath("show4.asc"), dir.filePath("show2.asc")}));
            QCOMPARE(frame.LastFolder(), QDir(dir.path()).absolutePath());
        }
        // The next run has them in its File menu; a file that went away is taken off with a message.
        QVERIFY(QFile::remove(dir.filePath("show5.asc")));
        CMainFrame frame(app);
        QCOMPARE(frame.RecentActions().size(), 4);
        QCOMPARE(frame.RecentActions()[0]->text(),
                 "&1 " + QDir::toNativeSeparators(dir.filePath("show3.asc")));
        frame.RecentActions()[1]->trigger();
        QCOMPARE(messages_.size(), 1);
        QVERIFY(messages_.first().contains("show5.asc is no longer there"));
        QCOMPARE(frame.RecentFiles().size(), 3);
        QCOMPARE(frame.RecentActions().size(), 3);
        frame.RecentActions()[1]->trigger(); // show4.asc
        QCOMPARE(frame.windowTitle(), QString("show4.asc - Quellmarin V" QUELLMARIN_VERSION));
        QCOMPARE(frame.RecentFiles().first(), dir.filePath("show4.asc"));
        QFile::remove(CMainFrame::SettingsPath());
    }

    void aFileWithValuesNoEditorSetsLoadsAndSaysWhich() {
        QTemporaryDir dir;
        CQuellmarinApp app(DeviceModel::Mivon, LinkTimings::Fast());
        CMainFrame frame(app);
        SystemParameters p = DefaultSystemParameters(DeviceModel::Mivon);
        p.OutCH[6].Limit = 120;
        const std::string odd = dir.filePath("odd.asc").toStdString();
        QCOMPARE(SaveParameterFile(odd, p, DefaultDeviceInfo(DeviceModel::Mivon)).size(), std::size_t(0));
        QVERIFY(frame.LoadFile(QString::fromStdString(odd)));
        QVERIFY(app.Params() == p);
        QCOMPARE(messages_,
                 (QStringList{"Warning|odd.asc holds values that no editor sets, kept as they are:\n"
                              "out 7 limit (limit 120 above 99)"}));
    }

    void theWindowFitsASmallScreenWithoutClippingTheStrip() {
        CQuellmarinApp app(DeviceModel::Mivon, LinkTimings::Fast());
        app.SetIncludeHardware(false);
        CMainFrame frame(app);
        const QSize minimum = frame.minimumSizeHint().expandedTo(frame.minimumSize());
        QVERIFY(minimum.width() <= 1024);
        QVERIFY(minimum.height() <= 600);
        frame.resize(minimum);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        // Every button keeps its words, the muted ones in bold too, and muting does not move a button.
        const QRect before = Strip(frame, "Input 4 mute")->geometry();
        for (int k = 0; k < 8; ++k) app.Params().InCH[k].Mute = 1;
        frame.Page()->RefreshAll();
        QApplication::processEvents();
        QCOMPARE(Strip(frame, "Input 4 mute")->geometry(), before);
        for (QPushButton* b : frame.Page()->findChildren<QPushButton*>()) {
            if (!b->isVisible() || b->text().isEmpty()) continue;
            QFont font = b->font();
            font.setBold(b->property("mute").toBool());
            const int needed = QFontMetrics(font).horizontalAdvance(b->text()) + 6; // border and padding
            QVERIFY2(needed <= b->width(), qPrintable(QString("%1 \"%2\" needs %3 pixels, has %4")
                                                          .arg(b->objectName(), b->text())
                                                          .arg(needed)
                                                          .arg(b->width())));
        }
        quellmarin::test::KeepScreenshot(&frame, "minimum");
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
        QVERIFY2(!scan->isEnabled(), "no second click while the scan runs");
        QTRY_COMPARE_WITH_TIMEOUT(page->DeviceList()->item(0)->text(), QString("Device.....01"), 5000);
        QCOMPARE(page->DeviceList()->count(), 1);
        QCOMPARE(page->DeviceList()->item(0)->toolTip(), QString("Answered on the port virtual"));
        QTRY_VERIFY(scan->isEnabled());
        QVERIFY(!page->NoDeviceFound());
        page->DeviceList()->setCurrentRow(0);
        QCOMPARE(QString::fromStdString(app.SelectedPort()), QString("virtual"));

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

        QTest::mouseClick(Strip(frame, "Output 3 mute"), Qt::LeftButton);
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
        // The processor reads the end of the connection on its own thread.
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromStdString(app.VirtualDevice()->FramesReceived().back()),
                                  QString("(01B)"), 5000);
        QCOMPARE(frame.PaneText(3), QString("None device connected.."));
        QCOMPARE(page->InputMeters()->LitSegmentsOf(0), 0);
    }

    void lostDeviceWarningAndItsSuppression() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        CPropertyViewPage* page = frame.Page();
        QVERIFY(ConnectToVirtual(app));
        page->ShowLostDevice();
        QVERIFY(page->Warning()->isVisible());
        page->Warning()->findChild<QPushButton*>()->click();
        QVERIFY(page->WarningSuppressed());
        page->ShowLostDevice();
        QVERIFY(!page->Warning()->isVisible());
        app.StartDisconnect();
        QTRY_VERIFY_WITH_TIMEOUT(!app.Connected(), 5000);
    }

    void aDeviceThatStopsAnsweringIsLostAndFoundAgain() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        CPropertyViewPage* page = frame.Page();
        QVERIFY(ConnectToVirtual(app));
        QTRY_VERIFY_WITH_TIMEOUT(page->InputMeters()->LitSegmentsOf(0) > 0, 5000);
        sim::SimFaults silent;
        silent.muteAfter = 1;
        app.SetVirtualFaults(silent);
        QTRY_COMPARE_WITH_TIMEOUT(app.State(), LinkState::Lost, 5000);
        QCOMPARE(frame.PaneText(3), QString::fromUtf8("lost \u2014 reconnecting\u2026"));
        QCOMPARE(page->ScanButton()->text(), QString("Disconnect (no reply).."));
        QCOMPARE(page->InputMeters()->LitSegmentsOf(0), 0);
        QVERIFY(page->Warning()->isVisible());
        // Edits go on into the record and reach the device when it answers again.
        QTest::mouseClick(Strip(frame, "Output 5 mute"), Qt::LeftButton);
        QCOMPARE(program.app.Params().OutCH[4].Mute, 1);
        app.SetVirtualFaults({});
        QTRY_COMPARE_WITH_TIMEOUT(app.State(), LinkState::Connected, 5000);
        // The warning is out of date once it answers: it closes, and a passing note says so.
        QVERIFY(!page->Warning()->isVisible());
        QCOMPARE(frame.Note(), QString("The processor answers again."));
        QTRY_COMPARE_WITH_TIMEOUT(app.VirtualDevice()->Parameters().OutCH[4].Mute, std::uint8_t(1), 5000);
        QCOMPARE(frame.PaneText(3), QString("has been connected to device.."));
        QCOMPARE(page->ScanButton()->text(), QString("Disconnect.."));
        QTRY_VERIFY_WITH_TIMEOUT(page->InputMeters()->LitSegmentsOf(0) > 0, 5000);
    }

    void theStripsArrowsMoveAsTheySayAndEnterPressesTheButton() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QPushButton* start = Strip(frame, "Input 1 gain");
        start->setFocus(Qt::TabFocusReason);
        const auto focused = [] { return QApplication::focusWidget() ? QApplication::focusWidget()->accessibleName() : QString(); };
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
        QCOMPARE(focused(), QString("Input 1 delay"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QCOMPARE(focused(), QString("Input 2 delay"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
        QCOMPARE(focused(), QString("Input 2 gain"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
        QCOMPARE(focused(), QString("Input 1 gain"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
        QCOMPARE(focused(), QString("Input 1 gain")); // the edge stops it
        // From the inputs' last column across the gap to the outputs' first.
        Strip(frame, "Input 3 mute")->setFocus(Qt::TabFocusReason);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
        QCOMPARE(focused(), QString("Output 3 routing"));
        // Tab reads along the row.
        Strip(frame, "Input 1 gain")->setFocus(Qt::TabFocusReason);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(focused(), QString("Input 1 delay"));
        // Enter presses the focused button.
        Strip(frame, "Output 3 mute")->setFocus(Qt::TabFocusReason);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(app.Params().OutCH[2].Mute, 1);
    }

    void stripTooltipsShowTheChannelsSettingsWhenAskedFor() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        frame.show();
        GainEditor(app.Context(), Section::Output).SetDb(1, -6);
        QPushButton* b = Strip(frame, "Output 2 gain");
        QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), b->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(b, &help);
        QTRY_VERIFY(QToolTip::isVisible());
        QVERIFY2(QToolTip::text().startsWith("Gain -6 dB"), qPrintable(QToolTip::text()));
        QVERIFY(QToolTip::text().contains("Output 2"));
        QToolTip::hideText();
    }

    void aRunningTestToneIsShownAndStoppedFromTheMainWindow() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ConnectToVirtual(app));
        auto* tone = frame.findChild<ToneIndicator*>("toneIndicator");
        QVERIFY(tone);
        QVERIFY(tone->isHidden());
        app.Info().GenFreq = 69;
        app.Info().GenLevel = 141;
        WhenShown<GeneratorWindow>([](GeneratorWindow* w) { w->StartStop()->click(); });
        Command(frame, "Generator...")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(WindowsHandled(), 20000);
        // The window is closed; the tone plays on, and the main window says so.
        QTRY_COMPARE_WITH_TIMEOUT(app.VirtualDevice()->Info().GenRun, std::uint8_t(1), 5000);
        QVERIFY(!tone->isHidden());
        QCOMPARE(tone->Text(), QString::fromUtf8("Test tone 1 kHz \u221220 dB"));
        QCOMPARE(tone->StopButton()->accessibleName(), QString("Stop the test tone"));
        frame.show();
        KeepScreenshot(&frame, "tone-running");
        tone->StopButton()->click();
        QVERIFY(tone->isHidden());
        QTRY_COMPARE_WITH_TIMEOUT(app.VirtualDevice()->Info().GenRun, std::uint8_t(0), 5000);
        QVERIFY(Received(app, "(01$0010069141)"));
        // A processor found playing is shown at connection.
        app.StartDisconnect();
        QTRY_VERIFY_WITH_TIMEOUT(!app.Connected(), 5000);
        DeviceInfoRecord playing = app.VirtualDevice()->Info();
        playing.GenRun = 1;
        app.VirtualDevice()->SetInfo(playing);
        QVERIFY(ConnectToVirtual(app));
        QTRY_VERIFY_WITH_TIMEOUT(!tone->isHidden(), 5000);
    }

    void aDeviceThatReturnsWithOtherSettingsIsCompared() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ConnectToVirtual(app));
        // Away: nothing the program sends reaches it, nothing comes back.
        sim::SimFaults away;
        away.lose = 1;
        app.SetVirtualFaults(away);
        QTRY_COMPARE_WITH_TIMEOUT(app.State(), LinkState::Lost, 5000);
        // Meanwhile output 3 is muted in the program, and output 5's gain changed on the unit itself.
        QTest::mouseClick(Strip(frame, "Output 3 mute"), Qt::LeftButton);
        SystemParameters theirs = app.VirtualDevice()->Parameters();
        theirs.OutCH[4].Gain = 150;
        app.VirtualDevice()->SetParameters(theirs);
        app.SetVirtualFaults({});
        const auto shown = [&frame] {
            auto* w = frame.findChild<CompareWindow*>("compareWindow");
            return w && w->isVisible() ? w : nullptr;
        };
        QElapsedTimer back;
        back.start();
        QTRY_VERIFY_WITH_TIMEOUT(shown(), 5000);
        QVERIFY(back.elapsed() < 3000);
        // The unit's own change is listed; the program's mute too, when its frame went out while the
        // unit heard nothing (a frame still queued at the return reaches it first).
        QStringList lines;
        for (int i = 0; i < shown()->Lines()->count(); ++i) lines << shown()->Lines()->item(i)->text();
        QCOMPARE(lines.filter("out 5 gain: -15.5 dB").size(), 1);
        for (const QString& l : lines)
            QVERIFY2(l.startsWith("out 5 gain") || l == QString::fromUtf8("out 3 mute: off \u2192 on"),
                     qPrintable(l));
        shown()->SendButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(SameSettings(app.VirtualDevice()->Parameters(), program.app.Params()), 5000);
    }

    void switchingTheVirtualProcessorOffWhileConnectedLosesIt() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        CPropertyViewPage* page = frame.Page();
        QVERIFY(ConnectToVirtual(app));
        frame.findChild<QAction*>("virtualProcessor")->setChecked(false);
        QTRY_COMPARE_WITH_TIMEOUT(app.State(), LinkState::Lost, 5000);
        QCOMPARE(page->ScanButton()->text(), QString("Disconnect (no reply).."));
        frame.findChild<QAction*>("virtualProcessor")->setChecked(true);
        QTRY_COMPARE_WITH_TIMEOUT(app.State(), LinkState::Connected, 5000);
        // The button still ends the connection; it never starts a scan while connected.
        QTest::mouseClick(page->ScanButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(app.State(), LinkState::NotConnected, 5000);
        QCOMPARE(page->ScanButton()->text(), QString("Scan device"));
        // The processor reads the end of the connection on its own thread.
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromStdString(app.VirtualDevice()->FramesReceived().back()),
                                  QString("(01B)"), 5000);
    }

    void eightMutesClickedInOneCycleAllReachTheDevice() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ConnectToVirtual(app));
        for (int k = 0; k < 8; ++k) Strip(frame, QString("Input %1 mute").arg(k + 1))->click();
        QTRY_COMPARE_WITH_TIMEOUT(app.VirtualDevice()->Parameters().InCH[7].Mute, std::uint8_t(1), 5000);
        for (int k = 0; k < 8; ++k) QCOMPARE(app.VirtualDevice()->Parameters().InCH[k].Mute, std::uint8_t(1));
    }

    void requestsDuringAScanAndADisconnectionAreTakenInTurn() {
        // Device-list clicks and the virtual-processor switch while the link is busy: each waits for
        // its turn on the link's own thread (a thread sanitizer build checks that nothing is shared).
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        CPropertyViewPage* page = frame.Page();
        QVERIFY(ScanAndSelect(app));
        app.StartScan();
        for (int i = 0; i < 20; ++i) {
            page->DeviceList()->setCurrentRow(0);
            app.Select("Device.....01");
            if (i % 5 == 0) {
                app.StopVirtualProcessor();
                app.StartVirtualProcessor();
            }
            QTest::qWait(5);
        }
        QTRY_COMPARE_WITH_TIMEOUT(app.State(), LinkState::NotConnected, 10000);
        QVERIFY(ConnectToVirtual(app));
        app.StartDisconnect();
        app.StopVirtualProcessor();
        app.StartVirtualProcessor();
        app.StopVirtualProcessor();
        QTRY_COMPARE_WITH_TIMEOUT(app.State(), LinkState::NotConnected, 10000);
        app.Controller().Drain();
        QVERIFY(!app.VirtualRunning());
        app.StartScan();
        QTRY_COMPARE_WITH_TIMEOUT(app.State(), LinkState::NotConnected, 10000);
        QCOMPARE(app.LastScan().lines, (std::vector<std::string>{"None device"}));
    }

    void aScanThatFindsNothingSaysWhereItLooked() {
        CQuellmarinApp app(DeviceModel::Mivon, LinkTimings::Fast());
        app.SetIncludeHardware(false);
        app.SetUserPorts({"/nonexistent/ttyQ9"});
        CMainFrame frame(app);
        QTest::mouseClick(frame.Page()->ScanButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(frame.Note().contains("Device menu"), 5000);
        // The advice first, where a narrow status bar still shows it; where it looked after.
        QVERIFY2(frame.Note().startsWith("No processor found; the built-in virtual processor can be switched on in "
                                         "the Device menu."),
                 qPrintable(frame.Note()));
        QVERIFY(frame.Note().contains("/nonexistent/ttyQ9"));
        QCOMPARE(frame.Page()->DeviceList()->item(0)->text(), QString("None device"));
        QVERIFY(frame.Page()->DeviceList()->item(0)->toolTip().contains("virtual processor"));
        // The port's reason is said in the scan window, which stays open for it, and in the tooltip.
        const QString reason = "/nonexistent/ttyQ9: there is no such port (is the adapter plugged in?)";
        auto* scan = frame.Page()->findChild<ScanWindow*>("scanWindow");
        QVERIFY(scan);
        QVERIFY(scan->isVisible());
        QCOMPARE(scan->ProblemText(), reason);
        QVERIFY(frame.Page()->DeviceList()->item(0)->toolTip().contains(reason));
    }

    void anUnconfirmedDownloadOffersToSendTheSettingsAgain() {
        VirtualProgram& program = Program();
        sim::SimFaults faults;
        faults.loseDownloads = 1;
        program.app.SetVirtualFaults(faults);
        program.app.Params().InCH[2].Gain = 101;
        QStringList asked;
        SetQuestionHandler([&](QWidget*, const QString&, const QString& text) {
            asked << text;
            return true;
        });
        QVERIFY(ScanAndSelect(program.app));
        program.app.StartConnect(true);
        QTRY_VERIFY_WITH_TIMEOUT(program.frame.Note() == "The device confirmed the settings.", 10000);
        SetQuestionHandler({});
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked.first().startsWith(
            "The device did not confirm the download; its settings may be the old ones."));
        QCOMPARE(program.app.VirtualDevice()->Parameters().InCH[2].Gain, 101);
        QCOMPARE(program.app.State(), LinkState::Connected);
    }

    void jobsReportMarksAndTheirResultOnTheWindowThread() {
        CQuellmarinApp app(DeviceModel::Mivon, LinkTimings::Fast());
        app.SetIncludeHardware(false);
        app.StartVirtualProcessor(1);
        QObject receiver;
        std::optional<std::optional<std::string>> result;
        QList<int> marks;
        const auto exchange = [](CSerialPort& port, const std::function<void(int)>& progress) {
            progress(1);
            std::string reply = ExchangeFrame(port, "(01J001)", std::chrono::milliseconds(300), 8);
            progress(2);
            return reply;
        };
        app.RunJob<std::string>(
            exchange, &receiver, [&](int m) { marks << m; },
            [&](std::optional<std::string> r) { result = r; });
        QTRY_VERIFY(result.has_value());
        QVERIFY2(!result->has_value(), "no connection: the job did not run");
        QVERIFY(ConnectToVirtual(app));
        result.reset();
        app.RunJob<std::string>(
            exchange, &receiver, [&](int m) { marks << m; },
            [&](std::optional<std::string> r) { result = r; });
        QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 5000);
        QCOMPARE(QString::fromStdString(result->value_or("")), QString("(01J001)"));
        QCOMPARE(marks, (QList<int>{1, 2}));
        QCOMPARE(app.VirtualDevice()->Info().PanelLock, std::uint8_t(1));
    }

    void thePopupFrame() {
        CQuellmarinApp app(DeviceModel::Mivon, LinkTimings::Fast());
        CMainFrame frame(app);
        frame.setGeometry(100, 80, 1280, 700);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        CPropertyViewPage* page = frame.Page();
        auto* gain = new TestPopup(1, Section::Input, page);
        auto* limiter = new TestPopup(9, Section::Output, page);
        page->RegisterPopup(StripAction::OpenInputGain, gain);
        page->RegisterPopup(StripAction::OpenLimiter, limiter);
        QVERIFY(gain->isHidden());

        QTest::mouseClick(Strip(frame, "Input 4 gain"), Qt::LeftButton);
        QVERIFY(gain->isVisible());
        QCOMPARE(gain->windowTitle(), QString("Test editor CH[4]"));
        const QRect main = frame.frameGeometry(), mine = gain->frameGeometry();
        QVERIFY2(std::abs(mine.center().x() - main.center().x()) <= 3,
                 qPrintable(
                     QString("%1 %2 %3 %4").arg(mine.x()).arg(mine.width()).arg(main.x()).arg(main.width())));
        QCOMPARE(mine.top(), main.top());
        QCOMPARE(limiter->windowTitle(),
                 QString("Test editor CH[1]")); // "the output popup keeps its channel"

        // Another input's column retitles the open popup; Escape hides it, the close box too.
        const int before = gain->refreshes;
        QTest::mouseClick(Strip(frame, "Input 7 mute"), Qt::LeftButton);
        QCOMPARE(gain->windowTitle(), QString("Test editor CH[7]"));
        QVERIFY(gain->refreshes > before);
        QTest::keyClick(gain, Qt::Key_Escape);
        QVERIFY(gain->isHidden());

        // A click on an output popup moves the emphasis to the outputs, and back.
        QTest::mouseClick(Strip(frame, "Output 3 limiter"), Qt::LeftButton);
        QVERIFY(limiter->isVisible());
        page->ActivateModule(1);
        QVERIFY(page->Logic().InputSectionActive());
        QTest::mouseClick(limiter, Qt::LeftButton);
        QVERIFY(!page->Logic().InputSectionActive());
        limiter->close();
        QVERIFY(limiter->isHidden());
        page->RefreshAll();
        QVERIFY(limiter->refreshes > 0);
    }

    void everyControlSaysWhatItActsOn() {
        CQuellmarinApp app(DeviceModel::Mivon, LinkTimings::Fast());
        CMainFrame frame(app);
        QSet<QString> names;
        for (QPushButton* b : frame.findChildren<QPushButton*>()) {
            QVERIFY2(!b->accessibleName().isEmpty(), qPrintable(b->objectName() + " " + b->text()));
            if (b->objectName().startsWith("strip")) names.insert(b->accessibleName());
        }
        QCOMPARE(names.size(), 96);
        QVERIFY(names.contains("Input 3 gain"));
        QVERIFY(names.contains("Output 8 mute"));
        for (Lamp* l : frame.findChildren<Lamp*>()) QVERIFY(!l->accessibleName().isEmpty());
        QCOMPARE(frame.Page()->ScanButton()->accessibleName(), QString("Scan device"));
    }
};

QTEST_MAIN(TestFrontPanel)
#include "test_front_panel.moc"
