// Every frame the program sends, built in one place from its format, and the parsers of the replies
// the program examines. A frame is "(" + address text + body + ")", printable ASCII, no line end.
#pragma once

#include "model/DeviceModel.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quellmarin {

// Two-character address text of a device ID: "07", "12". The address before any selection is "00".
std::string AddressText(int deviceId);
inline constexpr std::string_view kNoAddress = "00";

// Fixed lengths of the commands that are posted only when they have them.
inline constexpr std::size_t kMuteFrameLength = 12;      // $030, $037
inline constexpr std::size_t kGainFrameLength = 12;      // $028, $035
inline constexpr std::size_t kPolarityFrameLength = 12;  // $039
inline constexpr std::size_t kDelayFrameLength = 15;     // $029, $032
inline constexpr std::size_t kGeneratorFrameLength = 15; // $001
inline constexpr std::size_t kLimitFrameLength = 17;     // $036
inline constexpr std::size_t kCompFrameLength = 18;      // $044
inline constexpr std::size_t kCrossoverFrameLength = 19; // $033
inline constexpr std::size_t kAliasFrameLength = 22;     // E
inline constexpr std::size_t kRouteFrameLength = 33;     // $031
inline constexpr std::size_t kProgramFrameLength = 8;    // T, R, S, G
inline constexpr std::size_t kNameFrameLength = 48;      // N with a name
inline constexpr std::size_t kResetRouteFrameLength = 5; // K
inline constexpr std::size_t kDownloadFrameLength = 1881;
inline constexpr std::size_t kLevelReplyLength = 41; // "(" + 3 + 36 hexadecimal digits + ")"
inline constexpr std::size_t kHelloReplyLength = 11;

// Numbered parameter commands.
std::string FrameGenerator(std::string_view address, bool on, int freqIndex, int levelCode); // $0011 / $0010
std::string FrameInputPeqEnable(std::string_view address, int channel, bool on);             // $026
std::string FrameOutputPeqEnable(std::string_view address, int channel, bool on);            // $038
std::string FrameInputPeqBand(std::string_view address, int channel, int band, int type, int freq, int level,
                              int q); // $027
std::string FrameOutputPeqBand(std::string_view address, int channel, int band, int type, int freq, int level,
                               int q);                                            // $034
std::string FrameInputGain(std::string_view address, int channel, int gainCode);  // $028
std::string FrameOutputGain(std::string_view address, int channel, int gainCode); // $035
std::string FrameInputDelay(std::string_view address, int channel, int samples);  // $029
std::string FrameOutputDelay(std::string_view address, int channel, int samples); // $032
std::string FrameInputMute(std::string_view address, int channel, bool muted);    // $030
std::string FrameOutputMute(std::string_view address, int channel, bool muted);   // $037
std::string FramePolarity(std::string_view address, int channel, bool inverted);  // $039
std::string FrameLimit(std::string_view address, int channel, int limitStep);     // $036
std::string FrameCompressor(std::string_view address, int channel, int attack, int ratio, int threshold,
                            int release); // $044
std::string FrameCrossover(std::string_view address, int channel, int hpfType, int hpfStep, int lpfType,
                           int lpfStep); // $033
// $031: the eight route levels of one output; on Ketra the four unused slots are always sent as 000.
std::string FrameRoute(std::string_view address, int output, std::span<const std::uint8_t, 8> routes,
                       DeviceModel model = kBuildModel);
std::string FrameInputLink(std::string_view address, std::span<const std::uint8_t, 8> linkIndex);  // $040
std::string FrameOutputLink(std::string_view address, std::span<const std::uint8_t, 8> linkIndex); // $041

// Letter commands.
std::string FrameEnd(std::string_view address);                                                   // B
std::string FrameAlias(std::string_view address, int kind, int channel, std::string_view name15); // E
std::string FrameDeleteProgram(std::string_view address, int program);                            // G
std::string FrameDeviceInfoRequest(std::string_view address);                                     // I
std::string FramePanelLock(std::string_view address, int lock);                                   // J
std::string FrameResetRoute(std::string_view address);                                            // K
std::string FrameLevelPoll(std::string_view address);                                             // L
// N with a name: the 40 hexadecimal digits of EncodeProgramName; the whole frame is upper case.
std::string FrameRenameProgram(std::string_view address, int program, std::string_view nameHex);
std::string FrameNameReply(std::string_view address, int program); // "(%sN%0.3d)", the device's reply to N
std::string FrameDownload(std::string_view address, std::string_view recordHex); // P
std::string FrameParameterRequest(std::string_view address);                     // Q000
std::string FrameRecallProgram(std::string_view address, int program);           // R
std::string FrameStoreProgram(std::string_view address, int program);            // S
std::string FrameProgramQuery(std::string_view address, int program);            // T
std::string FrameHello(int deviceId);                                            // hello

// Strips leading and trailing blanks (space, tab, CR, LF, VT, FF), as the reply readers do.
std::string_view TrimBlanks(std::string_view text);

// Hello reply: exactly 11 characters, the build model's code, "hello" reversed, the ID digits reversed.
bool IsHelloReply(std::string_view reply, int deviceId, DeviceModel model = kBuildModel);
// The reply a device with this ID and model gives to its hello probe.
std::string HelloReply(int deviceId, DeviceModel model);

// A level frame: "(", three characters, 36 hexadecimal digits, ")" at position 40.
struct LevelFrame {
    std::array<std::uint8_t, 8> in{}; // display levels 96 - b: 0 empty, 96 full
    std::uint8_t inStatus = 0;        // rebuilt for Ketra
    std::array<std::uint8_t, 8> out{};
    std::uint8_t outStatus = 0;
    std::string address; // whose meters: the link worker says, for several processors on one line
};
// Only a frame whose 36 data characters are all upper-case hexadecimal digits is decoded; a level byte
// above 96 shows as an empty meter, never as a level above 96.
std::optional<LevelFrame> DecodeLevelFrame(std::string_view reply, DeviceModel model = kBuildModel);
inline constexpr std::string_view kLostDevice = "Has been disconnect to DEVICE!";
// Ketra keeps its four inputs' status in other bits: 0 -> 4, 2 -> 5, 5 -> 6, 7 -> 7, the rest cleared.
std::uint8_t RebuildKetraInputStatus(std::uint8_t status);

// Program names on the wire: always 20 bytes, padded with ".", two hexadecimal digits per byte.
std::string EncodeProgramName(std::string_view name);
// The name in a 51-character T reply (digits from index 10), up to its first zero byte. A reply of
// another length, or whose 40 digits are not all upper-case hexadecimal, gives nothing.
std::optional<std::string> DecodeProgramName(std::string_view reply);
inline constexpr std::string_view kEmptyProgramReply = "(error059)";

} // namespace quellmarin
