// Device > Remote control...: serving switched on and off from the window, tokens made and revoked
// there, the lock shown and broken, and a remote edit seen on the front panel and in the audit log.
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
#include <QTreeWidget>

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
};

QTEST_MAIN(RemoteWindowTest)
#include "test_remote_window.moc"
