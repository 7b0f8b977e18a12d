// quellmarin-server run as its service runs it, for the tests of the headless server and its bridge:
// the process with its state directory in STATE_DIRECTORY and its log on standard error, stopped
// with SIGTERM; and small helpers to read its files and run the tools.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace quellmarin::test {

// A loopback port nothing listens on now.
inline int FreePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    ::close(s);
    return ntohs(a.sin_port);
}

inline std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Waits, within `ms`, until the file holds `text`.
inline bool WaitFor(const std::filesystem::path& file, const std::string& text, int ms = 15000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (ReadAll(file).find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// A program run to its end; its exit code and what it printed.
struct Ran {
    int code = -1;
    std::string out;
};
inline Ran RunProgram(const std::string& command) {
    Ran r;
    if (FILE* pipe = ::popen((command + " 2>&1").c_str(), "r")) {
        char buffer[4096];
        while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) r.out.append(buffer, n);
        const int status = ::pclose(pipe);
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return r;
}

// quellmarin-server started as systemd starts it (its state directory in STATE_DIRECTORY, its log on
// standard error), stopped as systemd stops it.
class ServerProcess {
  public:
    ServerProcess(const std::vector<std::string>& args, const std::filesystem::path& state, const std::filesystem::path& log) {
        pid_ = ::fork();
        if (pid_ == 0) {
            const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(fd, 2);
            ::setenv("STATE_DIRECTORY", state.c_str(), 1);
            std::vector<std::string> copy = args;
            std::vector<char*> argv;
            static std::string bin = QUELLMARIN_SERVER_PATH;
            argv.push_back(bin.data());
            for (auto& a : copy) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(bin.c_str(), argv.data());
            ::_exit(127);
        }
    }
    // SIGTERM, then its exit code (-1 when it did not end within the stop time of its service).
    int Stop() {
        if (pid_ <= 0) return -1;
        ::kill(pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 1000 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i) ::usleep(10000);
        if (::waitpid(pid_, &status, WNOHANG) == 0 && ::kill(pid_, 0) == 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            pid_ = -1;
            return -1;
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    pid_t Pid() const { return pid_; }
    // Gone at once, as a process the system kills.
    void Kill() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }
    int Wait() {
        int status = 0;
        for (int i = 0; i < 1000 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i) ::usleep(10000);
        const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        pid_ = -1;
        return code;
    }
    ~ServerProcess() {
        if (pid_ > 0) Stop();
    }

  private:
    pid_t pid_ = -1;
};

// The port it listens on, from its log: "listening on 127.0.0.1 port N".
inline int ListeningPort(const std::filesystem::path& log) {
    const std::string text = ReadAll(log);
    const std::size_t at = text.find("listening on 127.0.0.1 port ");
    return at == std::string::npos ? 0 : std::atoi(text.c_str() + at + 28);
}


} // namespace quellmarin::test
