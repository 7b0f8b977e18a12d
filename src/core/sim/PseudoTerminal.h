// A pseudo-terminal pair for the virtual processor: the program opens the slave path like any serial
// port; the processor answers on the master side.
#pragma once

#include "link/SerialLine.h"

#include <memory>
#include <string>

namespace quellmarin::sim {

class PseudoTerminal {
  public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool ok() const { return !slavePath_.empty(); }
    const std::string& SlavePath() const { return slavePath_; }
    // The line settings the slave side has now (as the program or a serial server set them).
    LineConfig LineSettings() const;
    // The master side as a serial line; call once.
    std::unique_ptr<SerialLine> TakeMaster();

  private:
    int master_ = -1;
    int slaveKeeper_ = -1; // keeps the slave side alive while the program has it closed
    std::string slavePath_;
};

} // namespace quellmarin::sim
