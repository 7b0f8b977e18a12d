#include "app/QuellmarinApp.h"

#include "link/PortCatalog.h"

#include <QMetaObject>

namespace quellmarin::ui {

CQuellmarinApp::CQuellmarinApp(DeviceModel model, const LinkTimings& timings, QObject* parent)
    : QObject(parent), model_(model), timings_(timings),
      link_(std::make_unique<DeviceLink>(provider_, model, timings)) {
    qRegisterMetaType<quellmarin::LevelFrame>();
    WorkerCallbacks cb;
    cb.levels = [this](const LevelFrame& f) {
        QMetaObject::invokeMethod(
            this, [this, f] { emit levelsArrived(f); }, Qt::QueuedConnection);
    };
    cb.lostDevice = [this] {
        QMetaObject::invokeMethod(
            this, [this] { emit lostDevice(); }, Qt::QueuedConnection);
    };
    link_->SetCallbacks(cb);
    RebuildCatalog();
}

CQuellmarinApp::~CQuellmarinApp() {
    if (background_.joinable()) background_.join();
    Shutdown();
    StopVirtualProcessor();
}

void CQuellmarinApp::SetUserPorts(std::vector<std::string> ports) {
    userPorts_ = std::move(ports);
    RebuildCatalog();
}

void CQuellmarinApp::SetIncludeHardware(bool on) {
    includeHardware_ = on;
    RebuildCatalog();
}

void CQuellmarinApp::RebuildCatalog() {
    std::vector<std::string> virtualPorts;
    if (VirtualRunning()) virtualPorts.push_back(kVirtualPortName);
    link_->SetCatalog(BuildPortCatalog(userPorts_, virtualPorts, includeHardware_));
}

bool CQuellmarinApp::StartVirtualProcessor(int deviceId) {
    if (VirtualRunning()) return true;
    auto hub = LoopbackHub::Create();
    virtualDevice_ = std::make_unique<sim::VirtualProcessor>(deviceId, model_);
    virtualServer_ = std::make_unique<sim::SimServer>(*virtualDevice_, hub->DeviceEnd());
    virtualServer_->Start();
    provider_.RegisterVirtualPort(kVirtualPortName, hub);
    RebuildCatalog();
    return true;
}

void CQuellmarinApp::StopVirtualProcessor() {
    if (!VirtualRunning()) return;
    if (link_->Connected() && link_->PortPath() == kVirtualPortName) link_->Disconnect();
    provider_.UnregisterVirtualPort(kVirtualPortName);
    virtualServer_.reset();
    virtualDevice_.reset();
    RebuildCatalog();
}

void CQuellmarinApp::RunInBackground(std::function<void()> work) {
    if (background_.joinable()) background_.join();
    busy_ = true;
    background_ = std::thread([this, work = std::move(work)] {
        work();
        busy_ = false;
    });
}

void CQuellmarinApp::StartScan() {
    if (busy_ || Connected()) return;
    RunInBackground([this] {
        link_->Scan([this](int done, int planned) {
            QMetaObject::invokeMethod(
                this, [this, done, planned] { emit scanProgress(done, planned); }, Qt::QueuedConnection);
        });
        QStringList lines;
        for (const std::string& l : link_->DeviceLines()) lines << QString::fromStdString(l);
        QMetaObject::invokeMethod(
            this, [this, lines] { emit scanFinished(lines); }, Qt::QueuedConnection);
    });
}

void CQuellmarinApp::StartConnect(bool download) {
    if (busy_) return;
    const ParameterBytes record = ToBytes(g_SystemParameters);
    RunInBackground([this, download, record] {
        ConnectOutcome outcome = link_->Connect(download, record);
        QMetaObject::invokeMethod(
            this,
            [this, outcome] {
                // Only this thread replaces the records.
                if (outcome.params) g_SystemParameters = ParametersFromBytes(*outcome.params);
                if (outcome.info) {
                    DeviceInfo = DeviceInfoFromBytes(*outcome.info);
                    programNoText_ = quellmarin::ProgramNoText(DeviceInfo);
                }
                if (outcome.params || outcome.info) emit recordsReplaced();
                emit connectFinished(outcome.connected, QString::fromStdString(outcome.message),
                                     QString::fromStdString(outcome.caption));
                if (outcome.connected) emit connectionChanged(true);
            },
            Qt::QueuedConnection);
    });
}

void CQuellmarinApp::StartDisconnect() {
    if (busy_ || !Connected()) return;
    RunInBackground([this] {
        link_->Disconnect();
        QMetaObject::invokeMethod(
            this, [this] { emit connectionChanged(false); }, Qt::QueuedConnection);
    });
}

void CQuellmarinApp::Shutdown() {
    if (background_.joinable()) background_.join();
    link_->Shutdown();
}

} // namespace quellmarin::ui
