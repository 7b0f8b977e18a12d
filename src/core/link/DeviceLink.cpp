#include "link/DeviceLink.h"

#include "protocol/HexCodec.h"
#include "link/WholeState.h"

#include <algorithm>
#include <future>

namespace quellmarin {

namespace {
// The worker reports through whatever callbacks are set at the time.
WorkerCallbacks Forward(WorkerCallbacks* target) {
    WorkerCallbacks cb;
    cb.levels = [target](const LevelFrame& f) {
        if (target->levels) target->levels(f);
    };
    cb.lostDevice = [target](const std::string& address) {
        if (target->lostDevice) target->lostDevice(address);
    };
    cb.answered = [target](const std::string& address) {
        if (target->answered) target->answered(address);
    };
    cb.sent = [target](const std::string& s) {
        if (target->sent) target->sent(s);
    };
    return cb;
}
// After a download: the device information, and whether the record read back is the one sent (the
// frame may have been lost or cut on the way: only the record read back tells). A read that fails
// leaves the connection standing with the download unconfirmed, so that it can be sent again over it.
void ReadBackDownload(CSerialPort& port, std::string_view address, const ParameterBytes& record,
                      const LinkTimings& timings, ConnectOutcome& out) {
    if (const auto info = UploadDeviceInfo(port, address, timings)) out.info = *info;
    out.readBack = out.info ? ConfirmDownload(port, address, record, timings) : ReadBack::Failed;
    if (out.readBack != ReadBack::Confirmed) {
        out.unconfirmed = true;
        out.message = ReadBackMessage(out.readBack);
        out.caption = "Warning";
    }
}
} // namespace

DeviceLink::DeviceLink(PortProvider& provider, DeviceModel model, const LinkTimings& timings)
    : provider_(provider), model_(model), timings_(timings), primary_(provider, timings),
      secondary_(provider), worker_(primary_, queue_, model, timings, Forward(&callbacks_)) {}

DeviceLink::~DeviceLink() {
    Shutdown();
}

void DeviceLink::SetCallbacks(WorkerCallbacks callbacks) {
    // Set before connecting; the worker reads them from its own thread.
    callbacks_ = std::move(callbacks);
}

std::vector<FoundDevice> DeviceLink::Scan(const ScanProgress& progress, const std::atomic<bool>* cancel,
                                          IdRange ids) {
    if (connected_) return devices_;
    ScanResult scan = ScanPorts(provider_, catalog_, model_, timings_, progress, cancel, ids, tap_);
    portProblems_ = std::move(scan.problems);
    devices_ = std::move(scan.devices);
    return devices_;
}

SelectResult DeviceLink::Select(std::string_view line) {
    SelectResult r = SelectDevice(line, devices_, catalog_);
    if (r.selection) Select(*r.selection);
    return r;
}

void DeviceLink::Select(const Selection& s) {
    address_ = s.address;
    portPath_ = s.port;
    portNumber_ = s.portNumber;
    id_ = s.id;
}

ConnectOutcome DeviceLink::Connect(bool download, const ParameterBytes& record, bool readState) {
    ConnectOutcome out;
    const auto fail = [&](std::string_view message, std::string_view caption) {
        out.message = message;
        out.caption = caption;
        return out;
    };
    const bool secondaryWasOpen = secondary_.IsOpen();
    if (secondaryWasOpen) {
        secondary_.Close();
    } else {
        if (portNumber_ < 1 || portNumber_ > 1024) return fail(kOpenPortFail, "Warning");
        if (!secondary_.OpenPort(portPath_) || !secondary_.SetupPort()) {
            secondary_.Close();
            return fail(kOpenPortFail, "Warning");
        }
        if (download) {
            const std::string frame = FrameDownload(address_, HexEncode(record));
            if (frame.size() == kDownloadFrameLength && secondary_.Write(frame) && tap_)
                tap_(portPath_, true, frame);
            timings_.clock->SleepFor(timings_.downloadSettle);
            const std::string echo = secondary_.Read(100, timings_.secondaryRead);
            if (tap_ && !echo.empty()) tap_(portPath_, false, echo);
            secondary_.Close();
            timings_.clock->SleepFor(timings_.downloadSettle);
        } else {
            // Nothing was written for an upload: the port only had to open.
            secondary_.Close();
        }
    }

    primary_.SetDeviceLineSettings();
    primary_.SetPortName(portPath_);
    if (primary_.Open() != CSerialPort::kOpened || connected_) {
        if (connected_) return fail(kAlreadyConnected, "hgd");
        return fail(kOpenPortFail, "temp");
    }
    if (!download && readState) {
        const auto state = UploadAll(primary_, address_, timings_);
        if (!state) {
            primary_.Close();
            return fail(kUploadFailed, "Warning");
        }
        out.params = state->params;
        out.info = state->info;
    } else if (download) {
        // The download has gone: what follows only reads.
        ReadBackDownload(primary_, address_, record, timings_, out);
    }
    worker_.Start(address_);
    connected_ = true;
    out.connected = true;
    return out;
}

ConnectOutcome DeviceLink::Join(const Selection& s, bool download, const ParameterBytes& record) {
    ConnectOutcome out;
    out.caption = "Warning";
    if (!connected_ || s.port != portPath_) {
        out.message = kOpenPortFail;
        return out;
    }
    const auto addresses = worker_.Addresses();
    if (std::find(addresses.begin(), addresses.end(), s.address) != addresses.end()) {
        out.message = kAlreadyConnected;
        out.caption = "hgd";
        return out;
    }
    auto done = worker_.Submit([&](CSerialPort& port) {
        if (!download) {
            const auto state = UploadAll(port, s.address, timings_);
            if (!state) {
                out.message = kUploadFailed;
                return;
            }
            out.params = state->params;
            out.info = state->info;
            out.caption.clear();
            out.connected = true;
            return;
        }
        const std::string frame = FrameDownload(s.address, HexEncode(record));
        if (frame.size() == kDownloadFrameLength) port.WriteText(frame);
        timings_.clock->SleepFor(timings_.downloadSettle);
        (void)port.ReadText(); // the echo
        out.caption.clear();
        ReadBackDownload(port, s.address, record, timings_, out);
        out.connected = true;
    });
    try {
        done.get();
    } catch (const std::future_error&) {
        // The connection ended before the job could run.
        out = {};
        out.message = kOpenPortFail;
        out.caption = "Warning";
        return out;
    }
    if (out.connected) worker_.AddAddress(s.address);
    return out;
}

void DeviceLink::Leave(const std::string& address) {
    if (!connected_) return;
    const auto addresses = worker_.Addresses();
    if (std::find(addresses.begin(), addresses.end(), address) == addresses.end()) return;
    if (addresses.size() == 1) {
        Disconnect();
        return;
    }
    if (worker_.Lost(address)) {
        // Nothing reaches it: what waits for it goes, and so does it.
        queue_.Drop([&](std::string_view frame) { return frame.substr(1, 2) == address; });
        worker_.RemoveAddress(address);
        return;
    }
    queue_.PostCommand(FrameEnd(address));
    // The worker takes the address off the line as the "B" leaves; if it did not leave in time, the
    // processor goes all the same (and its end unsent).
    if (!worker_.FlushPending(timings_.disconnectWait)) worker_.RemoveAddress(address);
}

std::vector<std::string> DeviceLink::Addresses() const {
    return connected_ ? worker_.Addresses() : std::vector<std::string>{};
}

void DeviceLink::EndConnection(std::chrono::milliseconds wait) {
    if (!connected_) return;
    // "B" goes last, after whatever is still pending, to every processor on the line; the worker
    // sends it at once instead of waiting out its cycle, and the wait is only an upper bound.
    // (Those that left the line before had theirs.)
    for (const std::string& address : worker_.Addresses()) queue_.PostCommand(FrameEnd(address));
    worker_.Finish(wait);
    worker_.Stop();
    primary_.Close();
    connected_ = false;
}

void DeviceLink::Disconnect() {
    EndConnection(timings_.disconnectWait);
}

void DeviceLink::Shutdown() {
    EndConnection(timings_.exitWait);
}

} // namespace quellmarin
