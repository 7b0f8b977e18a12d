// The program list, the save window and the signal generator on the offscreen platform, against the
// built-in virtual processor.
#include "ui/WindowTest.h"
#include "widgets/MessageBox.h"
#include "widgets/Theme.h"
#include "widgets/Controls.h"
#include "windows/GeneratorWindow.h"
#include "windows/ProgramListWindow.h"
#include "windows/SaveProgramWindow.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

using namespace quellmarin;
using namespace quellmarin::ui;
using namespace quellmarin::test;
using B = quellmarin::ProgramList::Button;

namespace {

bool AllNamesRead(ProgramListWindow* w) {
    for (int i = 0; i < kProgramSlots; ++i)
        if (w->Rows()->topLevelItem(i)->text(1).isEmpty()) return false;
    return !w->List().Reading() && !w->Querying();
}

// The frames the virtual processor received that start with `head`.
std::vector<std::string> FramesStarting(CQuellmarinApp& app, const std::string& head) {
    std::vector<std::string> out;
    for (const std::string& f : app.VirtualDevice()->FramesReceived())
        if (f.rfind(head, 0) == 0) out.push_back(f);
    return out;
}

void SelectRow(ProgramListWindow* w, int slot) {
    w->Rows()->setCurrentItem(w->Rows()->topLevelItem(slot - 1));
}

} // namespace

class TestProgramWindows : public WindowTest {
    Q_OBJECT

  private slots:
    void theProgramListNeedsAConnection() {
        VirtualProgram& program = Program();
        Command(program.frame, "Program List...")->trigger();
        QCOMPARE(messages_, QStringList{"Has not connect to device |Please connect to device first."});
    }

    void theListReadsSlotOneFirstAndRecallReplacesTheRecords() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ConnectToVirtual(app));
        WhenShown<ProgramListWindow>([&](ProgramListWindow* w) {
            QVERIFY(app.Controller().PollSuspended());
            QTRY_VERIFY_WITH_TIMEOUT(AllNamesRead(w), 10000);
            QCOMPARE(w->Rows()->topLevelItem(0)->text(1), QString("Default............."));
            QCOMPARE(w->Rows()->topLevelItem(39)->text(1), QString("not set............."));
            const auto asked = FramesStarting(app, "(01T");
            QCOMPARE(asked.size(), std::size_t(40));
            QCOMPARE(asked.front(), std::string("(01T001)"));
            QCOMPARE(asked.back(), std::string("(01T040)"));
            QCOMPARE(w->NumberField()->text(), QString("01"));
            QCOMPARE(w->List().Selected(), 1);
            KeepScreenshot(w, "programs");

            SelectRow(w, 2);
            QCOMPARE(w->Button(B::Recall)->text(), QString("Recall No.\t02"));
            QTest::mouseClick(w->Button(B::Recall), Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(w->Button(B::Recall)->text(), QString("Recall No.\t02 [OK]"), 5000);
            QCOMPARE(w->NumberField()->text(), QString("02"));
            QCOMPARE(w->NameField()->text(), QString("Main PA............."));
            // Never Delete, for the next Space.
            QCOMPARE(w->focusWidget(), static_cast<QWidget*>(w->Rows()));
        });
        Command(frame, "Program List...")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(WindowsHandled(), 20000);
        QVERIFY(!app.Controller().PollSuspended());
        QCOMPARE(QString::fromStdString(ProgramName(program.app.Params())), QString("Main PA............."));
        QCOMPARE(program.app.Info().ProgramNo, std::uint8_t(2));
        QCOMPARE(frame.PaneText(1), QString("Program No.:02"));
        QCOMPARE(frame.PaneText(2), QString("Program Name:Main PA............."));
    }

    void emptySlotsAndNoSelectionDisableTheirButtons() {
        VirtualProgram& program = Program();
        QVERIFY(ConnectToVirtual(program.app));
        ProgramListWindow w(program.app, &program.frame);
        w.show();
        QTRY_VERIFY_WITH_TIMEOUT(AllNamesRead(&w), 10000);
        SelectRow(&w, 12);
        QVERIFY(w.Button(B::SaveAs)->isEnabled());
        QVERIFY(!w.Button(B::Recall)->isEnabled());
        QVERIFY(!w.Button(B::Delete)->isEnabled());
        w.Rows()->clearSelection();
        QCOMPARE(w.Button(B::SaveAs)->text(), QString("Save as No.:"));
        QVERIFY(!w.Button(B::SaveAs)->isEnabled());
        QVERIFY(!w.Button(B::Recall)->isEnabled());
        QVERIFY(!w.Button(B::Delete)->isEnabled());
    }

    void readingTheNamesLeavesTheScrollPositionAndTheUsersChoiceAlone() {
        VirtualProgram& program = Program();
        QVERIFY(ConnectToVirtual(program.app));
        ProgramListWindow w(program.app, &program.frame);
        w.resize(w.sizeHint().width(), 320); // fewer rows shown than there are programs
        w.show();
        QScrollBar* bar = w.Rows()->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 0);
        int moves = 0;
        connect(bar, &QScrollBar::valueChanged, this, [&moves] { ++moves; });
        SelectRow(&w, 3); // chosen before the names are all in
        QVERIFY(w.List().Reading() || w.Querying());
        QTRY_VERIFY_WITH_TIMEOUT(AllNamesRead(&w), 10000);
        QCOMPARE(moves, 0);
        QCOMPARE(w.List().Selected(), 3);
    }

    void deletingTheCurrentProgramIsRefused() {
        VirtualProgram& program = Program();
        QVERIFY(ConnectToVirtual(program.app));
        ProgramListWindow w(program.app, &program.frame);
        w.show();
        QTRY_VERIFY_WITH_TIMEOUT(AllNamesRead(&w), 10000);
        SelectRow(&w, 1);
        QTest::mouseClick(w.Button(B::Delete), Qt::LeftButton);
        QCOMPARE(messages_, QStringList{"|Current program cannot be delete! "});

        // A delete that may go ahead, once asked; once it is through, the refused one has still sent nothing.
        SetQuestionHandler([](QWidget*, const QString&, const QString&) { return true; });
        SelectRow(&w, 3);
        QTest::mouseClick(w.Button(B::Delete), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(w.Rows()->topLevelItem(2)->text(1), QString("not set............."), 5000);
        QVERIFY(!program.app.VirtualDevice()->ProgramAt(3).has_value());
        QCOMPARE(FramesStarting(program.app, "(01G"), std::vector<std::string>{"(01G003)"});
        QVERIFY(program.app.VirtualDevice()->ProgramAt(1).has_value());
    }

    void deleteAndSaveAsOverAStoredProgramAskFirstAndCancelSendsNothing() {
        VirtualProgram& program = Program();
        QVERIFY(ConnectToVirtual(program.app));
        ProgramListWindow w(program.app, &program.frame);
        w.show();
        QTRY_VERIFY_WITH_TIMEOUT(AllNamesRead(&w), 10000);
        QStringList asked;
        SetQuestionHandler([&asked](QWidget*, const QString& caption, const QString& text) {
            asked << caption + "|" + text;
            return false;
        });
        SelectRow(&w, 2);
        QTest::mouseClick(w.Button(B::Delete), Qt::LeftButton);
        SelectRow(&w, 1);
        QTest::mouseClick(w.Button(B::SaveAs), Qt::LeftButton);
        QCOMPARE(asked, (QStringList{"Delete program|Delete No. 02 Main PA? The program cannot be brought back.",
                                     "Save as|Replace No. 01 Default? The program stored there is lost."}));
        QCOMPARE(w.Button(B::SaveAs)->text(), QString("Save as No.\t01")); // nothing started
        QVERIFY(FramesStarting(program.app, "(01G").empty());
        QVERIFY(FramesStarting(program.app, "(01S").empty());
        QVERIFY(program.app.VirtualDevice()->ProgramAt(2).has_value());
    }

    void saveAsIntoSlotSevenMakesItCurrent() {
        VirtualProgram& program = Program();
        QVERIFY(ConnectToVirtual(program.app));
        ProgramListWindow w(program.app, &program.frame);
        QObject::connect(&w, &ProgramListWindow::recordsChanged, &program.app,
                         &CQuellmarinApp::RecordsEdited);
        w.show();
        QTRY_VERIFY_WITH_TIMEOUT(AllNamesRead(&w), 10000);
        SelectRow(&w, 7);
        QTest::mouseClick(w.Button(B::SaveAs), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(w.Button(B::SaveAs)->text(), QString("Save as No.\t07 [OK]"), 5000);
        QCOMPARE(w.NumberField()->text(), QString("07"));
        QCOMPARE(w.Rows()->topLevelItem(6)->text(1), QString("Default............."));
        QVERIFY(w.Button(B::Recall)->isEnabled()); // the slot that was empty holds a program now
        QVERIFY(w.Button(B::Delete)->isEnabled());
        QVERIFY(program.app.VirtualDevice()->ProgramAt(7).has_value());
        QCOMPARE(program.frame.PaneText(1), QString("Program No.:07"));
    }

    void modifyRenamesTheCurrentProgramThroughTheReadBack() {
        VirtualProgram& program = Program();
        QVERIFY(ConnectToVirtual(program.app));
        ProgramListWindow w(program.app, &program.frame);
        w.show();
        QTRY_VERIFY_WITH_TIMEOUT(AllNamesRead(&w), 10000);
        w.NameField()->setText("Show");
        QTest::mouseClick(w.Button(B::Modify), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(w.Button(B::Modify)->text(), QString("Modify [OK]"), 5000);
        QCOMPARE(w.Rows()->topLevelItem(0)->text(1), QString("Show................"));
        QCOMPARE(QString::fromStdString(ProgramName(program.app.Params())), QString("Show................"));
        QTest::keyClick(w.NameField(), Qt::Key_X);
        QCOMPARE(w.Button(B::Modify)->text(), QString("Modify")); // an edit resets the button
    }

    void theSaveWindowReportsTheEchoAndRenamesOffline() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        {
            SaveProgramWindow offline(app, &frame);
            QCOMPARE(offline.windowTitle(), QString("Save  "));
            QVERIFY(!offline.SaveButton()->isEnabled());
            offline.NameField()->setText("Rehearsal");
            QTest::mouseClick(offline.ModifyButton(), Qt::LeftButton);
            QCOMPARE(offline.ModifyButton()->text(), QString("Modify [OK]"));
            QCOMPARE(QString::fromStdString(ProgramName(program.app.Params())),
                     QString("Rehearsal..........."));
        }
        QVERIFY(ConnectToVirtual(app));
        SaveProgramWindow w(app, &frame);
        QVERIFY(w.SaveButton()->isEnabled());
        QTest::mouseClick(w.SaveButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(w.SaveButton()->text(), QString("Save current program to DEVICE  [OK]"),
                                  5000);
        QVERIFY(Received(app, "(01S001)"));
        w.NameField()->setText("Gig");
        QTest::mouseClick(w.ModifyButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(w.ModifyButton()->text(), QString("Modify [OK]"), 5000);
        QCOMPARE(QString::fromStdString(ProgramName(program.app.Params())), QString("Gig................."));
        KeepScreenshot(&w, "save");

        // A device that stops echoing: the save is reported as failed.
        sim::SimFaults silent;
        silent.muteAfter = 1;
        app.SetVirtualFaults(silent);
        QTest::mouseClick(w.SaveButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(w.SaveButton()->text(), QString("Save current program to DEVICE  [FAIL]"),
                                  5000);
    }

    void theGeneratorSendsTypedValuesAndStaysOpenOnEnterAndEscape() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ConnectToVirtual(app));
        program.app.Info().GenFreq = 30;
        program.app.Info().GenLevel = 141;
        GeneratorWindow w(app.Context(), true, &frame);
        w.show();
        QCOMPARE(w.windowTitle(), QString("SIGNAL GENERATOR"));
        QCOMPARE(w.LevelField()->text(), QString("-20dB"));
        QUELLMARIN_TRY_RECEIVED(app, "(01$0010030141)");

        w.FrequencyField()->setFocus();
        w.FrequencyField()->setText("1k");
        QTest::keyClick(w.FrequencyField(), Qt::Key_Return);
        QUELLMARIN_TRY_RECEIVED(app, "(01$0010069141)");
        QCOMPARE(w.FrequencyField()->text(), QString("1000Hz"));
        QCOMPARE(program.app.Info().GenFreq, std::uint8_t(69));
        w.FrequencyField()->setText("15");
        QTest::keyClick(w.FrequencyField(), Qt::Key_Escape);
        QVERIFY(w.isVisible());
        QCOMPARE(messages_, QStringList{"Input illegal|Frequency parameters range:[20,20000]"});

        w.FrequencyField()->setText("1000Hz");
        QTest::mouseClick(w.StartStop(), Qt::LeftButton);
        QCOMPARE(w.StartStop()->text(), QString("Stop"));
        QUELLMARIN_TRY_RECEIVED(app, "(01$0011069141)");
        QTest::mouseClick(w.FaderUp(), Qt::LeftButton);
        QUELLMARIN_TRY_RECEIVED(app, "(01$0011070141)");
        QTest::mouseClick(w.LevelDown(), Qt::LeftButton);
        QCOMPARE(w.LevelField()->text(), QString("-21dB"));
        QUELLMARIN_TRY_RECEIVED(app, "(01$0011070139)");
        KeepScreenshot(&w, "generator");
        w.close();

        // The next opening shows what was set.
        GeneratorWindow again(app.Context(), false, &frame);
        QCOMPARE(again.FrequencyField()->text(), QString::fromStdString(Generator::FaderText(122 - 70)));
        QCOMPARE(again.LevelField()->text(), QString("-21dB"));
        QCOMPARE(again.StartStop()->text(), QString("Stop"));
    }
};

QTEST_MAIN(TestProgramWindows)
#include "test_program_windows.moc"
