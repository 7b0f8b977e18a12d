// Device > Remote control...: the server that lets tablets, scripts and control systems edit the
// processors: whether it serves, on which address and port (loopback unless another address is given,
// and then with TLS unless serving without it is chosen explicitly), the tokens that may use it (a
// new token's secret is shown once, here), who holds the rig lock (which can be broken here), and the
// audit log of what remote clients changed or were refused; and the bridge to an MQTT broker (its
// address, user, password file, topic prefix and the role its commands have).
#pragma once

#include "server/MqttBridge.h"
#include "server/RemoteServer.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QComboBox;
class QTreeWidget;
class QTabWidget;

namespace quellmarin::ui {

class RemoteControlWindow : public QDialog {
    Q_OBJECT
  public:
    RemoteControlWindow(RemoteServer& server, MqttBridge& bridge, remote::TokenStore& tokens, remote::AuditLog& audit,
                        QWidget* parent);

    // The settings the fields hold; false, with the reason shown, for an address that is none.
    bool ReadFields(RemoteSettings& settings);
    void ShowSettings(const RemoteSettings& settings);
    // Switches the server on with the fields' settings, or off; the reason is shown when it cannot start.
    bool Serve(bool on);
    // A new token of the role chosen, named as typed; its secret is shown once. False, with the reason.
    bool AddToken();
    bool RevokeSelected();
    void BreakLock();
    // The broker's settings the fields hold; false, with the reason shown, for an address that is none.
    bool ReadMqttFields(remote::MqttConfig& config);
    void ShowMqttSettings(const remote::MqttConfig& config);
    // Connects to the broker with the fields' settings, or leaves it; the reason is shown when it cannot.
    bool Bridge(bool on);

    QCheckBox* ServeBox() const { return serve_; }
    QLineEdit* AddressField() const { return address_; }
    QSpinBox* PortField() const { return port_; }
    QLineEdit* TokenNameField() const { return tokenName_; }
    QComboBox* RoleChoice() const { return role_; }
    QLineEdit* SecretField() const { return secret_; }
    QTreeWidget* TokenList() const { return tokenList_; }
    QPushButton* BreakLockButton() const { return breakLock_; }
    QCheckBox* BridgeBox() const { return bridge_; }
    QLineEdit* MqttUrlField() const { return mqttUrl_; }
    QLineEdit* MqttUserField() const { return mqttUser_; }
    QLineEdit* MqttPasswordFileField() const { return mqttPasswordFile_; }
    QLineEdit* MqttPrefixField() const { return mqttPrefix_; }
    QString MqttStateText() const;
    QString StatusText() const;
    // The remote page's address while serving, empty otherwise.
    QString PageAddress() const;
    QString LockText() const;
    QString AuditText() const;

  signals:
    // The server was switched on or off with these settings (to be remembered).
    void served(bool on, const quellmarin::ui::RemoteSettings& settings);
    // The bridge was switched on or off with these settings (to be remembered).
    void bridged(bool on, const quellmarin::remote::MqttConfig& config);

  private:
    void RefreshTokens();
    void RefreshState();
    void RefreshMqttState();

    RemoteServer& server_;
    MqttBridge& mqtt_;
    remote::TokenStore& tokens_;
    remote::AuditLog& audit_;
    QCheckBox* serve_;
    QLineEdit* address_;
    QSpinBox* port_;
    QLineEdit* cert_;
    QLineEdit* key_;
    QCheckBox* insecure_;
    QLabel* status_;
    QLabel* pageLink_;
    QString pageUrl_;
    QTreeWidget* tokenList_;
    QLineEdit* tokenName_;
    QComboBox* role_;
    QPushButton* addToken_;
    QPushButton* revoke_;
    QLineEdit* secret_;
    QLabel* tokenMessage_;
    QLabel* lock_;
    QPushButton* breakLock_;
    QPlainTextEdit* audit_log_;
    QTabWidget* tabs_;
    QCheckBox* bridge_;
    QLineEdit* mqttUrl_;
    QLineEdit* mqttUser_;
    QLineEdit* mqttPasswordFile_;
    QLineEdit* mqttPrefix_;
    QComboBox* mqttRole_;
    QLabel* mqttState_;
    QString mqttProblem_;
};

} // namespace quellmarin::ui
