#include "shell/QuellmarinApp.h"

#include "edit/ProgramExchange.h"
#include "edit/ProgramList.h"
#include "link/Exchange.h"
#include "link/PortCatalog.h"
#include "link/WholeState.h"

#include <QMetaObject>
#include <algorithm>
#include <charconv>
#include <utility>

namespace quellmarin::ui {

namespace {
QStringList ToQStringList(const std::vector<std::string>& names) {
    QStringList list;
    for (const std::string& n : names) list << QString::fromStdString(n);
    return list;
}
} // namespace

CQuellmarinApp::CQuellmarinApp(DeviceModel model, const LinkTimings& timings, QObject* parent)
    : QObject(parent), model_(model), timings_(timings),
      link_(std::make_unique<DeviceLink>(provider_, model, timings)), session_(model) {
    session_.SetPost([this](std::string frame) {
        if (!OnConnectedLine(session_)) return; // a processor of the rig that is not connected: kept offline
        NoteSent(frame);
        ControllerOf(session_.Port()).Post(std::move(frame));
    });
    rig_.SetFront(&session_);
    rig_.SetMemberPost([this](const Session& member, std::string frame) {
        if (AnyConnected() && OnConnectedLine(member)) ControllerOf(member.Port()).Post(std::move(frame));
    });
    session_.SetEditListener(
        [this](const CommandSpec& entry, int unit, int band, const SystemParameters& before, bool newStep) {
            emit edited();
            if (remoteEditing_) return; // a remote client edits the one processor it names
            const std::vector<std::string> notes = rig_.Follow(entry, unit, band, before, newStep);
            if (!notes.empty()) emit groupNotes(ToQStringList(notes));
            if (newStep && rig_.GroupStepIsNewest()) emit historyChanged(); // the step is the group's now
        });
    verifyTimer_.setSingleShot(true);
    connect(&verifyTimer_, &QTimer::timeout, this, &CQuellmarinApp::Verify);

    session_.SetHistoryListener([this] { emit historyChanged(); });
    qRegisterMetaType<quellmarin::LevelFrame>();
    qRegisterMetaType<quellmarin::LinkState>();
    // Every event is handed to this thread; the state is read anew there, so that events from the
    // controller's and the worker's threads can never leave a stale one behind.
    const auto onThisThread = [this](auto f) {
        QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
    };
    LinkController::Events ev;
    ev.stateChanged = [this, onThisThread](LinkState) {
        onThisThread([this] {
            const LinkState now = controller_->State();
            if (now == state_) return;
            const bool returned = state_ == LinkState::Lost && now == LinkState::Connected;
            state_ = now;
            if (!HasConnection(now)) {
                ForgetOwedEdits();
                if (!joined_.empty()) {
                    joined_.clear();
                    lost_.clear();
                    emit unitsChanged();
                }
            }
            emit stateChanged(State());
            if (returned && FirstLineOn(session_.Port())) CheckReturnedDevice();
        });
    };
    ev.scanProgress = [this, onThisThread](int done, int planned) {
        onThisThread([this, done, planned] { emit scanProgress(done, planned); });
    };
    ev.scanFinished = [this, onThisThread](const ScanReport& report) {
        onThisThread([this, report] {
            lastScan_ = report;
            QStringList lines;
            for (const std::string& l : report.lines) lines << QString::fromStdString(l);
            emit scanFinished(lines);
        });
    };
    ev.connectFinished = [this, onThisThread](const ConnectOutcome& outcome) {
        onThisThread([this, outcome] {
            // Only this thread replaces the records. A processor opened from a show file keeps its
            // settings: what the device holds is compared with them instead.
            const bool compare = outcome.connected && outcome.params && !rig_.Empty() && offline_.count(rig_.Selected());
            if (outcome.connected) {
                if (rig_.Empty() && rig_.AddFront({})) rig_.Rename(0, DefaultName(rig_.Id(0)));
                offline_.erase(rig_.Selected());
                joined_ = {session_.Address()};
                lost_.clear();
                connectedPort_ = session_.Port();
            }
            session_.ReplaceRecords(compare ? std::nullopt : outcome.params, outcome.info);
            if (outcome.params) ForgetOwedEdits();
            if (outcome.info) programNoText_ = quellmarin::ProgramNoText(session_.Info());
            if (outcome.params || outcome.info) emit recordsReplaced();
            if (outcome.connected && outcome.unconfirmed) {
                emit connectFinished(true, {}, {});
                emit downloadUnconfirmed(QString::fromStdString(outcome.message));
                return;
            }
            emit connectFinished(outcome.connected, QString::fromStdString(outcome.message),
                                 QString::fromStdString(outcome.caption));
            if (outcome.connected) emit unitsChanged();
            if (compare) {
                const SystemParameters device = ParametersFromBytes(*outcome.params);
                if (!session_.DifferenceFrom(device).frames.empty()) emit deviceDiffers(device);
            }
        });
    };
    ev.unitState = [this, onThisThread](const std::string& address, bool lost) {
        onThisThread([this, address, lost] { TakeUnitState(connectedPort_, address, lost); });
    };
    ev.levels = [this, onThisThread](const LevelFrame& f) {
        onThisThread([this, f] { RouteLevels(connectedPort_, f); });
    };
    ev.lostDevice = [this, onThisThread] {
        onThisThread([this] {
            if (rig_.Empty() || FirstLineOn(session_.Port())) emit lostDevice();
        });
    };
    controller_ = std::make_unique<LinkController>(*link_, std::move(ev));
    controller_->RequestCall([this](DeviceLink& link) { RebuildCatalog(link); });
}

CQuellmarinApp::~CQuellmarinApp() {
    for (auto& [port, line] : lines_) line.controller->Shutdown();
    controller_->Shutdown();
    std::lock_guard lock(virtualMutex_);
    if (virtualServer_) virtualServer_->Stop();
    for (VirtualLine& l : ownLines_) l.server->Stop();
}

void CQuellmarinApp::SetUserPorts(std::vector<std::string> ports) {
    controller_->RequestCall([this, ports = std::move(ports)](DeviceLink& link) {
        userPorts_ = ports;
        RebuildCatalog(link);
    });
}

void CQuellmarinApp::SetNetworkPorts(std::vector<std::string> ports) {
    networkPortsShown_ = ports;
    controller_->RequestCall([this, ports = std::move(ports)](DeviceLink& link) {
        networkPorts_ = ports;
        RebuildCatalog(link);
    });
}

void CQuellmarinApp::SetIncludeHardware(bool on) {
    controller_->RequestCall([this, on](DeviceLink& link) {
        includeHardware_ = on;
        RebuildCatalog(link);
    });
}

void CQuellmarinApp::RebuildCatalog(DeviceLink& link) {
    std::vector<std::string> virtualPorts;
    if (virtualRegistered_) {
        virtualPorts.push_back(kVirtualPortName);
        for (const VirtualLine& l : ownLines_) virtualPorts.push_back(l.port);
    }
    std::vector<std::string> named = userPorts_;
    named.insert(named.end(), networkPorts_.begin(), networkPorts_.end());
    std::vector<std::string> catalog = BuildPortCatalog(named, virtualPorts, includeHardware_);
    link.SetCatalog(catalog);
    // The window thread's copy, for processors of a rig connected without a scan (a show file).
    QMetaObject::invokeMethod(
        this, [this, catalog = std::move(catalog)]() mutable { catalogShown_ = std::move(catalog); },
        Qt::QueuedConnection);
}

bool CQuellmarinApp::StartVirtualProcessor(int deviceId) {
    if (virtualOn_) return true;
    virtualOn_ = true;
    MakeVirtualLine(deviceId);
    controller_->RequestCall([this](DeviceLink& link) {
        std::lock_guard lock(virtualMutex_);
        virtualServer_->Start();
        provider_.RegisterVirtualPort(kVirtualPortName, virtualHub_);
        for (VirtualLine& l : ownLines_) {
            l.server->Start();
            provider_.RegisterVirtualPort(l.port, l.hub);
        }
        virtualRegistered_ = true;
        RebuildCatalog(link);
    });
    return true;
}

void CQuellmarinApp::StopVirtualProcessor() {
    if (!virtualOn_) return;
    virtualOn_ = false;
    controller_->RequestCall([this](DeviceLink& link) {
        provider_.UnregisterVirtualPort(kVirtualPortName);
        virtualRegistered_ = false;
        std::lock_guard lock(virtualMutex_);
        virtualServer_->Stop();
        for (VirtualLine& l : ownLines_) {
            provider_.UnregisterVirtualPort(l.port);
            l.server->Stop();
        }
        if (link.Connected() && link.PortPath() == kVirtualPortName) controller_->MarkLost();
        RebuildCatalog(link);
    });
}

void CQuellmarinApp::MakeVirtualLine(int deviceId) {
    if (virtualDevice_) return;
    // Made once and kept: a connection to it survives switching it off and on again.
    virtualHub_ = LoopbackHub::Create();
    virtualDevice_ = std::make_unique<sim::VirtualProcessor>(deviceId, model_);
    virtualServer_ = std::make_unique<sim::SimServer>(*virtualDevice_, virtualHub_->DeviceEnd());
}

std::vector<sim::VirtualProcessor*> CQuellmarinApp::VirtualDevices() {
    std::vector<sim::VirtualProcessor*> all;
    if (virtualDevice_) all.push_back(virtualDevice_.get());
    for (const auto& d : extraVirtual_) all.push_back(d.get());
    return all;
}

std::string CQuellmarinApp::VirtualPortName(std::size_t index, bool ownLines) {
    return ownLines && index > 0 ? std::string(kVirtualPortName) + "-" + std::to_string(index + 1)
                                 : std::string(kVirtualPortName);
}

void CQuellmarinApp::SetVirtualCount(int count, bool ownLines) {
    count = std::clamp(count, 1, kMaxVirtualProcessors);
    MakeVirtualLine(1);
    if (count == VirtualCount() && ownLines == virtualOwnLines_) return;
    // The processors that leave go with the old server, on the controller's thread, after it stopped.
    auto leaving = std::make_shared<std::vector<std::unique_ptr<sim::VirtualProcessor>>>();
    while (VirtualCount() > count) {
        leaving->push_back(std::move(extraVirtual_.back()));
        extraVirtual_.pop_back();
    }
    while (VirtualCount() < count) {
        int id = 1;
        const auto all = VirtualDevices();
        while (std::any_of(all.begin(), all.end(), [id](sim::VirtualProcessor* d) { return d->DeviceId() == id; }))
            ++id;
        extraVirtual_.push_back(std::make_unique<sim::VirtualProcessor>(id, model_));
    }
    virtualOwnLines_ = ownLines;
    // On one line all answer on "virtual"; on lines of their own the first stays there and each other
    // gets a port, a hub and a server of its own.
    std::vector<sim::VirtualProcessor*> onFirst = ownLines ? std::vector{virtualDevice_.get()} : VirtualDevices();
    std::vector<sim::VirtualProcessor*> others;
    if (ownLines)
        for (const auto& d : extraVirtual_) others.push_back(d.get());
    controller_->RequestCall([this, onFirst, others, leaving, ownLines](DeviceLink& link) {
        std::lock_guard lock(virtualMutex_);
        virtualServer_->Stop();
        for (VirtualLine& l : ownLines_) {
            l.server->Stop();
            if (virtualRegistered_) provider_.UnregisterVirtualPort(l.port);
        }
        ownLines_.clear();
        virtualServer_ = std::make_unique<sim::SimServer>(onFirst, virtualHub_->DeviceEnd(), virtualFaults_);
        if (virtualRegistered_) virtualServer_->Start(true);
        for (std::size_t k = 0; k < others.size(); ++k) {
            VirtualLine l{VirtualPortName(k + 1, ownLines), LoopbackHub::Create(), nullptr};
            l.server = std::make_unique<sim::SimServer>(std::vector{others[k]}, l.hub->DeviceEnd(), virtualFaults_);
            if (virtualRegistered_) {
                l.server->Start(true);
                provider_.RegisterVirtualPort(l.port, l.hub);
            }
            ownLines_.push_back(std::move(l));
        }
        RebuildCatalog(link);
        leaving->clear();
    });
}

void CQuellmarinApp::SetVirtualFaults(const sim::SimFaults& faults) {
    std::lock_guard lock(virtualMutex_);
    virtualFaults_ = faults;
    if (virtualServer_) virtualServer_->SetFaults(faults);
    for (VirtualLine& l : ownLines_) l.server->SetFaults(faults);
}

void CQuellmarinApp::SwitchVirtualOff(int deviceId, bool off) {
    std::lock_guard lock(virtualMutex_);
    if (virtualServer_) virtualServer_->SwitchOff(deviceId, off);
    for (VirtualLine& l : ownLines_) l.server->SwitchOff(deviceId, off);
}

void CQuellmarinApp::StartScan() {
    if (Busy() || AnyConnected()) return;
    // Shown at once; the controller's own report follows.
    state_ = LinkState::Scanning;
    emit stateChanged(state_);
    controller_->RequestScan();
}

// ---- Lines ---------------------------------------------------------------------------------------------

CQuellmarinApp::Line* CQuellmarinApp::FurtherLine(const std::string& port) {
    return const_cast<Line*>(std::as_const(*this).FurtherLine(port));
}

const CQuellmarinApp::Line* CQuellmarinApp::FurtherLine(const std::string& port) const {
    const auto it = lines_.find(port);
    return it != lines_.end() && it->second.state != LinkState::NotConnected ? &it->second : nullptr;
}

LinkController& CQuellmarinApp::ControllerOf(const std::string& port) {
    if (!FirstLineOn(port))
        if (Line* l = FurtherLine(port)) return *l->controller;
    return *controller_;
}

DeviceLink& CQuellmarinApp::LinkOf(const std::string& port) {
    if (!FirstLineOn(port))
        if (Line* l = FurtherLine(port)) return *l->link;
    return *link_;
}

const std::set<std::string>* CQuellmarinApp::JoinedOn(const std::string& port) const {
    if (FirstLineOn(port)) return &joined_;
    const Line* l = FurtherLine(port);
    return l ? &l->joined : nullptr;
}

std::set<std::string>* CQuellmarinApp::JoinedOn(const std::string& port) {
    return const_cast<std::set<std::string>*>(std::as_const(*this).JoinedOn(port));
}

const std::set<std::string>* CQuellmarinApp::LostOn(const std::string& port) const {
    if (FirstLineOn(port)) return &lost_;
    const Line* l = FurtherLine(port);
    return l ? &l->lost : nullptr;
}

std::set<std::string>* CQuellmarinApp::LostOn(const std::string& port) {
    return const_cast<std::set<std::string>*>(std::as_const(*this).LostOn(port));
}

LinkState CQuellmarinApp::State() const {
    // The processor being edited is on a further line: that line's state is the one the windows show.
    if (!rig_.Empty() && !FirstLineOn(session_.Port()))
        if (const Line* l = FurtherLine(session_.Port())) return l->state;
    return state_;
}

bool CQuellmarinApp::AnyConnected() const {
    if (HasConnection(state_)) return true;
    return std::any_of(lines_.begin(), lines_.end(), [](const auto& l) { return l.second.state != LinkState::NotConnected; });
}

void CQuellmarinApp::SetPacing(Pacing pacing) {
    pacing_ = pacing;
    controller_->SetPacing(pacing);
    for (auto& [port, line] : lines_) line.controller->SetPacing(pacing);
}

std::string_view CQuellmarinApp::Select(const std::string& line) {
    const SelectResult r = SelectDevice(line, lastScan_.devices, lastScan_.catalog);
    if (r.selection) {
        chosen_ = r.selection;
        // The session takes the device's identity only while it is the one processor the program has;
        // a rig's processors keep theirs, and connecting picks (or adds) the one chosen.
        if (rig_.Empty()) {
            session_.SetAddress(r.selection->address);
            session_.SetPort(r.selection->port);
        }
        if (!HasConnection(state_)) controller_->RequestSelect(*r.selection);
    }
    return r.message;
}

bool CQuellmarinApp::OnConnectedLine(const Session& s) const {
    // Without a connection the one processor's edits wait in the link as they always did; a rig's
    // processors that are not connected are edited offline, and their connection compares.
    if (!AnyConnected()) return rig_.Size() <= 1;
    const std::set<std::string>* joined = JoinedOn(s.Port());
    return joined && joined->count(s.Address()) > 0;
}

bool CQuellmarinApp::ChosenJoins() const {
    if (!AnyConnected() || !chosen_) return false;
    const std::set<std::string>* joined = JoinedOn(chosen_->port);
    return !joined || !joined->count(chosen_->address);
}

std::string CQuellmarinApp::DefaultName(int id) {
    return "Unit " + std::to_string(id);
}

void CQuellmarinApp::StartConnect(bool download) {
    if (Busy()) return;
    if (AnyConnected()) {
        if (!chosen_) return;
        if (!ChosenJoins()) {
            emit connectFinished(false, QString::fromStdString(std::string(kAlreadyConnected)), "hgd");
            return;
        }
        // It joins its port's line, or gets a line of its own (unless the first line is free: then
        // the first line takes its port).
        if (JoinedOn(chosen_->port)) return Join(*chosen_, download);
        if (HasConnection(state_)) return ConnectLine(*chosen_, download);
    }
    if (!rig_.Empty() && chosen_) {
        // The rig's processor of that port and ID is shown and connected; a new one joins the rig.
        std::optional<std::size_t> unit = rig_.Find(chosen_->port, chosen_->id);
        if (!unit) unit = rig_.Add(DefaultName(chosen_->id), chosen_->port, chosen_->id, model_);
        SelectUnit(*unit);
        emit unitsChanged();
        controller_->RequestSelect(*chosen_);
    }
    state_ = LinkState::Connecting;
    connectedPort_ = session_.Port(); // the first levels may come before the outcome
    emit stateChanged(State());
    controller_->RequestConnect(download, ToBytes(session_.Params()));
}

void CQuellmarinApp::Join(const Selection& selection, bool download) {
    const std::optional<std::size_t> unit = rig_.Find(selection.port, selection.id);
    const bool compare = unit && offline_.count(*unit) && !download;
    const ParameterBytes record = ToBytes(unit ? rig_.At(*unit).Params() : session_.Params());
    joining_ = true;
    emit unitsChanged();
    ControllerOf(selection.port).RequestCall([this, selection, download, record, compare](DeviceLink& link) {
        const ConnectOutcome outcome = link.Join(selection, download, record);
        QMetaObject::invokeMethod(
            this, [this, selection, outcome, compare] { TakeJoin(selection, outcome, compare); }, Qt::QueuedConnection);
    });
}

void CQuellmarinApp::ConnectLine(const Selection& selection, bool download) {
    Line& line = lines_[selection.port];
    if (!line.link) {
        const std::string port = selection.port;
        line.link = std::make_unique<DeviceLink>(provider_, model_, timings_);
        const auto onThisThread = [this](auto f) { QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection); };
        LinkController::Events ev;
        ev.stateChanged = [this, port, onThisThread](LinkState) { onThisThread([this, port] { TakeLineState(port); }); };
        ev.connectFinished = [this, port, onThisThread](const ConnectOutcome& outcome) {
            onThisThread([this, port, outcome] {
                Line& l = lines_[port];
                if (outcome.connected) {
                    l.state = l.controller->State();
                    l.lost.clear();
                } else {
                    l.state = LinkState::NotConnected;
                }
                TakeJoin(l.pending, outcome, l.compare);
            });
        };
        ev.unitState = [this, port, onThisThread](const std::string& address, bool lost) {
            onThisThread([this, port, address, lost] { TakeUnitState(port, address, lost); });
        };
        ev.levels = [this, port, onThisThread](const LevelFrame& f) {
            onThisThread([this, port, f] { RouteLevels(port, f); });
        };
        line.controller = std::make_unique<LinkController>(*line.link, std::move(ev));
    }
    const std::optional<std::size_t> unit = rig_.Find(selection.port, selection.id);
    line.pending = selection;
    line.compare = unit && offline_.count(*unit) && !download;
    line.state = LinkState::Connecting;
    line.joined.clear();
    line.lost.clear();
    line.controller->SetPacing(pacing_);
    joining_ = true;
    emit unitsChanged();
    const ParameterBytes record = ToBytes(unit ? rig_.At(*unit).Params() : session_.Params());
    line.controller->RequestCall([selection, catalog = catalogShown_](DeviceLink& link) {
        link.SetCatalog(catalog);
        link.Select(selection);
    });
    line.controller->RequestConnect(download, record);
}

void CQuellmarinApp::TakeLineState(const std::string& port) {
    const auto it = lines_.find(port);
    if (it == lines_.end()) return;
    Line& line = it->second;
    const LinkState now = line.controller->State();
    // Connecting is this thread's own word until the connection's outcome arrives.
    if (line.state == LinkState::Connecting && !HasConnection(now)) return;
    if (now == line.state) return;
    const bool returned = line.state == LinkState::Lost && now == LinkState::Connected;
    const bool shown = !rig_.Empty() && session_.Port() == port && !FirstLineOn(port);
    line.state = now;
    if (!HasConnection(now)) {
        line.joined.clear();
        line.lost.clear();
        if (shown) ForgetOwedEdits();
    }
    emit unitsChanged();
    if (shown) emit stateChanged(State());
    if (shown && now == LinkState::Lost) emit lostDevice();
    if (shown && returned) CheckReturnedDevice();
}

void CQuellmarinApp::RouteLevels(const std::string& port, const LevelFrame& frame) {
    if (rig_.Empty()) {
        emit levelsArrived(frame);
        return;
    }
    int id = rig_.Id(rig_.Selected());
    if (!frame.address.empty())
        std::from_chars(frame.address.data(), frame.address.data() + frame.address.size(), id);
    const std::optional<std::size_t> unit = rig_.Find(port, id);
    if (!unit) return;
    levelsSeen_[{port, id}] = frame;
    emit unitLevels(static_cast<int>(*unit), frame);
    if (*unit == rig_.Selected()) emit levelsArrived(frame);
}

void CQuellmarinApp::TakeJoin(const Selection& selection, const ConnectOutcome& outcome, bool compare) {
    joining_ = false;
    if (!outcome.connected) {
        emit unitsChanged();
        emit connectFinished(false, QString::fromStdString(outcome.message), QString::fromStdString(outcome.caption));
        return;
    }
    std::optional<std::size_t> unit = rig_.Find(selection.port, selection.id);
    if (!unit) unit = rig_.Add(DefaultName(selection.id), selection.port, selection.id, model_);
    if (std::set<std::string>* joined = JoinedOn(selection.port)) joined->insert(selection.address);
    if (std::set<std::string>* lost = LostOn(selection.port)) lost->erase(selection.address);
    offline_.erase(*unit);
    rig_.At(*unit).ReplaceRecords(compare ? std::nullopt : outcome.params, outcome.info);
    const LinkState before = State();
    SelectUnit(*unit);
    if (State() != before) emit stateChanged(State());
    emit recordsReplaced();
    emit unitsChanged();
    emit connectFinished(true, {}, {});
    if (outcome.unconfirmed) emit downloadUnconfirmed(QString::fromStdString(outcome.message));
    if (compare && outcome.params) {
        const SystemParameters device = ParametersFromBytes(*outcome.params);
        if (!session_.DifferenceFrom(device).frames.empty()) emit deviceDiffers(device);
    }
}

void CQuellmarinApp::ConnectUnit(std::size_t i) {
    if (i >= rig_.Size() || Busy() || UnitConnected(i)) return;
    // Its port and ID are taken first: selecting it swaps the sessions' states.
    const FoundDevice device{rig_.Id(i), rig_.At(i).Port()};
    const LinkState before = State();
    SelectUnit(i);
    if (State() != before) emit stateChanged(State());
    if (AnyConnected()) {
        const Selection selection = SelectionOf(device, catalogShown_);
        if (JoinedOn(device.port)) return Join(selection, false);
        if (HasConnection(state_)) return ConnectLine(selection, false);
    }
    chosen_.reset();
    controller_->RequestCall([device](DeviceLink& link) { link.Select(SelectionOf(device, link.Catalog())); });
    state_ = LinkState::Connecting;
    connectedPort_ = session_.Port();
    emit stateChanged(State());
    controller_->RequestConnect(false, ToBytes(session_.Params()));
}

void CQuellmarinApp::StartDisconnect() {
    if (Busy() || !Connected()) return;
    const std::string address = session_.Address(), port = session_.Port();
    std::set<std::string>* joined = JoinedOn(port);
    if (joined && joined->size() > 1 && joined->count(address)) {
        // This processor alone leaves the line; the others stay connected.
        joined->erase(address);
        LostOn(port)->erase(address);
        ForgetOwedEdits();
        ControllerOf(port).RequestCall([address](DeviceLink& link) { link.Leave(address); });
        emit unitsChanged();
        emit stateChanged(State());
        return;
    }
    if (Line* line = FirstLineOn(port) ? nullptr : FurtherLine(port)) {
        // The last processor of a further line: that line's connection ends.
        line->state = LinkState::Disconnecting;
        line->controller->RequestDisconnect();
        emit stateChanged(State());
        return;
    }
    if (IsBusy(state_) || !HasConnection(state_)) return;
    state_ = LinkState::Disconnecting;
    emit stateChanged(State());
    controller_->RequestDisconnect();
}

void CQuellmarinApp::DisconnectAll() {
    for (auto& [port, line] : lines_)
        if (HasConnection(line.state)) {
            line.state = LinkState::Disconnecting;
            line.controller->RequestDisconnect();
        }
    if (!IsBusy(state_) && HasConnection(state_)) {
        state_ = LinkState::Disconnecting;
        controller_->RequestDisconnect();
    }
    emit stateChanged(State());
    emit unitsChanged();
}

void CQuellmarinApp::TakeUnitState(const std::string& port, const std::string& address, bool lost) {
    std::set<std::string>* joined = JoinedOn(port);
    std::set<std::string>* lostSet = LostOn(port);
    if (!joined || !lostSet || !joined->count(address)) return;
    const bool wasLost = lostSet->count(address) > 0;
    if (wasLost == lost) return;
    // Alone among others that answer: the lost warning and the return's comparison are this
    // processor's own (when all are lost, the connection's state says it).
    const std::size_t othersLost = lostSet->size() - (wasLost ? 1 : 0);
    const bool alone = othersLost + 1 < joined->size();
    if (lost)
        lostSet->insert(address);
    else
        lostSet->erase(address);
    emit unitsChanged();
    if (!alone || address != session_.Address() || port != session_.Port()) return;
    if (lost) {
        emit lostDevice();
    } else {
        CheckReturnedDevice();
    }
}

void CQuellmarinApp::SelectUnit(std::size_t i) {
    if (i >= rig_.Size() || i == rig_.Selected()) return;
    const LinkState before = State();
    ForgetOwedEdits(); // the verification belongs to the processor that was shown
    rig_.Select(i);
    programNoText_ = quellmarin::ProgramNoText(session_.Info());
    emit unitSelected();
    emit recordsReplaced();
    emit historyChanged();
    emit unitsChanged();
    if (State() != before) emit stateChanged(State());
}

std::vector<remote::UnitView> CQuellmarinApp::Units() const {
    std::vector<remote::UnitView> units;
    for (std::size_t i = 0; i < rig_.Size(); ++i) {
        remote::UnitView v;
        v.id = rig_.Id(i);
        v.name = rig_.Name(i);
        v.port = rig_.At(i).Port();
        v.state = UnitStateText(i);
        v.connected = UnitConnected(i);
        v.lost = v.state.starts_with("lost");
        units.push_back(std::move(v));
    }
    return units;
}

Session* CQuellmarinApp::SessionOf(std::size_t unit) { return unit < rig_.Size() ? &rig_.At(unit) : nullptr; }

void CQuellmarinApp::RunEdit(std::size_t unit, const std::function<void(Session&)>& edit) {
    if (unit >= rig_.Size()) return;
    remoteEditing_ = true;
    edit(rig_.At(unit));
    remoteEditing_ = false;
    if (unit == rig_.Selected()) {
        programNoText_ = quellmarin::ProgramNoText(session_.Info());
        emit recordsReplaced();
    }
    emit unitsChanged();
}

void CQuellmarinApp::SendExchange(std::size_t unit, std::string frame) {
    if (unit >= rig_.Size() || !UnitConnected(unit)) return;
    if (unit == rig_.Selected()) {
        SendExchange(std::move(frame));
        return;
    }
    const auto wait = timings_.settingReplyWait;
    ControllerOf(rig_.At(unit).Port()).RequestJob([frame, wait](CSerialPort* port) {
        if (port) ExchangeFrame(*port, frame, wait);
    });
}

void CQuellmarinApp::ReadPrograms(std::size_t unit, std::function<void(std::optional<ProgramNames>)> done) {
    if (unit >= rig_.Size() || !UnitConnected(unit)) return done(std::nullopt);
    const std::string address = rig_.At(unit).Address();
    const LinkTimings timings = timings_;
    QPointer<CQuellmarinApp> self(this);
    ControllerOf(rig_.At(unit).Port()).RequestJob([self, address, timings, done](CSerialPort* port) {
        std::optional<ProgramNames> names;
        if (port) {
            names.emplace();
            for (int slot = 1; slot <= kProgramSlots; ++slot) {
                const SlotReply reply = QuerySlot(*port, address, slot, timings);
                names->push_back(reply.Usable() ? std::optional<std::string>(reply.text) : std::nullopt);
            }
            if (std::none_of(names->begin(), names->end(), [](const auto& n) { return n.has_value(); })) names.reset();
        }
        if (self) QMetaObject::invokeMethod(self, [done, names] { done(names); }, Qt::QueuedConnection);
    });
}

void CQuellmarinApp::RecallProgram(std::size_t unit, int slot, std::function<void(bool)> done) {
    if (unit >= rig_.Size() || !UnitConnected(unit)) return done(false);
    const std::string address = rig_.At(unit).Address();
    const std::string port = rig_.At(unit).Port();
    const int id = rig_.Id(unit);
    const LinkTimings timings = timings_;
    QPointer<CQuellmarinApp> self(this);
    ControllerOf(port).RequestJob([self, address, slot, timings, done, port, id](CSerialPort* serial) {
        std::optional<UploadedState> state;
        if (serial) state = RecallSlot(*serial, address, slot, timings, {});
        if (!self) return;
        QMetaObject::invokeMethod(
            self,
            [self, done, state, port, id] {
                // The processor may have moved in the rig meanwhile: it is found again by port and ID.
                const std::optional<std::size_t> now = self->rig_.Find(port, id);
                if (!state || !now) return done(false);
                if (*now == self->rig_.Selected()) {
                    self->session_.ReplaceRecords(state->params, state->info);
                    self->StateRead();
                } else {
                    self->rig_.At(*now).ReplaceRecords(state->params, state->info);
                }
                emit self->unitsChanged();
                done(true);
            },
            Qt::QueuedConnection);
    });
}

void CQuellmarinApp::StoreProgram(std::size_t unit, int slot, std::optional<std::string> name,
                                  std::function<void(std::string)> done) {
    if (unit >= rig_.Size() || !UnitConnected(unit)) return done("the processor is not connected");
    const std::string address = rig_.At(unit).Address(), port = rig_.At(unit).Port();
    const int id = rig_.Id(unit);
    const LinkTimings timings = timings_;
    const std::string wire = name ? WireName(*name) : std::string();
    QPointer<CQuellmarinApp> self(this);
    ControllerOf(port).RequestJob([self, address, slot, timings, wire, name, done, port, id](CSerialPort* serial) {
        bool stored = false;
        std::optional<SlotReply> renamed;
        if (serial) {
            stored = StoreSlot(*serial, address, slot, timings);
            if (stored && name) renamed = RenameSlot(*serial, address, slot, wire, timings);
        }
        if (!self) return;
        QMetaObject::invokeMethod(
            self,
            [self, done, stored, renamed, name, wire, slot, port, id] {
                const std::optional<std::size_t> now = self->rig_.Find(port, id);
                if (!stored || !now) return done("the processor did not confirm the save as program " + TwoDigitText(slot));
                // The session follows what the processor now holds, as the save window's does.
                ProgramList list(self->rig_.At(*now).Context());
                list.Stored(slot);
                if (name && (!renamed || !list.Renamed(slot, *renamed, wire)))
                    return done("the processor did not confirm the name of program " + TwoDigitText(slot));
                if (*now == self->rig_.Selected()) self->RecordsEdited();
                emit self->unitsChanged();
                done({});
            },
            Qt::QueuedConnection);
    });
}

void CQuellmarinApp::DeleteProgram(std::size_t unit, int slot, std::function<void(std::string)> done) {
    if (unit >= rig_.Size() || !UnitConnected(unit)) return done("the processor is not connected");
    ProgramList check(rig_.At(unit).Context());
    check.Select(slot);
    if (const std::string_view refused = check.CheckDelete(); !refused.empty()) return done(std::string(refused));
    const std::string address = rig_.At(unit).Address(), port = rig_.At(unit).Port();
    const LinkTimings timings = timings_;
    QPointer<CQuellmarinApp> self(this);
    ControllerOf(port).RequestJob([self, address, slot, timings, done](CSerialPort* serial) {
        std::optional<SlotReply> reply;
        if (serial) reply = DeleteSlot(*serial, address, slot, timings);
        if (!self) return;
        QMetaObject::invokeMethod(
            self,
            [done, reply, slot] {
                if (!reply || reply->kind != SlotReply::Empty)
                    return done("the processor did not confirm the delete of program " + TwoDigitText(slot));
                done({});
            },
            Qt::QueuedConnection);
    });
}

std::optional<LevelFrame> CQuellmarinApp::Levels(std::size_t unit) const {
    if (unit >= rig_.Size()) return std::nullopt;
    const auto it = levelsSeen_.find({rig_.At(unit).Port(), rig_.Id(unit)});
    if (it == levelsSeen_.end()) return std::nullopt;
    return it->second;
}

bool CQuellmarinApp::UnitConnected(std::size_t i) const {
    if (i >= rig_.Size()) return false;
    const std::set<std::string>* joined = JoinedOn(rig_.At(i).Port());
    return joined && joined->count(rig_.At(i).Address()) > 0;
}

std::string CQuellmarinApp::UnitStateText(std::size_t i) const {
    if (!UnitConnected(i)) return "not connected";
    const Session& s = rig_.At(i);
    const std::set<std::string>* lost = LostOn(s.Port());
    const LinkState line = FirstLineOn(s.Port()) ? state_ : FurtherLine(s.Port())->state;
    return (lost && lost->count(s.Address())) || line == LinkState::Lost ? "lost \u2014 reconnecting" : "connected";
}

void CQuellmarinApp::SetGroup(std::vector<std::size_t> members) {
    rig_.SetGroup(std::move(members));
    emit unitsChanged();
    emit unitSelected(); // every title says the group
}

std::string CQuellmarinApp::EditedUnitText() const {
    if (rig_.Size() < 2) return {};
    const auto& group = rig_.Group();
    const bool inGroup = rig_.GroupActive() && std::find(group.begin(), group.end(), rig_.Selected()) != group.end();
    const std::string& name = rig_.Name(rig_.Selected());
    return inGroup ? rig_.GroupTitle(name) : name;
}

std::string CQuellmarinApp::UnitTitle(const std::string& title) const {
    const std::string unit = EditedUnitText();
    return unit.empty() ? title : title + " \u2014 " + unit;
}

void CQuellmarinApp::OpenRig(const std::vector<RigMember>& members) {
    if (AnyConnected() || members.empty()) return;
    ForgetOwedEdits();
    rig_.Open(members);
    offline_.clear();
    for (std::size_t i = 0; i < rig_.Size(); ++i) offline_.insert(i);
    programNoText_ = quellmarin::ProgramNoText(session_.Info());
    emit unitSelected();
    emit recordsReplaced();
    emit historyChanged();
    emit unitsChanged();
}

void CQuellmarinApp::RenameUnit(std::size_t i, std::string name) {
    if (i >= rig_.Size() || name.empty() || rig_.Name(i) == name) return;
    rig_.Rename(i, std::move(name));
    emit unitsChanged();
    emit unitSelected();
}

void CQuellmarinApp::SendExchange(std::string frame) {
    if (!Connected()) return;
    NoteSent(frame);
    SendExchangeFrame(std::move(frame));
}

void CQuellmarinApp::SendExchangeFrame(std::string frame) {
    const auto wait = timings_.settingReplyWait;
    RunJob<std::string>(
        [frame, wait](CSerialPort& port, const std::function<void(int)>&) {
            return ExchangeFrame(port, frame, wait);
        },
        this, {}, {});
}

void CQuellmarinApp::ResendRecord(QObject* receiver, std::function<void(ReadBack)> done) {
    const ParameterBytes record = ToBytes(session_.Params());
    const std::string address = session_.Address();
    const LinkTimings timings = timings_;
    RunJob<ReadBack>(
        [record, address, timings](CSerialPort& port, const std::function<void(int)>&) {
            return ResendDownload(port, address, record, timings);
        },
        receiver, {}, [done](std::optional<ReadBack> back) { done(back.value_or(ReadBack::Failed)); });
}

void CQuellmarinApp::RecordsEdited() {
    programNoText_ = quellmarin::ProgramNoText(session_.Info());
    session_.Follow();
    emit recordsReplaced();
}

void CQuellmarinApp::StateRead() {
    programNoText_ = quellmarin::ProgramNoText(session_.Info());
    session_.MarkSaved(); // read from the processor, which holds them
    ForgetOwedEdits();
    session_.ResetHistory();
    emit recordsReplaced();
}

void CQuellmarinApp::Undo() {
    if (rig_.GroupStepIsNewest()) {
        // A group edit goes back on every member at once, or not at all (and says why).
        const std::string refused = rig_.UndoGroup();
        if (!refused.empty()) emit groupNotes({QString::fromStdString(refused)});
        emit recordsReplaced();
        emit historyChanged();
        return;
    }
    if (session_.Undo()) emit recordsReplaced();
}

void CQuellmarinApp::Redo() {
    if (rig_.GroupStepIsNextRedo()) {
        const std::string refused = rig_.RedoGroup();
        if (!refused.empty()) emit groupNotes({QString::fromStdString(refused)});
        emit recordsReplaced();
        emit historyChanged();
        return;
    }
    if (session_.Redo()) emit recordsReplaced();
}

void CQuellmarinApp::SendDifference(const SystemParameters& device) {
    session_.SendDifference(device);
}

void CQuellmarinApp::TakeDeviceRecord(const SystemParameters& device) {
    session_.TakeDeviceRecord(device);
    ForgetOwedEdits();
    emit recordsReplaced();
}

void CQuellmarinApp::ReadDeviceRecord(QObject* receiver,
                                      std::function<void(std::optional<SystemParameters>)> done) {
    const std::string address = session_.Address();
    const LinkTimings timings = timings_;
    RunJob<std::optional<ParameterBytes>>(
        [address, timings](CSerialPort& port, const std::function<void(int)>&) {
            return UploadParameters(port, address, timings);
        },
        receiver, {},
        [done](std::optional<std::optional<ParameterBytes>> bytes) {
            if (bytes && *bytes)
                done(ParametersFromBytes(**bytes));
            else
                done(std::nullopt);
        });
}

void CQuellmarinApp::CheckReturnedDevice() {
    // The edits kept while it was away go out first; then its record tells whether it still differs
    // (its own panel, or a power cycle, may have changed it meanwhile).
    const auto wait = timings_.cycle * 40;
    ControllerOf(session_.Port()).RequestCall([this, wait](DeviceLink& link) {
        link.Worker().FlushPending(wait);
        QMetaObject::invokeMethod(
            this,
            [this] {
                ReadDeviceRecord(this, [this](std::optional<SystemParameters> device) {
                    if (device && !session_.DifferenceFrom(*device).frames.empty())
                        emit deviceReturned(*device);
                });
            },
            Qt::QueuedConnection);
    });
}

void CQuellmarinApp::SetVerifyEdits(bool on) {
    if (on == verifier_.Enabled()) return;
    verifier_.SetEnabled(on);
    emit verificationChanged(ToQStringList(verifier_.Missing()), false);
    ScheduleVerification();
}

void CQuellmarinApp::ForgetOwedEdits() {
    // The records are the device's own now (read from it, or taken from it): nothing is owed.
    const bool named = !verifier_.Missing().empty();
    verifier_.Reset();
    verifyTimer_.stop();
    if (named) emit verificationChanged({}, false);
}

void CQuellmarinApp::NoteSent(const std::string& frame) {
    if (!Connected()) return;
    verifier_.Sent(frame, EditVerifier::Clock::now());
    ScheduleVerification();
}

void CQuellmarinApp::ScheduleVerification() {
    const auto at = verifier_.NextDue();
    if (!at) {
        verifyTimer_.stop();
        return;
    }
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(*at - EditVerifier::Clock::now());
    verifyTimer_.start(static_cast<int>(std::max<std::int64_t>(0, wait.count())));
}

namespace {
struct VerifyRead {
    bool busy = false; // frames still waited to go: the read would not see them
    std::optional<ParameterBytes> params;
    std::optional<DeviceInfoBytes> info;
};
} // namespace

void CQuellmarinApp::Verify() {
    const auto now = EditVerifier::Clock::now();
    const auto plan = verifier_.Due(now);
    if (!plan) return ScheduleVerification();
    if (state_ != LinkState::Connected) {
        // Lost: the edits wait in the queue for its return, and so does the check.
        verifier_.Postponed(now);
        return ScheduleVerification();
    }
    verifier_.Started(now);
    const std::string address = session_.Address();
    const LinkTimings timings = timings_;
    DeviceLink* link = &LinkOf(session_.Port());
    const bool params = plan->params, info = plan->info;
    RunJob<VerifyRead>(
        [=](CSerialPort& port, const std::function<void(int)>&) {
            VerifyRead r;
            if (link->Queue().Pending()) {
                r.busy = true;
                return r;
            }
            if (params) r.params = UploadParameters(port, address, timings);
            if (info) r.info = UploadDeviceInfo(port, address, timings);
            return r;
        },
        this, {},
        [this, params, info](std::optional<VerifyRead> r) {
            if (!r || r->busy) {
                verifier_.Postponed(EditVerifier::Clock::now());
                return ScheduleVerification();
            }
            std::optional<SystemParameters> device;
            std::optional<DeviceInfoRecord> deviceInfo;
            if (params && r->params) device = ParametersFromBytes(*r->params);
            if (info && r->info) deviceInfo = DeviceInfoFromBytes(*r->info);
            TakeVerification(device, deviceInfo);
        });
}

void CQuellmarinApp::TakeVerification(const std::optional<SystemParameters>& device,
                                      const std::optional<DeviceInfoRecord>& info) {
    const std::vector<std::string> before = verifier_.Missing();
    const EditVerifier::Outcome o = verifier_.Finished(EditVerifier::Clock::now(), device, info, session_.Params(),
                                                       session_.Info(), session_.Address(), model_);
    for (const std::string& frame : o.frames) {
        // Sent again as they went the first time; not new edits, so the rounds go on counting.
        if (IsPanelLockFrame(frame))
            SendExchangeFrame(frame);
        else
            ControllerOf(session_.Port()).Post(frame);
    }
    if (o.kind == EditVerifier::Outcome::GaveUp) emit editsNotConfirmed(ToQStringList(o.missing), o.unread);
    if (verifier_.Missing() != before || o.kind == EditVerifier::Outcome::GaveUp)
        emit verificationChanged(ToQStringList(verifier_.Missing()), o.unread);
    ScheduleVerification();
}

void CQuellmarinApp::ImportFilters(const ImportPlan& plan, const std::string& stepName) {
    session_.ImportFilters(plan, stepName);
    emit recordsReplaced();
}

void CQuellmarinApp::Shutdown() {
    for (auto& [port, line] : lines_) line.controller->Shutdown();
    controller_->Shutdown();
}

} // namespace quellmarin::ui
