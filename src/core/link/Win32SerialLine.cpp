// Serial ports through the Win32 communications API. The primary port uses plain synchronous I/O with
// read time-outs that return at once; the secondary (overlapped) port writes without waiting.
#include "link/SerialLine.h"

#include <string>
#include <thread>
#include <windows.h>

namespace quellmarin {

namespace {

using Clock = std::chrono::steady_clock;

class Win32SerialLine : public SerialLine {
  public:
    ~Win32SerialLine() override { Close(); }

    bool Open(const std::string& path, bool overlapped) override {
        if (handle_ != INVALID_HANDLE_VALUE) return true;
        overlapped_ = overlapped;
        handle_ = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | (overlapped ? FILE_FLAG_OVERLAPPED : 0), nullptr);
        if (handle_ == INVALID_HANDLE_VALUE) {
            const DWORD error = ::GetLastError();
            problem_ = {};
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                problem_.fault = PortFault::Missing;
            else if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
                problem_.fault = PortFault::Busy; // a port another program holds answers "access denied"
            else {
                problem_.fault = PortFault::Other;
                problem_.detail = "system error " + std::to_string(error);
            }
            return false;
        }
        COMMTIMEOUTS t{};
        if (overlapped) {
            t.ReadIntervalTimeout = 100;
            t.ReadTotalTimeoutConstant = 500;
            t.WriteTotalTimeoutMultiplier = 1;
            t.WriteTotalTimeoutConstant = 10000;
        } else {
            t.ReadIntervalTimeout = MAXDWORD;
            t.WriteTotalTimeoutMultiplier = 500;
            t.WriteTotalTimeoutConstant = 100;
        }
        ::SetCommTimeouts(handle_, &t);
        Purge();
        return true;
    }

    bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }
    PortProblem LastProblem() const override { return problem_; }

    void Close() override {
        if (handle_ == INVALID_HANDLE_VALUE) return;
        if (pendingWrite_) {
            DWORD n = 0;
            ::CancelIo(handle_);
            ::GetOverlappedResult(handle_, &writeOv_, &n, TRUE);
            ::CloseHandle(writeOv_.hEvent);
            pendingWrite_ = false;
        }
        ::CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

    bool Configure(const LineConfig& c) override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(handle_, &dcb)) return false;
        dcb.BaudRate = static_cast<DWORD>(c.baud);
        dcb.fBinary = TRUE;
        dcb.fParity = TRUE;
        dcb.ByteSize = static_cast<BYTE>(c.byteSize);
        dcb.Parity = c.parity == Parity::Odd ? ODDPARITY : c.parity == Parity::Even ? EVENPARITY : NOPARITY;
        dcb.StopBits = c.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
        return ::SetCommState(handle_, &dcb) != 0;
    }

    void SetQueueSizes(std::size_t in, std::size_t out) override {
        ::SetupComm(handle_, static_cast<DWORD>(in), static_cast<DWORD>(out));
    }

    void Purge() override {
        ::PurgeComm(handle_, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
    }

    bool WaitSent(std::chrono::milliseconds timeout) override {
        if (!pendingWrite_) return true;
        if (::WaitForSingleObject(writeOv_.hEvent, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
            return false;
        DWORD n = 0;
        ::GetOverlappedResult(handle_, &writeOv_, &n, FALSE);
        ::CloseHandle(writeOv_.hEvent);
        pendingWrite_ = false;
        return true;
    }

    std::size_t BytesWaiting() override {
        DWORD errors = 0;
        COMSTAT stat{};
        if (!::ClearCommError(handle_, &errors, &stat)) return 0;
        return stat.cbInQue;
    }

    std::string Read(std::size_t max) override {
        const std::size_t n = std::min(max, BytesWaiting());
        std::string out(n, '\0');
        if (n == 0) return out;
        DWORD got = 0;
        if (overlapped_) {
            OVERLAPPED ov{};
            ov.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
            if (!::ReadFile(handle_, out.data(), static_cast<DWORD>(n), &got, &ov) &&
                ::GetLastError() == ERROR_IO_PENDING)
                ::GetOverlappedResult(handle_, &ov, &got, TRUE);
            ::CloseHandle(ov.hEvent);
        } else {
            ::ReadFile(handle_, out.data(), static_cast<DWORD>(n), &got, nullptr);
        }
        out.resize(got);
        return out;
    }

    std::size_t Write(std::string_view data, std::chrono::milliseconds timeout) override {
        DWORD errors = 0;
        COMSTAT stat{};
        if (::ClearCommError(handle_, &errors, &stat) && errors) ::PurgeComm(handle_, PURGE_TXABORT);
        DWORD written = 0;
        if (!overlapped_) {
            if (!::WriteFile(handle_, data.data(), static_cast<DWORD>(data.size()), &written, nullptr))
                return 0;
            return written;
        }
        // The overlapped write is started and counted as sent; Close waits for its completion.
        if (pendingWrite_) {
            DWORD n = 0;
            ::GetOverlappedResult(handle_, &writeOv_, &n, TRUE);
            ::CloseHandle(writeOv_.hEvent);
            pendingWrite_ = false;
        }
        writeBuffer_.assign(data.begin(), data.end());
        writeOv_ = OVERLAPPED{};
        writeOv_.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (::WriteFile(handle_, writeBuffer_.data(), static_cast<DWORD>(writeBuffer_.size()), &written,
                        &writeOv_) ||
            ::GetLastError() == ERROR_IO_PENDING) {
            pendingWrite_ = true;
            (void)timeout;
            return data.size();
        }
        ::CloseHandle(writeOv_.hEvent);
        return 0;
    }

    bool WaitForBytes(std::size_t count, std::chrono::milliseconds timeout) override {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            if (BytesWaiting() >= count) return true;
            if (Clock::now() >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    bool overlapped_ = false;
    PortProblem problem_;
    bool pendingWrite_ = false;
    OVERLAPPED writeOv_{};
    std::string writeBuffer_;
};

} // namespace

std::unique_ptr<SerialLine> CreatePlatformLine() {
    return std::make_unique<Win32SerialLine>();
}

} // namespace quellmarin
