// The application object: the link to the processor (ports, device list, connection), the built-in
// virtual processor, and the program-number text of the status bar. Scans, connections and
// disconnections run on threads of their own and report back through queued signals, so the
// windows never wait on the wire.
#pragma once

#include "link/DeviceLink.h"
#include "sim/SimServer.h"
#include "sim/VirtualProcessor.h"

#include <QObject>
#include <QStringList>
#include <atomic>
#include <memory>
#include <thread>

Q_DECLARE_METATYPE(quellmarin::LevelFrame)

namespace quellmarin::ui {

inline constexpr const char* kVirtualPortName = "virtual";

class CQuellmarinApp : public QObject {
    Q_OBJECT
  public:
    explicit CQuellmarinApp(DeviceModel model = kBuildModel, const LinkTimings& timings = {},
                            QObject* parent = nullptr);
    ~CQuellmarinApp() override;

    DeviceModel Model() const { return model_; }
    DeviceLink& Link() { return *link_; }
    void SetUserPorts(std::vector<std::string> ports);
    void SetIncludeHardware(bool on);

    // The in-process virtual processor on the "virtual" port.
    bool StartVirtualProcessor(int deviceId = 1);
    void StopVirtualProcessor();
    bool VirtualRunning() const { return virtualServer_ != nullptr; }
    sim::VirtualProcessor* VirtualDevice() { return virtualDevice_.get(); }

    bool Busy() const { return busy_; }
    bool Connected() const { return link_->Connected(); }
    void StartScan();
    // Connects to the selected device; a download writes the process-wide record.
    void StartConnect(bool download);
    void StartDisconnect();
    // Program end: "(%sB)", the short wait, the worker stopped and the port closed.
    void Shutdown();

    std::string ProgramNoText() const { return programNoText_; }
    void SetProgramNoText(std::string text) { programNoText_ = std::move(text); }
    void Post(const std::string& frame) { link_->Post(frame); }
    std::string Address() const { return link_->Address(); }

  signals:
    void scanProgress(int done, int planned);
    void scanFinished(const QStringList& lines);
    void connectFinished(bool connected, const QString& message, const QString& caption);
    void connectionChanged(bool connected);
    void recordsReplaced();
    void levelsArrived(const quellmarin::LevelFrame& frame);
    void lostDevice();

  private:
    void RebuildCatalog();
    void RunInBackground(std::function<void()> work);

    DeviceModel model_;
    LinkTimings timings_;
    SystemPortProvider provider_;
    std::unique_ptr<DeviceLink> link_;
    std::vector<std::string> userPorts_;
    bool includeHardware_ = true;
    std::unique_ptr<sim::VirtualProcessor> virtualDevice_;
    std::unique_ptr<sim::SimServer> virtualServer_;
    std::string programNoText_ = "01";
    std::atomic<bool> busy_{false};
    std::thread background_;
};

} // namespace quellmarin::ui
