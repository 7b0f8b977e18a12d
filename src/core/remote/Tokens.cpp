#include "remote/Tokens.h"

#include "model/InputFile.h"
#include "model/ParameterFile.h"
#include "remote/Sha256.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <stdexcept>
#if defined(__linux__)
#include <sys/random.h>
#endif

namespace quellmarin::remote {

std::string_view RoleName(Role role) {
    switch (role) {
    case Role::Viewer: return "viewer";
    case Role::Operator: return "operator";
    case Role::Installer: return "installer";
    }
    return "viewer";
}

std::optional<Role> ParseRole(std::string_view text) {
    for (Role r : {Role::Viewer, Role::Operator, Role::Installer})
        if (RoleName(r) == text) return r;
    return std::nullopt;
}

std::string RandomHex(std::size_t bytes) {
    std::string raw(bytes, '\0');
#if defined(__linux__)
    std::size_t got = 0;
    while (got < bytes) {
        const ssize_t n = getrandom(raw.data() + got, bytes - got, 0);
        if (n <= 0) throw std::runtime_error("the system's random generator failed");
        got += static_cast<std::size_t>(n);
    }
#else
    std::random_device device;
    for (char& c : raw) c = static_cast<char>(device() & 0xff);
#endif
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (char c : raw) {
        const auto b = static_cast<unsigned char>(c);
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
    }
    return text;
}

std::string UtcNowText() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
#if defined(_WIN32)
    tm = *std::gmtime(&now);
#else
    gmtime_r(&now, &tm);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

namespace {

// A secret: "qm_" and 48 hexadecimal digits (192 random bits).
constexpr std::string_view kSecretPrefix = "qm_";

bool GoodName(const std::string& name) {
    if (name.empty() || name.size() > 32) return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-';
    });
}

bool Hex(const std::string& s, std::size_t size) {
    return s.size() == size && std::all_of(s.begin(), s.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

} // namespace

TokenStore::TokenStore(std::filesystem::path file) : file_(std::move(file)) {}

std::string TokenStore::Load() {
    if (file_.empty()) return {};
    std::error_code ec;
    if (!std::filesystem::exists(file_, ec)) {
        entries_.clear();
        return {};
    }
    const FileRead read = ReadInputFile(file_);
    if (!read.bytes) return read.problem;
    const std::string damaged = file_.string() + " is not a token file";
    const nlohmann::json doc = nlohmann::json::parse(*read.bytes, nullptr, false);
    if (!doc.is_object() || !doc.contains("tokens") || !doc["tokens"].is_array()) return damaged;
    std::vector<Entry> entries;
    for (const nlohmann::json& t : doc["tokens"]) {
        if (!t.is_object()) return damaged;
        Entry e;
        const auto text = [&](const char* key) {
            return t.contains(key) && t[key].is_string() ? t[key].get<std::string>() : std::string();
        };
        e.info.name = text("name");
        e.info.created = text("created");
        e.salt = text("salt");
        e.hash = text("hash");
        const auto role = ParseRole(text("role"));
        if (!GoodName(e.info.name) || !role || !Hex(e.salt, 32) || !Hex(e.hash, 64)) return damaged;
        e.info.role = *role;
        entries.push_back(std::move(e));
    }
    entries_ = std::move(entries);
    seen_ = std::filesystem::last_write_time(file_, ec);
    return {};
}

std::string TokenStore::Save() const {
    if (file_.empty()) return {};
    nlohmann::json tokens = nlohmann::json::array();
    for (const Entry& e : entries_)
        tokens.push_back({{"name", e.info.name},
                          {"role", std::string(RoleName(e.info.role))},
                          {"created", e.info.created},
                          {"salt", e.salt},
                          {"hash", e.hash}});
    const nlohmann::json doc = {{"tokens", tokens}};
    std::error_code ec;
    if (file_.has_parent_path()) std::filesystem::create_directories(file_.parent_path(), ec);
    if (!WriteFileAtomically(file_, doc.dump(2) + "\n")) return "could not write " + file_.string();
    std::filesystem::permissions(file_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::replace, ec);
    seen_ = std::filesystem::last_write_time(file_, ec);
    return {};
}

std::optional<std::string> TokenStore::Add(const std::string& name, Role role, std::string& error) {
    if (!GoodName(name)) {
        error = "a token name is 1 to 32 letters, digits, \".\", \"_\" or \"-\"";
        return std::nullopt;
    }
    if (std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.info.name == name; })) {
        error = "there is a token named " + name + " already";
        return std::nullopt;
    }
    const std::string secret = std::string(kSecretPrefix) + RandomHex(24);
    Entry e;
    e.info = {name, role, UtcNowText()};
    e.salt = RandomHex(16);
    e.hash = Sha256Hex(e.salt + secret);
    entries_.push_back(e);
    if (std::string problem = Save(); !problem.empty()) {
        entries_.pop_back();
        error = std::move(problem);
        return std::nullopt;
    }
    return secret;
}

bool TokenStore::Revoke(const std::string& name, std::string& error) {
    const auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.info.name == name; });
    if (it == entries_.end()) {
        error = "there is no token named " + name;
        return false;
    }
    const Entry removed = *it;
    const auto at = entries_.erase(it);
    if (std::string problem = Save(); !problem.empty()) {
        entries_.insert(at, removed);
        error = std::move(problem);
        return false;
    }
    return true;
}

std::vector<TokenInfo> TokenStore::List() const {
    std::vector<TokenInfo> list;
    for (const Entry& e : entries_) list.push_back(e.info);
    return list;
}

std::optional<Principal> TokenStore::Verify(std::string_view secret) {
    if (!file_.empty()) {
        std::error_code ec;
        const auto changed = std::filesystem::last_write_time(file_, ec);
        // A file that cannot be read now keeps the tokens as they were; a removed one holds none.
        if (ec && !std::filesystem::exists(file_)) entries_.clear();
        if (!ec && changed != seen_) Load();
    }
    // Every hash is computed and compared, whichever matches, so the time says nothing of which.
    std::optional<Principal> found;
    for (const Entry& e : entries_) {
        const bool match = ConstantTimeEqual(Sha256Hex(e.salt + std::string(secret)), e.hash);
        if (match && !found) found = Principal{e.info.name, e.info.role};
    }
    return found;
}

} // namespace quellmarin::remote
