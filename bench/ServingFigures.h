// What the figures of the servers in front of the program share: work on a thread of its own while
// this thread runs the event loop the servers need, the link's own post to arrival on the timing
// device, and a process's CPU time.
#pragma once

#include "protocol/Frames.h"
#include "shell/QuellmarinApp.h"

#include "QtFigures.h"
#include "TimingDevice.h"

#include <atomic>
#include <cstdio>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

inline double Ms(std::chrono::steady_clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Scans and connects the program to the timing device, as a user would; false, said, when it cannot.
inline bool ConnectToTimingDevice(quellmarin::ui::CQuellmarinApp& app, quellmarin::TimingDevice& dev) {
    app.SetIncludeHardware(false);
    app.SetUserPorts({dev.pty.SlavePath()});
    bool scanned = false;
    QObject::connect(&app, &quellmarin::ui::CQuellmarinApp::scanFinished, [&] { scanned = true; });
    app.StartScan();
    while (!scanned) RunFor(20);
    if (app.LastScan().lines.empty() || !app.Select(app.LastScan().lines.front()).empty()) {
        std::printf("no processor found\n");
        return false;
    }
    app.StartConnect(false);
    for (int i = 0; i < 500 && app.State() != quellmarin::LinkState::Connected; ++i) RunFor(20);
    if (app.State() != quellmarin::LinkState::Connected) {
        std::printf("could not connect\n");
        return false;
    }
    return true;
}

// Runs `work` on a thread of its own while this thread runs the event loop the servers need.
inline void WhileServing(const std::function<void()>& work) {
    std::atomic<bool> done{false};
    std::thread t([&] {
        work();
        done = true;
    });
    while (!done) RunFor(20);
    t.join();
}

// The link's own post to arrival, `count` gain frames posted straight to its queue.
inline std::vector<double> LinkLatency(quellmarin::ui::CQuellmarinApp& app, quellmarin::TimingDevice& dev, int count,
                                       int offset) {
    std::vector<double> ms;
    for (int i = 0; i < count; ++i) {
        const std::string frame = quellmarin::FrameOutputGain("01", 1, 100 + (offset + i) % 80);
        const auto posted = std::chrono::steady_clock::now();
        app.Controller().Post(frame);
        ms.push_back(Ms(dev.ArrivalOf(frame, posted) - posted));
        std::this_thread::sleep_for(std::chrono::milliseconds(13 * (i % 7)));
    }
    return ms;
}

// /proc/PID/stat: user and system time in seconds.
inline double ProcessCpu(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string f;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> f; ++i)
        if (i == 14 || i == 15) ticks += std::stod(f);
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}
