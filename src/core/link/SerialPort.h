// The two port objects of the program. CSerialPort carries every command, reply and the scan with
// reads that return at once and an exclusive flag that shuts out the plain reads and writes while an
// exchange runs. CThreadedComm is the secondary port that only writes the whole-record download.
#pragma once

#include "link/SerialLine.h"
#include "link/Timings.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace quellmarin {

inline constexpr std::string_view kParityNone = "无NONE";
inline constexpr std::string_view kParityOdd = "奇ODD";
inline constexpr std::string_view kParityEven = "偶EVEN";
inline constexpr std::string_view kBaudRate = "38400";
inline constexpr std::size_t kReadLimit = 2048;

class CSerialPort {
  public:
    enum OpenResult { kOpened = 0, kCannotOpen = 1, kSettingMissing = 2, kSettingsRefused = 3 };

    explicit CSerialPort(PortProvider& provider, const LinkTimings& timings = {});
    ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    void SetPortName(std::string path) { portName_ = std::move(path); }
    const std::string& PortName() const { return portName_; }
    void SetLineSettings(std::string baud, std::string parity, std::string byteSize, std::string stopBits);
    // The device's settings: 38400 baud, no parity, 8 data bits, one stop bit.
    void SetDeviceLineSettings();
    void SetTimings(const LinkTimings& timings) { timings_ = timings; }
    // Sees every text written (`sent`) and every non-empty read, as it went, with the port's name (for
    // logs). Set it before the port is used from another thread.
    using Tap = std::function<void(std::string_view port, bool sent, std::string_view text)>;
    void SetTap(Tap tap) { tap_ = std::move(tap); }

    // 0 opened (or already open), 1 the port cannot be opened, 2 a setting is empty, 3 the port refused
    // the settings. On 2 and 3 the port is closed again.
    int Open();
    void Close();
    bool IsOpen() const { return isOpen_; }
    // The other end went for good (a network server closed the connection): nothing more will come
    // until the port is opened again.
    bool LineBroken() const { return line_ && line_->Broken(); }

    // Plain writes and reads do nothing while an exclusive exchange runs; the "Always" forms ignore
    // the flag. A write takes texts below 2048 characters; a read returns at most 2048 bytes of what
    // has arrived and then discards the rest.
    bool WriteText(std::string_view text);
    bool WriteTextAlways(std::string_view text);
    std::string ReadText();
    std::string ReadTextAlways();

    // Waits until everything written has left the port, for at most the time-out.
    bool Drain(std::chrono::milliseconds timeout);
    void BeginExclusive();
    void EndExclusive() { exclusive_ = false; }
    bool Exclusive() const { return exclusive_; }
    void PurgeAll();

    // Waits up to `timeout` for a reply. With a known length the wait ends as soon as that many bytes
    // have arrived and nothing more followed for the quiet gap; without one it lasts the whole time.
    // A set `interrupt` flag ends it early too (looked at every 20 ms).
    void WaitForReply(std::size_t expected, std::chrono::milliseconds timeout,
                      const std::atomic<bool>* interrupt = nullptr);

    // Reads a reply as it arrives and returns it as soon as `complete` holds for what has come; a
    // reply of the known length that does not satisfy it ends after the quiet gap, and nothing after
    // the time-out (or a set `interrupt`). Returns nothing while an exclusive exchange runs.
    std::string ReadReply(std::size_t expected, std::chrono::milliseconds timeout,
                          const std::atomic<bool>* interrupt,
                          const std::function<bool(std::string_view)>& complete);

  private:
    // What is left of a wait until `deadline`; at most 20 ms at a time when an `interrupt` is watched.
    std::chrono::milliseconds WaitSlice(LinkClock::TimePoint deadline,
                                        const std::atomic<bool>* interrupt) const;
    // Bytes read: cut at a zero byte (the device's frames never hold one) and shown to the tap.
    std::string Delivered(std::string bytes);
    std::string ReadAvailable(std::size_t limit);
    bool WriteAll(std::string_view text);

    PortProvider& provider_;
    LinkTimings timings_;
    std::unique_ptr<SerialLine> line_;
    std::string portName_;
    std::string baud_, parity_, byteSize_, stopBits_;
    std::atomic<bool> exclusive_{false};
    bool isOpen_ = false;
    Tap tap_;
};

class CThreadedComm {
  public:
    explicit CThreadedComm(PortProvider& provider) : provider_(provider) {}
    ~CThreadedComm() { Close(); }

    bool OpenPort(const std::string& path);
    bool SetupPort();
    // Starts the write; the bytes count as sent.
    bool Write(std::string_view bytes);
    // Waits for `count` bytes for at most `timeout` and returns what came.
    std::string Read(std::size_t count, std::chrono::milliseconds timeout);
    void Close();
    bool IsOpen() const { return line_ && line_->IsOpen(); }
    std::size_t BytesSent() const { return sent_; }

  private:
    PortProvider& provider_;
    std::unique_ptr<SerialLine> line_;
    std::size_t sent_ = 0;
};

} // namespace quellmarin
