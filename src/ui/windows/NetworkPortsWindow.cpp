#include "windows/NetworkPortsWindow.h"

#include "link/NetworkPort.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quellmarin::ui {

namespace {

QString KindText(NetworkKind kind) {
    return kind == NetworkKind::RawTcp ? "Raw TCP" : "RFC 2217 (Telnet)";
}

} // namespace

NetworkPortsWindow::NetworkPortsWindow(const std::vector<std::string>& ports, QWidget* parent) : QDialog(parent) {
    setObjectName("networkPortsWindow");
    setWindowTitle("Network ports");
    setModal(true);
    auto* root = new QVBoxLayout(this);
    auto* intro = new QLabel("Processors behind a network serial server are reached through these ports. "
                             "They are scanned with the local serial ports. A raw TCP port keeps the "
                             "server's line settings; over RFC 2217 the program sets 38400 baud 8N1 itself.",
                             this);
    intro->setWordWrap(true);
    root->addWidget(intro);

    list_ = new QTreeWidget(this);
    list_->setObjectName("networkPortList");
    list_->setAccessibleName("Network ports");
    list_->setColumnCount(2);
    list_->setHeaderLabels({"Host and port", "Kind"});
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    list_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    list_->setMinimumHeight(140);
    root->addWidget(list_);

    auto* form = new QGridLayout;
    auto* addressLabel = new QLabel("&Host and port:", this);
    address_ = new QLineEdit(this);
    address_->setObjectName("networkPortAddress");
    address_->setAccessibleName("Network port host and port");
    address_->setPlaceholderText("192.168.1.20:4001");
    address_->setMinimumWidth(240);
    addressLabel->setBuddy(address_);
    auto* kindLabel = new QLabel("&Kind:", this);
    kind_ = new QComboBox(this);
    kind_->setObjectName("networkPortKind");
    kind_->setAccessibleName("Kind of the network port to add");
    kind_->addItem(KindText(NetworkKind::RawTcp), static_cast<int>(NetworkKind::RawTcp));
    kind_->addItem(KindText(NetworkKind::Rfc2217), static_cast<int>(NetworkKind::Rfc2217));
    kindLabel->setBuddy(kind_);
    add_ = new QPushButton("&Add", this);
    add_->setObjectName("addNetworkPort");
    add_->setAccessibleName("Add the network port");
    add_->setAutoDefault(false);
    remove_ = new QPushButton("&Remove", this);
    remove_->setObjectName("removeNetworkPort");
    remove_->setAccessibleName("Remove the selected network ports");
    remove_->setAutoDefault(false);
    form->addWidget(addressLabel, 0, 0);
    form->addWidget(address_, 0, 1);
    form->addWidget(kindLabel, 0, 2);
    form->addWidget(kind_, 0, 3);
    form->addWidget(add_, 0, 4);
    form->addWidget(remove_, 1, 4);
    form->setColumnStretch(1, 1);
    root->addLayout(form);

    message_ = new QLabel(this);
    message_->setObjectName("networkPortMessage");
    message_->setAccessibleName("Why the network port was not added");
    message_->setWordWrap(true);
    message_->setStyleSheet("color: #c62828;");
    message_->hide();
    root->addWidget(message_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setAccessibleName("Keep the network ports");
    buttons->button(QDialogButtonBox::Cancel)->setAccessibleName("Leave the network ports as they were");
    root->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(add_, &QPushButton::clicked, this, [this] { AddTyped(); });
    connect(remove_, &QPushButton::clicked, this, &NetworkPortsWindow::RemoveSelected);
    // Enter in the field adds; it does not close the window (see eventFilter).
    address_->installEventFilter(this);
    connect(address_, &QLineEdit::textChanged, this, [this] { message_->hide(); });
    auto* del = new QShortcut(QKeySequence::Delete, list_, nullptr, nullptr, Qt::WidgetShortcut);
    connect(del, &QShortcut::activated, this, &NetworkPortsWindow::RemoveSelected);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &NetworkPortsWindow::Refresh);

    for (const std::string& p : ports)
        if (ParseNetworkPort(p)) AddRow(NetworkPortName(*ParseNetworkPort(p)));
    Refresh();
    resize(560, 340);
}

bool NetworkPortsWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == address_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            AddTyped();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void NetworkPortsWindow::AddRow(const std::string& name) {
    const auto a = ParseNetworkPort(name);
    auto* item = new QTreeWidgetItem(list_, {QString::fromStdString(HostAndPort(*a)), KindText(a->kind)});
    item->setData(0, Qt::UserRole, QString::fromStdString(name));
    item->setToolTip(0, QString::fromStdString(name));
}

std::vector<std::string> NetworkPortsWindow::Ports() const {
    std::vector<std::string> out;
    for (int i = 0; i < list_->topLevelItemCount(); ++i)
        out.push_back(list_->topLevelItem(i)->data(0, Qt::UserRole).toString().toStdString());
    return out;
}

QString NetworkPortsWindow::Message() const {
    return message_->isVisible() ? message_->text() : QString();
}

bool NetworkPortsWindow::AddTyped() {
    const QString typed = address_->text().trimmed();
    const auto refuse = [this](const QString& why) {
        message_->setText(why);
        message_->show();
        address_->setFocus();
        address_->selectAll();
        return false;
    };
    if (typed.isEmpty()) return refuse("Type the server's host and port, for example 192.168.1.20:4001.");
    const auto kind = static_cast<NetworkKind>(kind_->currentData().toInt());
    // A name typed with its scheme keeps it; otherwise the kind chosen gives it.
    std::string name = typed.toStdString();
    if (!IsNetworkPort(name))
        name = std::string(kind == NetworkKind::RawTcp ? kTcpScheme : kRfc2217Scheme) + name;
    std::string why;
    const auto address = ParseNetworkPort(name, &why);
    if (!address) return refuse(QString::fromStdString(typed.toStdString() + ": " + why));
    const std::string canonical = NetworkPortName(*address);
    for (const std::string& p : Ports())
        if (p == canonical) return refuse(QString::fromStdString(HostAndPort(*address)) + " is in the list already.");
    AddRow(canonical);
    address_->clear();
    message_->hide();
    Refresh();
    return true;
}

void NetworkPortsWindow::RemoveSelected() {
    for (QTreeWidgetItem* item : list_->selectedItems()) delete item;
    Refresh();
}

void NetworkPortsWindow::Refresh() {
    remove_->setEnabled(!list_->selectedItems().isEmpty());
}

} // namespace quellmarin::ui
