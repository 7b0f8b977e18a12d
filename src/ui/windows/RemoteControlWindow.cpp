#include "windows/RemoteControlWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QSysInfo>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quellmarin::ui {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QPushButton* Button(const QString& text, const QString& name, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setAccessibleName(name);
    b->setAutoDefault(false);
    return b;
}

} // namespace

RemoteControlWindow::RemoteControlWindow(RemoteServer& server, MqttBridge& bridge, remote::TokenStore& tokens,
                                         remote::AuditLog& audit, QWidget* parent)
    : QDialog(parent), server_(server), mqtt_(bridge), tokens_(tokens), audit_(audit) {
    setObjectName("remoteControlWindow");
    setWindowTitle("Remote control");
    auto* root = new QVBoxLayout(this);

    // ---- The server
    auto* serverBox = new QGroupBox("Server", this);
    auto* form = new QFormLayout(serverBox);
    serve_ = new QCheckBox("&Serve remote control (HTTP and WebSocket API)", serverBox);
    serve_->setAccessibleName("Serve remote control");
    form->addRow(serve_);
    address_ = new QLineEdit(serverBox);
    address_->setAccessibleName("Remote control address to listen on");
    address_->setToolTip("127.0.0.1 serves this computer only; another address serves the network, with TLS.");
    form->addRow("&Address:", address_);
    port_ = new QSpinBox(serverBox);
    port_->setRange(1, 65535);
    port_->setAccessibleName("Remote control port");
    form->addRow("&Port:", port_);
    const auto fileRow = [&](QLineEdit*& field, const QString& label, const QString& name) {
        auto* row = new QHBoxLayout;
        field = new QLineEdit(serverBox);
        field->setAccessibleName(name);
        field->setPlaceholderText("none: plain HTTP, loopback only");
        auto* browse = Button("Browse...", "Choose the " + name.toLower(), serverBox);
        QLineEdit* target = field;
        connect(browse, &QPushButton::clicked, this, [this, target, name] {
            const QString path = QFileDialog::getOpenFileName(this, name, {}, "PEM files (*.pem *.crt *.key);;All files (*)");
            if (!path.isEmpty()) target->setText(path);
        });
        row->addWidget(field, 1);
        row->addWidget(browse);
        auto* caption = new QLabel(label, serverBox);
        caption->setBuddy(field);
        form->addRow(caption, row);
    };
    fileRow(cert_, "TLS &certificate:", "TLS certificate file");
    fileRow(key_, "TLS &key:", "TLS key file");
    insecure_ = new QCheckBox("Serve another address &without TLS (tokens travel readable)", serverBox);
    insecure_->setAccessibleName("Serve without TLS");
    form->addRow(insecure_);
    status_ = new QLabel(serverBox);
    status_->setObjectName("remoteStatus");
    status_->setWordWrap(true);
    status_->setAccessibleName("Remote control state");
    form->addRow(status_);
    // The page a phone or tablet opens: it asks for a token before it shows anything.
    pageLink_ = new QLabel(serverBox);
    pageLink_->setObjectName("remotePageLink");
    pageLink_->setTextFormat(Qt::RichText);
    pageLink_->setOpenExternalLinks(true);
    pageLink_->setTextInteractionFlags(Qt::TextBrowserInteraction);
    pageLink_->setAccessibleName("Remote page address");
    form->addRow(pageLink_);
    root->addWidget(serverBox);
    connect(serve_, &QCheckBox::toggled, this, [this](bool on) { Serve(on); });

    // ---- Tokens
    tabs_ = new QTabWidget(this);
    tabs_->setAccessibleName("Tokens, audit log and MQTT broker");
    auto* tokenBox = new QWidget(tabs_);
    auto* tokenLayout = new QVBoxLayout(tokenBox);
    tokenList_ = new QTreeWidget(tokenBox);
    tokenList_->setAccessibleName("Remote control tokens");
    tokenList_->setHeaderLabels({"Name", "Role", "Created"});
    tokenList_->setRootIsDecorated(false);
    tokenList_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    tokenList_->setMinimumHeight(110);
    tokenLayout->addWidget(tokenList_);
    auto* addRow = new QHBoxLayout;
    tokenName_ = new QLineEdit(tokenBox);
    tokenName_->setAccessibleName("Name of the new token");
    tokenName_->setPlaceholderText("stage-tablet");
    role_ = new QComboBox(tokenBox);
    role_->setAccessibleName("Role of the new token");
    role_->addItem("viewer (reads)", static_cast<int>(remote::Role::Viewer));
    role_->addItem("operator (mutes, gains, tone off)", static_cast<int>(remote::Role::Operator));
    role_->addItem("installer (everything)", static_cast<int>(remote::Role::Installer));
    role_->setToolTip("A viewer reads settings and levels; an operator also mutes, moves gains, recalls programs and "
                      "stops the test tone; an installer may change everything and take the rig's lock.");
    role_->setCurrentIndex(1);
    addToken_ = Button("Add &token", "Add the token", tokenBox);
    revoke_ = Button("&Revoke", "Revoke the selected token", tokenBox);
    auto* nameLabel = new QLabel("&Name:", tokenBox);
    nameLabel->setBuddy(tokenName_);
    addRow->addWidget(nameLabel);
    addRow->addWidget(tokenName_, 2);
    addRow->addWidget(role_);
    addRow->addWidget(addToken_);
    addRow->addWidget(revoke_);
    tokenLayout->addLayout(addRow);
    secret_ = new QLineEdit(tokenBox);
    secret_->setReadOnly(true);
    secret_->setAccessibleName("Secret of the new token");
    secret_->setPlaceholderText("a new token's secret is shown here once; copy it now");
    tokenLayout->addWidget(secret_);
    tokenMessage_ = new QLabel(tokenBox);
    tokenMessage_->setWordWrap(true);
    tokenLayout->addWidget(tokenMessage_);
    tabs_->addTab(tokenBox, "&Tokens");
    connect(addToken_, &QPushButton::clicked, this, [this] { AddToken(); });
    connect(tokenName_, &QLineEdit::returnPressed, this, [this] { AddToken(); });
    connect(revoke_, &QPushButton::clicked, this, [this] { RevokeSelected(); });

    // ---- The lock and the audit log
    auto* lockRow = new QHBoxLayout;
    lock_ = new QLabel(this);
    lock_->setAccessibleName("Rig lock");
    breakLock_ = Button("&Break lock", "Break the remote lock on the rig", this);
    lockRow->addWidget(lock_, 1);
    lockRow->addWidget(breakLock_);
    root->addLayout(lockRow);
    connect(breakLock_, &QPushButton::clicked, this, [this] { BreakLock(); });
    // ---- The audit log and the broker, one at a time
    audit_log_ = new QPlainTextEdit(tabs_);
    audit_log_->setReadOnly(true);
    audit_log_->setAccessibleName("Remote control audit log");
    audit_log_->setMaximumBlockCount(500);
    audit_log_->setMinimumHeight(120);
    audit_log_->setLineWrapMode(QPlainTextEdit::NoWrap);
    for (const std::string& line : audit_.Recent()) audit_log_->appendPlainText(Q(line));
    tabs_->addTab(audit_log_, "&Audit log (changes and refusals)");

    auto* brokerPage = new QWidget(tabs_);
    auto* brokerForm = new QFormLayout(brokerPage);
    bridge_ = new QCheckBox("&Connect to an MQTT broker", brokerPage);
    bridge_->setAccessibleName("Connect to the MQTT broker");
    brokerForm->addRow(bridge_);
    mqttUrl_ = new QLineEdit(brokerPage);
    mqttUrl_->setAccessibleName("MQTT broker address");
    mqttUrl_->setPlaceholderText("mqtt://127.0.0.1:1883 or mqtts://broker.local:8883");
    brokerForm->addRow("Bro&ker:", mqttUrl_);
    mqttUser_ = new QLineEdit(brokerPage);
    mqttUser_->setAccessibleName("MQTT user name");
    mqttUser_->setPlaceholderText("none");
    brokerForm->addRow("&User:", mqttUser_);
    auto* passwordRow = new QHBoxLayout;
    mqttPasswordFile_ = new QLineEdit(brokerPage);
    mqttPasswordFile_->setAccessibleName("MQTT password file");
    mqttPasswordFile_->setPlaceholderText("a file whose first line is the password");
    auto* browsePassword = Button("Browse...", "Choose the MQTT password file", brokerPage);
    passwordRow->addWidget(mqttPasswordFile_, 1);
    passwordRow->addWidget(browsePassword);
    auto* passwordLabel = new QLabel("Pass&word file:", brokerPage);
    passwordLabel->setBuddy(mqttPasswordFile_);
    brokerForm->addRow(passwordLabel, passwordRow);
    mqttPrefix_ = new QLineEdit(brokerPage);
    mqttPrefix_->setAccessibleName("MQTT topic prefix");
    mqttPrefix_->setPlaceholderText("quellmarin/" + Q(remote::TopicWord(QSysInfo::machineHostName().toStdString())));
    brokerForm->addRow("Topic &prefix:", mqttPrefix_);
    mqttRole_ = new QComboBox(brokerPage);
    mqttRole_->setAccessibleName("Role of commands from the broker");
    mqttRole_->addItem("viewer (publishes only)", static_cast<int>(remote::Role::Viewer));
    mqttRole_->addItem("operator (mutes, gains, programs, tone off)", static_cast<int>(remote::Role::Operator));
    mqttRole_->addItem("installer (everything)", static_cast<int>(remote::Role::Installer));
    mqttRole_->setCurrentIndex(1);
    brokerForm->addRow("Co&mmands as:", mqttRole_);
    mqttState_ = new QLabel(brokerPage);
    mqttState_->setWordWrap(true);
    mqttState_->setAccessibleName("MQTT bridge state");
    brokerForm->addRow(mqttState_);
    tabs_->addTab(brokerPage, "MQTT &broker");
    root->addWidget(tabs_, 1);
    tabs_->setCurrentIndex(0);
    connect(bridge_, &QCheckBox::toggled, this, [this](bool on) { Bridge(on); });
    connect(browsePassword, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getOpenFileName(this, "MQTT password file");
        if (!file.isEmpty()) mqttPasswordFile_->setText(file);
    });
    connect(&mqtt_, &MqttBridge::connectedChanged, this, &RemoteControlWindow::RefreshMqttState);
    connect(&mqtt_, &MqttBridge::logLine, this, [this](const QString& line) {
        mqttProblem_ = line;
        RefreshMqttState();
    });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setAccessibleName("Close the remote control window");
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    root->addWidget(buttons);

    connect(&server_, &RemoteServer::lockChanged, this, &RemoteControlWindow::RefreshState);
    connect(&server_, &RemoteServer::logLine, this, &RemoteControlWindow::RefreshState);
    connect(&server_, &RemoteServer::auditLine, this, [this](const QString& line) { audit_log_->appendPlainText(line); });
    ShowSettings(server_.Settings());
    ShowMqttSettings(mqtt_.Config());
    RefreshTokens();
    RefreshState();
    RefreshMqttState();
    resize(700, 620);
}

void RemoteControlWindow::ShowSettings(const RemoteSettings& s) {
    address_->setText(s.address.toString());
    port_->setValue(s.port ? s.port : remote::kDefaultApiPort);
    cert_->setText(s.certFile);
    key_->setText(s.keyFile);
    insecure_->setChecked(s.insecure);
}

bool RemoteControlWindow::ReadFields(RemoteSettings& s) {
    s = server_.Settings();
    const QHostAddress address(address_->text().trimmed());
    if (address.isNull()) {
        status_->setText(QString("\"%1\" is no IP address (127.0.0.1 serves this computer only).").arg(address_->text()));
        return false;
    }
    s.address = address;
    s.port = static_cast<quint16>(port_->value());
    s.certFile = cert_->text().trimmed();
    s.keyFile = key_->text().trimmed();
    s.insecure = insecure_->isChecked();
    return true;
}

bool RemoteControlWindow::Serve(bool on) {
    if (!on) {
        server_.Stop();
        emit served(false, server_.Settings());
        RefreshState();
        return true;
    }
    RemoteSettings s;
    QString error;
    if (!ReadFields(s) || !server_.Start(s, error)) {
        if (!error.isEmpty()) status_->setText(error);
        const QSignalBlocker quiet(serve_);
        serve_->setChecked(false);
        return false;
    }
    emit served(true, s);
    RefreshState();
    return true;
}

bool RemoteControlWindow::AddToken() {
    std::string error;
    const auto role = static_cast<remote::Role>(role_->currentData().toInt());
    const std::string name = tokenName_->text().trimmed().toStdString();
    const auto secret = tokens_.Add(name, role, error);
    if (!secret) {
        tokenMessage_->setText(Q(error));
        secret_->clear();
        return false;
    }
    secret_->setText(Q(*secret));
    secret_->selectAll();
    secret_->setFocus();
    tokenMessage_->setText(QString("Token %1 (%2) added. Its secret is shown this once: copy it into the client now.")
                               .arg(Q(name), Q(std::string(remote::RoleName(role)))));
    tokenName_->clear();
    RefreshTokens();
    return true;
}

bool RemoteControlWindow::RevokeSelected() {
    QTreeWidgetItem* item = tokenList_->currentItem();
    if (!item) {
        tokenMessage_->setText("Choose the token to revoke in the list.");
        return false;
    }
    std::string error;
    const std::string name = item->text(0).toStdString();
    if (!tokens_.Revoke(name, error)) {
        tokenMessage_->setText(Q(error));
        return false;
    }
    tokenMessage_->setText(QString("Token %1 revoked: requests with it are refused from now on.").arg(Q(name)));
    secret_->clear();
    RefreshTokens();
    return true;
}

void RemoteControlWindow::BreakLock() {
    server_.Api().BreakLock("window");
    RefreshState();
}

void RemoteControlWindow::RefreshTokens() {
    tokenList_->clear();
    for (const remote::TokenInfo& t : tokens_.List())
        tokenList_->addTopLevelItem(new QTreeWidgetItem({Q(t.name), Q(std::string(remote::RoleName(t.role))), Q(t.created)}));
    revoke_->setEnabled(tokenList_->topLevelItemCount() > 0);
}

void RemoteControlWindow::RefreshState() {
    {
        const QSignalBlocker quiet(serve_);
        serve_->setChecked(server_.Listening());
    }
    if (server_.Listening()) {
        const bool tls = !server_.Settings().certFile.isEmpty();
        status_->setText(QString("Serving on %1 port %2 (%3). %4 WebSocket client(s).")
                             .arg(server_.Settings().address.toString())
                             .arg(server_.Port())
                             .arg(tls ? "https, wss" : "http, ws")
                             .arg(server_.WebSocketClients()));
    } else if (status_->text().isEmpty() || status_->text().startsWith("Serving")) {
        status_->setText("Not serving. Remote clients cannot reach the processors.");
    }
    pageLink_->setVisible(server_.Listening());
    pageUrl_.clear();
    if (server_.Listening()) {
        // An address that serves every interface is reached by this computer's own name for it.
        const QHostAddress bound = server_.Settings().address;
        const bool any = bound == QHostAddress::Any || bound == QHostAddress::AnyIPv4 || bound == QHostAddress::AnyIPv6;
        QString host = any ? QStringLiteral("127.0.0.1") : bound.toString();
        if (bound.protocol() == QAbstractSocket::IPv6Protocol && !any) host = "[" + host + "]";
        pageUrl_ = QString("%1://%2:%3/")
                       .arg(server_.Settings().certFile.isEmpty() ? "http" : "https", host)
                       .arg(server_.Port());
        pageLink_->setText(
            QString("Remote page for phones and tablets: <a href=\"%1\">%1</a>").arg(pageUrl_.toHtmlEscaped()));
    }
    const auto& holder = server_.Api().LockHolder();
    lock_->setText(holder ? QString("The rig is locked by %1: other clients' changes are refused.").arg(Q(*holder))
                          : QString("The rig is not locked."));
    breakLock_->setEnabled(holder.has_value());
}

QString RemoteControlWindow::StatusText() const { return status_->text(); }
QString RemoteControlWindow::MqttStateText() const { return mqttState_->text(); }

bool RemoteControlWindow::ReadMqttFields(remote::MqttConfig& config) {
    config.url = mqttUrl_->text().trimmed().toStdString();
    std::string why;
    if (!remote::ParseMqttUrl(config.url, why)) {
        mqttProblem_.clear();
        mqttState_->setText(Q(why));
        return false;
    }
    config.user = mqttUser_->text().trimmed().toStdString();
    config.passwordFile = mqttPasswordFile_->text().trimmed().toStdString();
    config.prefix = mqttPrefix_->text().trimmed().toStdString();
    if (!config.prefix.empty() && !remote::MqttPrefixValid(config.prefix)) {
        mqttProblem_.clear();
        mqttState_->setText("The topic prefix may hold no + or # and no empty level.");
        return false;
    }
    config.role = static_cast<remote::Role>(mqttRole_->currentData().toInt());
    return true;
}

void RemoteControlWindow::ShowMqttSettings(const remote::MqttConfig& config) {
    mqttUrl_->setText(Q(config.url));
    mqttUser_->setText(Q(config.user));
    mqttPasswordFile_->setText(Q(config.passwordFile));
    mqttPrefix_->setText(Q(config.prefix));
    mqttRole_->setCurrentIndex(mqttRole_->findData(static_cast<int>(config.role)));
}

bool RemoteControlWindow::Bridge(bool on) {
    const auto refuse = [this] {
        const QSignalBlocker quiet(bridge_);
        bridge_->setChecked(false);
        return false;
    };
    if (!on) {
        mqtt_.Stop();
        mqttProblem_.clear();
        emit bridged(false, mqtt_.Config());
        RefreshMqttState();
        return true;
    }
    remote::MqttConfig config;
    if (!ReadMqttFields(config)) return refuse();
    QString error;
    mqttProblem_.clear();
    if (!mqtt_.Start(config, QSysInfo::machineHostName().toStdString(), error)) {
        mqttState_->setText(error);
        return refuse();
    }
    emit bridged(true, config);
    RefreshMqttState();
    return true;
}

void RemoteControlWindow::RefreshMqttState() {
    {
        const QSignalBlocker quiet(bridge_);
        bridge_->setChecked(mqtt_.Running());
    }
    if (!mqtt_.Running()) {
        if (mqttProblem_.isEmpty() && (mqttState_->text().isEmpty() || mqttState_->text().startsWith("Connected") ||
                                       mqttState_->text().startsWith("Connecting")))
            mqttState_->setText("Not connected to a broker.");
        return;
    }
    mqttState_->setText(mqtt_.Connected()
                            ? QString("Connected: topics under %1, retained; commands on their /set topics, answers on %1/result.")
                                  .arg(Q(mqtt_.Prefix()))
                            : QString("Connecting to the broker%1").arg(mqttProblem_.isEmpty() ? QString("...") : ": " + mqttProblem_));
}
QString RemoteControlWindow::PageAddress() const { return pageUrl_; }
QString RemoteControlWindow::LockText() const { return lock_->text(); }
QString RemoteControlWindow::AuditText() const { return audit_log_->toPlainText(); }

} // namespace quellmarin::ui
