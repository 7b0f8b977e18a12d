#include "session/RigFile.h"

#include "model/InputFile.h"
#include "model/ParameterFile.h"
#include "protocol/HexCodec.h"

#include <cctype>
#include <nlohmann/json.hpp>

#include <set>
#include <utility>

namespace quellmarin {

namespace {

using Json = nlohmann::ordered_json;

RigRead Refused(std::string why) {
    RigRead r;
    r.problem = std::move(why);
    return r;
}

// One processor's entry; empty, or why it cannot be taken.
std::string ReadMember(const Json& j, RigMember& m) {
    if (!j.is_object()) return "is not an object";
    const auto text = [&](const char* key, std::size_t limit, std::string& out) -> std::string {
        const auto it = j.find(key);
        if (it == j.end()) return std::string("has no \"") + key + "\"";
        if (!it->is_string()) return std::string("\"") + key + "\" is not text";
        out = it->get<std::string>();
        if (out.size() > limit) return std::string("\"") + key + "\" is longer than " + std::to_string(limit) + " characters";
        return {};
    };
    if (std::string e = text("name", kRigNameLimit, m.name); !e.empty()) return e;
    if (std::string e = text("port", kRigPortLimit, m.port); !e.empty()) return e;
    if (m.port.empty()) return "has an empty \"port\"";
    const auto id = j.find("id");
    if (id == j.end() || !id->is_number_integer()) return "has no whole-number \"id\"";
    const long long n = id->get<long long>();
    if (n < 1 || n > 50) return "has the device ID " + std::to_string(n) + ", not 1 to 50";
    m.id = static_cast<int>(n);
    std::string model;
    if (std::string e = text("model", 16, model); !e.empty()) return e;
    const auto parsed = ParseModelName(model);
    if (!parsed) return "names the model \"" + model + "\", not Mivon or Ketra";
    m.model = *parsed;
    std::string image;
    if (std::string e = text("image", 2 * kParameterFileSize + 2, image); !e.empty()) return e;
    const std::optional<std::vector<std::uint8_t>> decoded = DecodeHex(image);
    if (!decoded) return "has an \"image\" that is not hexadecimal bytes (two of 0-9, A-F each)";
    const std::vector<std::uint8_t>& bytes = *decoded;
    if (bytes.size() != kParameterFileSize)
        return "has an image of " + std::to_string(bytes.size()) + " bytes, not " +
               std::to_string(kParameterFileSize);
    const LoadResult loaded = LoadParameterFile(bytes, DefaultDeviceInfo(m.model).ChannelConfig);
    if (!loaded.ok()) return "has an image its model cannot take (" + loaded.Text() + ")";
    m.params = loaded.records->params;
    m.info = loaded.records->info;
    return {};
}

} // namespace

std::string RigExportName(std::size_t index, const RigMember& m) {
    std::string stem = m.name.empty() ? "ID" + TwoDigitText(m.id) : m.name;
    for (char& c : stem)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') c = '_';
    return std::to_string(index + 1) + "-" + stem + ".asc";
}

std::string RigMemberLabel(const RigMember& m) {
    const std::string where = "ID " + std::to_string(m.id) + " on " + m.port;
    return m.name.empty() ? where : m.name + " (" + where + ")";
}

std::string RigFileText(const std::vector<RigMember>& members) {
    Json list = Json::array();
    for (const RigMember& m : members) {
        const std::vector<std::uint8_t> bytes = ParameterFileBytes(m.params, m.info);
        list.push_back({{"name", m.name},
                        {"port", m.port},
                        {"id", m.id},
                        {"model", std::string(ModelName(m.model))},
                        {"image", HexEncode(bytes)}});
    }
    const Json doc = {{"format", kRigFormat}, {"version", kRigVersion}, {"processors", std::move(list)}};
    return doc.dump(2) + "\n";
}

RigRead ParseRigFile(std::string_view text) {
    Json doc = Json::parse(text.begin(), text.end(), nullptr, false);
    if (doc.is_discarded()) return Refused("it is not a complete JSON document (damaged or cut short)");
    if (!doc.is_object()) return Refused("it is not a show file (no object at its top)");
    const auto format = doc.find("format");
    if (format == doc.end() || !format->is_string() || format->get<std::string>() != kRigFormat)
        return Refused("it is not a show file (its \"format\" is not \"quellmarin-rig\")");
    const auto version = doc.find("version");
    if (version == doc.end() || !version->is_number_integer())
        return Refused("it has no whole-number \"version\"");
    if (version->get<long long>() != kRigVersion)
        return Refused("it is of version " + std::to_string(version->get<long long>()) +
                       ", and this program reads version " + std::to_string(kRigVersion));
    const auto processors = doc.find("processors");
    if (processors == doc.end() || !processors->is_array()) return Refused("it has no \"processors\" list");
    if (processors->empty()) return Refused("it holds no processor");
    if (processors->size() > kRigMaxProcessors)
        return Refused("it holds " + std::to_string(processors->size()) + " processors, more than " +
                       std::to_string(kRigMaxProcessors));
    std::vector<RigMember> members;
    std::set<std::pair<std::string, int>> seen;
    for (std::size_t i = 0; i < processors->size(); ++i) {
        RigMember m;
        if (std::string why = ReadMember((*processors)[i], m); !why.empty())
            return Refused("processor " + std::to_string(i + 1) + " " + why);
        if (!seen.insert({m.port, m.id}).second)
            return Refused("processor " + std::to_string(i + 1) + " has the same port and ID as another (" +
                           RigMemberLabel(m) + ")");
        members.push_back(std::move(m));
    }
    RigRead r;
    r.members = std::move(members);
    return r;
}

RigRead OpenRigFile(const std::filesystem::path& path) {
    const FileRead read = ReadInputFile(path);
    if (!read.bytes) return Refused(read.problem);
    RigRead r = ParseRigFile(*read.bytes);
    if (!r.ok()) r.problem = path.filename().string() + ": " + r.problem;
    return r;
}

std::string SaveRigFile(const std::filesystem::path& path, const std::vector<RigMember>& members) {
    if (members.empty()) return "a show file needs at least one processor";
    if (!WriteFileAtomically(path, RigFileText(members))) return SaveProblemText(path, kFileSaveFailed);
    return {};
}

} // namespace quellmarin
