// quellmarin: the windowed program.
//   quellmarin [--virtual] [--port PATH]... [--connect] [--quit-after MS]
// With no USB serial or ACM adapter attached and no --port, the built-in virtual processor is started
// (on-board serial ports are still scanned), so that every function can be tried without a device.
#include "shell/MainFrame.h"
#include "widgets/MessageBox.h"
#include "widgets/Theme.h"
#include "link/PortCatalog.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QIcon>
#include <QLockFile>
#include <QStandardPaths>
#include <QTimer>
#include <cstdio>

using namespace quellmarin;

namespace {

// Reports the time from start to the first painted frame when QUELLMARIN_TIMING is set.
class FirstPaintProbe : public QObject {
  public:
    explicit FirstPaintProbe(const QElapsedTimer& clock) : clock_(clock) {}
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint && !done_) {
            done_ = true;
            QTimer::singleShot(0, [this] {
                std::fprintf(stderr, "startup: first frame painted after %lld ms\n",
                             static_cast<long long>(clock_.elapsed()));
            });
        }
        return QObject::eventFilter(o, e);
    }

  private:
    const QElapsedTimer& clock_;
    bool done_ = false;
};

QString LockPath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    return QDir(folder).filePath("quellmarin-Windowsrunning.lock");
}

} // namespace

int main(int argc, char** argv) {
    QElapsedTimer clock;
    clock.start();
    QApplication qapp(argc, argv);
    QApplication::setApplicationName("Quellmarin");
    QApplication::setOrganizationName("Quellmarin");
    QApplication::setApplicationVersion(QUELLMARIN_VERSION);
    QApplication::setWindowIcon(QIcon(":/icons/quellmarin.png"));
    QGuiApplication::setDesktopFileName("io.quellmarin.Quellmarin");

    if (qEnvironmentVariableIsSet("QUELLMARIN_NO_MESSAGE_BOX")) {
        ui::SetMessageHandler([](QWidget*, const QString& caption, const QString& text) {
            std::fprintf(stderr, "%s: %s\n", caption.toUtf8().constData(), text.toUtf8().constData());
        });
    }

    // One copy at a time; a lock left by a copy that crashed is taken over.
    QLockFile lock(LockPath());
    lock.setStaleLockTime(0);
    if (!lock.tryLock(200)) {
        ui::ShowMessage(nullptr, "Quellmarin", "Has been running...");
        return 1;
    }

    bool wantVirtual = false;
    bool connectAtStart = false;
    int quitAfter = -1;
    std::vector<std::string> ports;
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--virtual") {
            wantVirtual = true;
        } else if (args[i] == "--port" && i + 1 < args.size()) {
            ports.push_back(args[++i].toStdString());
        } else if (args[i] == "--connect") {
            connectAtStart = true;
        } else if (args[i] == "--quit-after" && i + 1 < args.size()) {
            quitAfter = args[++i].toInt();
        } else {
            std::fprintf(stderr,
                         "usage: quellmarin [--virtual] [--port PATH]... [--connect] [--quit-after MS]\n");
            return 2;
        }
    }

    qapp.setStyleSheet(ui::StyleSheet());
    ui::CQuellmarinApp app;
    app.SetUserPorts(ports);
    if (WantVirtualProcessor(wantVirtual, ports, HardwareSerialPorts())) app.StartVirtualProcessor();

    ui::CMainFrame frame(app);
    FirstPaintProbe probe(clock);
    if (qEnvironmentVariableIsSet("QUELLMARIN_TIMING")) frame.installEventFilter(&probe);
    frame.show();
    if (connectAtStart) {
        // Scan once and read the state of the first processor that answers, as a double-click would.
        QObject::connect(
            &app, &ui::CQuellmarinApp::scanFinished, &frame,
            [&app](const QStringList& lines) {
                if (app.LastScan().devices.empty() || !app.Select(lines.first().toStdString()).empty())
                    return;
                app.StartConnect(false);
            },
            Qt::SingleShotConnection);
        frame.Page()->StartScan();
    }
    const bool timing = qEnvironmentVariableIsSet("QUELLMARIN_TIMING");
    if (timing)
        QObject::connect(&app, &ui::CQuellmarinApp::stateChanged, [&clock](LinkState s) {
            std::fprintf(stderr, "state: %s after %lld ms\n", std::string(StateText(s)).c_str(),
                         static_cast<long long>(clock.elapsed()));
        });
    if (quitAfter >= 0) QTimer::singleShot(quitAfter, &frame, &QWidget::close);
    const int code = qapp.exec();
    if (timing)
        std::fprintf(stderr, "exit: event loop ended after %lld ms\n",
                     static_cast<long long>(clock.elapsed()));
    return code;
}
