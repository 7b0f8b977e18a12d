// Hexadecimal text of the bulk transfers: two upper-case digits per byte, most significant first.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quellmarin {

std::string HexEncode(std::span<const std::uint8_t> bytes);

// The device-compatible decoder: with n = length - skip, nothing when n < 3; otherwise the pairs that
// start at skip + 2, skip + 4, ... while their offset from skip is below n. A digit is its code minus
// '0', less 7 more when that is above 9 (so only 0-9 and A-F decode right). A pair whose second
// character would lie past the end takes the text's terminating zero, as the device's own decoder does.
std::vector<std::uint8_t> HexDecode(std::string_view text, std::size_t skip);

// Plain hexadecimal text (an even number of 0-9 / A-F digits) to bytes; nothing for anything else.
std::optional<std::vector<std::uint8_t>> DecodeHex(std::string_view hex);

// True when every character is 0-9 or A-F.
bool IsUpperHex(std::string_view text);

// A bulk reply checked before it may replace a record: at least `size` bytes must decode, and the
// 2 x size data characters must all be upper-case hexadecimal digits.
std::optional<std::vector<std::uint8_t>> DecodeRecordReply(std::string_view reply, std::size_t skip,
                                                           std::size_t size);

} // namespace quellmarin
