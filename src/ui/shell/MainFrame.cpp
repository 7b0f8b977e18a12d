#include "shell/MainFrame.h"

#include "windows/AboutDialog.h"
#include "windows/HelpWindow.h"
#include "widgets/MessageBox.h"
#include "widgets/OpenModal.h"
#include "edit/Generator.h"
#include "widgets/ToneIndicator.h"
#include "widgets/QText.h"
#include "windows/CompareWindow.h"
#include "windows/GeneratorWindow.h"
#include "windows/NetworkPortsWindow.h"
#include "windows/RemoteControlWindow.h"
#include "windows/VirtualProcessorsWindow.h"
#include "windows/RigView.h"
#include "session/RigFile.h"
#include "windows/ProgramListWindow.h"
#include "windows/SaveProgramWindow.h"
#include "graph/ReportPdf.h"
#include "panel/SetupReport.h"
#include "model/InputFile.h"
#include "model/ParameterFile.h"
#include "model/ValueRanges.h"
#include "edit/FilterImport.h"
#include "windows/FilterImportWindow.h"
#include "edit/RecordText.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QSaveFile>
#include <functional>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QSysInfo>
#include <cstdio>

// The help document lives in the resources of a static library, which the linker would drop.
static void InitResources() {
    Q_INIT_RESOURCE(resources);
}

namespace quellmarin::ui {

CMainFrame::CMainFrame(CQuellmarinApp& app, QWidget* parent) : QMainWindow(parent), app_(app) {
    InitResources();
    setObjectName("mainFrame");
    setWindowTitle(QString::fromStdString(WindowTitle(QUELLMARIN_VERSION)));
    page_ = new CPropertyViewPage(app_, this);
    setCentralWidget(page_);
    // The four panes take only the room they need, so that the left of the status bar stays free for
    // the program's passing messages.
    for (int i = 0; i < 4; ++i) {
        panes_[i] = new QLabel(this);
        panes_[i]->setObjectName(QString("pane%1").arg(i));
        statusBar()->addPermanentWidget(panes_[i], 0);
    }
    unconfirmed_ = new QLabel(this);
    unconfirmed_->setObjectName("unconfirmedEdits");
    unconfirmed_->setAccessibleName("Unconfirmed changes");
    unconfirmed_->setStyleSheet("color: #ffb040; font-weight: bold;");
    unconfirmed_->hide();
    statusBar()->insertPermanentWidget(0, unconfirmed_, 0);
    tone_ = new ToneIndicator(this);
    statusBar()->insertPermanentWidget(0, tone_, 0);
    connect(tone_, &ToneIndicator::stopRequested, this, &CMainFrame::StopTone);
    statusBar()->setAccessibleName("Status bar");
    remoteState_ = new QLabel(this);
    remoteState_->setObjectName("remoteState");
    remoteState_->setAccessibleName("Remote control");
    remoteState_->hide();
    statusBar()->insertPermanentWidget(0, remoteState_, 0);
    StartRemote();
    BuildRigView();
    BuildMenus();
    connect(page_, &CPropertyViewPage::note, this, &CMainFrame::ShowNote);
    connect(&app_, &CQuellmarinApp::stateChanged, this, [this](LinkState s) {
        RefreshStatus();
        const bool busy = IsBusy(s);
        Action(32781)->setEnabled(!busy && !HasConnection(s));
        Action(32805)->setEnabled(s != LinkState::Connecting);
        if (s == LinkState::Lost)
            ShowNote("The processor does not answer; edits are kept and sent when it does.");
        // A hint to scan is out of date once connected.
        if (HasConnection(s) && statusBar()->currentMessage().contains("scan to find it")) statusBar()->clearMessage();
    });
    connect(&app_, &CQuellmarinApp::recordsReplaced, this, &CMainFrame::RefreshStatus);
    connect(&app_, &CQuellmarinApp::recordsReplaced, this, &CMainFrame::RefreshTone);
    connect(&app_, &CQuellmarinApp::verificationChanged, this, &CMainFrame::ShowUnconfirmed);
    connect(&app_, &CQuellmarinApp::editsNotConfirmed, this, &CMainFrame::WarnUnconfirmed);
    connect(&app_, &CQuellmarinApp::deviceReturned, this, [this](const SystemParameters& device) {
        ShowNote("The processor answers again, with other settings than the program's.");
        ShowComparison(device);
    });
    WriteHelp();
    RefreshStatus();
    RefreshTone();
    RebuildRecentMenu();
    RestoreWindow();
}

QString CMainFrame::SettingsPath() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation))
        .filePath("quellmarin.conf");
}

namespace {
QSettings Settings() {
    return QSettings(CMainFrame::SettingsPath(), QSettings::IniFormat);
}

std::vector<std::string> StoredRecentFiles() {
    std::vector<std::string> recent;
    for (const QString& r : Settings().value("files/recent").toStringList())
        recent.push_back(r.toStdString());
    return recent;
}

void StoreRecentFiles(const std::vector<std::string>& recent) {
    QStringList list;
    for (const std::string& r : recent) list << QString::fromStdString(r);
    QSettings settings = Settings();
    settings.setValue("files/recent", list);
    settings.sync();
}
} // namespace

void CMainFrame::StartRemote() {
    // Tokens and the audit log live beside the settings; the server serves again when it did at the last run.
    const QString folder = QFileInfo(SettingsPath()).dir().filePath("remote");
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    remoteTokens_ = std::make_unique<remote::TokenStore>(QDir(folder).filePath("tokens.json").toStdString());
    if (const std::string problem = remoteTokens_->Load(); !problem.empty())
        std::fprintf(stderr, "remote control: %s\n", problem.c_str());
    remoteAudit_ = std::make_unique<remote::AuditLog>(QDir(folder).filePath("audit.jsonl").toStdString());
    remote_ = std::make_unique<RemoteServer>(app_, *remoteTokens_, *remoteAudit_);
    connect(remote_.get(), &RemoteServer::logLine, this, [this] { RefreshRemoteState(); });
    connect(remote_.get(), &RemoteServer::lockChanged, this, [this] { RefreshRemoteState(); });
    QSettings settings = Settings();
    RemoteSettings r;
    r.address = QHostAddress(settings.value("remote/address", "127.0.0.1").toString());
    r.port = static_cast<quint16>(settings.value("remote/port", remote::kDefaultApiPort).toUInt());
    r.certFile = settings.value("remote/certFile").toString();
    r.keyFile = settings.value("remote/keyFile").toString();
    r.insecure = settings.value("remote/insecure", false).toBool();
    QString error;
    if (r.address.isNull()) r.address = QHostAddress::LocalHost;
    remote_->SetSettings(r);
    if (settings.value("remote/serve", false).toBool() && !remote_->Start(r, error)) {
        ShowNote("Remote control is not serving: " + error);
    }
    // The broker, as at the last run; an edit in the window is published at once.
    mqtt_ = std::make_unique<MqttBridge>(app_, remote_->Api());
    connect(&app_, &CQuellmarinApp::edited, mqtt_.get(), &MqttBridge::Nudge);
    connect(&app_, &CQuellmarinApp::recordsReplaced, mqtt_.get(), &MqttBridge::Nudge);
    remote::MqttConfig m;
    m.url = settings.value("mqtt/url").toString().toStdString();
    m.user = settings.value("mqtt/user").toString().toStdString();
    m.passwordFile = settings.value("mqtt/passwordFile").toString().toStdString();
    m.prefix = settings.value("mqtt/prefix").toString().toStdString();
    m.role = remote::ParseRole(settings.value("mqtt/role", "operator").toString().toStdString()).value_or(remote::Role::Operator);
    mqtt_->SetConfig(m);
    if (settings.value("mqtt/connect", false).toBool() &&
        !mqtt_->Start(m, QSysInfo::machineHostName().toStdString(), error))
        ShowNote("The MQTT bridge is off: " + error);
    RefreshRemoteState();
}

void CMainFrame::OpenRemoteControl() {
    if (remoteWindow_) {
        remoteWindow_->show();
        remoteWindow_->raise();
        remoteWindow_->activateWindow();
        return;
    }
    remoteWindow_ = new RemoteControlWindow(*remote_, *mqtt_, *remoteTokens_, *remoteAudit_, this);
    remoteWindow_->setAttribute(Qt::WA_DeleteOnClose);
    connect(remoteWindow_, &RemoteControlWindow::served, this, [this](bool on, const RemoteSettings& r) {
        QSettings settings = Settings();
        settings.setValue("remote/serve", on);
        settings.setValue("remote/address", r.address.toString());
        settings.setValue("remote/port", r.port);
        settings.setValue("remote/certFile", r.certFile);
        settings.setValue("remote/keyFile", r.keyFile);
        settings.setValue("remote/insecure", r.insecure);
        settings.sync();
        RefreshRemoteState();
    });
    connect(remoteWindow_, &RemoteControlWindow::bridged, this, [this](bool on, const remote::MqttConfig& m) {
        QSettings settings = Settings();
        settings.setValue("mqtt/connect", on);
        settings.setValue("mqtt/url", QString::fromStdString(m.url));
        settings.setValue("mqtt/user", QString::fromStdString(m.user));
        settings.setValue("mqtt/passwordFile", QString::fromStdString(m.passwordFile));
        settings.setValue("mqtt/prefix", QString::fromStdString(m.prefix));
        settings.setValue("mqtt/role", QString::fromStdString(std::string(remote::RoleName(m.role))));
        settings.sync();
    });
    remoteWindow_->show();
}

QString CMainFrame::RemoteStateText() const { return remoteState_->isVisible() || remote_->Listening() ? remoteState_->text() : QString(); }

void CMainFrame::RefreshRemoteState() {
    if (!remote_ || !remote_->Listening()) {
        remoteState_->clear();
        remoteState_->hide();
        return;
    }
    QString text = QString("Remote: %1:%2").arg(remote_->Settings().address.toString()).arg(remote_->Port());
    const auto& holder = remote_->Api().LockHolder();
    if (holder) text += QString(" \u00b7 locked by %1").arg(QString::fromStdString(*holder));
    remoteState_->setText(text);
    remoteState_->setStyleSheet(holder ? "color: #ffb040; font-weight: bold;" : "");
    remoteState_->setToolTip(holder ? "A remote installer holds the rig: other clients' changes are refused. "
                                      "Device > Remote control... can break the lock."
                                    : "The remote-control server is serving");
    remoteState_->show();
}

void CMainFrame::RestoreWindow() {
    if (restoreGeometry(Settings().value("window/geometry").toByteArray())) return;
    // The first start: a comfortable size, but never larger than the screen.
    QSize size(1280, 700);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() - QSize(40, 60));
    resize(size.expandedTo(minimumSizeHint()));
}

QStringList CMainFrame::RecentFiles() const {
    return Settings().value("files/recent").toStringList();
}

QString CMainFrame::LastFolder() const {
    return Settings().value("files/folder").toString();
}

void CMainFrame::FileUsed(const QString& path) {
    const QFileInfo info(path);
    currentFile_ = path;
    RefreshTitle();
    StoreRecentFiles(WithRecentFile(StoredRecentFiles(), info.absoluteFilePath().toStdString()));
    QSettings settings = Settings();
    settings.setValue("files/folder", info.absolutePath());
    settings.sync();
    RebuildRecentMenu();
}

void CMainFrame::RebuildRecentMenu() {
    for (QAction* a : recentActions_) {
        fileMenu_->removeAction(a);
        a->deleteLater();
    }
    recentActions_.clear();
    const QStringList recent = RecentFiles();
    for (int i = 0; i < recent.size(); ++i) {
        const QString path = recent[i];
        auto* a = new QAction(QString("&%1 %2").arg(i + 1).arg(QDir::toNativeSeparators(path)), fileMenu_);
        a->setObjectName(QString("recentFile%1").arg(i + 1));
        a->setData(path);
        connect(a, &QAction::triggered, this, [this, path] { OpenRecent(path); });
        fileMenu_->insertAction(recentEnd_, a);
        recentActions_ << a;
    }
}

void CMainFrame::OpenRecent(const QString& path) {
    if (!QFileInfo::exists(path)) {
        StoreRecentFiles(WithoutRecentFile(StoredRecentFiles(), path.toStdString()));
        RebuildRecentMenu();
        ShowMessage(this, "Quellmarin",
                    QDir::toNativeSeparators(path) +
                        " is no longer there; it was taken off the recent files.");
        return;
    }
    if (!MayDiscardEdits("opening another file")) return;
    LoadFile(path);
}

QAction* CMainFrame::Action(int command) const {
    const auto it = actions_.find(command);
    return it == actions_.end() ? nullptr : it->second;
}

void CMainFrame::BuildMenus() {
    const auto add = [this](QMenu* menu, const QString& text, int command, auto slot) {
        QAction* a = menu->addAction(text);
        a->setObjectName(QString("command%1").arg(command));
        a->setData(command);
        connect(a, &QAction::triggered, this, slot);
        actions_[command] = a;
        return a;
    };

    QMenu* file = menuBar()->addMenu("File(&F)");
    add(file, "Scan...", 32781, [this] {
        if (app_.AnyConnected())
            ShowMessage(this, "Quellmarin", "can not scan,device is connected!");
        else
            page_->StartScan();
    });
    add(file, "Open..", 32805, [this] { OpenFile(); })->setShortcut(QKeySequence::Open);
    add(file, "Save", 57603, [this] { SaveCurrent(); })->setShortcut(QKeySequence::Save);
    // Spelled out: without a desktop's own key theme the standard Save As sequence can be empty.
    add(file, "Save as..", 32806, [this] { SaveFileAs(); })->setShortcut(QKeySequence("Ctrl+Shift+S"));
    file->addSeparator();
    QAction* importFilters = file->addAction("Import filters\u2026");
    importFilters->setObjectName("importFilters");
    importFilters->setToolTip(
        "Put the filters of a measurement program's filter file on the graph's channel");
    connect(importFilters, &QAction::triggered, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, "Import filters", LastFolder(),
                                                          "Filter files (*.txt);;All files (*)");
        if (!path.isEmpty()) ImportFilters(path);
    });
    QAction* exportFilters = file->addAction("Export filters\u2026");
    exportFilters->setObjectName("exportFilters");
    exportFilters->setToolTip("Write the graph's channel's equaliser as a filter file");
    connect(exportFilters, &QAction::triggered, this, [this] {
        const ChannelRef c = page_->GraphChannel();
        const QString name = Q(ChannelName(c.section, c.index, app_.Model())).remove(' ');
        const QString path = QFileDialog::getSaveFileName(
            this, "Export filters of " + Q(ChannelName(c.section, c.index, app_.Model())),
            QDir(LastFolder()).filePath(name + ".txt"), "Filter files (*.txt)");
        if (!path.isEmpty()) ExportFilters(path, c);
    });
    QAction* report = file->addAction("Export report\u2026");
    report->setObjectName("exportReport");
    report->setToolTip("Write every setting, the routing and the responses as an HTML page or a PDF");
    connect(report, &QAction::triggered, this, [this] {
        QString selected;
        const QString path = QFileDialog::getSaveFileName(
            this, "Export report", QDir(LastFolder()).filePath("set-up report.html"),
            "HTML page (*.html);;PDF document (*.pdf)", &selected);
        if (path.isEmpty()) return;
        const bool pdf = selected.contains("pdf") || path.endsWith(".pdf", Qt::CaseInsensitive);
        const QString suffix = pdf ? ".pdf" : ".html";
        ExportReport(path.endsWith(suffix, Qt::CaseInsensitive) ? path : path + suffix);
    });
    file->addSeparator();
    QAction* openShow = file->addAction("Open show file\u2026");
    openShow->setObjectName("openShowFile");
    openShow->setToolTip("Open a rig: every processor's name, port, ID and settings, to edit offline and connect");
    connect(openShow, &QAction::triggered, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, "Open show file", LastFolder(),
                                                          "Show files (*.json);;All files (*)");
        if (!path.isEmpty()) OpenShowFile(path);
    });
    QAction* saveShow = file->addAction("Save show file as\u2026");
    saveShow->setObjectName("saveShowFile");
    saveShow->setToolTip("Save every processor of the rig, with its name, port, ID and settings, in one file");
    connect(saveShow, &QAction::triggered, this, [this] {
        QString path = QFileDialog::getSaveFileName(this, "Save show file", QDir(LastFolder()).filePath("show.json"),
                                                    "Show files (*.json)");
        if (path.isEmpty()) return;
        if (!path.endsWith(".json", Qt::CaseInsensitive)) path += ".json";
        SaveShowFile(path);
    });
    QAction* exportRig = file->addAction("Export rig as parameter files\u2026");
    exportRig->setObjectName("exportRig");
    exportRig->setToolTip("Write one parameter file (.asc) per processor of the rig into a folder");
    connect(exportRig, &QAction::triggered, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this, "Export rig into", LastFolder());
        if (!folder.isEmpty()) ExportRig(folder);
    });
    file->addSeparator();
    fileMenu_ = file;
    recentEnd_ = file->addSeparator();
    add(file, "Exit(&X)", 57665, [this] { close(); })->setShortcut(QKeySequence::Quit);

    QMenu* edit = menuBar()->addMenu("Edit(&E)");
    undo_ = edit->addAction("Undo");
    undo_->setObjectName("undo");
    undo_->setShortcut(QKeySequence::Undo);
    connect(undo_, &QAction::triggered, &app_, &CQuellmarinApp::Undo);
    redo_ = edit->addAction("Redo");
    redo_->setObjectName("redo");
    redo_->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    connect(redo_, &QAction::triggered, &app_, &CQuellmarinApp::Redo);
    connect(&app_, &CQuellmarinApp::historyChanged, this, &CMainFrame::RefreshHistory);
    connect(&app_, &CQuellmarinApp::historyChanged, this, &CMainFrame::RefreshTitle);
    connect(&app_, &CQuellmarinApp::recordsReplaced, this, &CMainFrame::RefreshTitle);
    RefreshHistory();

    QMenu* program = menuBar()->addMenu("Program(&P)");
    add(program, "Program List...", 32807, [this] { OpenProgramList(); });
    add(program, "Save To Device..", 32811, [this] { OpenSaveProgram(); });

    QMenu* signal = menuBar()->addMenu("Signal");
    add(signal, "Generator...", 32812, [this] { OpenGenerator(); });

    QMenu* device = menuBar()->addMenu("Device");
    add(device, "CH Alias Setting...", 32813, [this] { page_->OpenAliasWindow(); });
    add(device, "Pannel Lock Settng...", 32824, [this] { page_->OpenPanelLockWindow(); });
    QAction* compare = device->addAction("Compare with device\u2026");
    compare->setObjectName("compareWithDevice");
    compare->setToolTip("Read the processor's settings and list where they differ from the program's");
    connect(compare, &QAction::triggered, this, [this] { CompareWithDevice(false); });
    device->addSeparator();
    QAction* network = device->addAction("Network ports...");
    network->setObjectName("networkPorts");
    network->setToolTip("The ports of network serial servers (raw TCP or RFC 2217) to scan with the local ports");
    connect(network, &QAction::triggered, this, [this] { OpenNetworkPorts(); });
    {
        std::vector<std::string> stored;
        for (const QString& p : Settings().value("link/networkPorts").toStringList()) stored.push_back(p.toStdString());
        app_.SetNetworkPorts(std::move(stored));
    }
    // A switch of the Device menu whose state is remembered in the settings under `key`.
    const auto remembered = [this, device](const char* text, const char* name, const char* tip, const char* key,
                                           bool byDefault, std::function<void(bool)> apply) {
        QAction* a = device->addAction(text);
        a->setObjectName(name);
        a->setCheckable(true);
        a->setToolTip(tip);
        const bool stored = Settings().value(key, byDefault).toBool();
        a->setChecked(stored);
        apply(stored);
        connect(a, &QAction::toggled, this, [apply, key](bool on) {
            apply(on);
            QSettings settings = Settings();
            settings.setValue(key, on);
            settings.sync();
        });
    };
    remembered("Fixed 200 ms pacing", "fixedPacing",
               "Send one frame every 200 ms instead of as soon as the processor has answered "
               "(for a processor or a line that misses frames sent at once)",
               "link/fixedPacing", false,
               [this](bool on) { app_.SetPacing(on ? Pacing::Fixed : Pacing::Answered); });
    remembered("Verify edits by reading them back", "verifyEdits",
               "A second after the last edit, read the processor's settings, send again what it lacks and "
               "name what never arrives (the meters pause for half a second)",
               "link/verifyEdits", true, [this](bool on) { app_.SetVerifyEdits(on); });
    QAction* virt = device->addAction("Built-in virtual processor");
    virt->setObjectName("virtualProcessor");
    virt->setCheckable(true);
    virt->setChecked(app_.VirtualRunning());
    virt->setToolTip("A processor inside the program, on the port \"virtual\", to try every function");
    connect(virt, &QAction::toggled, this, [this](bool on) {
        if (on) {
            app_.StartVirtualProcessor();
            ShowNote("The virtual processor answers on the port \"virtual\"; scan to find it.");
        } else {
            app_.StopVirtualProcessor();
        }
    });
    QAction* remoteControl = device->addAction("Remote control...");
    remoteControl->setObjectName("remoteControl");
    remoteControl->setToolTip("Let tablets, scripts and control systems edit the processors over the network "
                              "(an HTTP and WebSocket API with tokens)");
    connect(remoteControl, &QAction::triggered, this, [this] { OpenRemoteControl(); });
    QAction* several = device->addAction("Virtual processors...");
    several->setObjectName("virtualProcessors");
    several->setToolTip("How many virtual processors answer on the port \"virtual\", each to its own device ID");
    connect(several, &QAction::triggered, this, [this, virt] { OpenVirtualProcessors(virt); });

    device->addSeparator();
    QAction* all = device->addAction("Disconnect all processors");
    all->setObjectName("disconnectAll");
    all->setToolTip("End the connection: every processor of the line says goodbye");
    connect(all, &QAction::triggered, &app_, &CQuellmarinApp::DisconnectAll);
    QAction* next = device->addAction("Next processor");
    next->setObjectName("nextProcessor");
    next->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageDown));
    next->setToolTip("Show and edit the next processor of the rig");
    connect(next, &QAction::triggered, this, [this] {
        Rig& rig = app_.GetRig();
        if (rig.Size() >= 2) app_.SelectUnit((rig.Selected() + 1) % rig.Size());
    });
    QAction* previous = device->addAction("Previous processor");
    previous->setObjectName("previousProcessor");
    previous->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageUp));
    previous->setToolTip("Show and edit the previous processor of the rig");
    connect(previous, &QAction::triggered, this, [this] {
        Rig& rig = app_.GetRig();
        if (rig.Size() >= 2) app_.SelectUnit((rig.Selected() + rig.Size() - 1) % rig.Size());
    });

    QMenu* view = menuBar()->addMenu("View");
    QAction* rigShown = rigDock_->toggleViewAction();
    rigShown->setText("Rig");
    rigShown->setObjectName("showRig");
    rigShown->setToolTip("Show or hide the rig: every processor with its state and meters");
    view->addAction(rigShown);
    QAction* others = view->addAction("Other outputs' responses");
    others->setObjectName("otherOutputs");
    others->setCheckable(true);
    others->setToolTip("Draw the other outputs' summed responses faintly behind the selected output");
    connect(others, &QAction::toggled, this, [this](bool on) { page_->ShowOtherOutputs(on); });

    QMenu* help = menuBar()->addMenu("Help(&H)");
    const auto about = [this] {
        OpenModal(new AboutDialog(QString::fromStdString(WindowTitle(QUELLMARIN_VERSION)), this));
    };
    // The help window comes first; Contents keeps opening the About box, as it always has.
    QAction* doc = help->addAction("Help document");
    doc->setObjectName("helpDocument");
    doc->setShortcut(QKeySequence(Qt::Key_F1));
    connect(doc, &QAction::triggered, this, &CMainFrame::ShowHelp);
    add(help, "Contents", 32779, about);
    help->addSeparator();
    add(help, "About Quellmarin(&A)...", 57664, about);
}

void CMainFrame::OpenProgramList() {
    if (!app_.Connected()) {
        ShowMessage(this, Q(ProgramList::kNotConnectedCaption), Q(ProgramList::kNotConnected));
        return;
    }
    // The worker keeps still while the window's exchanges run.
    auto hold = std::make_shared<LinkController::PollSuspension>(app_.SuspendPoll());
    auto* window = new ProgramListWindow(app_, this);
    connect(window, &ProgramListWindow::recordsChanged, &app_, &CQuellmarinApp::RecordsEdited);
    connect(window, &ProgramListWindow::stateRead, &app_, &CQuellmarinApp::StateRead);
    OpenModal(window, [hold](ProgramListWindow&, int) { hold->Release(); });
}

void CMainFrame::OpenSaveProgram() {
    auto hold = std::make_shared<LinkController::PollSuspension>();
    if (app_.Connected()) *hold = app_.SuspendPoll();
    auto* window = new SaveProgramWindow(app_, this);
    connect(window, &SaveProgramWindow::recordsChanged, &app_, &CQuellmarinApp::RecordsEdited);
    OpenModal(window, [hold](SaveProgramWindow&, int) { hold->Release(); });
}

void CMainFrame::OpenGenerator() {
    auto* window = new GeneratorWindow(app_.Context(), app_.Connected(), this);
    connect(&app_, &CQuellmarinApp::verificationChanged, window, &GeneratorWindow::ShowConfirmation);
    OpenModal(window, [this](GeneratorWindow&, int) { RefreshTone(); });
}

void CMainFrame::OpenVirtualProcessors(QAction* builtIn) {
    std::vector<int> ids;
    for (const sim::VirtualProcessor* d : app_.VirtualDevices()) ids.push_back(d->DeviceId());
    auto* window =
        new VirtualProcessorsWindow(ids, CQuellmarinApp::kMaxVirtualProcessors, app_.VirtualOwnLines(), this);
    OpenModal(window, [this, builtIn](VirtualProcessorsWindow& w, int result) {
        if (result != QDialog::Accepted) return;
        app_.SetVirtualCount(w.Count(), w.OwnLines());
        builtIn->setChecked(true); // starts the line when it was off
        if (w.OwnLines() && w.Count() > 1) {
            ShowNote(QString("%1 virtual processors (IDs %2) answer each on a line of its own (virtual to virtual-%1); "
                             "scan to find them.")
                         .arg(w.Count())
                         .arg(w.IdsText()));
            return;
        }
        ShowNote(w.Count() == 1 ? QString("One virtual processor (ID %1) answers on the port \"virtual\"; scan to "
                                          "find it.")
                                      .arg(w.IdsText())
                                : QString("%1 virtual processors (IDs %2) answer on the port \"virtual\"; scan to "
                                          "find them.")
                                      .arg(w.Count())
                                      .arg(w.IdsText()));
    });
}

void CMainFrame::OpenNetworkPorts() {
    OpenModal(new NetworkPortsWindow(app_.NetworkPorts(), this), [this](NetworkPortsWindow& window, int result) {
        if (result == QDialog::Accepted) UseNetworkPorts(window.Ports());
    });
}

void CMainFrame::UseNetworkPorts(const std::vector<std::string>& ports) {
    QStringList list;
    for (const std::string& p : ports) list << QString::fromStdString(p);
    QSettings settings = Settings();
    settings.setValue("link/networkPorts", list);
    settings.sync();
    app_.SetNetworkPorts(ports);
    ShowNote(ports.empty() ? QString("No network ports are scanned.")
                           : QString("%1 network port(s) are scanned with the local ports; scan to find their "
                                     "processors.")
                                 .arg(ports.size()));
}

void CMainFrame::CompareWithDevice(bool sendAtOnce) {
    if (!app_.Connected()) {
        ShowMessage(this, Q(ProgramList::kNotConnectedCaption), Q(ProgramList::kNotConnected));
        return;
    }
    // The worker keeps still until the reading is done.
    auto hold = std::make_shared<LinkController::PollSuspension>(app_.SuspendPoll());
    ShowNote("Reading the processor's settings...");
    app_.ReadDeviceRecord(this, [this, hold, sendAtOnce](std::optional<SystemParameters> device) {
        hold->Release();
        if (!device) {
            ShowMessage(this, "Warning", "The device's settings could not be read.", MessageIcon::Warning);
            return;
        }
        if (sendAtOnce) {
            app_.SendDifference(*device);
            ShowNote("The loaded settings were sent to the device.");
            return;
        }
        ShowComparison(*device);
    });
}

void CMainFrame::ShowComparison(const SystemParameters& device) {
    QStringList lines;
    for (const std::string& l : DescribeDifferences(device, app_.Params(), app_.Info(), app_.Model()))
        lines << QString::fromStdString(l);
    if (lines.isEmpty()) {
        ShowNote("The device holds the program's settings.");
        return;
    }
    // Shown without a nested event loop: the choice is handled when the window closes.
    auto* window = new CompareWindow(lines, this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    connect(window, &QDialog::finished, this, [this, window, device] {
        if (window->Chosen() == CompareWindow::Send) {
            app_.SendDifference(device);
            ShowNote("The program's settings were sent to the device.");
        } else if (window->Chosen() == CompareWindow::Take) {
            app_.TakeDeviceRecord(device);
            ShowNote("The program took the device's settings.");
        }
    });
    window->open();
}

void CMainFrame::RefreshHistory() {
    const EditHistory& h = app_.History();
    const Rig& rig = app_.GetRig();
    // A group edit is undone on every member: the command says so.
    const auto group = [](std::size_t members) { return QString(" (group of %1)").arg(members); };
    undo_->setEnabled(h.CanUndo());
    undo_->setText(h.CanUndo() ? "Undo " + QString::fromStdString(h.UndoName()) +
                                     (rig.GroupStepIsNewest() ? group(rig.GroupStepMembers()) : QString())
                               : QString("Undo"));
    redo_->setEnabled(h.CanRedo());
    redo_->setText(h.CanRedo() ? "Redo " + QString::fromStdString(h.RedoName()) +
                                     (rig.GroupStepIsNextRedo() ? group(rig.GroupStepMembers(true)) : QString())
                               : QString("Redo"));
}

void CMainFrame::ShowHelp() {
    if (!help_) help_ = new HelpWindow(this);
    help_->show();
    help_->raise();
    help_->activateWindow();
}

void CMainFrame::ShowNote(const QString& text) {
    statusBar()->showMessage(text, kNoteMs);
}

QString CMainFrame::Note() const {
    return statusBar()->currentMessage();
}

void CMainFrame::SetPaneText(int pane, const QString& text) {
    panes_.at(pane)->setText(text);
}

QString CMainFrame::PaneText(int pane) const {
    return panes_.at(pane)->text();
}

void CMainFrame::RefreshStatus() {
    auto texts = StatusTexts(app_.Info(), app_.Params(), app_.ProgramNoText(), app_.Connected());
    texts[3] = StateText(app_.State());
    for (int i = 0; i < 3; ++i) SetPaneText(i, QString::fromLatin1(texts[i].c_str()));
    // With several processors the first pane says which one is being edited.
    if (const std::string unit = app_.EditedUnitText(); !unit.empty())
        SetPaneText(0, "Editing " + Q(unit) + " \u00b7 " + QString::fromLatin1(texts[0].c_str()));
    SetPaneText(3, QString::fromStdString(texts[3]));
}

bool CMainFrame::LoadFile(const QString& path) {
    const LoadResult r = app_.Selected().Load(std::filesystem::path(path.toStdString()),
                                              "Load " + QFileInfo(path).fileName().toStdString());
    if (!r.ok()) {
        ShowMessage(this, "Quellmarin", QString::fromStdString(r.Text()));
        return false;
    }
    page_->ResetIndicators();
    page_->RefreshAll();
    RefreshStatus();
    ShowNote("Loaded " + QFileInfo(path).fileName() + " (nothing was sent to the device).");
    FileUsed(path);
    const auto odd = OutOfRangeValues(app_.Params(), app_.Model());
    if (!odd.empty())
        ShowMessage(this, "Warning",
                    QFileInfo(path).fileName() + " holds values that no editor sets, kept as they are:\n" +
                        QString::fromStdString(OutOfRangeSummary(odd)),
                    MessageIcon::Warning);
    // Connected, the processor still holds its own settings: the user says which is to count.
    if (app_.Connected() &&
        AskYesNo(this, "Quellmarin",
                 QFileInfo(path).fileName() +
                     " is loaded, but the processor still holds its own settings. Send the loaded settings "
                     "to the device?",
                 "Send to device", "Keep in the program only"))
        CompareWithDevice(true);
    return true;
}

namespace {
// "Output 3 mute, Input 8 gain and 2 more".
QString NamesText(const QStringList& names) {
    constexpr int kShown = 3;
    QStringList shown = names.mid(0, kShown);
    QString text = shown.join(", ");
    if (names.size() > kShown) text += QString(" and %1 more").arg(names.size() - kShown);
    return text;
}
} // namespace

void CMainFrame::RefreshTone() {
    tone_->Show(QString::fromStdString(Generator::ToneText(app_.Info())));
}

void CMainFrame::StopTone() {
    Generator generator(app_.Context());
    if (generator.Running()) generator.Toggle(generator.FrequencyText(), generator.LevelText());
    RefreshTone();
}

void CMainFrame::ShowUnconfirmed(const QStringList& missing, bool unread) {
    if (missing.isEmpty() && !unread) {
        unconfirmed_->hide();
        unconfirmed_->clear();
        // The processor holds everything now: the warning is out of date.
        if (unconfirmedBox_) unconfirmedBox_->close();
        return;
    }
    unconfirmed_->setText(unread ? QString("Unconfirmed changes: the processor could not be read")
                                 : "Unconfirmed: " + NamesText(missing));
    unconfirmed_->setToolTip(missing.join("\n"));
    unconfirmed_->show();
}

void CMainFrame::WarnUnconfirmed(const QStringList& missing, bool unread) {
    QStringList lines;
    for (const QString& name : missing) lines << name + " did not reach the processor.";
    if (unread)
        lines << "The processor's settings could not be read back to confirm the last changes; they may "
                 "not have reached it.";
    if (!missing.isEmpty())
        lines << QString() << "They were sent again three times. The line may be losing frames; the next "
                              "edit sends them again.";
    ShowMessageWindow(this, "Warning", lines.join("\n"), MessageIcon::Warning, unconfirmedBox_);
}

bool CMainFrame::SaveFile(const QString& path) {
    const std::filesystem::path target(path.toStdString());
    const std::string_view message = app_.Selected().Save(target);
    if (!message.empty()) {
        ShowMessage(this, "Quellmarin", QString::fromStdString(SaveProblemText(target, message)));
        return false;
    }
    ShowNote("Saved " + QFileInfo(path).fileName());
    FileUsed(path);
    return true;
}

bool CMainFrame::ImportFilters(const QString& path) {
    const FileRead read = ReadInputFile(std::filesystem::path(path.toStdString()));
    if (!read.bytes) {
        ShowMessage(this, "Import filters", "Cannot read the filter file: " + QString::fromStdString(read.problem) + ".",
                    MessageIcon::Warning);
        return false;
    }
    const FilterFile file = ParseFilterText(*read.bytes);
    if (file.filters.empty() && !file.preampDb) {
        ShowMessage(this, "Import filters",
                    QFileInfo(path).fileName() +
                        " holds no filter lines (\"Filter 1: ON PK Fc 100 Hz Gain -3 dB Q 2\").",
                    MessageIcon::Warning);
        return false;
    }
    FilterImportWindow window(file, page_->GraphChannel(), app_.Model(), this);
    if (window.exec() != QDialog::Accepted) return false;
    const ImportPlan plan = window.Plan();
    const std::string where = ChannelName(plan.channel.section, plan.channel.index, app_.Model());
    app_.ImportFilters(plan, "Import filters into " + where);
    ShowNote(QString("Imported %1 filter(s) into %2.").arg(plan.placed.size()).arg(Q(where)));
    return true;
}

bool CMainFrame::ExportFilters(const QString& path, ChannelRef channel) {
    QSaveFile out(path);
    const std::string text = app_.Selected().ExportFilters(channel);
    if (!out.open(QIODevice::WriteOnly) || out.write(text.data(), static_cast<qint64>(text.size())) < 0 ||
        !out.commit()) {
        ShowMessage(this, "Export filters", "Cannot write " + QFileInfo(path).fileName() + ".",
                    MessageIcon::Warning);
        return false;
    }
    ShowNote("Wrote the filters of " + Q(ChannelName(channel.section, channel.index, app_.Model())) + " to " +
             QFileInfo(path).fileName() + ".");
    return true;
}

bool CMainFrame::ExportReport(const QString& path) {
    const SetupReport report = app_.Selected().Report();
    const std::string target = path.toStdString();
    const bool pdf = path.endsWith(".pdf", Qt::CaseInsensitive);
    const bool written =
        pdf ? WriteReportPdf(report, target) > 0 : WriteFileAtomically(target, SetupReportHtml(report));
    if (!written) {
        ShowMessage(this, "Export report", "Cannot write " + QFileInfo(path).fileName() + ".",
                    MessageIcon::Warning);
        return false;
    }
    ShowNote("Wrote the set-up report to " + QFileInfo(path).fileName() + ".");
    return true;
}

void CMainFrame::BuildRigView() {
    rigView_ = new RigView(app_.Model(), this);
    rigDock_ = new QDockWidget("Rig", this);
    rigDock_->setObjectName("rigDock");
    rigDock_->setAccessibleName("Rig");
    rigDock_->setWidget(rigView_);
    rigDock_->setAllowedAreas(Qt::BottomDockWidgetArea | Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    addDockWidget(Qt::BottomDockWidgetArea, rigDock_);
    rigDock_->hide();
    // Room for four processors before the list scrolls.
    connect(rigDock_, &QDockWidget::visibilityChanged, this, [this](bool shown) {
        if (shown && rigDock_->height() < rigView_->sizeHint().height())
            resizeDocks({rigDock_}, {rigView_->sizeHint().height()}, Qt::Vertical);
    });
    connect(rigView_, &RigView::unitChosen, this, [this](int row) { app_.SelectUnit(static_cast<std::size_t>(row)); });
    connect(rigView_, &RigView::renamed, this, [this](int row, const QString& name) {
        app_.RenameUnit(static_cast<std::size_t>(row), name.toStdString());
        RememberName(static_cast<std::size_t>(row));
    });
    connect(rigView_, &RigView::groupChosen, this, [this](const QList<int>& rows) {
        std::vector<std::size_t> members;
        for (int r : rows) members.push_back(static_cast<std::size_t>(r));
        app_.SetGroup(members);
        const Rig& rig = app_.GetRig();
        ShowNote(rig.GroupActive() ? QString("Edits go to the %1 processors of the group.").arg(rig.Group().size())
                                   : QString("Edits go to the chosen processor alone."));
    });
    connect(rigView_, &RigView::connectRequested, this, [this](int row) {
        ShowNote("Connecting " + Q(app_.GetRig().Label(static_cast<std::size_t>(row))) + "...");
        app_.ConnectUnit(static_cast<std::size_t>(row));
    });
    connect(&app_, &CQuellmarinApp::unitsChanged, this, &CMainFrame::RefreshRig);
    connect(&app_, &CQuellmarinApp::recordsReplaced, this, &CMainFrame::RefreshRig);
    connect(&app_, &CQuellmarinApp::stateChanged, this, &CMainFrame::RefreshRig);
    connect(&app_, &CQuellmarinApp::unitSelected, this, [this] {
        RefreshTitle();
        RefreshStatus();
        ShowNote("Editing " + Q(app_.GetRig().Label(app_.GetRig().Selected())) + ".");
    });
    connect(&app_, &CQuellmarinApp::unitLevels, this, [this](int unit, const LevelFrame& frame) {
        if (app_.UnitStateText(static_cast<std::size_t>(unit)) == "connected") rigView_->SetLevels(unit, frame);
    });
    connect(&app_, &CQuellmarinApp::groupNotes, this, [this](const QStringList& notes) { ShowNote(notes.join("; ")); });
    connect(&app_, &CQuellmarinApp::deviceDiffers, this, [this](const SystemParameters& device) {
        ShowNote(Q(app_.GetRig().Label(app_.GetRig().Selected())) + " holds other settings than the program's.");
        ShowComparison(device);
    });
}

void CMainFrame::RefreshRig() {
    ApplyRememberedNames();
    const Rig& rig = app_.GetRig();
    std::vector<RigView::Row> rows;
    const auto& group = rig.Group();
    for (std::size_t i = 0; i < rig.Size(); ++i) {
        const Session& s = rig.At(i);
        RigView::Row row;
        row.name = Q(rig.Name(i));
        row.idPort = QString("ID %1 \u00b7 ").arg(rig.Id(i)) + Q(s.Port());
        row.connected = app_.UnitConnected(i);
        row.state = Q(app_.UnitStateText(i));
        row.program = Q(quellmarin::ProgramNoText(s.Info()) + " " + Unpadded(ProgramName(s.Params())));
        row.inGroup = rig.GroupActive() && std::find(group.begin(), group.end(), i) != group.end();
        rows.push_back(std::move(row));
    }
    rigView_->SetRows(rows, static_cast<int>(rig.Selected()));
    rigDock_->setWindowTitle("Rig: " + rigView_->Summary());
    if (!rig.Empty() && rigDock_->isHidden() && !rigDockShownOnce_) {
        rigDockShownOnce_ = true; // shown once by itself; after that the user's choice holds
        rigDock_->show();
    }
}

namespace {
// Where the settings keep the name given to processor `i` of the rig: by its ID and port.
QString NameKey(const Rig& rig, std::size_t i) {
    return "rig/names/" + QString::number(rig.Id(i)) + "@" + Q(rig.At(i).Port()).replace('/', '|');
}
} // namespace

void CMainFrame::ApplyRememberedNames() {
    Rig& rig = app_.GetRig();
    const QSettings settings = Settings();
    for (std::size_t i = 0; i < rig.Size(); ++i) {
        const QString name = settings.value(NameKey(rig, i)).toString();
        // Only a processor that still has the name it was given by default takes the remembered one.
        if (!name.isEmpty() && Q(rig.Name(i)) == QString("Unit %1").arg(rig.Id(i))) rig.Rename(i, name.toStdString());
    }
}

void CMainFrame::RememberName(std::size_t unit) {
    const Rig& rig = app_.GetRig();
    if (unit >= rig.Size()) return;
    QSettings settings = Settings();
    settings.setValue(NameKey(rig, unit), Q(rig.Name(unit)));
    settings.sync();
}

bool CMainFrame::OpenShowFile(const QString& path) {
    if (app_.AnyConnected()) {
        ShowMessage(this, "Quellmarin", "Disconnect first: a show file replaces the whole rig.");
        return false;
    }
    const RigRead read = OpenRigFile(std::filesystem::path(path.toStdString()));
    if (!read.ok()) {
        ShowMessage(this, "Quellmarin", "The show file cannot be opened: " + Q(read.problem), MessageIcon::Warning);
        return false;
    }
    if (!MayDiscardEdits("opening " + QFileInfo(path).fileName())) return false;
    page_->ResetIndicators();
    app_.OpenRig(*read.members);
    for (int r = 0; r < rigView_->RowCount(); ++r) rigView_->ResetLevels(r);
    rigDock_->show();
    ShowNote(QString("%1 processor(s) opened from %2, offline; connect each to compare it with the device.")
                 .arg(read.members->size())
                 .arg(QFileInfo(path).fileName()));
    return true;
}

bool CMainFrame::SaveShowFile(const QString& path) {
    const Rig& rig = app_.GetRig();
    std::vector<RigMember> members = rig.Members();
    if (members.empty()) {
        // The one processor the program holds, as a rig of one.
        RigMember m;
        m.name = "Unit 1";
        m.port = app_.SelectedPort();
        m.model = app_.Model();
        m.params = app_.Params();
        m.info = app_.Info();
        members.push_back(std::move(m));
    }
    const std::string problem = SaveRigFile(std::filesystem::path(path.toStdString()), members);
    if (!problem.empty()) {
        ShowMessage(this, "Quellmarin", "The show file was not saved: " + Q(problem), MessageIcon::Warning);
        return false;
    }
    ShowNote(QString("%1 processor(s) saved in %2.").arg(members.size()).arg(QFileInfo(path).fileName()));
    return true;
}

bool CMainFrame::ExportRig(const QString& folder) {
    const std::vector<RigMember> members = app_.GetRig().Members();
    if (members.empty()) {
        ShowMessage(this, "Quellmarin", "The rig has no processor yet: connect one or open a show file.");
        return false;
    }
    for (std::size_t i = 0; i < members.size(); ++i) {
        const std::filesystem::path target = std::filesystem::path(folder.toStdString()) / RigExportName(i, members[i]);
        if (const std::string_view problem = SaveParameterFile(target, members[i].params, members[i].info);
            !problem.empty()) {
            ShowMessage(this, "Quellmarin", Q(SaveProblemText(target, problem)), MessageIcon::Warning);
            return false;
        }
    }
    ShowNote(QString("%1 parameter file(s) written to %2.").arg(members.size()).arg(folder));
    return true;
}

void CMainFrame::RefreshTitle() {
    QString title = QString::fromStdString(WindowTitle(QUELLMARIN_VERSION, QFileInfo(currentFile_).fileName().toStdString(),
                                                       app_.Selected().Unsaved()));
    const Rig& rig = app_.GetRig();
    if (rig.Size() >= 2) title = Q(rig.Label(rig.Selected())) + " - " + title;
    setWindowTitle(title);
}

void CMainFrame::SaveCurrent() {
    if (currentFile_.isEmpty())
        SaveFileAs();
    else
        SaveFile(currentFile_);
}

bool CMainFrame::MayDiscardEdits(const QString& what) {
    if (!app_.Selected().Unsaved()) return true;
    QString text = currentFile_.isEmpty()
                       ? QString("The settings were changed and are not saved in a file.")
                       : QFileInfo(currentFile_).fileName() + " has changes that are not saved.";
    if (app_.Connected()) text += " The processor holds them; the file does not.";
    text += " Save them before " + what + "?";
    switch (AskSaveDiscardCancel(this, "Quellmarin", text)) {
    case SaveChoice::Save:
        SaveCurrent();
        return !app_.Selected().Unsaved(); // a save that failed or was cancelled keeps them
    case SaveChoice::Discard:
        return true;
    case SaveChoice::Cancel:
        return false;
    }
    return false;
}

void CMainFrame::OpenFile() {
    if (!MayDiscardEdits("opening another file")) return;
    QFileDialog dialog(this, "Open..", LastFolder(), "Parameters File(*.asc)");
    dialog.setDefaultSuffix("asc");
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    LoadFile(dialog.selectedFiles().first());
}

void CMainFrame::SaveFileAs() {
    QFileDialog dialog(this, "Save as..", LastFolder(), "Parameters File(*.asc)");
    dialog.setDefaultSuffix("asc");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    SaveFile(dialog.selectedFiles().first());
}

void CMainFrame::WriteHelp() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(folder);
    const QString name = app_.Model() == DeviceModel::Ketra ? "contentsKetra.html" : "contentsMivon.html";
    helpPath_ = QDir(folder).filePath(name);
    QFile source(":/help/contents.html");
    QFile target(helpPath_ + ".part");
    if (source.open(QIODevice::ReadOnly) && target.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        target.write(source.readAll());
        target.close();
        QFile::remove(helpPath_);
        QFile::rename(helpPath_ + ".part", helpPath_);
    }
}

void CMainFrame::closeEvent(QCloseEvent* e) {
    if (!MayDiscardEdits("quitting")) {
        e->ignore();
        return;
    }
    if (qEnvironmentVariableIsSet("QUELLMARIN_TIMING")) std::fprintf(stderr, "closing\n");
    QSettings settings = Settings();
    settings.setValue("window/geometry", saveGeometry());
    settings.sync();
    app_.Shutdown();
    e->accept();
}

} // namespace quellmarin::ui
