// Helpers of the window tests: bring the program to a connection with its virtual processor the way
// a user does (scan, pick the device, upload), and collect what the editors post.
#pragma once

#include "shell/MainFrame.h"
#include "widgets/MessageBox.h"
#include "shell/QuellmarinApp.h"
#include "widgets/Theme.h"

#include <QApplication>
#include <QStandardPaths>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace quellmarin::test {

// The whole program on short waits with its built-in virtual processor and no hardware ports.
struct VirtualProgram {
    VirtualProgram() : app(DeviceModel::Mivon, LinkTimings::Fast()), frame((Prepare(app), app)) {}
    static void Prepare(ui::CQuellmarinApp& a) {
        a.SetIncludeHardware(false);
        a.StartVirtualProcessor(1);
    }
    ui::CPropertyViewPage* Page() { return frame.Page(); }

    ui::CQuellmarinApp app;
    ui::CMainFrame frame;
};

inline bool ScanAndSelect(ui::CQuellmarinApp& app, const std::string& line = "Device.....01") {
    app.StartScan();
    if (!QTest::qWaitFor(
            [&] { return app.State() == LinkState::NotConnected && !app.LastScan().lines.empty(); }, 10000))
        return false;
    return app.Select(line).empty() && !app.SelectedPort().empty();
}

inline bool ConnectToVirtual(ui::CQuellmarinApp& app) {
    if (!ScanAndSelect(app)) return false;
    app.StartConnect(false);
    return QTest::qWaitFor([&] { return app.State() == LinkState::Connected; }, 10000);
}

// Whether the built-in virtual processor has received this frame.
inline bool Received(ui::CQuellmarinApp& app, const std::string& frame) {
    const auto frames = app.VirtualDevice()->FramesReceived();
    return std::find(frames.begin(), frames.end(), frame) != frames.end();
}

// With QUELLMARIN_SCREENSHOT_DIR set, the window is saved there to be looked at.
inline void KeepScreenshot(QWidget* w, const QString& name) {
    if (qEnvironmentVariableIsSet("QUELLMARIN_SCREENSHOT_DIR"))
        w->grab().save(qEnvironmentVariable("QUELLMARIN_SCREENSHOT_DIR") + "/" + name + ".png");
}

// Replaces the way edits leave for the device with a list, and fixes the address.
inline void CollectPosts(ui::CQuellmarinApp& app, std::vector<std::string>& posted) {
    app.Context().address = [] { return std::string("01"); };
    app.Context().post = [&posted](std::string f) { posted.push_back(std::move(f)); };
}

// Runs `act` on the first modal window of that class once it is shown, then closes it with `accept`.
template <class Window> inline void WhenShown(std::function<void(Window*)> act, bool accept = true) {
    QTimer::singleShot(0, [act, accept] {
        Window* w = nullptr;
        QTRY_VERIFY((w = [] {
                        for (QWidget* top : QApplication::topLevelWidgets())
                            if (auto* found = qobject_cast<Window*>(top); found && found->isVisible())
                                return found;
                        return static_cast<Window*>(nullptr);
                    }()) != nullptr);
        act(w);
        if (accept)
            w->accept();
        else
            w->reject();
    });
}

// The start of a window test: Qt's test folders (never a user's own settings), the program's style,
// and message boxes collected as "caption|text" instead of shown.
inline void PrepareWindowTests(QStringList& messages) {
    QStandardPaths::setTestModeEnabled(true);
    qApp->setStyleSheet(ui::StyleSheet());
    ui::SetMessageHandler([&messages](QWidget*, const QString& caption, const QString& text) {
        messages << caption + "|" + text;
    });
}

} // namespace quellmarin::test
