// Device > Remote control...: serving switched on and off from the window, tokens made and revoked
// there, the lock shown and broken, a remote edit seen on the front panel and in the audit log, and
// the bridge to a real Mosquitto broker switched on from the window.
#include "ui/WindowTest.h"
#include "ui/server/TestHttp.h"

#include "windows/RemoteControlWindow.h"

#include <QAccessible>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTcpServer>
#include <QProcess>
#include <QTcpSocket>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <map>
#include <mosquitto.h>
#include <mutex>

using namespace quellmarin;
using namespace quellmarin::test;

namespace {

// Toggles a check box through Qt's accessibility interface, as a screen reader does.
bool ToggleAccessibly(QWidget* box) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(box);
    const QString toggle = QAccessibleActionInterface::toggleAction();
    if (!a || !a->actionInterface() || !a->actionInterface()->actionNames().contains(toggle)) return false;
    a->actionInterface()->doAction(toggle);
    return true;
}

// A port nothing listens on now.
quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// What a broker's subscriber has seen, by topic.
struct Seen {
    std::mutex mutex;
    std::map<std::string, std::string> latest;
    std::string Of(const std::string& topic) {
        std::lock_guard lock(mutex);
        const auto it = latest.find(topic);
        return it == latest.end() ? "<none>" : it->second;
    }
};

} // namespace

class RemoteWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<VirtualProgram> program;

    ui::RemoteControlWindow* Open() {
        Command(program->frame, "Remote control...")->trigger();
        ui::RemoteControlWindow* w = program->frame.RemoteWindow();
        if (w) w->PortField()->setValue(FreePort());
        return w;
    }
    std::string Token(remote::Role role, const std::string& name) {
        std::string error;
        return program->frame.RemoteTokens().Add(name, role, error).value_or("");
    }

  private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() {
        // Every test starts with no tokens, no audit log and the server off, as a first start does.
        QDir(QFileInfo(ui::CMainFrame::SettingsPath()).dir().filePath("remote")).removeRecursively();
        QSettings(ui::CMainFrame::SettingsPath(), QSettings::IniFormat).remove("remote");
        QSettings(ui::CMainFrame::SettingsPath(), QSettings::IniFormat).remove("mqtt");
        program = std::make_unique<VirtualProgram>();
        program->frame.show();
    }
    void cleanup() { program.reset(); }

    void switchingServingOnAndOffFromTheWindow() {
        ui::RemoteControlWindow* w = Open();
        QVERIFY(w && w->isVisible());
        QVERIFY(!program->frame.Remote().Listening()); // off by default
        QVERIFY(ToggleAccessibly(w->ServeBox()));
        QTRY_VERIFY(program->frame.Remote().Listening());
        QVERIFY(w->StatusText().startsWith("Serving on 127.0.0.1 port"));
        QCOMPARE(w->PageAddress(), QStringLiteral("http://127.0.0.1:%1/").arg(program->frame.Remote().Port()));
        QVERIFY(program->frame.RemoteStateText().startsWith("Remote: 127.0.0.1:"));
        KeepScreenshot(w, "remote-control");
        QVERIFY(ToggleAccessibly(w->ServeBox()));
        QTRY_VERIFY(!program->frame.Remote().Listening());
        QVERIFY(program->frame.RemoteStateText().isEmpty());
    }

    void anotherAddressWithoutTlsIsRefusedWithTheReason() {
        ui::RemoteControlWindow* w = Open();
        w->AddressField()->setText("0.0.0.0");
        QVERIFY(!w->Serve(true));
        QVERIFY(w->StatusText().contains("needs TLS"));
        QVERIFY(!w->ServeBox()->isChecked());
        QVERIFY(!program->frame.Remote().Listening());
        w->AddressField()->setText("not an address");
        QVERIFY(!w->Serve(true));
        QVERIFY(w->StatusText().contains("no IP address"));
    }

    void aTokenMadeInTheWindowIsShownOnceWorksAndCanBeRevoked() {
        QVERIFY(ConnectToVirtual(program->app));
        ui::RemoteControlWindow* w = Open();
        QVERIFY(w->Serve(true));
        w->TokenNameField()->setText("stage-tablet");
        w->RoleChoice()->setCurrentIndex(1);
        QVERIFY(w->AddToken());
        const std::string secret = w->SecretField()->text().toStdString();
        QVERIFY(secret.starts_with("qm_"));
        QCOMPARE(w->TokenList()->topLevelItemCount(), 1);
        QCOMPARE(w->TokenList()->topLevelItem(0)->text(1), QString("operator"));
        const quint16 port = program->frame.Remote().Port();
        QCOMPARE(Request(port, "GET", "/api/v1/devices", secret).status, 200);
        w->TokenNameField()->setText("stage-tablet");
        QVERIFY(!w->AddToken()); // the name is in use
        QVERIFY(w->SecretField()->text().isEmpty());
        w->TokenList()->setCurrentItem(w->TokenList()->topLevelItem(0));
        QVERIFY(w->RevokeSelected());
        QCOMPARE(Request(port, "GET", "/api/v1/devices", secret).status, 401);
    }

    void theLockIsShownAndTheWindowBreaksIt() {
        QVERIFY(ConnectToVirtual(program->app));
        const std::string installer = Token(remote::Role::Installer, "laptop");
        const std::string tablet = Token(remote::Role::Operator, "tablet");
        ui::RemoteControlWindow* w = Open();
        QVERIFY(w->Serve(true));
        const quint16 port = program->frame.Remote().Port();
        QCOMPARE(Request(port, "POST", "/api/v1/lock", installer).status, 200);
        QTRY_VERIFY(w->LockText().contains("locked by laptop"));
        QVERIFY(program->frame.RemoteStateText().contains("locked by laptop"));
        QVERIFY(w->BreakLockButton()->isEnabled());
        QVERIFY(PressAccessibly(w->BreakLockButton()));
        QTRY_VERIFY(w->LockText().contains("not locked"));
        QVERIFY(!program->frame.RemoteStateText().contains("locked"));
        QCOMPARE(Request(port, "PUT", "/api/v1/devices/1/outputs/3/mute", tablet, R"({"value": true})").status, 200);
    }

    void aRemoteEditShowsOnTheFrontPanelAndInTheAuditLog() {
        QVERIFY(ConnectToVirtual(program->app));
        const std::string tablet = Token(remote::Role::Operator, "tablet");
        ui::RemoteControlWindow* w = Open();
        QVERIFY(w->Serve(true));
        QVERIFY(!Strip(program->frame, "Output 3 mute")->property("muted").toBool());
        QCOMPARE(Request(program->frame.Remote().Port(), "PUT", "/api/v1/devices/1/outputs/3/mute", tablet,
                         R"({"value": true})")
                     .status,
                 200);
        QTRY_VERIFY(Strip(program->frame, "Output 3 mute")->property("muted").toBool());
        QVERIFY(w->AuditText().contains("\"token\":\"tablet\""));
        QVERIFY(w->AuditText().contains("\"setting\":\"out 3 mute\""));
        QTRY_COMPARE(program->app.VirtualDevice()->Parameters().OutCH[2].Mute, std::uint8_t(1));
    }

    void theWindowBridgesToABrokerAndAWindowEditReachesIt() {
        // A broker of the test's own on loopback, anonymous there.
        const quint16 port = FreePort();
        QTemporaryDir dir;
        QFile conf(dir.filePath("mosquitto.conf"));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\npersistence false\n").arg(port).toUtf8());
        conf.close();
        QProcess broker;
        broker.start("/usr/sbin/mosquitto", {"-c", conf.fileName()});
        QVERIFY(broker.waitForStarted());
        QTcpSocket probe;
        QTRY_VERIFY_WITH_TIMEOUT((probe.abort(), probe.connectToHost(QHostAddress::LocalHost, port),
                                  probe.waitForConnected(200)),
                                 10000);
        probe.abort();

        QVERIFY(ConnectToVirtual(program->app));
        ui::RemoteControlWindow* w = Open();
        // An address that is none: the reason, and the bridge stays off.
        w->MqttUrlField()->setText("broker.local:1883");
        QVERIFY(!w->Bridge(true));
        QVERIFY(w->MqttStateText().contains("mqtt://HOST"));
        QVERIFY(!w->BridgeBox()->isChecked());
        w->MqttUrlField()->setText(QStringLiteral("mqtt://127.0.0.1:%1").arg(port));
        w->MqttPrefixField()->setText("quellmarin/window");
        QVERIFY(ToggleAccessibly(w->BridgeBox()));
        QTRY_VERIFY_WITH_TIMEOUT(program->frame.Mqtt().Connected(), 10000);
        QTRY_VERIFY(w->MqttStateText().startsWith("Connected: topics under quellmarin/window"));
        w->findChild<QTabWidget*>()->setCurrentIndex(2);
        KeepScreenshot(w, "remote-control-mqtt");

        Seen seen;
        mosquitto_lib_init();
        mosquitto* sub = mosquitto_new(nullptr, true, &seen);
        mosquitto_message_callback_set(sub, [](mosquitto*, void* self, const mosquitto_message* m) {
            auto* s = static_cast<Seen*>(self);
            std::lock_guard lock(s->mutex);
            s->latest[m->topic] = std::string(static_cast<const char*>(m->payload), static_cast<std::size_t>(m->payloadlen));
        });
        QCOMPARE(mosquitto_connect(sub, "127.0.0.1", port, 30), MOSQ_ERR_SUCCESS);
        mosquitto_subscribe(sub, nullptr, "quellmarin/window/#", 0);
        mosquitto_loop_start(sub);
        QTRY_COMPARE_WITH_TIMEOUT(seen.Of("quellmarin/window/1/outputs/3/mute"), std::string("false"), 10000);
        // A mute in the window: retained at once.
        QTest::mouseClick(Strip(program->frame, "Output 3 mute"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(seen.Of("quellmarin/window/1/outputs/3/mute"), std::string("true"), 5000);
        // Remembered for the next start; switched off, the broker hears that the processor is offline.
        QCOMPARE(QSettings(ui::CMainFrame::SettingsPath(), QSettings::IniFormat).value("mqtt/connect").toBool(), true);
        QVERIFY(ToggleAccessibly(w->BridgeBox()));
        QVERIFY(!program->frame.Mqtt().Running());
        QTRY_COMPARE_WITH_TIMEOUT(seen.Of("quellmarin/window/status"), std::string("offline"), 5000);
        mosquitto_disconnect(sub);
        mosquitto_loop_stop(sub, false);
        mosquitto_destroy(sub);
        broker.terminate();
        broker.waitForFinished();
    }
};

QTEST_MAIN(RemoteWindowTest)
#include "test_remote_window.moc"
