// SHA-256 (FIPS 180-4), for the stored hashes of the remote-control tokens.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace quellmarin::remote {

std::array<std::uint8_t, 32> Sha256(std::string_view data);
// The digest as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view data);

// Whether two strings are equal, taking the same time wherever they differ (for secrets and hashes).
bool ConstantTimeEqual(std::string_view a, std::string_view b);

} // namespace quellmarin::remote
