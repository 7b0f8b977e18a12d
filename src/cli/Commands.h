// The tool's commands, each named once with its help, its operands, its own options and what it runs:
// the parser, the scripts and the editing session all read this registry.
#pragma once

#include "cli/Cli.h"
#include "cli/Session.h"

#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
}

namespace quellmarin::cli {

struct CommandDef {
    std::string name;
    std::string help;
    // The words it requires, exactly as many as named; an editing command takes any number of words.
    std::vector<std::string> operands;
    // A command of its own (a connection, a file) ...
    std::function<int(const Options&, const Environment&, std::ostream& out, std::ostream& err)> run;
    // ... or an editing command, run on the records of a device or a file, alone or as a script line.
    CommandResult (EditSession::*edit)(const std::vector<std::string>& words) = nullptr;
    // The options of its own, bound to the options they set.
    std::function<void(CLI::App&, Options&)> options;
};

const std::vector<CommandDef>& Commands();
const CommandDef* FindCommandDef(std::string_view name);
// The commands that work on the records of a device or a file, alone or in a script.
bool IsEditCommand(std::string_view word);

} // namespace quellmarin::cli
