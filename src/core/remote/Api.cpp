#include "remote/Api.h"

#include "edit/Generator.h"
#include "edit/ProgramExchange.h"
#include "edit/ProgramList.h"
#include "edit/RecordText.h"
#include "edit/SettingWords.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iomanip>
#include <map>
#include <sstream>

namespace quellmarin::remote {

namespace {

std::vector<std::string> Split(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start < path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        if (slash > start) parts.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    return parts;
}

std::string NumberWord(double v) {
    std::ostringstream s;
    s << std::setprecision(12) << v;
    return s.str();
}

// A JSON value as one word of the setting words: numbers and strings as they are, true/false as on/off.
std::optional<std::string> Word(const Json& v) {
    if (v.is_number()) return NumberWord(v.get<double>());
    if (v.is_string()) return v.get<std::string>();
    if (v.is_boolean()) return std::string(v.get<bool>() ? "on" : "off");
    return std::nullopt;
}

// The API's names of a channel's settings and the names the records' dump gives them.
const std::map<std::string, std::string>& SettingNames() {
    static const std::map<std::string, std::string> names = {
        {"gain", "gain"},   {"mute", "mute"}, {"polarity", "polarity"}, {"delay", "delay"}, {"limit", "limit"},
        {"name", "alias"},  {"route", "route"}, {"hpf", "hpf"},           {"lpf", "lpf"},     {"peq", "peq"},
        {"comp", "comp"},   {"link", "link"}};
    return names;
}

// The unit a typed value of a setting is in, where it has one.
std::string UnitOf(const std::string& setting) {
    if (setting == "gain") return "dB";
    if (setting == "delay") return "ms";
    if (setting == "limit") return "dBu";
    return {};
}

Json EntryJson(const DumpEntry& e) {
    Json raw = Json::object();
    for (const auto& [key, value] : e.raw) raw[key] = value;
    Json j = {{"name", e.name}, {"text", e.text}, {"raw", raw}};
    if (!e.outOfRange.empty()) j["outOfRange"] = e.outOfRange;
    return j;
}

// A setting's value in user units, as far as it has one: a number in its unit, a switch, a text.
void AddValue(Json& j, const std::string& setting, const DumpEntry& e) {
    if (setting == "mute" || setting == "peq") {
        j["value"] = e.text == "on";
    } else if (setting == "polarity") {
        j["value"] = e.text;
    } else if (setting == "name") {
        std::string t = e.text;
        if (t.size() >= 2 && t.front() == '"' && t.back() == '"') t = t.substr(1, t.size() - 2);
        // The record pads a name with blanks to its fixed length; the name is what was typed.
        t.erase(t.find_last_not_of(' ') + 1);
        j["value"] = t;
    } else if (const std::string unit = UnitOf(setting); !unit.empty()) {
        char* end = nullptr;
        const double v = std::strtod(e.text.c_str(), &end);
        if (end != e.text.c_str()) {
            j["value"] = v;
            j["unit"] = unit;
        }
    }
}

// A JSON array of channels ("A", 1) as the words' list "A,1"; nothing when an entry is no channel name.
std::optional<std::string> ChannelList(const Json& array) {
    std::string list;
    for (const Json& c : array) {
        const auto w = Word(c);
        if (!w || c.is_boolean()) return std::nullopt;
        list += (list.empty() ? "" : ",") + *w;
    }
    return list;
}

bool Writes(const std::string& method) { return method == "PUT" || method == "POST" || method == "DELETE"; }

} // namespace

Api::Api(Host& host, AuditLog& audit) : host_(host), audit_(audit) {}

Json Api::ChangeJson(const Change& c) {
    return {{"event", "change"}, {"device", c.id},     {"port", c.port},
            {"setting", c.setting}, {"old", c.before}, {"new", c.after}, {"by", c.by}};
}

bool Api::LockedOut(const Caller& caller) const { return lockHolder_ && *lockHolder_ != caller.who.name; }

std::string Api::LockText() const { return "the rig is locked by " + lockHolder_.value_or(""); }

void Api::BreakLock(const std::string& by) {
    if (!lockHolder_) return;
    audit_.Append({{"token", by}, {"action", "lock broken"}, {"holder", *lockHolder_}});
    lockHolder_.reset();
    if (lockListener_) lockListener_();
}

std::vector<Change> Api::CollectChanges(const std::string& by) {
    std::vector<Change> changes;
    const std::vector<UnitView> units = host_.Units();
    for (std::size_t i = 0; i < units.size(); ++i) {
        const Session* s = host_.SessionOf(i);
        if (!s) continue;
        const std::string key = units[i].port + "|" + std::to_string(units[i].id);
        auto [seen, first] = seen_.try_emplace(key);
        for (const DumpEntry& e : DumpRecords(s->Params(), s->Info(), s->Model())) {
            std::string& was = seen->second[e.name];
            if (!first && was != e.text) changes.push_back({units[i].id, units[i].port, e.name, was, e.text, by});
            was = e.text;
        }
    }
    if (!changes.empty() && changeListener_) changeListener_(changes);
    return changes;
}

ApiResponse Api::Refuse(int status, std::string message, const Caller& caller, const std::string& method,
                        const std::string& path) {
    audit_.Append({{"token", caller.who.name},
                   {"client", caller.client},
                   {"action", "refused"},
                   {"request", method + " " + path},
                   {"status", status},
                   {"message", message}});
    return {status, {{"result", "error"}, {"status", status}, {"message", std::move(message)}}};
}

std::optional<std::size_t> Api::FindUnit(const std::string& idText, ApiResponse& refusal) {
    int id = -1;
    if (!idText.empty() && idText.size() <= 3 && std::all_of(idText.begin(), idText.end(), ::isdigit))
        id = std::stoi(idText);
    const std::vector<UnitView> units = host_.Units();
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < units.size(); ++i)
        if (units[i].id == id) found.push_back(i);
    if (found.size() == 1) return found.front();
    if (found.empty()) {
        refusal = {404, {{"result", "error"}, {"status", 404}, {"message", "no processor has the ID " + idText}}};
    } else {
        std::string ports;
        for (std::size_t i : found) ports += (ports.empty() ? "" : ", ") + units[i].port;
        refusal = {409, {{"result", "error"}, {"status", 409},
                         {"message", "ID " + idText + " is on several ports (" + ports + ")"}}};
    }
    return std::nullopt;
}

Json Api::StripsJson(std::size_t unit) {
    const Session* s = host_.SessionOf(unit);
    std::map<std::string, DumpEntry> entries;
    for (DumpEntry& e : DumpRecords(s->Params(), s->Info(), s->Model())) entries.emplace(e.name, std::move(e));
    Json strips = {{"device", host_.Units()[unit].id}};
    for (const char* section : {"inputs", "outputs"}) {
        Json list = Json::array();
        for (int n = 1; n <= 8; ++n) {
            std::string error;
            const auto channel = ParseChannel(section[0] == 'i' ? "in" : "out", std::to_string(n), s->Model(), error);
            if (!channel) break;
            const std::string label = ChannelText(*channel, s->Model());
            Json strip = {{"number", n}, {"label", label}};
            for (const char* setting : {"name", "gain", "mute", "polarity"}) {
                const auto e = entries.find(label + " " + SettingNames().at(setting));
                if (e == entries.end()) continue;
                Json j;
                AddValue(j, setting, e->second);
                if (j.contains("value")) strip[setting] = j["value"];
            }
            list.push_back(strip);
        }
        strips[section] = list;
    }
    return strips;
}

Json Api::UnitJson(std::size_t unit, const UnitView& v) {
    Json j = {{"id", v.id}, {"name", v.name}, {"port", v.port}, {"state", v.state}};
    if (const Session* s = host_.SessionOf(unit)) {
        j["model"] = std::string(ModelName(s->Model()));
        j["program"] = ProgramNoText(s->Info());
    }
    return j;
}

Json Api::DeviceJson(std::size_t unit) {
    const Session* s = host_.SessionOf(unit);
    Json j = UnitJson(unit, host_.Units()[unit]);
    Json fields = Json::array();
    for (const DumpEntry& e : DumpRecords(s->Params(), s->Info(), s->Model())) fields.push_back(EntryJson(e));
    j["fields"] = fields;
    return j;
}

ApiResponse Api::Handle(const std::string& method, const std::string& path, const std::string& body,
                        const Caller& caller) {
    method_ = method;
    path_ = path;
    const std::string prefix = "/api/v1";
    if (path != prefix && !path.starts_with(prefix + "/"))
        return Refuse(404, "no such path: " + path, caller, method, path);
    return Route(method, Split(path.substr(prefix.size())), body, caller);
}

ApiResponse Api::Write(std::size_t unit, const std::vector<std::string>& words, Role needed, const Caller& caller,
                       const std::string& what) {
    if (caller.who.role < needed)
        return Refuse(403, "the " + std::string(RoleName(caller.who.role)) + " role may not change " + what +
                               " (it takes " + std::string(RoleName(needed)) + ")",
                      caller, method_, path_);
    if (LockedOut(caller)) return Refuse(409, LockText(), caller, method_, path_);
    const UnitView view = host_.Units()[unit];
    if (!view.connected || view.lost)
        return Refuse(503, view.name + " is " + view.state, caller, method_, path_);
    // What changed before this request is laid at the door of whoever made it, not this caller's.
    CollectChanges(host_.LocalSource());
    EditOutcome outcome;
    host_.RunEdit(unit, [&](Session& s) { outcome = ApplySet(s.Context(), words); });
    if (!outcome.ok) return Refuse(outcome.usage ? 400 : 422, outcome.message, caller, method_, path_);
    for (std::string& frame : outcome.replied) host_.SendExchange(unit, std::move(frame));
    Json result = {{"result", "ok"}, {"changes", LogChanges(caller)}};
    if (!outcome.notes.empty()) result["notes"] = outcome.notes;
    return {200, result};
}

Json Api::LogChanges(const Caller& caller) {
    Json list = Json::array();
    for (const Change& c : CollectChanges(caller.who.name)) {
        audit_.Append({{"token", caller.who.name},
                       {"client", caller.client},
                       {"action", "changed"},
                       {"device", c.id},
                       {"port", c.port},
                       {"setting", c.setting},
                       {"old", c.before},
                       {"new", c.after}});
        list.push_back({{"setting", c.setting}, {"old", c.before}, {"new", c.after}});
    }
    return list;
}

ApiResponse Api::Route(const std::string& method, const std::vector<std::string>& parts, const std::string& body,
                       const Caller& caller) {
    const auto refuse = [&](int status, std::string message) {
        return Refuse(status, std::move(message), caller, method_, path_);
    };
    const auto only = [&](std::initializer_list<const char*> methods) {
        return std::any_of(methods.begin(), methods.end(), [&](const char* m) { return method == m; });
    };
    Json json;
    if (Writes(method) && !body.empty()) {
        json = Json::parse(body, nullptr, false);
        if (json.is_discarded()) return refuse(400, "the body is not JSON");
    }
    if (Writes(method) && !json.is_object() && !(method == "DELETE" || method == "POST"))
        return refuse(400, "the body is a JSON object: {\"value\": ...}");

    if (parts.empty()) {
        if (!only({"GET"})) return refuse(405, "only GET here");
        return {200, {{"api", "quellmarin"}, {"version", 1}, {"openapi", "/api/v1/openapi.json"}}};
    }
    if (parts[0] == "lock" && parts.size() == 1) {
        if (method == "GET") return {200, {{"locked", lockHolder_.has_value()}, {"holder", lockHolder_.value_or("")}}};
        if (!only({"POST", "DELETE"})) return refuse(405, "GET, POST or DELETE here");
        if (caller.who.role < Role::Installer) return refuse(403, "only an installer takes or gives back the lock");
        if (LockedOut(caller)) return refuse(409, LockText());
        if (method == "POST") {
            lockHolder_ = caller.who.name;
        } else {
            lockHolder_.reset();
        }
        audit_.Append({{"token", caller.who.name},
                       {"client", caller.client},
                       {"action", method == "POST" ? "lock taken" : "lock given back"}});
        if (lockListener_) lockListener_();
        return {200, {{"result", "ok"}, {"locked", lockHolder_.has_value()}, {"holder", lockHolder_.value_or("")}}};
    }
    if (parts[0] != "devices") return refuse(404, "no such path: " + path_);
    if (parts.size() == 1) {
        if (!only({"GET"})) return refuse(405, "only GET here");
        Json list = Json::array();
        const std::vector<UnitView> units = host_.Units();
        for (std::size_t i = 0; i < units.size(); ++i) list.push_back(UnitJson(i, units[i]));
        return {200, {{"devices", list}}};
    }
    ApiResponse notFound;
    const auto unit = FindUnit(parts[1], notFound);
    if (!unit) {
        audit_.Append({{"token", caller.who.name}, {"client", caller.client}, {"action", "refused"},
                       {"request", method + " " + path_}, {"status", notFound.status},
                       {"message", notFound.body["message"]}});
        return notFound;
    }
    if (parts.size() == 2) {
        if (!only({"GET"})) return refuse(405, "only GET here");
        return {200, DeviceJson(*unit)};
    }
    const std::string& what = parts[2];
    if (what == "levels" && parts.size() == 3) {
        if (!only({"GET"})) return refuse(405, "only GET here");
        std::string why;
        if (auto levels = LevelsJson(*unit, why)) return {200, std::move(*levels)};
        return refuse(503, why);
    }
    if (what == "strips" && parts.size() == 3) {
        if (!only({"GET"})) return refuse(405, "only GET here");
        return {200, StripsJson(*unit)};
    }
    if (what == "generator" && parts.size() == 3) return Generator(method, *unit, json, caller);
    if (what == "set" && parts.size() == 3) {
        // The setting words of the command-line tool ("out 3 gain -6"), for scripts and the tool's --server.
        if (!only({"POST"})) return refuse(405, "only POST here");
        if (!json.is_object() || !json.contains("words") || !json["words"].is_array() || json["words"].empty())
            return refuse(400, "set takes {\"words\": [\"out\", \"3\", \"gain\", \"-6\"]}");
        std::vector<std::string> words;
        for (const Json& w : json["words"]) {
            if (!w.is_string()) return refuse(400, "each word is a text");
            words.push_back(w.get<std::string>());
        }
        const auto lower = [](std::string s) {
            for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return s;
        };
        // Mutes and gains are an operator's; every other setting an installer's.
        const bool channel = words.size() >= 3 && (lower(words[0]) == "in" || lower(words[0]) == "out");
        const std::string setting = channel ? lower(words[2]) : lower(words[0]);
        const Role needed = channel && (setting == "gain" || setting == "mute") ? Role::Operator : Role::Installer;
        std::string named;
        for (std::size_t i = 0; i < std::min<std::size_t>(words.size(), 3); ++i) named += (i ? " " : "") + words[i];
        return Write(*unit, words, needed, caller, named);
    }
    if (what == "panel-lock" && parts.size() == 3) {
        if (method == "GET")
            return {200, {{"value", host_.SessionOf(*unit)->Info().PanelLock != 0}}};
        if (!only({"PUT"})) return refuse(405, "GET or PUT here");
        const auto v = json.contains("value") ? Word(json["value"]) : std::nullopt;
        if (!v || !json["value"].is_boolean()) return refuse(400, "the panel lock takes {\"value\": true|false}");
        return Write(*unit, {"lock", *v}, Role::Installer, caller, "the panel lock");
    }
    if (what == "links" && parts.size() == 4 && (parts[3] == "inputs" || parts[3] == "outputs")) {
        const std::string section = parts[3] == "inputs" ? "in" : "out";
        if (method == "GET") {
            Json list = Json::array();
            const Session* s = host_.SessionOf(*unit);
            for (const DumpEntry& e : DumpRecords(s->Params(), s->Info(), s->Model()))
                if (e.name.starts_with(section + " ") && e.name.ends_with(" link")) list.push_back(EntryJson(e));
            return {200, {{"links", list}}};
        }
        if (!only({"PUT"})) return refuse(405, "GET or PUT here");
        if (!json.contains("value") || !json["value"].is_array())
            return refuse(400, "links take {\"value\": [\"A\", \"A\", \"C\", ...]}, a group for each channel");
        const auto list = ChannelList(json["value"]);
        if (!list) return refuse(400, "a link group is named by a channel: \"A\" or 1");
        return Write(*unit, {"link", section, *list}, Role::Installer, caller, "links");
    }
    if ((what == "inputs" || what == "outputs") && parts.size() >= 4) {
        const std::string& n = parts[3];
        if (n.empty() || n.size() > 2 || !std::all_of(n.begin(), n.end(), ::isdigit))
            return refuse(404, "no such channel: " + what + " " + n);
        return ChannelSetting(method, *unit, what == "inputs" ? "in" : "out", std::stoi(n),
                              std::vector<std::string>(parts.begin() + 4, parts.end()), json, caller);
    }
    return refuse(404, "no such path: " + path_);
}

std::optional<Json> Api::LevelsJson(std::size_t unit, std::string& why) {
    const UnitView view = host_.Units().at(unit);
    const auto levels = host_.Levels(unit);
    if (!view.connected || view.lost || !levels) {
        why = view.name + " is " + (levels || !view.connected || view.lost ? view.state : "not metered yet");
        return std::nullopt;
    }
    Json in = Json::array(), out = Json::array();
    const Session* s = host_.SessionOf(unit);
    for (int slot : s->Model() == DeviceModel::Ketra ? std::vector<int>{4, 5, 6, 7} : std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7})
        in.push_back(levels->in[static_cast<std::size_t>(slot)]);
    for (std::uint8_t v : levels->out) out.push_back(v);
    return Json{{"device", view.id}, {"inputs", in}, {"outputs", out}, {"inputStatus", levels->inStatus},
                {"outputStatus", levels->outStatus}, {"scale", "0 empty, 96 full"}};
}

ApiResponse Api::ChannelSetting(const std::string& method, std::size_t unit, const std::string& section, int number,
                                const std::vector<std::string>& rest, const Json& body, const Caller& caller) {
    const auto refuse = [&](int status, std::string message) {
        return Refuse(status, std::move(message), caller, method_, path_);
    };
    Session* s = host_.SessionOf(unit);
    std::string error;
    const auto channel = ParseChannel(section, std::to_string(number), s->Model(), error);
    if (!channel || number < 1) return refuse(404, error.empty() ? "no such channel" : error);
    const std::string label = ChannelText(*channel, s->Model());
    const std::vector<DumpEntry> entries = DumpRecords(s->Params(), s->Info(), s->Model());
    const auto entryNamed = [&](const std::string& name) -> const DumpEntry* {
        for (const DumpEntry& e : entries)
            if (e.name == name) return &e;
        return nullptr;
    };

    if (rest.empty()) {
        if (method != "GET") return refuse(405, "only GET here");
        Json settings = Json::object();
        for (const auto& [api, dump] : SettingNames())
            if (const DumpEntry* e = entryNamed(label + " " + dump)) {
                Json j = EntryJson(*e);
                AddValue(j, api, *e);
                settings[api] = j;
            }
        return {200, {{"channel", label}, {"settings", settings}}};
    }
    const std::string& setting = rest[0];
    const auto known = SettingNames().find(setting);
    std::string dumpName = known == SettingNames().end() ? "" : label + " " + known->second;
    const bool band = setting == "peq" && rest.size() == 2;
    if (band) dumpName += " band " + rest[1];
    const DumpEntry* entry = dumpName.empty() || rest.size() > 2 || (rest.size() == 2 && !band) ? nullptr
                                                                                                : entryNamed(dumpName);
    if (!entry) return refuse(404, label + " has no setting " + setting + (rest.size() > 1 ? "/" + rest[1] : ""));
    if (method == "GET") {
        Json j = EntryJson(*entry);
        if (!band) AddValue(j, setting, *entry);
        return {200, j};
    }
    if (method != "PUT") return refuse(405, "GET or PUT here");

    std::vector<std::string> words = {section, std::to_string(number)};
    Role needed = Role::Installer;
    const auto value = [&]() -> std::optional<std::string> {
        return body.contains("value") ? Word(body["value"]) : std::nullopt;
    };
    const std::string given = body.contains("unit") && body["unit"].is_string() ? body["unit"].get<std::string>() : "";
    if (setting == "gain" || setting == "delay") {
        if (setting == "gain") needed = Role::Operator;
        if (body.contains("step")) {
            const auto step = body["step"].is_number() ? Word(body["step"]) : std::nullopt;
            if (!step) return refuse(400, setting + " takes {\"step\": N}, a number");
            words.insert(words.end(), {setting, "step", *step + (setting == "delay" && given == "m" ? "m" : "")});
        } else {
            const auto v = value();
            if (!v || !body["value"].is_number())
                return refuse(400, setting + " takes {\"value\": N" + ", \"unit\": \"" + UnitOf(setting) + "\"} or {\"step\": N}");
            if (!given.empty() && given != UnitOf(setting) && !(setting == "delay" && given == "m"))
                return refuse(400, setting + " is in " + UnitOf(setting) + (setting == "delay" ? " or m" : "") +
                                       ", not " + given);
            words.insert(words.end(), {setting, *v + (setting == "delay" && !given.empty() ? given : "")});
        }
        if (body.contains("step") && !body["step"].is_number()) return refuse(400, "a step is a number");
    } else if (setting == "mute") {
        needed = Role::Operator;
        bool on = false;
        if (body.contains("toggle") && body["toggle"] == true) {
            on = entry->text != "on";
        } else if (body.contains("value") && body["value"].is_boolean()) {
            on = body["value"].get<bool>();
        } else {
            return refuse(400, "mute takes {\"value\": true|false} or {\"toggle\": true}");
        }
        words.insert(words.end(), {"mute", on ? "on" : "off"});
    } else if (setting == "polarity") {
        const auto v = value();
        if (!v) return refuse(400, "polarity takes {\"value\": \"normal\"|\"inverted\"}");
        words.insert(words.end(), {"polarity", *v});
    } else if (setting == "limit") {
        const auto v = value();
        if (!v || !body["value"].is_number()) return refuse(400, "limit takes {\"value\": N, \"unit\": \"dBu\"}");
        if (!given.empty() && given != "dBu") return refuse(400, "limit is in dBu, not " + given);
        words.insert(words.end(), {"limit", *v});
    } else if (setting == "name") {
        if (!body.contains("value") || !body["value"].is_string()) return refuse(400, "name takes {\"value\": \"TEXT\"}");
        words = {"name", section, std::to_string(number), body["value"].get<std::string>()};
    } else if (setting == "route") {
        if (!body.contains("value") || !body["value"].is_array())
            return refuse(400, "route takes {\"value\": [\"A\", \"B\"]}, the inputs mixed into the output");
        const auto list = ChannelList(body["value"]);
        if (!list) return refuse(400, "an input is named \"A\" or 1");
        words = list->empty() ? std::vector<std::string>{"route", "out", std::to_string(number), "none"}
                              : std::vector<std::string>{"route", "out", std::to_string(number), "in", *list};
    } else if (setting == "hpf" || setting == "lpf") {
        words.insert(words.end(), {"xover", setting == "hpf" ? "hp" : "lp"});
        if (body.contains("value") && body["value"] == "off") {
            words.push_back("off");
        } else {
            if (!body.contains("frequency") || !Word(body["frequency"]))
                return refuse(400, setting + " takes {\"slope\": \"lr24\", \"frequency\": 80} or {\"value\": \"off\"}");
            if (body.contains("slope")) {
                const auto slope = Word(body["slope"]);
                if (!slope || !body["slope"].is_string()) return refuse(400, "a slope is a text: \"lr24\"");
                words.push_back(*slope);
            }
            words.push_back(*Word(body["frequency"]));
        }
    } else if (setting == "peq" && !band) {
        if (!body.contains("value") || !body["value"].is_boolean()) return refuse(400, "peq takes {\"value\": true|false}");
        words.insert(words.end(), {"peq", body["value"].get<bool>() ? "on" : "off"});
    } else if (band) {
        if (!body.contains("type") || !body["type"].is_string())
            return refuse(400, "a band takes {\"type\": \"peaking\", \"frequency\": 1000, \"gain\": -3, \"q\": 1.4}");
        words.insert(words.end(), {"peq", rest[1], body["type"].get<std::string>()});
        // Its values in the order the words take them; one left out keeps its value, unless a later one follows.
        std::vector<std::string> values;
        for (const char* key : {"frequency", "gain", "q"}) {
            if (!body.contains(key)) {
                values.push_back({});
                continue;
            }
            const auto w = Word(body[key]);
            if (!w || body[key].is_boolean()) return refuse(400, std::string(key) + " is a number");
            values.push_back(*w);
        }
        while (!values.empty() && values.back().empty()) values.pop_back();
        if (std::any_of(values.begin(), values.end(), [](const std::string& v) { return v.empty(); }))
            return refuse(400, "a band's values are given from the frequency on: frequency, gain, q");
        words.insert(words.end(), values.begin(), values.end());
    } else if (setting == "comp") {
        words.push_back("comp");
        for (const char* key : {"threshold", "attack", "release", "ratio"})
            if (body.contains(key)) {
                const auto w = Word(body[key]);
                if (!w || body[key].is_boolean()) return refuse(400, std::string(key) + " is a number");
                words.insert(words.end(), {key, *w});
            }
    } else {
        return refuse(405, setting + " is read only here");
    }
    return Write(unit, words, needed, caller, label + " " + setting);
}

ApiResponse Api::Generator(const std::string& method, std::size_t unit, const Json& body, const Caller& caller) {
    Session* s = host_.SessionOf(unit);
    if (method == "GET") {
        class quellmarin::Generator g(s->Context());
        return {200, {{"running", g.Running()}, {"frequency", g.FrequencyText()}, {"level", g.LevelDb()},
                      {"text", quellmarin::Generator::ToneText(s->Info())}}};
    }
    if (method != "PUT") return Refuse(405, "GET or PUT here", caller, method_, path_);
    if (!body.contains("running") || !body["running"].is_boolean())
        return Refuse(400, "the generator takes {\"running\": false} or {\"running\": true, \"frequency\": 1000, \"level\": -20}",
                      caller, method_, path_);
    const bool run = body["running"].get<bool>();
    // Stopping a test tone is the operator's; starting one, or changing it, the installer's.
    const Role needed = run ? Role::Installer : Role::Operator;
    if (caller.who.role < needed)
        return Refuse(403, std::string("the ") + std::string(RoleName(caller.who.role)) + " role may not " +
                               (run ? "start the generator" : "stop the generator"),
                      caller, method_, path_);
    if (LockedOut(caller)) return Refuse(409, LockText(), caller, method_, path_);
    const UnitView view = host_.Units()[unit];
    if (!view.connected || view.lost) return Refuse(503, view.name + " is " + view.state, caller, method_, path_);
    class quellmarin::Generator current(s->Context());
    std::string frequency = current.FrequencyText(), level = current.LevelText();
    if (body.contains("frequency")) {
        const auto w = Word(body["frequency"]);
        if (!w || body["frequency"].is_boolean()) return Refuse(400, "the frequency is a number", caller, method_, path_);
        frequency = *w;
    }
    if (body.contains("level")) {
        const auto w = Word(body["level"]);
        if (!w || !body["level"].is_number()) return Refuse(400, "the level is a number of dB", caller, method_, path_);
        level = *w;
    }
    CollectChanges(host_.LocalSource());
    quellmarin::Generator::Outcome outcome;
    host_.RunEdit(unit, [&](Session& session) {
        class quellmarin::Generator g(session.Context());
        outcome = g.Running() == run ? g.Apply(frequency, level) : g.Toggle(frequency, level);
    });
    if (!outcome.message.empty()) return Refuse(422, outcome.message, caller, method_, path_);
    LogChanges(caller);
    audit_.Append({{"token", caller.who.name}, {"client", caller.client}, {"action", "changed"},
                   {"device", view.id}, {"port", view.port}, {"setting", "generator"},
                   {"new", run ? "on " + frequency + " " + level : "off"}});
    return {200, {{"result", "ok"}, {"running", run}}};
}

std::optional<std::pair<std::string, std::string>> Api::Envelope(const Json& request, Json& answer) const {
    answer = {{"id", request.is_object() && request.contains("id") ? request["id"] : Json()}};
    const auto error = [&](int status, const std::string& message) {
        answer["result"] = "error";
        answer["status"] = status;
        answer["message"] = message;
        return std::nullopt;
    };
    if (!request.is_object() || !request.contains("command") || !request["command"].is_string())
        return error(400, "a request is {\"id\": N, \"command\": \"get\"|\"set\"|\"call\", \"path\": \"/devices/...\"}");
    const std::string command = request["command"];
    if (!request.contains("path") || !request["path"].is_string()) return error(400, "the request names no path");
    if (command != "get" && command != "set" && command != "call")
        return error(400, "the commands are get, set, call, subscribe and auth, not " + command);
    Json body = Json::object();
    for (const auto& [key, value] : request.items())
        if (key != "id" && key != "command" && key != "path") body[key] = value;
    // get reads, set changes a setting (PUT), call does what is no setting (POST: a recall, the lock).
    const std::string method = command == "get" ? "GET" : command == "set" ? "PUT" : "POST";
    return std::make_pair(method, command == "get" ? std::string() : body.dump());
}

namespace {

Json Answered(Json answer, const ApiResponse& r) {
    if (r.status != 200) {
        answer["result"] = "error";
        answer["status"] = r.status;
        answer["message"] = r.body.value("message", "refused");
    } else {
        answer["result"] = "ok";
        answer["data"] = r.body;
    }
    return answer;
}

} // namespace

Json Api::Message(const Json& request, const Caller& caller) {
    Json answer;
    const auto call = Envelope(request, answer);
    if (!call) return answer;
    const std::string path = "/api/v1" + request["path"].get<std::string>();
    return Answered(answer, Handle(call->first, path, call->second, caller));
}

void Api::MessageAsync(const Json& request, const Caller& caller, std::function<void(Json)> reply) {
    Json answer;
    const auto call = Envelope(request, answer);
    if (!call) return reply(answer);
    const std::string path = "/api/v1" + request["path"].get<std::string>();
    HandleAsync(call->first, path, call->second, caller,
                [answer, reply = std::move(reply)](ApiResponse r) { reply(Answered(answer, r)); });
}

void Api::HandleAsync(const std::string& method, const std::string& path, const std::string& body, const Caller& caller,
                      std::function<void(ApiResponse)> reply) {
    // Only the programs wait for the processor; everything else is answered here and now.
    const std::string prefix = "/api/v1/devices/";
    if (path.starts_with(prefix)) {
        const std::vector<std::string> parts = Split(path.substr(prefix.size()));
        if (parts.size() >= 2 && parts[1] == "programs") {
            method_ = method;
            path_ = path;
            ApiResponse notFound;
            const auto unit = FindUnit(parts[0], notFound);
            if (!unit) return reply(Refuse(notFound.status, notFound.body.value("message", ""), caller, method, path));
            if (auto refused = Programs(method, *unit, parts, body, caller, reply)) reply(std::move(*refused));
            return;
        }
    }
    reply(Handle(method, path, body, caller));
}

std::optional<ApiResponse> Api::Programs(const std::string& method, std::size_t unit, const std::vector<std::string>& parts,
                                         const std::string& body, const Caller& caller,
                                         std::function<void(ApiResponse)> reply) {
    const std::string method0 = method_, path0 = path_;
    const auto refuse = [&](int status, std::string message) {
        return Refuse(status, std::move(message), caller, method0, path0);
    };
    const UnitView view = host_.Units().at(unit);
    if (parts.size() == 2) {
        if (method != "GET") return refuse(405, "only GET here");
        if (!view.connected || view.lost) return refuse(503, view.name + " is " + view.state);
        const int current = host_.SessionOf(unit)->Info().ProgramNo;
        host_.ReadPrograms(unit, [life = std::weak_ptr<int>(life_), reply, current,
                                  name = view.name](std::optional<Host::ProgramNames> names) {
            if (life.expired()) return; // the server went while the processor answered
            if (!names)
                return reply({503, {{"result", "error"}, {"status", 503}, {"message", name + " did not answer"}}});
            Json list = Json::array();
            for (std::size_t i = 0; i < names->size(); ++i) {
                const auto& n = (*names)[i];
                const int slot = static_cast<int>(i) + 1;
                list.push_back({{"slot", slot},
                                {"name", n ? Json(*n) : Json()},
                                {"empty", n && *n == kEmptySlotName},
                                {"current", slot == current}});
            }
            reply({200, {{"programs", list}}});
        });
        return std::nullopt;
    }
    const std::string& slotText = parts[2];
    const bool number = !slotText.empty() && slotText.size() <= 2 && std::all_of(slotText.begin(), slotText.end(), ::isdigit);
    const int slot = number ? std::stoi(slotText) : 0;
    if (slot < 1 || slot > kProgramSlots || parts.size() > 4 || (parts.size() == 4 && parts[3] != "recall"))
        return refuse(404, "the programs are programs/1..40 (PUT stores, DELETE deletes) and programs/1..40/recall");
    if (parts.size() == 3) {
        // Storing and deleting programs is an installer's.
        if (method != "PUT" && method != "DELETE") return refuse(405, "PUT or DELETE here");
        if (caller.who.role < Role::Installer)
            return refuse(403, "the " + std::string(RoleName(caller.who.role)) + " role may not " +
                                   (method == "PUT" ? "store" : "delete") + " programs (it takes installer)");
        if (LockedOut(caller)) return refuse(409, LockText());
        std::optional<std::string> name;
        if (method == "PUT" && !body.empty()) {
            const Json json = Json::parse(body, nullptr, false);
            if (!json.is_object() || (json.contains("name") && !json["name"].is_string()))
                return refuse(400, "a program is stored with {} or {\"name\": \"TEXT\"}");
            if (json.contains("name")) {
                name = json["name"].get<std::string>();
                if (const std::string refused = NameRefusal(*name); !refused.empty()) return refuse(422, refused);
                if (WireName(*name).size() > static_cast<std::size_t>(kNameLength))
                    return refuse(422, "a program name holds at most " + std::to_string(kNameLength) + " characters");
            }
        }
        if (!view.connected || view.lost) return refuse(503, view.name + " is " + view.state);
        const bool store = method == "PUT";
        if (!store && slot == host_.SessionOf(unit)->Info().ProgramNo)
            return refuse(409, std::string(ProgramList::kCannotDeleteCurrent));
        CollectChanges(host_.LocalSource());
        const auto done = [this, life = std::weak_ptr<int>(life_), reply, slot, caller, view, method0, path0,
                           store](std::string problem) {
            if (life.expired()) return;
            if (!problem.empty()) return reply(Refuse(503, problem, caller, method0, path0));
            audit_.Append({{"token", caller.who.name}, {"client", caller.client},
                           {"action", store ? "program stored" : "program deleted"}, {"device", view.id},
                           {"port", view.port}, {"program", slot}});
            reply({200, {{"result", "ok"}, {"program", slot}, {"changes", LogChanges(caller)}}});
        };
        if (store)
            host_.StoreProgram(unit, slot, name, done);
        else
            host_.DeleteProgram(unit, slot, done);
        return std::nullopt;
    }
    if (method != "POST") return refuse(405, "only POST here");
    if (caller.who.role < Role::Operator)
        return refuse(403, "the " + std::string(RoleName(caller.who.role)) + " role may not recall programs (it takes operator)");
    if (LockedOut(caller)) return refuse(409, LockText());
    if (!view.connected || view.lost) return refuse(503, view.name + " is " + view.state);
    CollectChanges(host_.LocalSource());
    host_.RecallProgram(unit, slot, [this, life = std::weak_ptr<int>(life_), reply, slot, caller, view, method0,
                                     path0](bool ok) {
        if (life.expired()) return;
        if (!ok) return reply(Refuse(503, view.name + " did not recall program " + std::to_string(slot), caller, method0, path0));
        audit_.Append({{"token", caller.who.name}, {"client", caller.client}, {"action", "recalled"},
                       {"device", view.id}, {"port", view.port}, {"program", slot}});
        reply({200, {{"result", "ok"}, {"program", slot}, {"changes", LogChanges(caller)}}});
    });
    return std::nullopt;
}

} // namespace quellmarin::remote
