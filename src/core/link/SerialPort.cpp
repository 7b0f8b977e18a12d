#include "link/SerialPort.h"

#include <charconv>
#include <thread>

namespace quellmarin {

namespace {

int DecimalValue(const std::string& text) {
    int v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
}

} // namespace

CSerialPort::CSerialPort(PortProvider& provider, const LinkTimings& timings)
    : provider_(provider), timings_(timings) {}

CSerialPort::~CSerialPort() {
    Close();
}

void CSerialPort::SetLineSettings(std::string baud, std::string parity, std::string byteSize,
                                  std::string stopBits) {
    baud_ = std::move(baud);
    parity_ = std::move(parity);
    byteSize_ = std::move(byteSize);
    stopBits_ = std::move(stopBits);
}

void CSerialPort::SetDeviceLineSettings() {
    SetLineSettings(std::string(kBaudRate), std::string(kParityNone), "8", "1");
}

int CSerialPort::Open() {
    if (isOpen_) return kOpened;
    line_ = provider_.Create(portName_);
    if (!line_ || !line_->Open(portName_, false)) {
        line_.reset();
        return kCannotOpen;
    }
    line_->SetQueueSizes(1024, 1024);
    line_->Purge();
    if (baud_.empty() || parity_.empty() || byteSize_.empty() || stopBits_.empty()) {
        // A port left open here could never be opened again; close it.
        line_->Close();
        line_.reset();
        return kSettingMissing;
    }
    LineConfig config;
    config.baud = DecimalValue(baud_);
    config.byteSize = DecimalValue(byteSize_);
    config.parity = parity_ == kParityOdd    ? Parity::Odd
                    : parity_ == kParityEven ? Parity::Even
                                             : Parity::None;
    config.stopBits = stopBits_ == "2" ? 2 : 1;
    if (!line_->Configure(config)) {
        line_->Close();
        line_.reset();
        return kSettingsRefused;
    }
    isOpen_ = true;
    return kOpened;
}

void CSerialPort::Close() {
    if (line_) line_->Close();
    line_.reset();
    isOpen_ = false;
}

bool CSerialPort::WriteAll(std::string_view text) {
    if (!isOpen_ || text.empty() || text.size() >= kReadLimit) return false;
    // The text ends at a zero byte, as the device's frames never hold one.
    const std::size_t zero = text.find('\0');
    if (zero != std::string_view::npos) text = text.substr(0, zero);
    if (text.empty()) return false;
    const bool written = line_->Write(text, timings_.writeTimeout) == text.size();
    if (written && tap_) tap_(portName_, true, text);
    return written;
}

bool CSerialPort::WriteText(std::string_view text) {
    if (exclusive_) return false;
    return WriteAll(text);
}

bool CSerialPort::WriteTextAlways(std::string_view text) {
    return WriteAll(text);
}

std::chrono::milliseconds CSerialPort::WaitSlice(LinkClock::TimePoint deadline,
                                                 const std::atomic<bool>* interrupt) const {
    using std::chrono::milliseconds;
    const auto left =
        std::max(milliseconds(0), std::chrono::duration_cast<milliseconds>(deadline - timings_.clock->Now()));
    return interrupt ? std::min(left, milliseconds(20)) : left;
}

std::string CSerialPort::Delivered(std::string bytes) {
    const std::size_t zero = bytes.find('\0');
    if (zero != std::string::npos) bytes.resize(zero);
    if (tap_ && !bytes.empty()) tap_(portName_, false, bytes);
    return bytes;
}

std::string CSerialPort::ReadAvailable(std::size_t limit) {
    if (!isOpen_) return {};
    const std::size_t n = std::min(line_->BytesWaiting(), limit);
    if (n == 0) return {};
    std::string bytes = line_->Read(n);
    // Whatever arrived beyond the bytes read is discarded.
    line_->DiscardReceived();
    return Delivered(std::move(bytes));
}

std::string CSerialPort::ReadText() {
    if (exclusive_) return {};
    return ReadAvailable(kReadLimit);
}

std::string CSerialPort::ReadTextAlways() {
    return ReadAvailable(kReadLimit);
}

std::string CSerialPort::ReadReply(std::size_t expected, std::chrono::milliseconds timeout,
                                   const std::atomic<bool>* interrupt,
                                   const std::function<bool(std::string_view)>& complete) {
    if (exclusive_ || !isOpen_) {
        WaitForReply(0, timeout, interrupt);
        return {};
    }
    LinkClock& clock = *timings_.clock;
    const auto deadline = clock.Now() + timeout;
    const auto left = [&] { return WaitSlice(deadline, interrupt); };
    std::string bytes;
    while (clock.Now() < deadline && !(interrupt && interrupt->load()) && bytes.size() < kReadLimit) {
        if (const std::size_t n = std::min(line_->BytesWaiting(), kReadLimit - bytes.size()); n > 0) {
            bytes += line_->Read(n);
            if (complete(bytes)) break;
            continue;
        }
        // Known length there but not a whole reply: done once nothing more follows for the quiet gap.
        const auto wait = bytes.size() >= expected ? std::min(timings_.quietGap, left()) : left();
        if (!clock.WaitForBytes(*line_, 1, wait) && bytes.size() >= expected) break;
    }
    // Whatever arrives after the reply is discarded, as after every read.
    line_->DiscardReceived();
    return Delivered(std::move(bytes));
}

bool CSerialPort::Drain(std::chrono::milliseconds timeout) {
    return isOpen_ && line_->WaitSent(timeout);
}

void CSerialPort::BeginExclusive() {
    PurgeAll();
    exclusive_ = true;
}

void CSerialPort::PurgeAll() {
    if (isOpen_) line_->Purge();
}

void CSerialPort::WaitForReply(std::size_t expected, std::chrono::milliseconds timeout,
                               const std::atomic<bool>* interrupt) {
    LinkClock& clock = *timings_.clock;
    const auto deadline = clock.Now() + timeout;
    const auto left = [&] { return WaitSlice(deadline, interrupt); };
    const auto interrupted = [&] { return interrupt && interrupt->load(); };
    while (clock.Now() < deadline && !interrupted()) {
        if (!isOpen_ || expected == 0) {
            clock.SleepFor(left());
            continue;
        }
        const std::size_t have = line_->BytesWaiting();
        if (have >= expected) {
            // Complete: done once nothing more follows within the quiet gap.
            if (!clock.WaitForBytes(*line_, have + 1, std::min(timings_.quietGap, left()))) return;
            continue;
        }
        clock.WaitForBytes(*line_, expected, left());
    }
}

bool CThreadedComm::OpenPort(const std::string& path) {
    Close();
    line_ = provider_.Create(path);
    if (!line_ || !line_->Open(path, true)) {
        line_.reset();
        return false;
    }
    return true;
}

bool CThreadedComm::SetupPort() {
    if (!IsOpen()) return false;
    line_->SetQueueSizes(4096, 4096);
    line_->Purge();
    // A network serial server starts each connection with its own line settings.
    return line_->Configure(LineConfig{});
}

bool CThreadedComm::Write(std::string_view bytes) {
    if (!IsOpen()) return false;
    const std::size_t n = line_->Write(bytes, std::chrono::milliseconds(10000));
    sent_ += n;
    return n == bytes.size();
}

std::string CThreadedComm::Read(std::size_t count, std::chrono::milliseconds timeout) {
    if (!IsOpen()) return {};
    line_->WaitForBytes(count, timeout);
    return line_->Read(count);
}

void CThreadedComm::Close() {
    if (!line_) return;
    // No purge here: it would also throw away the part of a download still on its way, and leave the
    // device with half a record. What the device sent back was read or is purged by the next open.
    line_->WaitSent(std::chrono::milliseconds(2000));
    line_->Close();
    line_.reset();
}

} // namespace quellmarin
