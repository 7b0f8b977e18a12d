#include "cli/Dump.h"

namespace quellmarin::cli {

std::string JsonText(const nlohmann::ordered_json& value) {
    return value.dump(2, ' ', true, nlohmann::ordered_json::error_handler_t::replace);
}

void PrintDumpText(const std::vector<DumpEntry>& entries, std::ostream& out) {
    for (const DumpEntry& e : entries) {
        out << e.name << ':';
        if (!e.text.empty()) out << ' ' << e.text;
        if (!e.raw.empty()) {
            out << (e.text.empty() ? " " : " (");
            for (std::size_t i = 0; i < e.raw.size(); ++i)
                out << (i ? " " : "") << e.raw[i].first << ' ' << e.raw[i].second;
            if (!e.text.empty()) out << ')';
        }
        if (!e.outOfRange.empty()) out << "  [out of range: " << e.outOfRange << ']';
        out << '\n';
    }
}

void PrintDumpJson(const std::vector<DumpEntry>& entries, DeviceModel model, std::ostream& out) {
    nlohmann::ordered_json fields = nlohmann::ordered_json::array();
    for (const DumpEntry& e : entries) {
        nlohmann::ordered_json raw = nlohmann::ordered_json::object();
        for (const auto& [key, value] : e.raw) raw[key] = value;
        nlohmann::ordered_json field = {{"name", e.name}, {"text", e.text}, {"raw", raw}};
        if (!e.outOfRange.empty()) field["outOfRange"] = e.outOfRange;
        fields.push_back(std::move(field));
    }
    out << JsonText({{"model", std::string(ModelName(model))}, {"fields", fields}}) << '\n';
}

} // namespace quellmarin::cli
