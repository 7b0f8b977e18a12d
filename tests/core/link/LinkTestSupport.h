// Devices on the other end of a line for the link tests: a scripted one that answers by a function,
// a virtual processor on a real pseudo-terminal, and the quellmarin-sim program itself.
#pragma once

#include "link/SerialLine.h"
#include "sim/PseudoTerminal.h"
#include "sim/SimServer.h"
#include "sim/VirtualProcessor.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace quellmarin::test {

using namespace std::chrono_literals;

// Waits for a condition for at most `timeout`, checking every millisecond.
template <class F> bool WaitFor(F condition, std::chrono::milliseconds timeout = 3000ms) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Reads frames "(...)" from its end of a line and answers each with what the script returns.
class ScriptedDevice {
  public:
    using Script = std::function<std::optional<std::string>(const std::string& frame)>;

    ScriptedDevice(std::unique_ptr<SerialLine> line, Script script)
        : line_(std::move(line)), script_(std::move(script)), thread_([this] { Run(); }) {}
    ~ScriptedDevice() {
        stop_ = true;
        thread_.join();
    }

    std::vector<std::string> Frames() const {
        std::lock_guard lock(mutex_);
        return frames_;
    }
    std::size_t Count() const {
        std::lock_guard lock(mutex_);
        return frames_.size();
    }

  private:
    void Run() {
        std::string pending;
        while (!stop_) {
            if (!line_->WaitForBytes(1, 20ms)) continue;
            pending += line_->Read(4096);
            for (;;) {
                const auto open = pending.find('(');
                const auto close = pending.find(')', open == std::string::npos ? 0 : open);
                if (open == std::string::npos || close == std::string::npos) break;
                const std::string frame = pending.substr(open, close - open + 1);
                pending.erase(0, close + 1);
                {
                    std::lock_guard lock(mutex_);
                    frames_.push_back(frame);
                }
                if (auto reply = script_(frame)) line_->Write(*reply, 1s);
            }
        }
    }

    std::unique_ptr<SerialLine> line_;
    Script script_;
    mutable std::mutex mutex_;
    std::vector<std::string> frames_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A line whose device answers within the write itself, so that a step clock never has to wait for it:
// each complete frame written is recorded and its reply, if any, is waiting at once.
class InstantLine : public SerialLine {
  public:
    explicit InstantLine(ScriptedDevice::Script script) : script_(std::move(script)) {}
    bool Open(const std::string&, bool) override { return open_ = true; }
    bool IsOpen() const override { return open_; }
    void Close() override { open_ = false; }
    bool Configure(const LineConfig&) override { return true; }
    void SetQueueSizes(std::size_t, std::size_t) override {}
    void Purge() override {
        std::lock_guard lock(mutex_);
        incoming_.clear();
    }
    bool WaitSent(std::chrono::milliseconds) override { return true; }
    std::size_t BytesWaiting() override {
        std::lock_guard lock(mutex_);
        return incoming_.size();
    }
    std::string Read(std::size_t max) override {
        std::lock_guard lock(mutex_);
        std::string out = incoming_.substr(0, max);
        incoming_.erase(0, out.size());
        return out;
    }
    std::size_t Write(std::string_view data, std::chrono::milliseconds) override {
        std::lock_guard lock(mutex_);
        pending_ += data;
        for (auto close = pending_.find(')'); close != std::string::npos; close = pending_.find(')')) {
            const std::string frame = pending_.substr(0, close + 1);
            pending_.erase(0, close + 1);
            frames_.push_back(frame);
            if (auto reply = script_(frame)) incoming_ += *reply;
        }
        return data.size();
    }
    bool WaitForBytes(std::size_t count, std::chrono::milliseconds timeout) override {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (BytesWaiting() < count) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    std::vector<std::string> Frames() const {
        std::lock_guard lock(mutex_);
        return frames_;
    }

  private:
    ScriptedDevice::Script script_;
    mutable std::mutex mutex_;
    std::string pending_, incoming_;
    std::vector<std::string> frames_;
    bool open_ = false;
};

// Hands out its one instant line to every port opened (a port opened anew talks to the same device).
class InstantProvider : public PortProvider {
  public:
    explicit InstantProvider(ScriptedDevice::Script script) : line_(std::move(script)) {}
    std::unique_ptr<SerialLine> Create(const std::string&) override {
        return std::make_unique<Handle>(line_);
    }
    InstantLine& Line() { return line_; }

  private:
    class Handle : public SerialLine {
      public:
        explicit Handle(InstantLine& line) : line_(line) {}
        bool Open(const std::string& path, bool overlapped) override { return line_.Open(path, overlapped); }
        bool IsOpen() const override { return line_.IsOpen(); }
        void Close() override { line_.Close(); }
        bool Configure(const LineConfig& c) override { return line_.Configure(c); }
        void SetQueueSizes(std::size_t in, std::size_t out) override { line_.SetQueueSizes(in, out); }
        void Purge() override { line_.Purge(); }
        bool WaitSent(std::chrono::milliseconds t) override { return line_.WaitSent(t); }
        std::size_t BytesWaiting() override { return line_.BytesWaiting(); }
        std::string Read(std::size_t max) override { return line_.Read(max); }
        std::size_t Write(std::string_view d, std::chrono::milliseconds t) override {
            return line_.Write(d, t);
        }
        bool WaitForBytes(std::size_t n, std::chrono::milliseconds t) override {
            return line_.WaitForBytes(n, t);
        }

      private:
        InstantLine& line_;
    };
    InstantLine line_;
};

#ifndef _WIN32
// A virtual processor answering on a real pseudo-terminal, in this process.
class PtyProcessor {
  public:
    explicit PtyProcessor(int id, DeviceModel model = kBuildModel, sim::SimFaults faults = {},
                          bool pace = false)
        : device(id, model), server_(device, pty_.TakeMaster(), faults, pace) {
        server_.Start();
    }
    const std::string& Path() const { return pty_.SlavePath(); }
    void SetFaults(const sim::SimFaults& f) { server_.SetFaults(f); }
    int OverlappingRequests() const { return server_.OverlappingRequests(); }
    LineConfig LineSettings() const { return pty_.LineSettings(); }

    sim::VirtualProcessor device;

  private:
    sim::PseudoTerminal pty_;
    sim::SimServer server_;
};

// Several virtual processors on one real pseudo-terminal, as units on one bus: each answers only its
// own address.
class PtyBus {
  public:
    explicit PtyBus(std::vector<int> ids, DeviceModel model = kBuildModel) {
        std::vector<sim::VirtualProcessor*> all;
        for (int id : ids) all.push_back(&devices_.emplace_back(id, model));
        server_ = std::make_unique<sim::SimServer>(std::move(all), pty_.TakeMaster());
        server_->Start();
    }
    ~PtyBus() { server_->Stop(); }
    const std::string& Path() const { return pty_.SlavePath(); }
    sim::VirtualProcessor& Device(std::size_t i) { return devices_.at(i); }
    void SwitchOff(int id, bool off = true) { server_->SwitchOff(id, off); }

  private:
    sim::PseudoTerminal pty_;
    std::deque<sim::VirtualProcessor> devices_; // stable addresses for the server
    std::unique_ptr<sim::SimServer> server_;
};

// A scripted device on a real pseudo-terminal.
class PtyScripted {
  public:
    explicit PtyScripted(ScriptedDevice::Script script) : device(pty_.TakeMaster(), std::move(script)) {}
    const std::string& Path() const { return pty_.SlavePath(); }

  private:
    sim::PseudoTerminal pty_;

  public:
    ScriptedDevice device;
};

// The quellmarin-sim program, started with the given arguments; it ends when this object does.
class SimProcess {
  public:
    explicit SimProcess(const std::vector<std::string>& args) {
        int toChild[2], fromChild[2];
        if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(toChild[0], 0);
            ::dup2(fromChild[1], 1);
            ::close(toChild[1]);
            ::close(fromChild[0]);
            std::vector<char*> argv;
            static std::string bin = QUELLMARIN_SIM_PATH;
            argv.push_back(bin.data());
            std::vector<std::string> copy = args;
            for (auto& a : copy) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(bin.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(toChild[0]);
        ::close(fromChild[1]);
        stdin_ = toChild[1];
        std::string line;
        char c;
        while (::read(fromChild[0], &c, 1) == 1 && c != '\n') line += c;
        ::close(fromChild[0]);
        path_ = line;
    }
    ~SimProcess() {
        if (stdin_ >= 0) ::close(stdin_);
        if (pid_ > 0) {
            int status = 0;
            for (int i = 0; i < 200 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i) ::usleep(10000);
            if (::waitpid(pid_, &status, WNOHANG) == 0) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
            }
        }
    }
    const std::string& Path() const { return path_; }

  private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    std::string path_;
};
#endif

} // namespace quellmarin::test
