#include "cli/Dump.h"

#include <cstdio>

namespace quellmarin::cli {

namespace {

void JsonString(std::ostream& out, const std::string& s) {
    out << '"';
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out << '\\' << static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out << static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", c);
            out << buf;
        }
    }
    out << '"';
}

} // namespace

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
    out << "{\n  \"model\": ";
    JsonString(out, std::string(ModelName(model)));
    out << ",\n  \"fields\": [\n";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const DumpEntry& e = entries[i];
        out << "    {\"name\": ";
        JsonString(out, e.name);
        out << ", \"text\": ";
        JsonString(out, e.text);
        out << ", \"raw\": {";
        for (std::size_t r = 0; r < e.raw.size(); ++r) {
            out << (r ? ", " : "");
            JsonString(out, e.raw[r].first);
            out << ": " << e.raw[r].second;
        }
        out << '}';
        if (!e.outOfRange.empty()) {
            out << ", \"outOfRange\": ";
            JsonString(out, e.outOfRange);
        }
        out << '}' << (i + 1 < entries.size() ? "," : "") << '\n';
    }
    out << "  ]\n}\n";
}

} // namespace quellmarin::cli
