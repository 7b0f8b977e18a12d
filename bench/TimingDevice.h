// A device on a 38400-baud wire for the latency figures: each frame the program writes arrives when
// its last character would have crossed the wire, and its reply is held back for the time its
// characters take; every arrival is noted with its time.
#pragma once

#include "sim/PseudoTerminal.h"
#include "sim/VirtualProcessor.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quellmarin {

struct TimingDevice {
    using Clock = std::chrono::steady_clock;
    static constexpr auto kPerChar = std::chrono::microseconds(1'000'000 / 3840); // ten bits a character

    TimingDevice()
        : master(pty.TakeMaster()), device(1, DeviceModel::Mivon), reader([this] { Read(); }),
          replier([this] { Reply(); }) {}
    ~TimingDevice() {
        stop = true;
        ready.notify_all();
        reader.join();
        replier.join();
    }
    void Read() {
        std::string pending;
        Clock::time_point wireFree{};
        while (!stop) {
            if (!master->WaitForBytes(1, std::chrono::milliseconds(20))) continue;
            const auto readAt = Clock::now();
            pending += master->Read(4096);
            for (;;) {
                const auto close = pending.find(')');
                if (close == std::string::npos) break;
                const std::string frame = pending.substr(0, close + 1);
                pending.erase(0, close + 1);
                wireFree = std::max(wireFree, readAt) + kPerChar * static_cast<int>(frame.size());
                std::lock_guard lock(mutex);
                arrivals.emplace_back(frame, wireFree);
                inbox.emplace_back(frame, wireFree);
                ready.notify_all();
            }
        }
    }
    void Reply() {
        for (;;) {
            std::pair<std::string, Clock::time_point> next;
            {
                std::unique_lock lock(mutex);
                ready.wait(lock, [&] { return stop || !inbox.empty(); });
                if (stop) return;
                next = inbox.front();
                inbox.pop_front();
            }
            std::this_thread::sleep_until(next.second); // the frame is complete on the device's side
            if (auto reply = device.Handle(next.first)) {
                std::this_thread::sleep_for(kPerChar * static_cast<int>(reply->size()));
                master->Write(*reply, std::chrono::seconds(1));
            }
        }
    }
    // Waits for the frame to arrive after `since` and returns when it did.
    Clock::time_point ArrivalOf(const std::string& frame, Clock::time_point since) {
        for (;;) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            std::lock_guard lock(mutex);
            const auto it = std::find_if(arrivals.rbegin(), arrivals.rend(),
                                         [&](const auto& a) { return a.first == frame; });
            if (it != arrivals.rend() && it->second >= since && it->second <= Clock::now()) return it->second;
        }
    }
    sim::PseudoTerminal pty;
    std::unique_ptr<SerialLine> master;
    sim::VirtualProcessor device;
    std::mutex mutex;
    std::condition_variable ready;
    std::vector<std::pair<std::string, Clock::time_point>> arrivals;
    std::deque<std::pair<std::string, Clock::time_point>> inbox;
    std::atomic<bool> stop{false};
    std::thread reader, replier;
};

} // namespace quellmarin
