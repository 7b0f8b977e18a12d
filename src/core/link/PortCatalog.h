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

// A USB serial or ACM adapter (the way such a processor is attached), as opposed to an on-board UART.
bool IsAdapterPort(const std::string& path);
// Whether the built-in virtual processor starts: when asked, or when the user named no port and no
// adapter is attached (on-board UARTs alone do not count: they are still scanned).
bool WantVirtualProcessor(bool asked, const std::vector<std::string>& userPorts,
                          const std::vector<std::string>& hardwarePorts);

// The Windows path of port n: "COM%d" below 10, "\\.\COM%d" from 10 on.
std::string WindowsPortPath(int number);

std::vector<std::string> BuildPortCatalog(const std::vector<std::string>& userPorts,
                                          const std::vector<std::string>& virtualPorts,
                                          bool includeHardware = true);

// Port number of a path: its 1-based position in the catalog (the number after "COM" on Windows);
// 0 when it is not there.
int PortNumberOf(const std::string& path, const std::vector<std::string>& catalog);

} // namespace quellmarin
