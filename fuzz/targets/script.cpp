// A command-line script on a parameter file: the script reader, the line splitter and every command's
// value parsers, with the file the tool writes.
#include "cli/Cli.h"
#include "model/ParameterFile.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <unistd.h>

using namespace quellmarin;

namespace {
const std::string& RecordPath() {
    static const std::string path = [] {
        const auto dir = std::filesystem::temp_directory_path() / ("quellmarin-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        static const std::filesystem::path made = dir;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(made, ec);
        });
        return (dir / "show.asc").string();
    }();
    return path;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Each run starts from the default state.
    if (!SaveParameterFile(RecordPath(), DefaultSystemParameters(DeviceModel::Mivon),
                           DefaultDeviceInfo(DeviceModel::Mivon))
             .empty())
        return 0;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::ostringstream out, err;
    cli::Environment env;
    env.in = &in;
    env.includeHardware = false;
    env.progressOnTerminal = false;
    (void)cli::Run({"--file", RecordPath(), "-f", "-"}, out, err, env);
    return 0;
}
