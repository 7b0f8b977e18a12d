// Commands for several processors at once: `--id 1,2,3` or `--all` run a command on each processor
// in turn, each on its own connection and its own values (so a relative step keeps every unit's
// offset), and say at the end which of them it could not be done on.
#pragma once

#include "cli/Cli.h"

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace quellmarin::cli {

struct Target {
    std::string port;
    int id = 0;
};

// "ID 3 on /dev/ttyUSB0".
std::string TargetText(const Target& t);

// "3" or "1,2,3": the device IDs, each 1 to 50, none twice; nothing with the reason in `error`.
std::optional<std::vector<int>> ParseIdList(const std::string& text, std::string& error);

// The processors the options name: with --all every one the scan finds, else those with the IDs of
// --id. IDs the scan did not find are said on `err` and listed in `missing`.
std::vector<Target> FindTargets(const Options& o, const Environment& env, std::ostream& err,
                                std::vector<int>& missing);

// The options and the ports for one processor of several.
Options OptionsFor(const Options& o, const Target& t);
Environment EnvironmentFor(const Environment& env);

// Every line of `text` after `prefix` ("ID 3 on /dev/ttyUSB0: ").
void SayLines(std::ostream& to, const std::string& prefix, const std::string& text);
// "not done on: ID 9, ID 3 on /dev/ttyUSB0" as one line; nothing when the list is empty.
void SayList(std::ostream& to, const std::string& heading, const std::vector<std::string>& items);

using TargetCommand = std::function<int(const Options&, const Environment&, std::ostream&, std::ostream&)>;
// Runs the command on each processor: its output under a heading ("ID 3 on /dev/ttyUSB0:"; "ID 3 on
// /dev/ttyUSB0: done" for a command that prints nothing), or with
// --json as one array of {"id", "port", "exit", "output"}; every error line names its processor. Exit
// 0 when it was done on all, else the first failure's code, with "not done on: ..." said.
int RunOnEach(const Options& o, const Environment& env, std::ostream& out, std::ostream& err,
              const TargetCommand& command);

} // namespace quellmarin::cli
