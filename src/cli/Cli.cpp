#include "cli/Cli.h"

#include "cli/Dump.h"
#include "model/ParameterFile.h"
#include "model/Records.h"

#include <charconv>

namespace quellmarin::cli {

namespace {

constexpr const char* kUsage =
    "usage: quellmarin-cli [--port PATH]... [--id N] [--model Mivon|Ketra] COMMAND\n"
    "commands:\n"
    "  defaults FILE        write the default state as a parameter file\n"
    "  dump FILE [--json]   print every field of a parameter file\n";

int Defaults(const Options& o, std::ostream& out, std::ostream& err) {
    if (o.words.size() != 2) {
        err << "defaults takes one FILE\n" << kUsage;
        return kExitUsage;
    }
    const std::string_view message =
        SaveParameterFile(o.words[1], DefaultSystemParameters(o.model), DefaultDeviceInfo(o.model));
    if (!message.empty()) {
        err << message << '\n';
        return kExitFile;
    }
    out << "wrote the " << ModelName(o.model) << " defaults to " << o.words[1] << '\n';
    return kExitOk;
}

int Dump(const Options& o, std::ostream& out, std::ostream& err) {
    if (o.words.size() != 2) {
        err << "dump takes one FILE\n" << kUsage;
        return kExitUsage;
    }
    const LoadResult loaded = LoadParameterFile(o.words[1], ChannelConfigOf(o.model));
    if (!loaded.ok()) {
        err << loaded.message << '\n';
        return kExitFile;
    }
    const auto entries = DumpRecords(loaded.records->params, loaded.records->info, o.model);
    if (o.json)
        PrintDumpJson(entries, o.model, out);
    else
        PrintDumpText(entries, out);
    return kExitOk;
}

} // namespace

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error) {
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value = [&](const char* name) -> const std::string* {
            if (i + 1 >= args.size()) {
                error = std::string(name) + " needs a value";
                return nullptr;
            }
            return &args[++i];
        };
        if (a == "--port") {
            const std::string* v = value("--port");
            if (!v) return std::nullopt;
            o.ports.push_back(*v);
        } else if (a == "--id") {
            const std::string* v = value("--id");
            if (!v) return std::nullopt;
            int id = 0;
            const auto [p, ec] = std::from_chars(v->data(), v->data() + v->size(), id);
            if (ec != std::errc() || p != v->data() + v->size() || id < 1 || id > 50) {
                error = "--id takes a device ID from 1 to 50";
                return std::nullopt;
            }
            o.id = id;
        } else if (a == "--model") {
            const std::string* v = value("--model");
            if (!v) return std::nullopt;
            const auto model = ParseModelName(*v);
            if (!model) {
                error = "--model takes Mivon or Ketra";
                return std::nullopt;
            }
            o.model = *model;
        } else if (a == "--json") {
            o.json = true;
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            error = "unknown option " + a;
            return std::nullopt;
        } else {
            o.words.push_back(a);
        }
    }
    if (o.words.empty()) {
        error = "no command given";
        return std::nullopt;
    }
    return o;
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
        out << kUsage;
        return kExitOk;
    }
    std::string error;
    const auto options = ParseOptions(args, error);
    if (!options) {
        err << error << '\n' << kUsage;
        return kExitUsage;
    }
    const std::string& command = options->words[0];
    if (command == "defaults") return Defaults(*options, out, err);
    if (command == "dump") return Dump(*options, out, err);
    err << "unknown command " << command << '\n' << kUsage;
    return kExitUsage;
}

} // namespace quellmarin::cli
