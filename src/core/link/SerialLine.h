// What the link needs of a serial port: open by path (exclusively), line settings, purge, the count of
// bytes waiting, reads that return at once, bounded writes, and a wait for bytes to arrive. Four
// kinds implement it: POSIX termios, Win32 (built on Windows only), a network serial server
// (NetworkSerialLine.h) and an in-memory loopback pair.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace quellmarin {

enum class Parity { None, Odd, Even };

// Why a port could not be opened.
// Network: a network port that could not be reached or used; `detail` says why in the user's words.
enum class PortFault { None, Missing, NotSerial, Busy, NoPermission, Other, Network };
struct PortProblem {
    PortFault fault = PortFault::None;
    std::string group;  // NoPermission: the group that owns the device file, when known
    std::string detail; // Other: the system's words; Network: the reason
};

struct LineConfig {
    int baud = 38400;
    Parity parity = Parity::None;
    int byteSize = 8;
    int stopBits = 1;
};

class SerialLine {
  public:
    virtual ~SerialLine() = default;

    // Opens the port for reading and writing, refusing a port that another user holds. `overlapped`
    // selects the asynchronous flavour where the platform distinguishes one.
    virtual bool Open(const std::string& path, bool overlapped = false) = 0;
    // Why the last Open failed.
    virtual PortProblem LastProblem() const { return {PortFault::Other, {}, {}}; }
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;
    // False when the platform refuses the settings.
    virtual bool Configure(const LineConfig& config) = 0;
    virtual void SetQueueSizes(std::size_t in, std::size_t out) = 0;
    // Discards everything received and not yet sent.
    virtual void Purge() = 0;
    // Discards what has been received, as after each read. A network serial server is not asked to
    // purge its own buffers each time (Purge does that).
    virtual void DiscardReceived() { Purge(); }
    // Waits until everything written has left, for at most the time-out; true when it has.
    virtual bool WaitSent(std::chrono::milliseconds timeout) = 0;
    virtual std::size_t BytesWaiting() = 0;
    // At most `max` of the bytes that have arrived; never waits.
    virtual std::string Read(std::size_t max) = 0;
    // Writes all bytes within the time-out; returns how many were written.
    virtual std::size_t Write(std::string_view data, std::chrono::milliseconds timeout) = 0;
    // Waits until at least `count` bytes are waiting or the time-out passes; true when they are.
    virtual bool WaitForBytes(std::size_t count, std::chrono::milliseconds timeout) = 0;
    // True once the other end has gone for good (a network server that closed or reset the
    // connection): nothing more will arrive until the port is opened again.
    virtual bool Broken() const { return false; }
    // Checks, for at most the time given, that an open port is usable beyond being open: a network
    // server that closes at once or talks before it is asked fails it (LastProblem says how). A local
    // port has nothing more to show.
    virtual bool Verify(std::chrono::milliseconds) { return true; }
};

// Creates the right kind of line for a port path.
class PortProvider {
  public:
    virtual ~PortProvider() = default;
    virtual std::unique_ptr<SerialLine> Create(const std::string& path) = 0;
};

// Both ends of an in-memory serial line: what one end writes, the other reads. Only one user may hold
// the host end open at a time, like a real port.
class LoopbackHub : public std::enable_shared_from_this<LoopbackHub> {
  public:
    static std::shared_ptr<LoopbackHub> Create();
    std::unique_ptr<SerialLine> HostEnd();
    std::unique_ptr<SerialLine> DeviceEnd();

    struct Direction;
    struct State;

  private:
    LoopbackHub();
    std::shared_ptr<State> state_;
};

// The platform's ports, plus in-memory ports registered under a name (the built-in virtual processor).
class SystemPortProvider : public PortProvider {
  public:
    std::unique_ptr<SerialLine> Create(const std::string& path) override;
    void RegisterVirtualPort(const std::string& path, std::shared_ptr<LoopbackHub> hub);
    void UnregisterVirtualPort(const std::string& path);
    bool IsVirtualPort(const std::string& path) const;

  private:
    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<LoopbackHub>> virtualPorts_;
};

// A line of the platform's own kind (termios or Win32).
std::unique_ptr<SerialLine> CreatePlatformLine();

} // namespace quellmarin
