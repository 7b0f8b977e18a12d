// Servers on loopback for the network port tests: a listener that hands each connection to a
// function, one whose queue is full so that connecting hangs, ser2net started on a configuration of
// the test's own, and free port numbers.
#pragma once

#include <arpa/inet.h>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace quellmarin::test {

inline int ListeningSocket(int backlog, int port = 0) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, backlog) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

inline int PortOf(int fd) {
    sockaddr_in a{};
    socklen_t n = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    return ntohs(a.sin_port);
}

// A port number nobody listens on now (bound once, then let go).
inline int FreePort() {
    const int fd = ListeningSocket(1);
    const int port = PortOf(fd);
    ::close(fd);
    return port;
}

// Reads what has come within `timeout`, at most `max` bytes.
inline std::string ReadFor(int fd, std::chrono::milliseconds timeout, std::size_t max = 4096) {
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.size() < max) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char buf[4096];
        const ssize_t n = ::recv(fd, buf, std::min(sizeof buf, max - out.size()), 0);
        if (n <= 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
}

// Reads and forgets whatever comes until the client closes (or the listener stops).
inline void UntilClosed(int fd, const std::atomic<bool>& stop) {
    while (!stop) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        char buf[512];
        if (::recv(fd, buf, sizeof buf, 0) <= 0) return;
    }
}

inline void SendAll(int fd, const std::string& bytes) {
    (void)::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

// Accepts connections on 127.0.0.1 and runs `serve` on each (one at a time); the socket is closed
// when `serve` returns.
class TestListener {
  public:
    using Serve = std::function<void(int fd, const std::atomic<bool>& stop)>;
    explicit TestListener(Serve serve) : fd_(ListeningSocket(4)), serve_(std::move(serve)) {
        thread_ = std::thread([this] {
            while (!stop_) {
                pollfd p{fd_, POLLIN, 0};
                if (::poll(&p, 1, 20) <= 0) continue;
                const int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
                if (c < 0) continue;
                ++accepted_;
                serve_(c, stop_);
                ::close(c);
            }
        });
    }
    ~TestListener() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    int Port() const { return PortOf(fd_); }
    int Accepted() const { return accepted_; }

  private:
    int fd_;
    Serve serve_;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::thread thread_;
};

// A listener whose accept queue is full and that never accepts: connecting to it hangs.
class FullListener {
  public:
    FullListener() : fd_(ListeningSocket(0)) {
        filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(PortOf(fd_)));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(filler_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    ~FullListener() {
        ::close(filler_);
        ::close(fd_);
    }
    int Port() const { return PortOf(fd_); }

  private:
    int fd_;
    int filler_;
};

// ser2net in the foreground on a configuration written for the test; stopped with the object.
class Ser2net {
  public:
    static bool Installed() { return ::access("/usr/sbin/ser2net", X_OK) == 0; }

    Ser2net(const std::string& configPath, const std::string& yaml) {
        std::ofstream(configPath) << yaml;
        pid_ = ::fork();
        if (pid_ == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::execl("/usr/sbin/ser2net", "ser2net", "-n", "-c", configPath.c_str(), "-P",
                    (configPath + ".pid").c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~Ser2net() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 300 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i) ::usleep(10000);
        if (::waitpid(pid_, &status, WNOHANG) == 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
        }
    }
    bool Running() const { return pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0; }

  private:
    pid_t pid_ = -1;
};

} // namespace quellmarin::test
