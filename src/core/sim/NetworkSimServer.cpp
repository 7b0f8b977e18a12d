#include "sim/NetworkSimServer.h"

#include "link/NetworkPort.h"
#include "link/NetworkSerialLine.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quellmarin::sim {

NetworkSimServer::NetworkSimServer(VirtualProcessor& device, bool telnet, SimFaults faults, bool pace,
                                   std::ostream* log)
    : device_(device), telnet_(telnet), faults_(faults), pace_(pace), log_(log) {}

NetworkSimServer::~NetworkSimServer() {
    Stop();
}

bool NetworkSimServer::Listen(const std::string& host, int port, std::string& error) {
    sockaddr_storage addr{};
    socklen_t length = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&addr);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&addr);
    if (::inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(port));
        length = sizeof *v4;
    } else if (::inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<uint16_t>(port));
        length = sizeof *v6;
    } else {
        error = "\"" + host + "\" is not a numeric address";
        return false;
    }
    const int fd = ::socket(addr.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), length) != 0 || ::listen(fd, 4) != 0) {
        error = "cannot listen on " + host + ":" + std::to_string(port) + " (" + std::strerror(errno) + ")";
        ::close(fd);
        return false;
    }
    sockaddr_storage bound{};
    socklen_t boundLength = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &boundLength);
    port_ = ntohs(bound.ss_family == AF_INET ? reinterpret_cast<sockaddr_in*>(&bound)->sin_port
                                             : reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);
    host_ = host;
    listener_ = fd;
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

std::string NetworkSimServer::PortName() const {
    return NetworkPortName({telnet_ ? NetworkKind::Rfc2217 : NetworkKind::RawTcp, host_, port_});
}

void NetworkSimServer::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    {
        std::lock_guard lock(mutex_);
        client_.reset();
    }
    if (listener_ >= 0) ::close(listener_);
    listener_ = -1;
}

void NetworkSimServer::DropClient() {
    drop_ = true;
}

void NetworkSimServer::SetFaults(const SimFaults& faults) {
    std::lock_guard lock(mutex_);
    faults_ = faults;
    if (client_) client_->SetFaults(faults);
}

int NetworkSimServer::FramesSeen() const {
    std::lock_guard lock(mutex_);
    return client_ ? client_->FramesSeen() : 0;
}

void NetworkSimServer::Run() {
    while (!stop_) {
        {
            std::lock_guard lock(mutex_);
            if (client_ && (client_->Ended() || drop_)) client_.reset(); // closes the connection
            drop_ = false;
        }
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        // A client that has just closed may not have been noticed yet: it gets a moment to end.
        for (int i = 0; i < 20; ++i) {
            {
                std::lock_guard lock(mutex_);
                if (!client_ || client_->Ended()) break;
            }
            ::usleep(10'000);
        }
        std::lock_guard lock(mutex_);
        if (client_ && client_->Ended()) client_.reset();
        if (client_) {
            static constexpr char kBusy[] = "Port already in use\r\n";
            (void)::send(fd, kBusy, sizeof kBusy - 1, MSG_NOSIGNAL);
            ::close(fd);
            continue;
        }
        ++connections_;
        client_ = std::make_unique<SimServer>(device_, AdoptServerSocket(fd, telnet_), faults_, pace_, log_);
        client_->Start(true);
    }
}

} // namespace quellmarin::sim
