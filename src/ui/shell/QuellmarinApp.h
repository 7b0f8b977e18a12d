// The application object: the link to the processor, driven by its one controller thread; the
// built-in virtual processor; the connection state the windows show; and the session of the selected
// processor (its records, address, history and the editing context every editor works in). Everything it tells the windows arrives on the
// user-interface thread as a queued signal, so the windows never wait on the wire.
#pragma once

#include "link/LinkController.h"
#include "link/WholeState.h"
#include "remote/Api.h"
#include "session/EditVerifier.h"
#include "session/Rig.h"
#include "session/Session.h"
#include "sim/SimServer.h"
#include "sim/VirtualProcessor.h"
#include "widgets/JobRunner.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <map>
#include <set>

Q_DECLARE_METATYPE(quellmarin::LevelFrame)
Q_DECLARE_METATYPE(quellmarin::LinkState)
Q_DECLARE_METATYPE(quellmarin::SystemParameters)

namespace quellmarin::ui {

inline constexpr const char* kVirtualPortName = "virtual";

class CQuellmarinApp : public QObject, public JobRunner, public remote::Host {
    Q_OBJECT
  public:
    explicit CQuellmarinApp(DeviceModel model = kBuildModel, const LinkTimings& timings = {},
                            QObject* parent = nullptr);
    ~CQuellmarinApp() override;

    DeviceModel Model() const { return model_; }
    const LinkTimings& Timings() const override { return timings_; }
    EditContext& Context() override { return session_.Context(); }
    // The selected processor's session and its records.
    Session& Selected() { return session_; }
    SystemParameters& Params() { return session_.Params(); }
    DeviceInfoRecord& Info() { return session_.Info(); }
    LinkController& Controller() { return *controller_; }

    // ---- The rig: every processor connected on the line, or opened from a show file --------------------
    // The selected one's state lives in the session above (the rig's front), so every editor and
    // window follows the selection. A rig grows from the first connection; more processors of the
    // same line join it from the device list.
    Rig& GetRig() { return rig_; }
    const Rig& GetRig() const { return rig_; }
    // Shows processor `i` on the front panel and in every editor window.
    void SelectUnit(std::size_t i);
    // The processor's state as the rig view says it: "connected", "lost — reconnecting", "not connected".
    std::string UnitStateText(std::size_t i) const;
    bool UnitConnected(std::size_t i) const;
    // A processor is joining the line (its state is being read or written).
    bool Joining() const { return joining_; }
    // Makes a group of these processors (fewer than two: none); every edit is then made on each.
    void SetGroup(std::vector<std::size_t> members);
    // The editor title with the processor being edited and the group said:
    // "OUTPUT GAIN CH[3] — Sub left (group of 4)"; just the title while the rig has one processor.
    std::string UnitTitle(const std::string& title) const;
    // The processor being edited, as titles say it: "Sub left (group of 4)"; empty with fewer than two.
    std::string EditedUnitText() const;
    // Replaces the rig with a show file's processors, offline; connecting each then compares.
    void OpenRig(const std::vector<RigMember>& members);
    void RenameUnit(std::size_t i, std::string name);

    // The ports the scan looks at: the serial ports with hardware behind them (unless switched off, as
    // tests do), the ports the user named, and the virtual processor's while it runs.
    void SetUserPorts(std::vector<std::string> ports);
    // The ports behind network serial servers that the scan probes after the local ones.
    void SetNetworkPorts(std::vector<std::string> ports);
    const std::vector<std::string>& NetworkPorts() const { return networkPortsShown_; }
    void SetIncludeHardware(bool on);

    // The in-process virtual processor on the "virtual" port. Switching it off while connected to it
    // loses the device; switching it on again brings the device back.
    bool StartVirtualProcessor(int deviceId = 1);
    void StopVirtualProcessor();
    bool VirtualRunning() const { return virtualOn_; }
    sim::VirtualProcessor* VirtualDevice() { return virtualDevice_.get(); }
    // How many virtual processors answer on the virtual line (1 to kMaxVirtualProcessors): the first
    // keeps its ID, the others take the lowest free ones. Takes effect at once; a scan finds them.
    // With `ownLines` the first stays on "virtual" and each other answers on a line of its own
    // ("virtual-2", "virtual-3" ...), as units on separate adapters do.
    static constexpr int kMaxVirtualProcessors = 8;
    void SetVirtualCount(int count, bool ownLines = false);
    int VirtualCount() const { return 1 + static_cast<int>(extraVirtual_.size()); }
    bool VirtualOwnLines() const { return virtualOwnLines_; }
    // The port the virtual processor `index` (0 the first) answers on.
    static std::string VirtualPortName(std::size_t index, bool ownLines);
    // Every virtual processor on the line, the first one first.
    std::vector<sim::VirtualProcessor*> VirtualDevices();
    // Dropped, garbled, late or missing replies of the virtual processor (for trying the program's
    // behaviour under faults, and for tests).
    void SetVirtualFaults(const sim::SimFaults& faults);
    // One virtual processor of the line stops answering (as if switched off), or answers again.
    void SwitchVirtualOff(int deviceId, bool off);

    // The state of the line of the processor being edited (the first line's without a rig).
    LinkState State() const;
    bool Connected() const override { return HasConnection(State()); }
    bool Busy() const { return IsBusy(State()) || IsBusy(state_); }
    // Whether any line has a connection (a scan waits for none).
    bool AnyConnected() const;
    // The pacing of every line, now and for lines connected later.
    void SetPacing(Pacing pacing);

    void StartScan();
    // The device list as the last scan left it, and the ports it looked at.
    const ScanReport& LastScan() const { return lastScan_; }
    // The reaction to a line of the device list; returns the message to show, if any.
    std::string_view Select(const std::string& line);
    std::string Address() const override { return session_.Address(); }
    std::string SelectedPort() const { return session_.Port(); }
    // Connects to the selected device; a download writes the session's record. While connected, a
    // device of the same line that is not in the rig yet joins the connection instead.
    void StartConnect(bool download);
    // Whether the device chosen in the list would join the connection (same line, not connected yet).
    bool ChosenJoins() const;
    // Connects a processor of the rig that is not connected (one opened from a show file): it is read
    // and compared with its session (deviceDiffers), never replaced.
    void ConnectUnit(std::size_t i);
    // Disconnects the selected processor; the others of the line stay connected. The last one ends the
    // connection.
    void StartDisconnect();
    // Every processor of the line says goodbye and the connection ends.
    void DisconnectAll();
    // Program end: "(%sB)", the worker stopped and the port closed; waits for it.
    void Shutdown();

    std::string ProgramNoText() const { return programNoText_; }
    void SetProgramNoText(std::string text) { programNoText_ = std::move(text); }
    // The records were changed by an exchange the window thread ran (a recall, a save, a rename): the
    // program number text follows the device information, and every window shows the records anew.
    void RecordsEdited();
    // The device's whole state was read again (a recall): the same, and a new edit history.
    void StateRead();

    // Undo and redo: the record goes back (or forward) a step, every window shows it, and the frames
    // of the difference go to the device.
    const EditHistory& History() const { return session_.History(); }
    void Undo();
    void Redo();
    // The frames that carry the device from its record `device` to the program's.
    void SendDifference(const SystemParameters& device);
    // The program takes the device's record, as one step of the history.
    void TakeDeviceRecord(const SystemParameters& device);
    // Reads the device's system parameter record (a job); `done` gets nothing when it could not.
    void ReadDeviceRecord(QObject* receiver, std::function<void(std::optional<SystemParameters>)> done);
    // A filter file's plan placed through the editors as one step; the windows show the records anew.
    void ImportFilters(const ImportPlan& plan, const std::string& stepName);
    void Post(const std::string& frame) { ControllerOf(session_.Port()).Post(frame); }

    // Sends the program's record to the connected device again and reads it back (after a download
    // the device did not confirm); `done` gets whether the device now holds it.
    void ResendRecord(QObject* receiver, std::function<void(ReadBack)> done);
    // Sends a frame as an exchange on the worker and reads the reply (an alias name, the panel lock);
    // nothing happens while not connected.
    void SendExchange(std::string frame);
    // Edits are confirmed by reading the device's records once they have settled, and what it lacks is
    // sent again (see EditVerifier). Switching it off stops reading the settings record for them; the
    // panel lock and the generator are always confirmed.
    void SetVerifyEdits(bool on);
    const EditVerifier& Verifier() const { return verifier_; }
    // While held, the worker neither polls nor sends posted frames (a modal window's exchanges).
    LinkController::PollSuspension SuspendPoll() { return ControllerOf(session_.Port()).SuspendPoll(); }

    // ---- What the remote-control server works on (remote::Host) ----------------------------------------
    // The processors of the rig, each by its index.
    std::vector<remote::UnitView> Units() const override;
    Session* SessionOf(std::size_t unit) override;
    // A remote edit is made on that processor alone, even while it is in a group; the windows show
    // it when it is the one they edit.
    void RunEdit(std::size_t unit, const std::function<void(Session&)>& edit) override;
    void SendExchange(std::size_t unit, std::string frame) override;
    std::optional<LevelFrame> Levels(std::size_t unit) const override;
    std::string LocalSource() const override { return localSource_; }
    void ReadPrograms(std::size_t unit, std::function<void(std::optional<ProgramNames>)> done) override;
    void RecallProgram(std::size_t unit, int slot, std::function<void(bool)> done) override;
    void StoreProgram(std::size_t unit, int slot, std::optional<std::string> name,
                      std::function<void(std::string)> done) override;
    void DeleteProgram(std::size_t unit, int slot, std::function<void(std::string)> done) override;
    // Who changes what no remote client changed: "window" in the windowed program.
    void SetLocalSource(std::string source) { localSource_ = std::move(source); }

  signals:
    void stateChanged(quellmarin::LinkState state);
    void scanProgress(int done, int planned);
    void scanFinished(const QStringList& lines);
    void connectFinished(bool connected, const QString& message, const QString& caption);
    // A download connected, but the record read back was not the one sent.
    // The download's read-back did not confirm it; `why` says whether it differed or never came.
    void downloadUnconfirmed(const QString& why);
    void recordsReplaced();
    // The history gained, lost or moved a step.
    void historyChanged();
    // A setting of the front processor was edited (each edit, also one that joins the step before).
    void edited();
    // A device that was lost answers again and holds other settings than the program: `device` is
    // its record.
    void deviceReturned(const quellmarin::SystemParameters& device);
    // The meters of the processor being edited (or of the one processor, without a rig).
    void levelsArrived(const quellmarin::LevelFrame& frame);
    // The meters of processor `unit` of the rig, whichever line it is on.
    void unitLevels(int unit, const quellmarin::LevelFrame& frame);
    // A verification ended: the device holds every edit, or what it still lacks changed. `missing`
    // names them ("Output 3 mute", "Panel lock"); `unread`: its records could not be read.
    void verificationChanged(const QStringList& missing, bool unread);
    // After every round of sending again, these did not reach the processor.
    void editsNotConfirmed(const QStringList& missing, bool unread);
    void lostDevice();
    // The rig gained or lost a processor, one was renamed, or its state changed.
    void unitsChanged();
    // Another processor is shown and edited now.
    void unitSelected();
    // A group edit left members at a range's end: "Centre (ID 2 on ...): Output 3 gain held at ...".
    void groupNotes(const QStringList& notes);
    // A processor that joined or was connected from a show file holds other settings than its session.
    void deviceDiffers(const quellmarin::SystemParameters& device);

  protected:
    void PostJob(std::function<void(CSerialPort*)> job) override {
        ControllerOf(session_.Port()).RequestJob(std::move(job));
    }
    QObject* JobHome() override { return this; }

  private:
    // Runs on the controller's thread.
    void RebuildCatalog(DeviceLink& link);
    // The virtual line and its first processor, made once.
    void MakeVirtualLine(int deviceId);
    // After a lost device answered again: reads its record and says when it differs.
    void CheckReturnedDevice();
    // An edit's frame left (posted or as an exchange): the verification waits for it to settle.
    void NoteSent(const std::string& frame);
    void ScheduleVerification();
    void ForgetOwedEdits();
    void Verify();
    void TakeVerification(const std::optional<SystemParameters>& device,
                          const std::optional<DeviceInfoRecord>& info);
    void SendExchangeFrame(std::string frame);
    // A joined processor's outcome, on this thread: it joins the rig (or its unit of the show file is
    // compared).
    void TakeJoin(const Selection& selection, const ConnectOutcome& outcome, bool compare);
    void TakeUnitState(const std::string& port, const std::string& address, bool lost);
    // Another processor of a connected line joins it: read, or written and read back.
    void Join(const Selection& selection, bool download);
    // A processor on a port that no line is connected to yet, while another line is: a line of its own
    // (its link, controller and worker), so that lines run in parallel.
    void ConnectLine(const Selection& selection, bool download);
    // The connection of a further line ended, was lost or came back.
    void TakeLineState(const std::string& port);
    // A processor's meters: to its row of the rig view, and to the front panel when it is edited.
    void RouteLevels(const std::string& port, const LevelFrame& frame);

    // A further line of the rig, on a port other than the first line's.
    struct Line {
        std::unique_ptr<DeviceLink> link;
        std::unique_ptr<LinkController> controller;
        std::set<std::string> joined, lost;
        LinkState state = LinkState::NotConnected;
        // The processor being connected and whether it is then compared.
        Selection pending;
        bool compare = false;
    };
    // The line with a connection (or one being made) on `port`: the first one's or a further one.
    // Null when there is none.
    Line* FurtherLine(const std::string& port);
    const Line* FurtherLine(const std::string& port) const;
    bool FirstLineOn(const std::string& port) const { return HasConnection(state_) && port == connectedPort_; }
    // The controller and link that carry a processor of that port: its line's, else the first one's.
    LinkController& ControllerOf(const std::string& port);
    DeviceLink& LinkOf(const std::string& port);
    // The processors joined, and lost, on that port's line (empty sets when it has none).
    std::set<std::string>* JoinedOn(const std::string& port);
    const std::set<std::string>* JoinedOn(const std::string& port) const;
    std::set<std::string>* LostOn(const std::string& port);
    const std::set<std::string>* LostOn(const std::string& port) const;
    // Whether a session's frames may go to the link: while nothing is connected only the one processor
    // of a program without a rig (the link keeps them), else only those of a processor on the
    // connected line.
    bool OnConnectedLine(const Session& s) const;
    // The name a new processor of the rig gets: "Unit <ID>".
    static std::string DefaultName(int id);

    DeviceModel model_;
    LinkTimings timings_;
    SystemPortProvider provider_;
    std::unique_ptr<DeviceLink> link_;
    // Only the controller's thread reads these two.
    std::vector<std::string> userPorts_;
    std::vector<std::string> networkPorts_;      // the link thread's copy
    std::vector<std::string> networkPortsShown_; // the window thread's
    bool includeHardware_ = true;
    std::shared_ptr<LoopbackHub> virtualHub_;
    std::unique_ptr<sim::VirtualProcessor> virtualDevice_;
    std::unique_ptr<sim::SimServer> virtualServer_; // replaced on the controller's thread, under virtualMutex_
    std::vector<std::unique_ptr<sim::VirtualProcessor>> extraVirtual_;
    // The lines of their own of the extra virtual processors (replaced on the controller's thread,
    // under virtualMutex_).
    struct VirtualLine {
        std::string port;
        std::shared_ptr<LoopbackHub> hub;
        std::unique_ptr<sim::SimServer> server;
    };
    std::vector<VirtualLine> ownLines_;
    bool virtualOwnLines_ = false;
    std::mutex virtualMutex_;
    sim::SimFaults virtualFaults_;
    bool virtualRegistered_ = false; // controller's thread
    std::unique_ptr<LinkController> controller_;

    // This thread's view.
    bool virtualOn_ = false;
    LinkState state_ = LinkState::NotConnected;
    ScanReport lastScan_;
    std::string programNoText_ = "01";
    Session session_;
    Rig rig_;
    // The processors the connection's line has joined (their addresses), and those of them lost.
    std::set<std::string> joined_, lost_;
    // Units opened from a show file and not connected since: their first read is compared.
    std::set<std::size_t> offline_;
    // What the device list chose last.
    std::optional<Selection> chosen_;
    std::string connectedPort_;
    bool joining_ = false;
    std::vector<std::string> catalogShown_; // the ports the first line's catalog holds, this thread's copy
    std::map<std::string, Line> lines_;
    Pacing pacing_ = Pacing::Answered;
    // The newest meters of each processor, by port and ID, for remote clients.
    std::map<std::pair<std::string, int>, LevelFrame> levelsSeen_;
    std::string localSource_ = "window";
    bool remoteEditing_ = false;
    EditVerifier verifier_;
    QTimer verifyTimer_;
};

} // namespace quellmarin::ui
