// The command table: every command of the wire once, with its code, its frame's fixed length, what one
// frame of it addresses, its parameter key, the record fields it sets, how its frame is built from the
// records and how the device applies a frame of it to its records. The frame builders, the queue's
// parameter keys, the record difference, the edit history and the virtual processor all read it, so
// adding a numbered parameter is one entry here plus its editor.
#pragma once

#include "model/Records.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quellmarin {

enum class Section { Input, Output };

inline constexpr bool IsOutput(Section s) {
    return s == Section::Output;
}

// What one frame of a command addresses.
enum class Scope {
    Input,    // one input channel (0..7)
    Output,   // one output channel (0..7)
    Alias,    // one alias name (0..15: inputs, then outputs)
    Device,   // the whole device: one frame, no channel
    Exchange, // a request the device answers; it sets nothing in the program's records
};

// Which frames of a command replace each other while they wait for the worker: none, any two of the
// command, or two of the same channel (and band).
enum class KeyKind { None, Command, Channel, ChannelBand };

// Both records, for the commands that set the device information (generator, panel lock).
struct DeviceRecords {
    SystemParameters& params;
    DeviceInfoRecord& info;
};

struct CommandSpec {
    std::string_view code;   // "$028", "E", "L"
    std::string_view name;   // "gain", "PEQ band", "Links of the inputs"; empty: a step named "Edit"
    Scope scope;
    std::size_t length;      // the length of its frame; 0 where it varies
    bool lengthChecked;      // an editor posts it only when it has exactly that length
    KeyKind key;
    int bands;               // bands of a channel, for the band commands; else 0
    std::size_t replyLength; // the length of the device's answer when it is known in advance; else 0
    // The frame that carries unit `unit` (and band `band`) as the records hold it; null for the
    // commands that carry no record state.
    std::string (*build)(std::string_view address, const SystemParameters& p, const DeviceInfoRecord& d,
                         int unit, int band, DeviceModel model);
    // What the device does with a frame's body (the text between the address and ")"): false when it
    // is not one it takes, and then nothing changed. Null for the exchanges.
    bool (*apply)(std::string_view body, DeviceRecords records, DeviceModel model);
    // Whether unit `unit` (band `band`) agrees in two records; null for the commands a record
    // difference never sends.
    bool (*same)(const SystemParameters& a, const SystemParameters& b, int unit, int band);

    bool IsParameter() const { return code.size() == 4 && code[0] == '$'; }
    // How many units a record has of it: channels, alias names, or one.
    int Units() const;
    int BandsOrOne() const { return bands > 0 ? bands : 1; }
};

// The whole table, in the order in which a record difference sends its frames: the link lists first
// (the other settings are read through them), then each input's, each output's, then the alias names.
std::span<const CommandSpec> Commands();
// The command of a code ("$028", "L"); null when there is none.
const CommandSpec* FindCommand(std::string_view code);

// One frame read against the table: its command, and the unit and band its digits name (the channel
// digit, the band digits, the alias kind and channel), each nothing when the frame does not hold one.
struct FrameUnit {
    const CommandSpec* entry = nullptr;
    std::string_view address;
    std::optional<int> unit;
    std::optional<int> band;
};
// No entry for a frame no command of the table has (and for the hello probe).
FrameUnit ReadFrameUnit(std::string_view frame);

// The frame of a command for one unit, built from the records. Empty when the command carries no
// record state.
std::string BuildFrame(const CommandSpec& entry, std::string_view address, const SystemParameters& p,
                       const DeviceInfoRecord& d, int unit = 0, int band = 0,
                       DeviceModel model = kBuildModel);
// The device's side: applies a frame (with or without its parentheses and address) to the records.
// False, with nothing changed, for a frame the device does not take.
bool ApplyFrame(std::string_view frame, DeviceRecords records, DeviceModel model = kBuildModel);

// The parameter a frame sets, as a key: its address, command code and channel (and band for the
// equaliser band commands), for example "01$0273/02". Frames that set no single parameter (link
// lists, routing reset, program operations, the end of the connection, ...) have an empty key.
std::string ParameterKey(std::string_view frame);

// The length of the reply a request gets when it is one with a known reply (hello, level poll,
// whole record, device information, program query), else 0.
std::size_t KnownReplyLength(std::string_view frame);

} // namespace quellmarin
