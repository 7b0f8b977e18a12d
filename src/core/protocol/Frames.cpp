#include "protocol/Frames.h"

#include "protocol/HexCodec.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace quellmarin {

namespace {

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
Format(const char* fmt, ...) {
    char buf[2100];
    va_list args;
    va_start(args, fmt);
    const int n = std::vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    if (n < 0) return {};
    return std::string(buf, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buf - 1));
}

// The value fields written as "00%d" / "0%d" / "%d" (three digits) or "0%d" / "%d" (two digits).
std::string Digits3(int v) {
    return Format(v < 10 ? "00%d" : v < 100 ? "0%d" : "%d", v);
}
std::string Digits2(int v) {
    return Format(v < 10 ? "0%d" : "%d", v);
}

std::string Str(std::string_view s) {
    return std::string(s);
}

std::string ToUpper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::string Switch(std::string_view address, const char* code, int channel, bool on, const char* onText,
                   const char* offText) {
    return Format("(%s%s%d%s)", Str(address).c_str(), code, channel, on ? onText : offText);
}

std::string PeqBand(const char* code, std::string_view address, int channel, int band, int type, int freq,
                    int level, int q) {
    return "(" + Str(address) + code + Format("%d", channel) + Format("0%d", band) + Format("%d", type) +
           Digits3(freq) + Digits2(level) + Digits3(q) + ")";
}

std::string Link(const char* code, std::string_view address, std::span<const std::uint8_t, 8> l) {
    return Format("(%s%s%d%d%d%d%d%d%d%d)", Str(address).c_str(), code, l[0], l[1], l[2], l[3], l[4], l[5],
                  l[6], l[7]);
}

} // namespace

std::string AddressText(int deviceId) {
    return Format(deviceId < 10 ? "0%d" : "%d", deviceId);
}

std::string FrameGenerator(std::string_view address, bool on, int freqIndex, int levelCode) {
    return Format(on ? "(%s$0011%.3d%.3d)" : "(%s$0010%.3d%.3d)", Str(address).c_str(), freqIndex, levelCode);
}

std::string FrameInputPeqEnable(std::string_view address, int channel, bool on) {
    return Switch(address, "$026", channel, on, "111", "000");
}

std::string FrameOutputPeqEnable(std::string_view address, int channel, bool on) {
    return Switch(address, "$038", channel, on, "111", "000");
}

std::string FrameInputPeqBand(std::string_view address, int channel, int band, int type, int freq, int level,
                              int q) {
    return PeqBand("$027", address, channel, band, type, freq, level, q);
}

std::string FrameOutputPeqBand(std::string_view address, int channel, int band, int type, int freq, int level,
                               int q) {
    return PeqBand("$034", address, channel, band, type, freq, level, q);
}

std::string FrameInputGain(std::string_view address, int channel, int gainCode) {
    return Format("(%s$028%d%s", Str(address).c_str(), channel, (Digits3(gainCode) + ")").c_str());
}

std::string FrameOutputGain(std::string_view address, int channel, int gainCode) {
    return Format("(%s$035%d%s", Str(address).c_str(), channel, (Digits3(gainCode) + ")").c_str());
}

std::string FrameInputDelay(std::string_view address, int channel, int samples) {
    return Format("(%s$029%d%.6d)", Str(address).c_str(), channel, samples);
}

std::string FrameOutputDelay(std::string_view address, int channel, int samples) {
    return Format("(%s$032%d%.6d)", Str(address).c_str(), channel, samples);
}

std::string FrameInputMute(std::string_view address, int channel, bool muted) {
    return Switch(address, "$030", channel, muted, "001", "000");
}

std::string FrameOutputMute(std::string_view address, int channel, bool muted) {
    return Switch(address, "$037", channel, muted, "001", "000");
}

std::string FramePolarity(std::string_view address, int channel, bool inverted) {
    return Switch(address, "$039", channel, inverted, "111", "000");
}

std::string FrameLimit(std::string_view address, int channel, int limitStep) {
    return Format("(%s$036%d0000%s00)", Str(address).c_str(), channel, Digits2(limitStep).c_str());
}

std::string FrameCompressor(std::string_view address, int channel, int attack, int ratio, int threshold,
                            int release) {
    return Format("(%s$044%d%02d%02d%03d%02d)", Str(address).c_str(), channel, attack, ratio, threshold,
                  release);
}

std::string FrameCrossover(std::string_view address, int channel, int hpfType, int hpfStep, int lpfType,
                           int lpfStep) {
    return Format("(%s$033%s%s%s%s%s)", Str(address).c_str(), Format("%d", channel).c_str(),
                  Format("%.2d", hpfType).c_str(), Format("%.3d", hpfStep).c_str(),
                  Format("%.2d", lpfType).c_str(), Format("%.3d", lpfStep).c_str());
}

std::string FrameRoute(std::string_view address, int output, std::span<const std::uint8_t, 8> routes,
                       DeviceModel model) {
    std::string frame = Format("(%s$031%d", Str(address).c_str(), output);
    for (int i = 0; i < 8; ++i) frame += Format("%.3d", InputSlotUsed(model, i) ? routes[i] : 0);
    return frame + ")";
}

std::string FrameInputLink(std::string_view address, std::span<const std::uint8_t, 8> linkIndex) {
    return Link("$040", address, linkIndex);
}

std::string FrameOutputLink(std::string_view address, std::span<const std::uint8_t, 8> linkIndex) {
    return Link("$041", address, linkIndex);
}

std::string FrameEnd(std::string_view address) {
    return Format("(%sB)", Str(address).c_str());
}

std::string FrameAlias(std::string_view address, int kind, int channel, std::string_view name15) {
    return Format("(%sE%1d%1d%s)", Str(address).c_str(), kind, channel, Str(name15).c_str());
}

std::string FrameDeleteProgram(std::string_view address, int program) {
    return Format("(%sG%.3d)", Str(address).c_str(), program);
}

std::string FrameDeviceInfoRequest(std::string_view address) {
    return "(" + Str(address) + "I)";
}

std::string FramePanelLock(std::string_view address, int lock) {
    return Format("(%sJ%.3d)", Str(address).c_str(), lock);
}

std::string FrameResetRoute(std::string_view address) {
    return Format("(%sK)", Str(address).c_str());
}

std::string FrameLevelPoll(std::string_view address) {
    return Format("(%sL)", Str(address).c_str());
}

std::string FrameRenameProgram(std::string_view address, int program, std::string_view nameHex) {
    return ToUpper(Format("(%sN%.3d%s)", Str(address).c_str(), program, Str(nameHex).c_str()));
}

std::string FrameNameReply(std::string_view address, int program) {
    return Format("(%sN%.3d)", Str(address).c_str(), program);
}

std::string FrameDownload(std::string_view address, std::string_view recordHex) {
    const int total = static_cast<int>(recordHex.size() + 9);
    return "(" + Str(address) + "P" + Format("%.4d", total) + Str(recordHex) + ")";
}

std::string FrameParameterRequest(std::string_view address) {
    return "(" + Str(address) + "Q000)";
}

std::string FrameRecallProgram(std::string_view address, int program) {
    return Format("(%sR%.3d)", Str(address).c_str(), program);
}

std::string FrameStoreProgram(std::string_view address, int program) {
    return Format("(%sS%.3d)", Str(address).c_str(), program);
}

std::string FrameProgramQuery(std::string_view address, int program) {
    return Format("(%sT%.3d)", Str(address).c_str(), program);
}

std::string FrameHello(int deviceId) {
    return Format(deviceId < 10 ? "(0%dhello)" : "(%dhello)", deviceId);
}

std::string_view TrimBlanks(std::string_view text) {
    const auto blank = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
    };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

bool IsHelloReply(std::string_view reply, int deviceId, DeviceModel model) {
    if (reply.size() != 11) return false;
    std::string expected = Format(deviceId < 10 ? ")0%dhello(" : ")%dhello(", deviceId);
    std::reverse(expected.begin(), expected.end());
    const std::string got = std::string(1, reply[0]) + std::string(reply.substr(3));
    if (got != expected) return false;
    const char hi = reply[1], lo = reply[2];
    if (hi < '0' || hi > '9' || lo < '0' || lo > '9') return false;
    return (hi - '0') * 10 + (lo - '0') == HelloModelCode(model);
}

std::string HelloReply(int deviceId, DeviceModel model) {
    std::string id = Format("%.2d", deviceId);
    std::reverse(id.begin(), id.end());
    return Format("(%02dolleh%s)", HelloModelCode(model), id.c_str());
}

std::uint8_t RebuildKetraInputStatus(std::uint8_t s) {
    std::uint8_t r = 0;
    if (s & 0x01) r |= 0x10;
    if (s & 0x04) r |= 0x20;
    if (s & 0x20) r |= 0x40;
    if (s & 0x80) r |= 0x80;
    return r;
}

std::optional<LevelFrame> DecodeLevelFrame(std::string_view reply, DeviceModel model) {
    const std::size_t last = kLevelReplyLength - 1;
    if (reply.size() < kLevelReplyLength || reply[0] != '(' || reply[last] != ')') return std::nullopt;
    // A garbled frame would decode into levels and lamps that are not the device's.
    for (std::size_t i = 4; i < last; ++i)
        if (!((reply[i] >= '0' && reply[i] <= '9') || (reply[i] >= 'A' && reply[i] <= 'F')))
            return std::nullopt;
    const std::vector<std::uint8_t> b = HexDecode(reply, 2);
    if (b.size() < 18) return std::nullopt;
    const auto display = [](std::uint8_t v) { return static_cast<std::uint8_t>(v >= 96 ? 0 : 96 - v); };
    LevelFrame f;
    for (int i = 0; i < 8; ++i) {
        f.in[i] = display(b[i]);
        f.out[i] = display(b[9 + i]);
    }
    f.inStatus = model == DeviceModel::Ketra ? RebuildKetraInputStatus(b[8]) : b[8];
    f.outStatus = b[17];
    return f;
}

std::string EncodeProgramName(std::string_view name) {
    const std::string padded = (std::string(name) + std::string(20, '.')).substr(0, 20);
    std::string hex;
    for (unsigned char c : padded) hex += Format(c < 16 ? "0%x" : "%x", c);
    return ToUpper(hex);
}

std::optional<std::string> DecodeProgramName(std::string_view reply) {
    if (reply.size() != 51) return std::nullopt;
    const auto bytes = DecodeHex(reply.substr(10, 40));
    if (!bytes) return std::nullopt;
    std::string name;
    for (std::uint8_t b : *bytes) {
        if (b == 0) break;
        name += static_cast<char>(b);
    }
    return name;
}

} // namespace quellmarin
