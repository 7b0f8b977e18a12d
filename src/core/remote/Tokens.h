// The bearer tokens of the remote-control server: each has a name, a role and a secret that is shown
// once, when it is made, and kept only as a salted hash. A request's secret is checked against every
// hash in constant time.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quellmarin::remote {

// What a token may do: a viewer reads settings and levels; an operator also mutes, moves gains,
// recalls programs and stops the generator; an installer may change everything.
enum class Role { Viewer = 0, Operator = 1, Installer = 2 };
std::string_view RoleName(Role role);
std::optional<Role> ParseRole(std::string_view text);

struct Principal {
    std::string name;
    Role role = Role::Viewer;
};

struct TokenInfo {
    std::string name;
    Role role = Role::Viewer;
    std::string created; // "2026-12-09T06:30:00Z"
};

// Random bytes from the system's generator, as lower-case hexadecimal.
std::string RandomHex(std::size_t bytes);
// The time now as "2026-12-09T06:30:00Z".
std::string UtcNowText();

class TokenStore {
  public:
    // Kept in `file` (a JSON file readable by its owner alone); an empty path keeps them in memory.
    explicit TokenStore(std::filesystem::path file = {});

    // Reads the file; a missing one holds no tokens. Empty, or why it could not be read (nothing is
    // taken from a damaged file).
    std::string Load();
    // A new token; its secret, or nothing with the reason (a name in use or not of 1 to 32 letters,
    // digits, ".", "_" or "-"; the file could not be written).
    std::optional<std::string> Add(const std::string& name, Role role, std::string& error);
    // False, with the reason, for a name that is not there or a file that could not be written.
    bool Revoke(const std::string& name, std::string& error);
    std::vector<TokenInfo> List() const;
    // The token whose secret this is. The file is read again first when it changed since (a token
    // added or revoked by `quellmarin-server token` while the server runs).
    std::optional<Principal> Verify(std::string_view secret);

  private:
    struct Entry {
        TokenInfo info;
        std::string salt, hash;
    };
    std::string Save() const;

    std::filesystem::path file_;
    std::vector<Entry> entries_;
    // When the file was last read or written here.
    mutable std::filesystem::file_time_type seen_{};
};

} // namespace quellmarin::remote
