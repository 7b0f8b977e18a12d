#include "sim/PseudoTerminal.h"

#include "link/PosixSerialLine.h"

#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace quellmarin::sim {

PseudoTerminal::PseudoTerminal() {
    const int m = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m < 0) return;
    const char* name = ::ptsname(m);
    if (::grantpt(m) != 0 || ::unlockpt(m) != 0 || !name) {
        ::close(m);
        return;
    }
    slavePath_ = name;
    // Raw from the start, so that nothing the processor sends is echoed or edited before the program
    // has opened the port; holding the slave open also spares the master a hang-up while it is closed.
    slaveKeeper_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveKeeper_ >= 0) {
        termios tio{};
        if (::tcgetattr(slaveKeeper_, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::cfsetispeed(&tio, B38400);
            ::cfsetospeed(&tio, B38400);
            ::tcsetattr(slaveKeeper_, TCSANOW, &tio);
        }
    }
    master_ = m;
}

PseudoTerminal::~PseudoTerminal() {
    if (slaveKeeper_ >= 0) ::close(slaveKeeper_);
    if (master_ >= 0) ::close(master_);
}

LineConfig PseudoTerminal::LineSettings() const {
    LineConfig c{0, Parity::None, 0, 0};
    termios tio{};
    if (slaveKeeper_ < 0 || ::tcgetattr(slaveKeeper_, &tio) != 0) return c;
    switch (::cfgetospeed(&tio)) {
    case B9600:
        c.baud = 9600;
        break;
    case B19200:
        c.baud = 19200;
        break;
    case B38400:
        c.baud = 38400;
        break;
    case B57600:
        c.baud = 57600;
        break;
    case B115200:
        c.baud = 115200;
        break;
    default:
        break;
    }
    switch (tio.c_cflag & CSIZE) {
    case CS5:
        c.byteSize = 5;
        break;
    case CS6:
        c.byteSize = 6;
        break;
    case CS7:
        c.byteSize = 7;
        break;
    default:
        c.byteSize = 8;
        break;
    }
    c.parity = !(tio.c_cflag & PARENB) ? Parity::None : (tio.c_cflag & PARODD) ? Parity::Odd : Parity::Even;
    c.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
    return c;
}

std::unique_ptr<SerialLine> PseudoTerminal::TakeMaster() {
    if (master_ < 0) return nullptr;
    const int fd = master_;
    master_ = -1;
    return AdoptPosixDescriptor(fd);
}

} // namespace quellmarin::sim
