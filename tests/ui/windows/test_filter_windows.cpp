// Filter files and the set-up report from the main window, on the offscreen platform, against the
// built-in virtual processor.
#include "ui/WindowTest.h"
#include "dsp/Response.h"
#include "windows/FilterImportWindow.h"
#include "edit/RecordDiff.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace quellmarin;
using namespace quellmarin::ui;
using namespace quellmarin::test;

namespace {

QString Write(const QTemporaryDir& dir, const QString& name, const QByteArray& text) {
    const QString path = dir.filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(text);
    return path;
}

void Choose(QComboBox* box, const QString& text) {
    box->setCurrentIndex(box->findText(text));
}

} // namespace

class TestFilterWindows : public WindowTest {
    Q_OBJECT

  private slots:
    void importedFiltersAreOneUndoStepOnTheProgramAndTheDevice() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        QVERIFY(ConnectToVirtual(app));
        const SystemParameters before = program.app.Params();
        QTemporaryDir dir;
        const QString path = Write(dir, "room.txt",
                                   "Filter Settings file\nPreamp: -3 dB\n"
                                   "Filter 1: ON PK Fc 274 Hz Gain -9.6 dB Q 5.0\n"
                                   "Filter 2: ON LS Fc 100 Hz Gain 3 dB\n");
        WhenShown<FilterImportWindow>([](FilterImportWindow* w) {
            Choose(w->Channel(), "Output 2");
            QCOMPARE(w->Table()->rowCount(), 3); // two bands and the gain
            QCOMPARE(w->Table()->item(0, 2)->text(), QString("Peaking 280 Hz -9.5 dB Q 4.86"));
            QVERIFY(w->Difference()->text().endsWith(" dB"));
            QVERIFY(!w->Refusals()->isVisible());
            QCOMPARE(w->ImportButton()->text(), QString("Import"));
        });
        QVERIFY(frame.ImportFilters(path));
        QCOMPARE(program.app.Params().OutCH[1].Peq[0].Type, std::uint8_t(kEqPeaking));
        QCOMPARE(program.app.Params().OutCH[1].Peq[1].Type, std::uint8_t(kEqLowShelf));
        QCOMPARE(program.app.Params().OutCH[1].Gain, std::uint8_t(175));
        QCOMPARE(frame.findChild<QAction*>("undo")->text(), QString("Undo Import filters into Output 2"));
        QTRY_VERIFY_WITH_TIMEOUT(SameSettings(app.VirtualDevice()->Parameters(), program.app.Params()), 5000);

        frame.findChild<QAction*>("undo")->trigger();
        QVERIFY(SameSettings(program.app.Params(), before));
        QTRY_VERIFY_WITH_TIMEOUT(SameSettings(app.VirtualDevice()->Parameters(), before), 5000);
    }

    void filtersThatDoNotFitAreSaidAndCancelChangesNothing() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        const SystemParameters before = program.app.Params();
        QTemporaryDir dir;
        QByteArray nine;
        for (int k = 1; k <= 9; ++k)
            nine += QString("Filter %1: ON PK Fc %2 Hz Gain -2 dB Q 2\n").arg(k).arg(200 * k).toUtf8();
        const QString path = Write(dir, "nine.txt", nine);
        WhenShown<FilterImportWindow>(
            [](FilterImportWindow* w) {
                Choose(w->Channel(), "Output 4");
                QVERIFY(w->Refusals()->isVisible());
                QVERIFY(w->Refusals()->text().contains("the file has 9 filters and Output 4 has 7 bands"));
                QCOMPARE(w->ImportButton()->text(), QString("Import what fits"));
                quellmarin::test::KeepScreenshot(w, "filter-import");
                Choose(w->Channel(), "Input 1");
                QCOMPARE(w->Table()->rowCount(), 5);
            },
            false);
        QVERIFY(!frame.ImportFilters(path));
        QVERIFY(SameSettings(program.app.Params(), before));
        QVERIFY(!frame.findChild<QAction*>("undo")->isEnabled());

        QVERIFY(!frame.ImportFilters(Write(dir, "empty.txt", "Room EQ V5\nNotes: none\n")));
        QCOMPARE(messages_.size(), 1);
        QVERIFY(messages_.front().contains("holds no filter lines"));
    }

    void exportedFiltersImportBackToTheSameBands() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        program.app.Params().OutCH[5].Peq[0] = {kEqPeaking, 47, 5, 48};
        program.app.Params().OutCH[5].Peq[1] = {kEqHighShelf, 100, 30, 15};
        program.app.Params().OutCH[5].PeqEnable = 111;
        const SystemParameters before = program.app.Params();
        QTemporaryDir dir;
        const QString path = dir.filePath("out6.txt");
        QVERIFY(frame.ExportFilters(path, {Section::Output, 5}));
        program.app.Params().OutCH[5].Peq[0].Freq = 60;
        WhenShown<FilterImportWindow>([](FilterImportWindow* w) {
            Choose(w->Channel(), "Output 6");
            QCOMPARE(w->Difference()->text(),
                     QString("Largest difference of the summed response, 20 Hz to 20 kHz: 0.00 dB"));
        });
        QVERIFY(frame.ImportFilters(path));
        QVERIFY(SameSettings(program.app.Params(), before));
        QVERIFY(!frame.ExportFilters(dir.filePath("no/such/folder/x.txt"), {Section::Output, 5}));
    }

    void theSetupReportIsWrittenAsHtmlAndPdf() {
        VirtualProgram& program = Program();
        auto& [app, frame] = program;
        program.app.Params().OutCH[0].Gain = 171;
        QTemporaryDir dir;
        QVERIFY(frame.ExportReport(dir.filePath("show.html")));
        QFile html(dir.filePath("show.html"));
        QVERIFY(html.open(QIODevice::ReadOnly));
        const QByteArray page = html.readAll();
        QVERIFY(page.contains("<h3>Output 1</h3>"));
        QVERIFY(page.contains("<td>-5.0 dB</td>"));
        QVERIFY(frame.ExportReport(dir.filePath("show.pdf")));
        QFile pdf(dir.filePath("show.pdf"));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QVERIFY(pdf.read(5) == "%PDF-");
        QVERIFY(!frame.ExportReport(dir.filePath("missing/show.pdf")));
        QCOMPARE(messages_.size(), 1);
    }
};

QTEST_MAIN(TestFilterWindows)
#include "test_filter_windows.moc"
