// The base of every window test: Qt's test folders (never a user's own settings), the program's
// style, message boxes collected instead of shown, and the whole program with its built-in virtual
// processor made for a test and gone after it. Controls are found by the names a screen reader
// says ("Output 5 gain") and menu commands by their text, never by numeric ids.
#pragma once

#include "shell/MainFrame.h"
#include "shell/PropertyViewPage.h"
#include "shell/QuellmarinApp.h"

#include <QApplication>
#include <QObject>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quellmarin::test {

// The whole program on short waits with its built-in virtual processor and no hardware ports.
struct VirtualProgram {
    explicit VirtualProgram(DeviceModel model = DeviceModel::Mivon)
        : app(model, LinkTimings::Fast()), frame((Prepare(app), app)) {}
    static void Prepare(ui::CQuellmarinApp& a) {
        a.SetIncludeHardware(false);
        a.StartVirtualProcessor(1);
    }
    ui::CPropertyViewPage* Page() { return frame.Page(); }

    ui::CQuellmarinApp app;
    ui::CMainFrame frame;
};

// Scans as the Scan button does and picks `line` of the device list.
bool ScanAndSelect(ui::CQuellmarinApp& app, const std::string& line = "Device.....01");
// Scans, picks the device and uploads its settings, as a user connects.
bool ConnectToVirtual(ui::CQuellmarinApp& app);
// Whether the built-in virtual processor has received this frame.
bool Received(ui::CQuellmarinApp& app, const std::string& frame);
// For a failed wait on a frame: the link's state and the last frames the processor received.
QByteArray ReceivedReport(ui::CQuellmarinApp& app, const std::string& frame);
// Waits, on a loaded machine too, for the built-in virtual processor to receive `frame`.
#define QUELLMARIN_TRY_RECEIVED(app, frame)                                                                      \
    QTRY_VERIFY2_WITH_TIMEOUT(::quellmarin::test::Received(app, frame),                                        \
                              ::quellmarin::test::ReceivedReport(app, frame).constData(), 10000)
// Replaces the way edits leave for the device with a list, and fixes the address.
void CollectPosts(ui::CQuellmarinApp& app, std::vector<std::string>& posted);
// With QUELLMARIN_SCREENSHOT_DIR set, the window is saved there to be looked at.
void KeepScreenshot(QWidget* w, const QString& name);

// The control under `root` a screen reader calls `accessibleName`; nullptr when there is none.
template <class Control = QWidget> Control* Named(const QWidget* root, const QString& accessibleName) {
    for (Control* c : root->findChildren<Control*>())
        if (c->accessibleName() == accessibleName) return c;
    return nullptr;
}
// A button of the front panel's channel strip by its accessible name ("Input 3 gain").
QPushButton* Strip(const ui::CMainFrame& frame, const QString& accessibleName);
// Presses a control through Qt's accessibility interface, as a screen reader or a test robot does;
// false when it offers no press action.
bool PressAccessibly(QWidget* control);
// A menu command by its text as the menu shows it, without the mnemonic ("Program List...").
QAction* Command(const ui::CMainFrame& frame, const QString& text);

// How many windows WhenShown still waits for.
int& WindowsPending();
// Whether every window given to WhenShown was shown, acted on and closed. Windows open without a
// nested event loop, so a test waits on this after the command that opens one.
inline bool WindowsHandled() { return WindowsPending() == 0; }

// Runs `act` on the first modal window of that class once it is shown, then closes it with `accept`
// (with reject when `act` stopped on a failed check).
template <class Window> void WhenShown(std::function<void(Window*)> act, bool accept = true) {
    ++WindowsPending();
    QTimer::singleShot(0, [act, accept] {
        struct Done {
            Window* w = nullptr;
            bool accept = false;
            ~Done() {
                if (w && w->isVisible()) accept ? w->accept() : w->reject();
                --WindowsPending();
            }
        } done;
        Window* w = nullptr;
        QTRY_VERIFY((w = [] {
                        for (QWidget* top : QApplication::topLevelWidgets())
                            if (auto* found = qobject_cast<Window*>(top); found && found->isVisible())
                                return found;
                        return static_cast<Window*>(nullptr);
                    }()) != nullptr);
        done.w = w;
        act(w);
        done.accept = accept && !QTest::currentTestFailed();
    });
}

class WindowTest : public QObject {
    Q_OBJECT

  protected:
    // The program of this test, started on first use and ended after the test.
    VirtualProgram& Program(DeviceModel model = DeviceModel::Mivon);

    // Message boxes of this test as "caption|text", in the order they would have been shown.
    QStringList messages_;

  private slots:
    void initTestCase();
    void init();
    void cleanup();

  private:
    std::unique_ptr<VirtualProgram> program_;
};

} // namespace quellmarin::test
