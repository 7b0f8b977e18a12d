// Serial lines behind a network serial server ("tcp://HOST:PORT", "rfc2217://HOST:PORT"), over POSIX
// sockets or Winsock. Name resolution and connecting run in Open, on whichever thread opens the port
// (never the window's), bounded by the connect time-out. A connection that the server closes or
// resets makes the line Broken; reopening it connects anew. A port is used once per program at a time,
// as the exclusive open of a local port does.
#pragma once

#include "link/SerialLine.h"

#include <chrono>
#include <memory>

namespace quellmarin {

inline constexpr std::chrono::milliseconds kConnectTimeout{2000};

std::unique_ptr<SerialLine> CreateNetworkLine();

// The server side of an accepted connection (the virtual processor's network port): raw, or Telnet
// answering the client's COM-port requests. The socket is closed with the line.
std::unique_ptr<SerialLine> AdoptServerSocket(std::intptr_t socket, bool telnet);

} // namespace quellmarin
