// The ordered list of ports the scan probes; port number n is the n-th entry. Off Windows it holds
// the serial ports backed by hardware, then the ports the user named, then the built-in virtual
// processor's port. On Windows it is COM1..COM256.
#pragma once

#include <string>
#include <vector>

namespace quellmarin {

// Serial ports with hardware behind them: USB serial and ACM adapters, and on-board UARTs only where
// the driver reports a real chip (a bare ttyS entry would cost the scan its open attempt for nothing).
std::vector<std::string> HardwareSerialPorts();

// The Windows path of port n: "COM%d" below 10, "\\.\COM%d" from 10 on.
std::string WindowsPortPath(int number);

std::vector<std::string> BuildPortCatalog(const std::vector<std::string>& userPorts,
                                          const std::vector<std::string>& virtualPorts,
                                          bool includeHardware = true);

// Port number of a path: its 1-based position in the catalog (the number after "COM" on Windows);
// 0 when it is not there.
int PortNumberOf(const std::string& path, const std::vector<std::string>& catalog);

} // namespace quellmarin
