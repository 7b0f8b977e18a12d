// The command-line tool: parses the options and runs one command with the given streams, so that
// tests run it in-process.
#pragma once

#include "link/SerialLine.h"
#include "link/Timings.h"
#include "model/DeviceModel.h"

#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace quellmarin::cli {

enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitFile = 3 };

struct Options {
    std::vector<std::string> ports;
    std::optional<int> id;             // --id N: one processor
    std::vector<int> ids;              // --id 1,2,3: several, one after the other
    bool all = false;                  // --all: every processor the scan finds
    DeviceModel model = kBuildModel;
    bool json = false;
    int count = 10;                    // levels --count
    int retry = 0;                     // download --retry
    bool force = false;                // download --force: values no editor sets go out as they are
    bool verbose = false;              // -v: every frame sent and received, on stderr
    Pacing pacing = Pacing::Answered;  // --pacing fixed: one frame every 200 ms
    std::optional<std::string> file;   // --file: edit a parameter file instead of a device
    std::optional<std::string> script; // -f: commands from a file ("-" for standard input)
    std::vector<std::string> words;    // the command and its operands
    std::optional<std::string> server;    // --server http://HOST:PORT: set and get through a running server
    std::optional<std::string> tokenFile; // --token-file: the file holding its token
};

// Parses arguments (without the program name); on a usage error returns nothing and says why in `error`.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error);
// The tool's help: its options and commands.
std::string HelpText();

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The same with the ports and waits given (tests run it against in-memory processors). When
// `includeHardware` is false only the --port paths and `virtualPorts` are scanned.
struct Environment {
    PortProvider* provider = nullptr;
    std::istream* in = nullptr; // a script read from "-"; standard input when not set
    LinkTimings timings;
    std::vector<std::string> virtualPorts;
    bool includeHardware = true;
    bool progressOnTerminal = true;
};
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Environment& env);

} // namespace quellmarin::cli
