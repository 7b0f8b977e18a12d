// The exclusive request/reply exchange: the port is purged and shut to plain reads and writes, the
// request is written, the reply is awaited (ending early once a reply of known length is complete)
// and read.
#pragma once

#include "link/SerialPort.h"

#include <chrono>
#include <string>
#include <string_view>

namespace quellmarin {

// Sends "(" + address + body with blanks stripped and returns everything that arrived within the wait.
std::string RequestReply(CSerialPort& port, std::string_view address, std::string_view body,
                         std::chrono::milliseconds wait, std::size_t expectedLength = 0);

// Sends a whole frame as it is and returns the reply (the command-line tool's "send").
std::string ExchangeFrame(CSerialPort& port, std::string_view frame, std::chrono::milliseconds wait,
                          std::size_t expectedLength = 0);

} // namespace quellmarin
