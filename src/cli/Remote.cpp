#include "cli/Remote.h"

#include "cli/Dump.h"
#include "edit/SettingWords.h"
#include "model/InputFile.h"
#include "remote/HttpClient.h"

#include <nlohmann/json.hpp>

namespace quellmarin::cli {

namespace {

constexpr int kTimeoutMs = 10000;

int Say(std::ostream& err, int code, const std::string& message) {
    err << "quellmarin-cli: " << message << '\n';
    return code;
}

// The message of a refusal, and how the tool ends for its status: the words or values were wrong
// (as on a device), or the server would not or could not do it.
int Refused(std::ostream& err, const remote::HttpAnswer& a) {
    const auto body = nlohmann::json::parse(a.body, nullptr, false);
    const std::string message = body.is_object() && body.contains("message") && body["message"].is_string()
                                    ? body["message"].get<std::string>()
                                    : "the server answered " + std::to_string(a.status);
    const bool usage = a.status == 400 || a.status == 404 || a.status == 422;
    return Say(err, usage ? kExitUsage : kExitFailed, message);
}

} // namespace

int RunOnServer(const Options& o, std::ostream& out, std::ostream& err) {
    std::string error;
    const auto url = remote::ParseHttpUrl(*o.server, error);
    if (!url) return Say(err, kExitUsage, error);
    if (!o.tokenFile) return Say(err, kExitUsage, "--server takes --token-file FILE, the file holding the token");
    const FileRead read = ReadInputFile(*o.tokenFile, 4096);
    if (!read.bytes) return Say(err, kExitFile, "cannot read the token: " + read.problem);
    std::string token = *read.bytes;
    token.erase(token.find_last_not_of(" \t\r\n") + 1);
    token.erase(0, token.find_first_not_of(" \t\r\n"));
    if (token.empty() || token.find_first_of(" \t\r\n") != std::string::npos)
        return Say(err, kExitFile, *o.tokenFile + " holds no token (one line, the secret)");
    if (o.words.empty() || (o.words[0] != "set" && o.words[0] != "get"))
        return Say(err, kExitUsage, "through a server the tool runs set and get");
    if (o.all || !o.ids.empty()) return Say(err, kExitUsage, "through a server, name one processor with --id");

    // Without --id: the server's one processor.
    int id = o.id.value_or(0);
    if (!o.id) {
        const auto list = remote::HttpExchange(*url, "GET", "/api/v1/devices", token, {}, kTimeoutMs, error);
        if (!list) return Say(err, kExitFailed, error);
        if (list->status != 200) return Refused(err, *list);
        const auto body = nlohmann::json::parse(list->body, nullptr, false);
        if (!body.is_object() || !body.contains("devices") || body["devices"].size() != 1)
            return Say(err, kExitUsage, "the server holds several processors (or none): name one with --id");
        id = body["devices"][0].value("id", 0);
    }
    const std::string device = "/api/v1/devices/" + std::to_string(id);
    const std::vector<std::string> words(o.words.begin() + 1, o.words.end());
    if (o.words[0] == "set") {
        const nlohmann::json body = {{"words", words}};
        const auto answer = remote::HttpExchange(*url, "POST", device + "/set", token, body.dump(), kTimeoutMs, error);
        if (!answer) return Say(err, kExitFailed, error);
        if (answer->status != 200) return Refused(err, *answer);
        const auto result = nlohmann::json::parse(answer->body, nullptr, false);
        if (result.is_object() && result.contains("notes"))
            for (const auto& note : result["notes"]) err << note.get<std::string>() << '\n';
        return kExitOk;
    }
    const auto answer = remote::HttpExchange(*url, "GET", device, token, {}, kTimeoutMs, error);
    if (!answer) return Say(err, kExitFailed, error);
    if (answer->status != 200) return Refused(err, *answer);
    const auto state = nlohmann::json::parse(answer->body, nullptr, false);
    if (!state.is_object() || !state.contains("fields") || !state["fields"].is_array())
        return Say(err, kExitFailed, "the server's answer holds no settings");
    const DeviceModel model = ParseModelName(state.value("model", "")).value_or(o.model);
    std::vector<DumpEntry> entries;
    for (const auto& f : state["fields"]) {
        DumpEntry e{f.value("name", ""), f.value("text", ""), {}, f.value("outOfRange", "")};
        if (f.contains("raw") && f["raw"].is_object())
            for (const auto& [key, value] : f["raw"].items())
                if (value.is_number_integer()) e.raw.emplace_back(key, value.get<int>());
        entries.push_back(std::move(e));
    }
    // "get all" or a channel, as on a device.
    if (!(words.size() == 1 && words[0] == "all")) {
        if (words.size() != 2) return Say(err, kExitUsage, "get takes all, or a channel (get in 2)");
        const auto channel = ParseChannel(words[0], words[1], model, error);
        if (!channel) return Say(err, kExitUsage, error);
        const std::string prefix = ChannelText(*channel, model) + " ";
        std::erase_if(entries, [&](const DumpEntry& e) { return !e.name.starts_with(prefix); });
    }
    if (o.json)
        PrintDumpJson(entries, model, out);
    else
        PrintDumpText(entries, out);
    return kExitOk;
}

} // namespace quellmarin::cli
