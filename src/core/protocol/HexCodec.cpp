#include "protocol/HexCodec.h"

namespace quellmarin {

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

int DigitValue(char c) {
    int v = static_cast<unsigned char>(c) - '0';
    if (v > 9) v -= 7;
    return v;
}

} // namespace

std::string HexEncode(std::span<const std::uint8_t> bytes) {
    std::string out;
    out.resize(bytes.size() * 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out[2 * i] = kDigits[bytes[i] >> 4];
        out[2 * i + 1] = kDigits[bytes[i] & 0x0F];
    }
    return out;
}

std::vector<std::uint8_t> HexDecode(std::string_view text, std::size_t skip) {
    std::vector<std::uint8_t> out;
    if (text.size() < skip || text.size() - skip < 3) return out;
    const std::size_t n = text.size() - skip;
    out.reserve(n / 2);
    for (std::size_t offset = 2; offset < n; offset += 2) {
        const std::size_t pos = skip + offset;
        const char first = text[pos];
        const char second = pos + 1 < text.size() ? text[pos + 1] : '\0';
        out.push_back(static_cast<std::uint8_t>(16 * DigitValue(first) + DigitValue(second)));
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> DecodeHex(std::string_view hex) {
    if (hex.size() % 2 != 0 || !IsUpperHex(hex)) return std::nullopt;
    std::vector<std::uint8_t> out(hex.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<std::uint8_t>(16 * DigitValue(hex[2 * i]) + DigitValue(hex[2 * i + 1]));
    return out;
}

bool IsUpperHex(std::string_view text) {
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    return true;
}

std::optional<std::vector<std::uint8_t>> DecodeRecordReply(std::string_view reply, std::size_t skip,
                                                           std::size_t size) {
    const std::size_t first = skip + 2;
    if (reply.size() < first || reply.size() - first < 2 * size) return std::nullopt;
    if (!IsUpperHex(reply.substr(first, 2 * size))) return std::nullopt;
    std::vector<std::uint8_t> bytes = HexDecode(reply, skip);
    if (bytes.size() < size) return std::nullopt;
    bytes.resize(size);
    return bytes;
}

} // namespace quellmarin
