// A virtual processor on a pseudo-terminal of this process, optionally paced at the device's 38400
// baud, for the figures that need a real port.
#pragma once

#include "sim/PseudoTerminal.h"
#include "sim/SimServer.h"

namespace quellmarin {

struct Processor {
    explicit Processor(int id, bool pace, sim::SimFaults faults = {})
        : device(id, DeviceModel::Mivon), server(device, pty.TakeMaster(), faults, pace) {
        server.Start();
    }
    sim::VirtualProcessor device;
    sim::PseudoTerminal pty;
    sim::SimServer server;
};

} // namespace quellmarin
