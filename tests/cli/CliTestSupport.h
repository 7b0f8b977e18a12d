// A virtual processor on an in-memory port, and the tool run in-process against it.
#pragma once

#include "cli/Cli.h"
#include "core/link/LinkTestSupport.h"

#include <sstream>

namespace quellmarin::test {

// Processor 05, a Mivon, on the in-memory port "virtual", with short waits.
struct VirtualRig {
    VirtualRig() : hub(LoopbackHub::Create()), server(device, hub->DeviceEnd()) {
        provider.RegisterVirtualPort("virtual", hub);
        env.provider = &provider;
        env.timings = LinkTimings::Fast();
        env.virtualPorts = {"virtual"};
        env.includeHardware = false;
        env.progressOnTerminal = false;
        server.Start();
    }
    struct Result {
        int code;
        std::string out, err;
    };
    // The tool's result, with what it printed; `in` stands for standard input.
    Result Run(const std::vector<std::string>& args, const std::string& in = {}) {
        std::ostringstream out, err;
        std::istringstream input(in);
        env.in = &input;
        const int code = cli::Run(args, out, err, env);
        env.in = nullptr;
        return {code, out.str(), err.str()};
    }

    sim::VirtualProcessor device{5, DeviceModel::Mivon};
    std::shared_ptr<LoopbackHub> hub;
    sim::SimServer server;
    SystemPortProvider provider;
    cli::Environment env;
};

} // namespace quellmarin::test
