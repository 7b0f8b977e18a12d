// The program's link to one processor: the primary and secondary ports, the device list of the last
// scan, the selected device, the connection with its worker, and the one-slot mailbox of commands.
// Further processors on the same line join the connection (`Join`) and share its worker and mailbox.
// Connect and Scan block while they run. A DeviceLink is not shared between threads: the windowed
// program drives it through its LinkController alone; only Post() may be called from anywhere.
#pragma once

#include "link/CommandQueue.h"
#include "link/Discovery.h"
#include "link/LinkWorker.h"
#include "link/WholeState.h"
#include "link/SerialPort.h"
#include "model/Records.h"

#include <atomic>
#include <optional>
#include <string>
#include <vector>

namespace quellmarin {

inline constexpr std::string_view kOpenPortFail = "Open port: fail..";
inline constexpr std::string_view kAlreadyConnected = "Has been connected to device";

struct ConnectOutcome {
    bool connected = false;
    // A download whose record the device did not give back as sent (the connection stands; `message`
    // says so).
    bool unconfirmed = false;
    ReadBack readBack = ReadBack::Confirmed; // after a download: what the read-back showed
    std::string message; // shown in a message box when not empty
    std::string caption;
    // What the connection read from the device: both records after an upload, the information
    // record after a download. The caller replaces its records with them.
    std::optional<ParameterBytes> params;
    std::optional<DeviceInfoBytes> info;
};

class DeviceLink {
  public:
    DeviceLink(PortProvider& provider, DeviceModel model = kBuildModel, const LinkTimings& timings = {});
    ~DeviceLink();

    PortProvider& Provider() { return provider_; }
    DeviceModel Model() const { return model_; }
    const LinkTimings& Timings() const { return timings_; }
    CommandQueue& Queue() { return queue_; }
    LinkWorker& Worker() { return worker_; }
    void SetCallbacks(WorkerCallbacks callbacks);
    // Sees everything the link sends and reads: the scan's probes, the download and the connection's
    // port. Set before scanning.
    void SetTap(CSerialPort::Tap tap) {
        tap_ = tap;
        primary_.SetTap(std::move(tap));
    }

    void SetCatalog(std::vector<std::string> catalog) { catalog_ = std::move(catalog); }
    const std::vector<std::string>& Catalog() const { return catalog_; }

    // One scan pass over the catalog; refused (empty result) while connected.
    std::vector<FoundDevice> Scan(const ScanProgress& progress = {},
                                  const std::atomic<bool>* cancel = nullptr, IdRange ids = {});
    // Why ports of the last scan could not be opened, a line each.
    const std::vector<std::string>& PortProblems() const { return portProblems_; }
    const std::vector<FoundDevice>& Devices() const { return devices_; }
    void SetDevices(std::vector<FoundDevice> devices) { devices_ = std::move(devices); }
    std::vector<std::string> DeviceLines() const { return DeviceListLines(devices_); }

    SelectResult Select(std::string_view line);
    void Select(const Selection& s);
    const std::string& Address() const { return address_; }
    const std::string& PortPath() const { return portPath_; }
    int PortNumber() const { return portNumber_; }
    int SelectedId() const { return id_; }

    // The connection procedure. For a download, `record` is the state written to the device.
    // `readState` false connects an upload without reading the state (what only watches the meters).
    ConnectOutcome Connect(bool download, const ParameterBytes& record, bool readState = true);
    // Sends "(%sB)" through the worker, then stops it and closes the port.
    void Disconnect();
    // The same at program end, with the shorter wait.
    void Shutdown();
    bool Connected() const { return connected_; }

    // Another processor on the line of this connection: read (upload) or written and read back
    // (download) over the open port between two requests of the worker, then polled in turn with the
    // others. Refused when not connected or on another port.
    ConnectOutcome Join(const Selection& s, bool download, const ParameterBytes& record);
    // One processor leaves the line: "B" to it alone (a lost one's pending frames are dropped); the
    // last one ends the connection as Disconnect does.
    void Leave(const std::string& address);
    // The processors connected on this line.
    std::vector<std::string> Addresses() const;

    // Posts a command for the worker (the newest value of each parameter wins); any thread.
    void Post(std::string frame) { queue_.PostCommand(std::move(frame)); }

  private:
    void EndConnection(std::chrono::milliseconds wait);

    PortProvider& provider_;
    DeviceModel model_;
    LinkTimings timings_;
    CSerialPort primary_;
    CThreadedComm secondary_;
    CommandQueue queue_;
    LinkWorker worker_;
    std::vector<std::string> catalog_;
    std::vector<FoundDevice> devices_;
    std::vector<std::string> portProblems_;
    std::string address_ = "00";
    std::string portPath_;
    int portNumber_ = 0;
    int id_ = 0;
    std::atomic<bool> connected_{false};
    WorkerCallbacks callbacks_;
    CSerialPort::Tap tap_;
};

} // namespace quellmarin
