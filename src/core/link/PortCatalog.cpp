#include "link/PortCatalog.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/serial.h>
#endif
#endif

namespace quellmarin {

namespace fs = std::filesystem;

std::string WindowsPortPath(int number) {
    char buf[32];
    std::snprintf(buf, sizeof buf, number < 10 ? "COM%d" : "\\\\.\\COM%d", number);
    return buf;
}

namespace {

#if defined(__linux__)
// An on-board 8250-style port whose driver knows of no chip answers nothing and is left out.
bool UartPresent(const std::string& devicePath) {
    const int fd = ::open(devicePath.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    serial_struct info{};
    const bool present = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    ::close(fd);
    return present;
}

// "ttyUSB10" after "ttyUSB9".
bool NaturalLess(const std::string& a, const std::string& b) {
    const auto split = [](const std::string& s) {
        std::size_t i = s.size();
        while (i > 0 && s[i - 1] >= '0' && s[i - 1] <= '9') --i;
        return std::pair{s.substr(0, i), i < s.size() ? std::stol(s.substr(i)) : -1L};
    };
    return split(a) < split(b);
}
#endif

} // namespace

std::vector<std::string> HardwareSerialPorts() {
    std::vector<std::string> ports;
#if defined(_WIN32)
    for (int n = 1; n <= 256; ++n) ports.push_back(WindowsPortPath(n));
#elif defined(__linux__)
    std::error_code ec;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator("/sys/class/tty", ec)) {
        const fs::path device = entry.path() / "device";
        if (!fs::exists(device, ec)) continue; // virtual terminals and pseudo-terminals have no device
        const fs::path subsystem = fs::read_symlink(device / "subsystem", ec).filename();
        const std::string name = entry.path().filename().string();
        const std::string path = "/dev/" + name;
        if (!fs::exists(path, ec)) continue;
        if (subsystem == "platform" || subsystem == "pnp" || name.rfind("ttyS", 0) == 0) {
            if (!UartPresent(path)) continue;
        }
        names.push_back(name);
    }
    std::sort(names.begin(), names.end(), NaturalLess);
    for (const auto& n : names) ports.push_back("/dev/" + n);
#endif
    return ports;
}

bool IsAdapterPort(const std::string& path) {
    const auto starts = [&](std::string_view prefix) { return path.rfind(prefix, 0) == 0; };
    return starts("/dev/ttyUSB") || starts("/dev/ttyACM");
}

bool WantVirtualProcessor(bool asked, const std::vector<std::string>& userPorts,
                          const std::vector<std::string>& hardwarePorts) {
    if (asked) return true;
    if (!userPorts.empty()) return false;
    return std::none_of(hardwarePorts.begin(), hardwarePorts.end(), IsAdapterPort);
}

std::vector<std::string> BuildPortCatalog(const std::vector<std::string>& userPorts,
                                          const std::vector<std::string>& virtualPorts,
                                          bool includeHardware) {
    std::vector<std::string> catalog;
    const auto add = [&](const std::string& p) {
        if (!p.empty() && std::find(catalog.begin(), catalog.end(), p) == catalog.end()) catalog.push_back(p);
    };
    if (includeHardware)
        for (const auto& p : HardwareSerialPorts()) add(p);
    for (const auto& p : userPorts) add(p);
    for (const auto& p : virtualPorts) add(p);
    return catalog;
}

int PortNumberOf(const std::string& path, const std::vector<std::string>& catalog) {
    const auto it = std::find(catalog.begin(), catalog.end(), path);
    if (it != catalog.end()) return static_cast<int>(it - catalog.begin()) + 1;
#if defined(_WIN32)
    const auto com = path.rfind("COM");
    if (com != std::string::npos) return std::atoi(path.c_str() + com + 3);
#endif
    return 0;
}

} // namespace quellmarin
