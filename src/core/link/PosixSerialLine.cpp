// Serial ports through termios: raw 8-bit mode, the exclusive open of TIOCEXCL (plus an advisory
// lock, which also holds against root), tcflush for the purge and FIONREAD for the receive count.
#include "link/PosixSerialLine.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace quellmarin {

namespace {

using Clock = std::chrono::steady_clock;

speed_t SpeedOf(int baud) {
    switch (baud) {
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return B0;
    }
}

int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

PortProblem ProblemOfOpenError(const std::string& path, int error) {
    PortProblem p;
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENXIO:
    case ENODEV:
        p.fault = PortFault::Missing;
        break;
    case EBUSY:
        // The terminal's exclusive mode, set by the program that holds it.
        p.fault = PortFault::Busy;
        break;
    case EACCES:
    case EPERM: {
        p.fault = PortFault::NoPermission;
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && st.st_gid != 0) {
            group g{};
            group* found = nullptr;
            char buf[4096];
            if (::getgrgid_r(st.st_gid, &g, buf, sizeof buf, &found) == 0 && found && found->gr_name)
                p.group = found->gr_name;
        }
        break;
    }
    default:
        p.fault = PortFault::Other;
        p.detail = std::strerror(error);
        break;
    }
    return p;
}

class PosixSerialLine : public SerialLine {
  public:
    PosixSerialLine() = default;
    // A descriptor that is already open, such as the master side of a pseudo-terminal.
    explicit PosixSerialLine(int fd) : fd_(fd), adopted_(true) {}
    ~PosixSerialLine() override { Close(); }

    bool Open(const std::string& path, bool) override {
        if (fd_ >= 0) return true;
        problem_ = {};
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            problem_ = ProblemOfOpenError(path, errno);
            return false;
        }
        if (::isatty(fd) != 1) {
            problem_.fault = PortFault::NotSerial;
            ::close(fd);
            return false;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            problem_.fault = PortFault::Busy;
            ::close(fd);
            return false;
        }
        ::ioctl(fd, TIOCEXCL);
        termios tio{};
        if (::tcgetattr(fd, &tio) == 0) {
            ::cfmakeraw(&tio);
            tio.c_cflag |= CLOCAL | CREAD;
            tio.c_cc[VMIN] = 0;
            tio.c_cc[VTIME] = 0;
            ::tcsetattr(fd, TCSANOW, &tio);
        }
        fd_ = fd;
        rx_.clear();
        Purge();
        return true;
    }

    bool IsOpen() const override { return fd_ >= 0; }
    PortProblem LastProblem() const override { return problem_; }

    void Close() override {
        if (fd_ < 0) return;
        if (!adopted_) {
            ::ioctl(fd_, TIOCNXCL);
            ::flock(fd_, LOCK_UN);
        }
        ::close(fd_);
        fd_ = -1;
        rx_.clear();
    }

    bool Configure(const LineConfig& c) override {
        if (fd_ < 0) return false;
        termios tio{};
        if (::tcgetattr(fd_, &tio) != 0) return false;
        const speed_t speed = SpeedOf(c.baud);
        if (speed == B0 || ::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0) return false;
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
        switch (c.byteSize) {
        case 5:
            tio.c_cflag |= CS5;
            break;
        case 6:
            tio.c_cflag |= CS6;
            break;
        case 7:
            tio.c_cflag |= CS7;
            break;
        default:
            tio.c_cflag |= CS8;
            break;
        }
        if (c.parity == Parity::Odd) tio.c_cflag |= PARENB | PARODD;
        if (c.parity == Parity::Even) tio.c_cflag |= PARENB;
        if (c.stopBits == 2) tio.c_cflag |= CSTOPB;
        return ::tcsetattr(fd_, TCSANOW, &tio) == 0;
    }

    void SetQueueSizes(std::size_t, std::size_t) override {}

    void Purge() override {
        if (fd_ < 0) return;
        ::tcflush(fd_, TCIOFLUSH);
        rx_.clear();
    }

    bool WaitSent(std::chrono::milliseconds timeout) override {
        if (fd_ < 0) return false;
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            int queued = 0;
            if (::ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) return true;
            if (Clock::now() >= deadline) return false;
            ::usleep(2000);
        }
    }

    std::size_t BytesWaiting() override {
        if (fd_ < 0) return 0;
        int n = 0;
        if (::ioctl(fd_, FIONREAD, &n) != 0 || n < 0) n = 0;
        return rx_.size() + static_cast<std::size_t>(n);
    }

    std::string Read(std::size_t max) override {
        std::string out;
        if (fd_ < 0) return out;
        const std::size_t fromBuffer = std::min(max, rx_.size());
        out.assign(rx_, 0, fromBuffer);
        rx_.erase(0, fromBuffer);
        while (out.size() < max) {
            char buf[2048];
            const ssize_t n = ::read(fd_, buf, std::min(sizeof buf, max - out.size()));
            if (n <= 0) break;
            out.append(buf, static_cast<std::size_t>(n));
        }
        return out;
    }

    std::size_t Write(std::string_view data, std::chrono::milliseconds timeout) override {
        if (fd_ < 0) return 0;
        const auto deadline = Clock::now() + timeout;
        std::size_t done = 0;
        while (done < data.size()) {
            const ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) break;
            pollfd p{fd_, POLLOUT, 0};
            const int left = RemainingMs(deadline);
            if (left == 0 || ::poll(&p, 1, left) <= 0) break;
        }
        return done;
    }

    bool WaitForBytes(std::size_t count, std::chrono::milliseconds timeout) override {
        if (fd_ < 0) return false;
        const auto deadline = Clock::now() + timeout;
        // Arrived bytes are moved into our own buffer, so that poll blocks until new ones come.
        for (;;) {
            Drain();
            if (rx_.size() >= count) return true;
            const int left = RemainingMs(deadline);
            if (left == 0) return false;
            pollfd p{fd_, POLLIN, 0};
            const int r = ::poll(&p, 1, left);
            if (r < 0 && errno != EINTR) return false;
            if (r > 0 && (p.revents & (POLLERR | POLLNVAL))) return false;
            if (r > 0 && (p.revents & POLLHUP) && !(p.revents & POLLIN)) {
                // The other side of a pseudo-terminal went away: nothing more will come.
                ::usleep(1000);
            }
        }
    }

  private:
    void Drain() {
        char buf[2048];
        for (;;) {
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0) break;
            rx_.append(buf, static_cast<std::size_t>(n));
            if (rx_.size() > (1u << 20)) break;
        }
    }

    int fd_ = -1;
    bool adopted_ = false;
    PortProblem problem_;
    std::string rx_;
};

} // namespace

std::unique_ptr<SerialLine> CreatePlatformLine() {
    return std::make_unique<PosixSerialLine>();
}

std::unique_ptr<SerialLine> AdoptPosixDescriptor(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return std::make_unique<PosixSerialLine>(fd);
}

} // namespace quellmarin
