#include "sim/SimServer.h"

#include <algorithm>
#include <charconv>
#include <chrono>

namespace quellmarin::sim {

namespace {
using namespace std::chrono_literals;

bool ParseNumber(std::string_view text, double& out) {
    const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && p == text.data() + text.size();
}
} // namespace

std::optional<SimFaults> ParseFaults(std::string_view text, std::string& error) {
    SimFaults f;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
        if (item.empty()) continue;
        const std::size_t eq = item.find('=');
        const std::string_view key = item.substr(0, eq);
        const std::string_view value =
            eq == std::string_view::npos ? std::string_view{} : item.substr(eq + 1);
        double v = 0;
        if (key == "short_q" && value.empty()) {
            f.shortQ = true;
            continue;
        }
        if (key == "hangup_q" && value.empty()) {
            f.hangupQ = true;
            continue;
        }
        if (key == "ignore" && !value.empty() && value.size() <= 5) {
            f.ignore = std::string(value);
            continue;
        }
        if (!ParseNumber(value, v) || v < 0) {
            error = "bad fault setting: " + std::string(item);
            return std::nullopt;
        }
        if (key == "drop" && v <= 1)
            f.drop = v;
        else if (key == "garble" && v <= 1)
            f.garble = v;
        else if (key == "slow")
            f.slowMs = static_cast<int>(v);
        else if (key == "lose" && v <= 1)
            f.lose = v;
        else if (key == "lose_p")
            f.loseDownloads = static_cast<int>(v);
        else if (key == "mute_after")
            f.muteAfter = static_cast<int>(v);
        else if (key == "seed")
            f.seed = static_cast<unsigned>(v);
        else {
            error = "unknown fault setting: " + std::string(item);
            return std::nullopt;
        }
    }
    return f;
}

SimServer::SimServer(VirtualProcessor& device, std::unique_ptr<SerialLine> line, SimFaults faults, bool pace,
                     std::ostream* log)
    : SimServer(std::vector<VirtualProcessor*>{&device}, std::move(line), faults, pace, log) {}

SimServer::SimServer(std::vector<VirtualProcessor*> devices, std::unique_ptr<SerialLine> line, SimFaults faults,
                     bool pace, std::ostream* log)
    : devices_(std::move(devices)), line_(std::move(line)), pace_(pace), log_(log), faults_(faults),
      rng_(faults.seed) {}

VirtualProcessor* SimServer::Addressee(const std::string& frame) const {
    // One processor alone takes everything, so that it can count and refuse what is not its own.
    if (devices_.size() == 1) return devices_.front();
    if (frame.size() < 3) return nullptr;
    for (VirtualProcessor* d : devices_)
        if (frame.compare(1, 2, d->Address()) == 0) return d;
    return nullptr;
}

SimServer::~SimServer() {
    Stop();
}

void SimServer::Start(bool fresh) {
    if (thread_.joinable()) return;
    stop_ = false;
    // A processor that was switched off heard nothing meanwhile.
    if (!fresh) line_->Purge();
    thread_ = std::thread([this] { Run(); });
}

void SimServer::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void SimServer::SetFaults(const SimFaults& faults) {
    std::lock_guard lock(faultMutex_);
    faults_ = faults;
    rng_.seed(faults.seed);
}

void SimServer::Run() {
    while (!stop_ && !ended_) {
        if (line_->Broken()) {
            ended_ = true;
            return;
        }
        if (!line_->WaitForBytes(1, 50ms)) continue;
        const std::string bytes = line_->Read(4096);
        if (bytes.empty()) continue;
        if (log_) *log_ << "recv " << bytes << '\n' << std::flush;
        // The first processor cuts the stream into frames for all of them.
        const std::vector<std::string> frames = devices_.front()->TakeFrames(bytes);
        for (std::size_t i = 0; i < frames.size() && !ended_; ++i) {
            if (Lost(frames[i])) continue;
            VirtualProcessor* device = Addressee(frames[i]);
            if (!device) {
                ++framesSeen_;
                continue;
            }
            const std::size_t before = device->FrameCount();
            std::optional<std::string> reply = device->Handle(frames[i]);
            // One processor alone counts all it ever heard, as it always has; a bus counts what it carried.
            if (devices_.size() == 1)
                framesSeen_ = static_cast<int>(device->FrameCount());
            else
                framesSeen_ += static_cast<int>(device->FrameCount() - before);
            if (!reply) continue;
            // A program that waits for each answer sends nothing more until this reply is complete.
            if (Send(std::move(*reply)) && i + 1 < frames.size()) ++overlapping_;
        }
    }
}

void SimServer::SwitchOff(int deviceId, bool off) {
    std::lock_guard lock(faultMutex_);
    std::erase(switchedOff_, deviceId);
    if (off) switchedOff_.push_back(deviceId);
}

bool SimServer::Lost(const std::string& frame) {
    std::lock_guard lock(faultMutex_);
    if (!switchedOff_.empty()) {
        const VirtualProcessor* device = Addressee(frame);
        if (device && std::find(switchedOff_.begin(), switchedOff_.end(), device->DeviceId()) != switchedOff_.end())
            return true;
    }
    if (faults_.loseDownloads > 0 && frame.size() > 4 && frame[3] == 'P') {
        --faults_.loseDownloads;
        return true;
    }
    if (!faults_.ignore.empty() && frame.size() > 3 + faults_.ignore.size() &&
        frame.compare(3, faults_.ignore.size(), faults_.ignore) == 0)
        return true;
    std::uniform_real_distribution<double> chance(0, 1);
    return faults_.lose > 0 && chance(rng_) < faults_.lose;
}

bool SimServer::Send(std::string reply) {
    SimFaults f;
    {
        std::lock_guard lock(faultMutex_);
        f = faults_;
        std::uniform_real_distribution<double> chance(0, 1);
        if (f.muteAfter > 0 && framesSeen_ > f.muteAfter) return false;
        if (chance(rng_) < f.drop) return false;
        if (f.shortQ && reply.size() > 1000) reply.resize(reply.size() / 2);
        if (f.hangupQ && reply.size() > 1000) {
            line_->Write(std::string_view(reply).substr(0, reply.size() / 2), 1s);
            line_->Close();
            ended_ = true;
            return false;
        }
        if (chance(rng_) < f.garble && reply.size() > 2) {
            std::uniform_int_distribution<std::size_t> pos(1, reply.size() - 2);
            reply[pos(rng_)] = 'g';
        }
    }
    if (f.slowMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(f.slowMs));
    if (log_) *log_ << "reply " << reply << '\n' << std::flush;
    // Anything that has come in before the reply's last byte goes out came while the reply was owed.
    const auto lastWrite = [this](std::string_view bytes, std::chrono::milliseconds timeout) {
        if (line_->BytesWaiting() > 0) ++overlapping_;
        line_->Write(bytes, timeout);
    };
    if (!pace_) {
        lastWrite(reply, 3s);
        return true;
    }
    // 38400 baud, ten bits a character: 3840 characters a second.
    constexpr std::size_t kChunk = 32;
    const auto perChunk = std::chrono::microseconds(1'000'000 * kChunk / 3840);
    auto next = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < reply.size() && !stop_; i += kChunk) {
        std::this_thread::sleep_until(next);
        if (i + kChunk >= reply.size())
            lastWrite(std::string_view(reply).substr(i), 1s);
        else
            line_->Write(std::string_view(reply).substr(i, kChunk), 1s);
        next += perChunk;
    }
    return true;
}

} // namespace quellmarin::sim
