#include "cli/Several.h"

#include "cli/Dump.h"
#include "cli/Session.h"

#include <algorithm>
#include <sstream>

namespace quellmarin::cli {

std::string TargetText(const Target& t) {
    return "ID " + std::to_string(t.id) + " on " + t.port;
}

std::optional<std::vector<int>> ParseIdList(const std::string& text, std::string& error) {
    std::vector<int> ids;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const bool digits = !item.empty() && item.size() <= 9 &&
                            std::all_of(item.begin(), item.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (!digits && !item.empty()) {
            error = "--id: Value " + item + " is not a whole number written in decimal digits";
            return std::nullopt;
        }
        const int id = digits ? std::stoi(item) : 0;
        if (id < 1 || id > 50) {
            error = "--id takes device IDs from 1 to 50, one or several with commas (1,2,3), not " +
                    (item.empty() ? std::string("an empty one") : item);
            return std::nullopt;
        }
        if (std::find(ids.begin(), ids.end(), id) != ids.end()) {
            error = "--id names " + item + " twice";
            return std::nullopt;
        }
        ids.push_back(id);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return ids;
}

std::vector<Target> FindTargets(const Options& o, const Environment& env, std::ostream& err,
                                std::vector<int>& missing) {
    Options scan = o;
    scan.id.reset();
    DeviceSession session(scan, env, err);
    std::vector<Target> targets;
    const std::vector<FoundDevice> found = session.Scan();
    if (o.all) {
        for (const FoundDevice& d : found) targets.push_back({d.port, d.id});
        return targets;
    }
    for (int id : o.ids) {
        const std::size_t before = targets.size();
        // The same ID on two lines is two processors.
        for (const FoundDevice& d : found)
            if (d.id == id) targets.push_back({d.port, d.id});
        if (targets.size() == before) missing.push_back(id);
    }
    for (int id : missing) err << "no processor answers as ID " << id << '\n';
    return targets;
}

Options OptionsFor(const Options& o, const Target& t) {
    Options one = o;
    one.ports = {t.port};
    one.id = t.id;
    one.ids.clear();
    one.all = false;
    return one;
}

Environment EnvironmentFor(const Environment& env) {
    // The processor's own port alone: the others were found by the scan already.
    Environment one = env;
    one.includeHardware = false;
    one.virtualPorts.clear();
    one.progressOnTerminal = false;
    return one;
}

void SayLines(std::ostream& to, const std::string& prefix, const std::string& text) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) to << prefix << line << '\n';
}

void SayList(std::ostream& to, const std::string& heading, const std::vector<std::string>& items) {
    if (items.empty()) return;
    to << heading;
    for (std::size_t i = 0; i < items.size(); ++i) to << (i ? ", " : "") << items[i];
    to << '\n';
}

int RunOnEach(const Options& o, const Environment& env, std::ostream& out, std::ostream& err,
              const TargetCommand& command) {
    std::vector<int> missing;
    const std::vector<Target> targets = FindTargets(o, env, err, missing);
    if (targets.empty()) {
        err << kNoDeviceLine << '\n';
        return kExitFailed;
    }
    nlohmann::ordered_json results = nlohmann::ordered_json::array();
    std::vector<std::string> notDone;
    for (int id : missing) notDone.push_back("ID " + std::to_string(id));
    int code = missing.empty() ? kExitOk : kExitFailed;
    const Environment one = EnvironmentFor(env);
    for (const Target& t : targets) {
        std::ostringstream tout, terr;
        const int r = command(OptionsFor(o, t), one, tout, terr);
        SayLines(err, TargetText(t) + ": ", terr.str());
        if (r != kExitOk) {
            notDone.push_back(TargetText(t));
            if (code == kExitOk) code = r;
        }
        if (o.json) {
            nlohmann::ordered_json output = nlohmann::ordered_json::parse(tout.str(), nullptr, false);
            if (output.is_discarded()) output = tout.str();
            results.push_back({{"id", t.id}, {"port", t.port}, {"exit", r}, {"output", output}});
        } else if (tout.str().empty()) {
            // A command that says nothing when it succeeds (set) says it for each processor.
            out << TargetText(t) << (r == kExitOk ? ": done\n" : ": failed\n");
        } else {
            out << TargetText(t) << ":\n";
            SayLines(out, "  ", tout.str());
        }
    }
    if (o.json) out << JsonText(results) << '\n';
    SayList(err, "not done on: ", notDone);
    return code;
}

} // namespace quellmarin::cli
