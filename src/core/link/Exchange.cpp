#include "link/Exchange.h"

#include "protocol/Frames.h"

namespace quellmarin {

std::string ExchangeFrame(CSerialPort& port, std::string_view frame, std::chrono::milliseconds wait,
                          std::size_t expectedLength) {
    port.BeginExclusive();
    port.WriteTextAlways(TrimBlanks(frame));
    port.WaitForReply(expectedLength, wait);
    std::string reply = port.ReadTextAlways();
    port.EndExclusive();
    return reply;
}

std::string RequestReply(CSerialPort& port, std::string_view address, std::string_view body,
                         std::chrono::milliseconds wait, std::size_t expectedLength) {
    return ExchangeFrame(port, "(" + std::string(address) + std::string(body), wait, expectedLength);
}

} // namespace quellmarin
