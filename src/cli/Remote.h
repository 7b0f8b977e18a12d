// The tool's editing commands through a running remote-control server (--server URL --token-file F):
// "set" and "get" as on a device, one request each instead of a scan and a connection of its own,
// and the edit is the server's ordinary edit (its windows and other clients see it).
#pragma once

#include "cli/Cli.h"

#include <ostream>

namespace quellmarin::cli {

int RunOnServer(const Options& o, std::ostream& out, std::ostream& err);

} // namespace quellmarin::cli
