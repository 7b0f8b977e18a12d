// A serial line through a network serial server. Sockets are non-blocking throughout: connecting,
// sending and waiting use poll with the time left, so no call outlives its time-out. Telnet ports run
// every received byte through the codec and send its answers as they come.
#include "link/NetworkSerialLine.h"

#include "link/NetworkPort.h"
#include "link/Telnet.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace quellmarin {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// ---- The little that differs between POSIX sockets and Winsock -----------------------------------
#if defined(_WIN32)
using Socket = SOCKET;
const Socket kNoSocket = INVALID_SOCKET;
constexpr int kSendFlags = 0;
int LastError() {
    return WSAGetLastError();
}
bool WouldBlock(int e) {
    return e == WSAEWOULDBLOCK;
}
bool ConnectPending(int e) {
    return e == WSAEWOULDBLOCK || e == WSAEINPROGRESS;
}
bool Refused(int e) {
    return e == WSAECONNREFUSED;
}
bool Unreachable(int e) {
    return e == WSAENETUNREACH || e == WSAEHOSTUNREACH;
}
int PollSocket(pollfd* p, int timeoutMs) {
    return WSAPoll(p, 1, timeoutMs);
}
void CloseSocket(Socket s) {
    closesocket(s);
}
void SetNonBlocking(Socket s) {
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
}
std::string ErrorText(int e) {
    char buf[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(e), 0,
                   buf, sizeof buf, nullptr);
    std::string text(buf);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) text.pop_back();
    return text;
}
void StartSockets() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}
#else
using Socket = int;
constexpr Socket kNoSocket = -1;
constexpr int kSendFlags = MSG_NOSIGNAL;
int LastError() {
    return errno;
}
bool WouldBlock(int e) {
    return e == EAGAIN || e == EWOULDBLOCK || e == EINTR;
}
bool ConnectPending(int e) {
    return e == EINPROGRESS || e == EINTR;
}
bool Refused(int e) {
    return e == ECONNREFUSED;
}
bool Unreachable(int e) {
    return e == ENETUNREACH || e == EHOSTUNREACH;
}
int PollSocket(pollfd* p, int timeoutMs) {
    return ::poll(p, 1, timeoutMs);
}
void CloseSocket(Socket s) {
    ::close(s);
}
void SetNonBlocking(Socket s) {
    ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL) | O_NONBLOCK);
}
std::string ErrorText(int e) {
    return std::strerror(e);
}
void StartSockets() {}
#endif

int LeftMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(std::min<long long>(left, 60'000)) : 0;
}

std::string Seconds(milliseconds t) {
    const long long ms = t.count();
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

// The ports this program holds open, so that a second user within it is refused like a busy port.
std::mutex g_claimMutex;
std::set<std::string> g_claimed;

bool Claim(const std::string& name) {
    std::lock_guard lock(g_claimMutex);
    return g_claimed.insert(name).second;
}

void Release(const std::string& name) {
    std::lock_guard lock(g_claimMutex);
    g_claimed.erase(name);
}

// Name resolution with a deadline: getaddrinfo has none, so it runs on a thread of its own that is
// left to finish by itself when the deadline passes first.
struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int status = 0;
    addrinfo* result = nullptr;
    ~Lookup() {
        if (result) freeaddrinfo(result);
    }
};

std::shared_ptr<Lookup> Resolve(const NetworkAddress& a, Clock::time_point deadline) {
    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, host = a.host, service = std::to_string(a.port)] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_protocol = IPPROTO_TCP;
        addrinfo* result = nullptr;
        const int status = getaddrinfo(host.c_str(), service.c_str(), &hints, &result);
        std::lock_guard lock(lookup->mutex);
        lookup->status = status;
        lookup->result = result;
        lookup->finished = true;
        lookup->done.notify_all();
    }).detach();
    std::unique_lock lock(lookup->mutex);
    lookup->done.wait_until(lock, deadline, [&] { return lookup->finished; });
    return lookup;
}

void KeepAlive(Socket s) {
    // A server that vanished without closing (power cut, cable pulled) is found within about 11 s
    // even while the link is idle.
    int on = 1;
    setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on);
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
#if defined(__linux__)
    int idle = 5, interval = 2, count = 3;
    setsockopt(s, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    setsockopt(s, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    setsockopt(s, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
#endif
}

// Printable words a server sent before it closed ("Port already in use"), for the message.
std::string Printable(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        if (out.size() >= 80) break;
        if (c == '\r' || c == '\n') {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else if (static_cast<unsigned char>(c) >= 32 && static_cast<unsigned char>(c) < 127) {
            out += c;
        }
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

constexpr milliseconds kPurgeWait{500};

class NetworkSerialLine : public SerialLine {
  public:
    NetworkSerialLine() { StartSockets(); }
    NetworkSerialLine(Socket adopted, bool telnet)
        : socket_(adopted), telnet_(telnet), codec_(TelnetCodec::Role::Server), server_(true) {
        SetNonBlocking(socket_);
        KeepAlive(socket_);
    }
    ~NetworkSerialLine() override { Close(); }

    bool Open(const std::string& path, bool) override {
        if (socket_ != kNoSocket) return true;
        problem_ = {};
        std::string why;
        const auto address = ParseNetworkPort(path, &why);
        if (!address) return Fail(why);
        name_ = NetworkPortName(*address);
        if (!Claim(name_)) {
            name_.clear();
            return Fail("this program is already using the port");
        }
        const auto deadline = Clock::now() + kConnectTimeout;
        if (!Connect(*address, deadline)) {
            Release(name_);
            name_.clear();
            return false;
        }
        telnet_ = address->kind == NetworkKind::Rfc2217;
        codec_ = TelnetCodec(TelnetCodec::Role::Client);
        broken_ = false;
        received_.clear();
        rx_.clear();
        if (telnet_ && !NegotiateComPort(deadline)) {
            Close();
            return false;
        }
        return true;
    }

    PortProblem LastProblem() const override { return problem_; }
    bool IsOpen() const override { return socket_ != kNoSocket; }

    void Close() override {
        if (socket_ != kNoSocket) CloseSocket(socket_);
        socket_ = kNoSocket;
        if (!name_.empty()) Release(name_);
        name_.clear();
        rx_.clear();
    }

    bool Configure(const LineConfig& config) override {
        if (socket_ == kNoSocket) return false;
        // A raw port's line settings are the server's own.
        if (!telnet_ || server_) return true;
        codec_.ForgetAnswers();
        if (!Send(TelnetCodec::LineRequests(config), kConnectTimeout)) return Fail(ClosedText());
        const auto deadline = Clock::now() + kConnectTimeout;
        static constexpr unsigned char kSettings[] = {TelnetCodec::kSetBaudRate, TelnetCodec::kSetDataSize,
                                                      TelnetCodec::kSetParity, TelnetCodec::kSetStopSize};
        const auto answered = [&] {
            return std::all_of(std::begin(kSettings), std::end(kSettings),
                               [&](unsigned char c) { return codec_.Answer(c).has_value(); });
        };
        while (!answered() && !broken_ && LeftMs(deadline) > 0) WaitReadable(deadline);
        if (broken_) return Fail(ClosedText());
        if (!answered())
            return Fail("the server did not confirm the line settings within " + Seconds(kConnectTimeout));
        for (const unsigned char c : kSettings)
            if (*codec_.Answer(c) != TelnetCodec::SettingValue(c, config))
                return Fail("the server did not take the line settings " + std::to_string(config.baud) + " baud " +
                            std::to_string(config.byteSize) + "N" + std::to_string(config.stopBits) +
                            " (the serial port behind it may not allow them)");
        return true;
    }

    void SetQueueSizes(std::size_t, std::size_t) override {}

    void Purge() override {
        DiscardReceived();
        if (!telnet_ || server_ || socket_ == kNoSocket || broken_) return;
        // The server's own buffers too: what the device sent that has not come yet, and what was sent
        // to the device and has not left. A server may carry out the purge apart from the data, so
        // nothing is sent before it has confirmed it (or the short wait has passed).
        codec_.ForgetAnswer(TelnetCodec::kPurgeData);
        if (!Send(TelnetCodec::ComPortRequest(TelnetCodec::kPurgeData,
                                              std::string(1, static_cast<char>(TelnetCodec::kPurgeBoth))),
                  kPurgeWait))
            return;
        const auto deadline = Clock::now() + kPurgeWait;
        while (!codec_.Answer(TelnetCodec::kPurgeData) && !broken_ && LeftMs(deadline) > 0) WaitReadable(deadline);
        rx_.clear();
    }

    void DiscardReceived() override {
        if (socket_ == kNoSocket) return;
        Pump();
        rx_.clear();
    }

    bool WaitSent(milliseconds) override { return socket_ != kNoSocket; }

    std::size_t BytesWaiting() override {
        Pump();
        return rx_.size();
    }

    std::string Read(std::size_t max) override {
        Pump();
        const std::size_t n = std::min(max, rx_.size());
        std::string out = rx_.substr(0, n);
        rx_.erase(0, n);
        return out;
    }

    std::size_t Write(std::string_view data, milliseconds timeout) override {
        if (socket_ == kNoSocket || broken_) return 0;
        return Send(telnet_ ? TelnetCodec::Escape(data) : std::string(data), timeout) ? data.size() : 0;
    }

    bool WaitForBytes(std::size_t count, milliseconds timeout) override {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            Pump();
            if (rx_.size() >= count) return true;
            if (LeftMs(deadline) == 0) return false;
            if (socket_ == kNoSocket || broken_) {
                // Nothing more can come: to the program the wait is the silence of a line with nobody
                // on it; the server side is told at once, so that it can take the next client.
                if (!server_) std::this_thread::sleep_until(deadline);
                return false;
            }
            WaitReadable(deadline);
        }
    }

    bool Broken() const override { return broken_; }

    bool Verify(milliseconds timeout) override {
        if (socket_ == kNoSocket) return false;
        const auto deadline = Clock::now() + timeout;
        // The whole time, even once bytes have come: a server that says why and then closes is told
        // apart from one that talks and stays.
        while (!broken_ && LeftMs(deadline) > 0) WaitReadable(deadline);
        if (broken_) return Fail(ClosedText());
        if (!telnet_ && !received_.empty()) {
            if (static_cast<unsigned char>(received_[0]) == TelnetCodec::kIac)
                return Fail("the server speaks Telnet on this port: name it rfc2217://" +
                            name_.substr(name_.find("://") + 3));
            return Fail("the server sent bytes before it was asked anything (is it the serial server's port?)");
        }
        return true;
    }

  private:
    bool Fail(std::string reason) {
        problem_.fault = PortFault::Network;
        problem_.detail = std::move(reason);
        return false;
    }

    std::string ClosedText() const {
        const std::string said = Printable(received_);
        return said.empty() ? "the server closed the connection"
                            : "the server closed the connection, saying \"" + said + "\"";
    }

    bool Connect(const NetworkAddress& a, Clock::time_point deadline) {
        const auto lookup = Resolve(a, deadline);
        std::lock_guard lock(lookup->mutex);
        if (!lookup->finished)
            return Fail("looking up the host \"" + a.host + "\" took longer than " + Seconds(kConnectTimeout) +
                        " (is the name server reachable?)");
        if (lookup->status != 0 || !lookup->result) {
#if defined(EAI_AGAIN)
            if (lookup->status == EAI_AGAIN)
                return Fail("the host \"" + a.host + "\" could not be looked up now (is the name server reachable?)");
#endif
            return Fail("there is no host named \"" + a.host + "\"");
        }
        int lastError = 0;
        bool timedOut = false;
        for (const addrinfo* ai = lookup->result; ai; ai = ai->ai_next) {
            const Socket s = socket(ai->ai_family, ai->ai_socktype, ai->ai_protocol);
            if (s == kNoSocket) {
                lastError = LastError();
                continue;
            }
#if !defined(_WIN32)
            ::fcntl(s, F_SETFD, FD_CLOEXEC);
#endif
            SetNonBlocking(s);
            int error = 0;
            if (connect(s, ai->ai_addr, static_cast<int>(ai->ai_addrlen)) != 0) {
                error = LastError();
                if (ConnectPending(error)) {
                    pollfd p{};
                    p.fd = s;
                    p.events = POLLOUT;
                    const int r = PollSocket(&p, LeftMs(deadline));
                    if (r == 0) {
                        timedOut = true;
                        error = 0;
                    } else {
                        int soError = 0;
                        socklen_t len = sizeof soError;
                        getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &len);
                        error = r < 0 ? LastError() : soError;
                        if (r > 0 && error == 0) {
                            Connected(s);
                            return true;
                        }
                    }
                }
            } else {
                Connected(s);
                return true;
            }
            CloseSocket(s);
            if (error != 0) lastError = error;
            if (LeftMs(deadline) == 0) break;
        }
        const std::string where = HostAndPort(a);
        if (timedOut || LeftMs(deadline) == 0)
            return Fail("no answer from " + where + " within " + Seconds(kConnectTimeout) +
                        " (is the server on, and the address right?)");
        if (Refused(lastError))
            return Fail("the connection to " + where +
                        " was refused (is the serial server running, and is " + std::to_string(a.port) +
                        " its port?)");
        if (Unreachable(lastError)) return Fail(where + " cannot be reached from here (" + ErrorText(lastError) + ")");
        return Fail("cannot connect to " + where + " (" + ErrorText(lastError) + ")");
    }

    void Connected(Socket s) {
        socket_ = s;
        KeepAlive(s);
        QuickAck();
    }

    bool NegotiateComPort(Clock::time_point deadline) {
        if (!Send(codec_.Greeting(), milliseconds(LeftMs(deadline)))) return Fail(ClosedText());
        while (codec_.ComPort() == TelnetCodec::ComPortState::Unknown && !broken_ && LeftMs(deadline) > 0)
            WaitReadable(deadline);
        switch (codec_.ComPort()) {
        case TelnetCodec::ComPortState::Accepted:
            return true;
        case TelnetCodec::ComPortState::Refused:
            return Fail("the server does not offer COM-port control (RFC 2217) on this port; for a raw port "
                        "name it tcp://" +
                        name_.substr(name_.find("://") + 3));
        case TelnetCodec::ComPortState::Unknown:
            break;
        }
        if (broken_) return Fail(ClosedText());
        return Fail("the server did not take up COM-port control (RFC 2217) within " + Seconds(kConnectTimeout) +
                    " (is it a Telnet port?)");
    }

    // Waits until the socket has something to read or the deadline passes, then takes it in.
    void WaitReadable(Clock::time_point deadline) {
        if (socket_ == kNoSocket || broken_) return;
        pollfd p{};
        p.fd = socket_;
        p.events = POLLIN;
        if (PollSocket(&p, LeftMs(deadline)) > 0) Pump();
    }

    // A server that holds back small segments until the last one is acknowledged (Nagle's rule, the
    // default of most serial servers) would otherwise wait for the delayed acknowledgement, some 40 ms,
    // before the rest of a reply; Linux forgets the setting after each read, so it is set again.
    void QuickAck() {
#if defined(__linux__)
        int on = 1;
        setsockopt(socket_, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
#endif
    }

    // Takes in everything the socket holds: data into the receive buffer, Telnet answered.
    void Pump() {
        if (socket_ == kNoSocket || broken_) return;
        for (;;) {
            char buf[4096];
            const auto n = recv(socket_, buf, sizeof buf, 0);
            if (n == 0) {
                broken_ = true;
                return;
            }
            if (n < 0) {
                if (!WouldBlock(LastError())) broken_ = true;
                return;
            }
            QuickAck();
            const std::string_view bytes(buf, static_cast<std::size_t>(n));
            if (received_.size() < 256) received_.append(bytes.substr(0, 256 - received_.size()));
            if (!telnet_) {
                rx_.append(bytes);
            } else {
                std::string answers;
                const std::size_t before = static_cast<std::size_t>(codec_.PurgesAsked());
                std::string data = codec_.Take(bytes, answers);
                // The client purged the device's input: whatever it had not yet taken goes too.
                if (static_cast<std::size_t>(codec_.PurgesAsked()) != before) rx_.clear();
                rx_ += data;
                if (!answers.empty()) (void)Send(answers, milliseconds(200));
            }
            // Nothing the device says is this long; a server that floods is cut off here.
            if (rx_.size() > (1u << 20)) rx_.erase(0, rx_.size() - (1u << 20));
        }
    }

    bool Send(const std::string& bytes, milliseconds timeout) {
        if (socket_ == kNoSocket || broken_) return false;
        const auto deadline = Clock::now() + timeout;
        std::size_t done = 0;
        while (done < bytes.size()) {
            const auto n = send(socket_, bytes.data() + done, static_cast<int>(bytes.size() - done), kSendFlags);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && !WouldBlock(LastError())) {
                broken_ = true;
                return false;
            }
            pollfd p{};
            p.fd = socket_;
            p.events = POLLOUT;
            if (LeftMs(deadline) == 0 || PollSocket(&p, LeftMs(deadline)) <= 0) return false;
        }
        return true;
    }

    Socket socket_ = kNoSocket;
    bool telnet_ = false;
    TelnetCodec codec_{TelnetCodec::Role::Client};
    bool server_ = false;
    bool broken_ = false;
    std::string name_;
    std::string rx_;
    std::string received_; // the first bytes of the connection, for what a closing server said
    PortProblem problem_;
};

} // namespace

std::unique_ptr<SerialLine> CreateNetworkLine() {
    return std::make_unique<NetworkSerialLine>();
}

std::unique_ptr<SerialLine> AdoptServerSocket(std::intptr_t socket, bool telnet) {
    StartSockets();
    return std::make_unique<NetworkSerialLine>(static_cast<Socket>(socket), telnet);
}

} // namespace quellmarin
