// POSIX-only helpers of the serial line.
#pragma once

#include "link/SerialLine.h"

namespace quellmarin {

// Takes over an open descriptor (closed with the line).
std::unique_ptr<SerialLine> AdoptPosixDescriptor(int fd);

} // namespace quellmarin
