#include "ui/WindowTest.h"

#include "widgets/MessageBox.h"
#include "widgets/Theme.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QMenu>
#include <QMenuBar>
#include <QStandardPaths>
#include <algorithm>

namespace quellmarin::test {

bool ScanAndSelect(ui::CQuellmarinApp& app, const std::string& line) {
    app.StartScan();
    if (!QTest::qWaitFor(
            [&] { return app.State() == LinkState::NotConnected && !app.LastScan().lines.empty(); }, 10000))
        return false;
    return app.Select(line).empty() && !app.SelectedPort().empty();
}

bool ConnectToVirtual(ui::CQuellmarinApp& app) {
    if (!ScanAndSelect(app)) return false;
    app.StartConnect(false);
    return QTest::qWaitFor([&] { return app.State() == LinkState::Connected; }, 10000);
}

bool Received(ui::CQuellmarinApp& app, const std::string& frame) {
    const auto frames = app.VirtualDevice()->FramesReceived();
    return std::find(frames.begin(), frames.end(), frame) != frames.end();
}

QByteArray ReceivedReport(ui::CQuellmarinApp& app, const std::string& frame) {
    const auto frames = app.VirtualDevice()->FramesReceived();
    QByteArray report = "no " + QByteArray::fromStdString(frame) + " at the processor; link state " +
                        QByteArray::number(static_cast<int>(app.State())) + "; last received:";
    for (std::size_t i = frames.size() > 12 ? frames.size() - 12 : 0; i < frames.size(); ++i)
        report += " " + QByteArray::fromStdString(frames[i]);
    return report;
}

void CollectPosts(ui::CQuellmarinApp& app, std::vector<std::string>& posted) {
    app.Context().address = [] { return std::string("01"); };
    app.Context().post = [&posted](std::string f) { posted.push_back(std::move(f)); };
}

void KeepScreenshot(QWidget* w, const QString& name) {
    if (qEnvironmentVariableIsSet("QUELLMARIN_SCREENSHOT_DIR"))
        w->grab().save(qEnvironmentVariable("QUELLMARIN_SCREENSHOT_DIR") + "/" + name + ".png");
}

QPushButton* Strip(const ui::CMainFrame& frame, const QString& accessibleName) {
    const QWidget* strip = frame.findChild<QWidget*>("channelStrip");
    return strip ? Named<QPushButton>(strip, accessibleName) : nullptr;
}

QAction* Command(const ui::CMainFrame& frame, const QString& text) {
    for (QMenu* menu : frame.menuBar()->findChildren<QMenu*>())
        for (QAction* a : menu->actions())
            if (QString(a->text()).remove('&') == text) return a;
    return nullptr;
}

VirtualProgram& WindowTest::Program(DeviceModel model) {
    if (!program_) program_ = std::make_unique<VirtualProgram>(model);
    return *program_;
}

bool PressAccessibly(QWidget* control) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(control);
    if (!a || !a->actionInterface()) return false;
    const QString press = QAccessibleActionInterface::pressAction();
    if (!a->actionInterface()->actionNames().contains(press)) return false;
    a->actionInterface()->doAction(press);
    return true;
}

int& WindowsPending() {
    static int pending = 0;
    return pending;
}

void WindowTest::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    qApp->setStyleSheet(ui::StyleSheet());
    ui::SetMessageHandler([this](QWidget*, const QString& caption, const QString& text) {
        messages_ << caption + "|" + text;
    });
}

void WindowTest::init() {
    messages_.clear();
    // A window closed by a test loses its unsaved edits without asking, unless the test answers.
    ui::SetSaveQuestionHandler([](QWidget*, const QString&, const QString&) { return ui::SaveChoice::Discard; });
}

void WindowTest::cleanup() {
    program_.reset();
    WindowsPending() = 0;
    ui::SetQuestionHandler({});
    ui::SetSaveQuestionHandler({});
}

} // namespace quellmarin::test
