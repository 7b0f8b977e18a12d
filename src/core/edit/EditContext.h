// What every editor works on: the two device records, the device model, the address text of the
// frames and the way a frame leaves for the device. An editor writes the record first, then sends the
// setting it changed: Send builds the frame from the record through the command table, tells the
// history, and posts it.
#pragma once

#include "model/Records.h"
#include "protocol/CommandTable.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace quellmarin {

// One channel as the user picked it: its section and index (0..7). Editors read, write and send the
// record of its link master: the channel named by its LinkIndex.
struct ChannelRef {
    Section section = Section::Input;
    int index = 0;

    // The LinkIndex of the channel (kept within 0..7 whatever the record holds).
    int Master(const SystemParameters& p) const;
    bool operator==(const ChannelRef&) const = default;
};

// A channel's number as the panel shows it: "3", or on Ketra "A".."D" for inputs.
std::string ChannelLabel(Section section, int channel, DeviceModel model);
// Channel names as the windows show them: "CH[3]", or on Ketra "CH[A]".."CH[D]" for inputs.
std::string ChannelTag(Section section, int channel, DeviceModel model);
// The channel as a sentence names it: "Input 3", "Output 8", on Ketra "Input A".
std::string ChannelName(Section section, int channel, DeviceModel model);
// The name to show beside a channel: its alias when one was given (not blank and not the "*" fill of
// the defaults), else nothing.
std::string DisplayName(const SystemParameters& p, ChannelRef c);
// An editor window's title: its head (with the blanks that line the channel up), "CH[n]", the
// channel's alias name when it has one, and " (editing CH[2])" when it is linked to another channel,
// whose settings the editor then shows.
std::string EditorTitle(std::string_view head, const SystemParameters& p, ChannelRef c, DeviceModel model);

struct EditContext {
    SystemParameters& params;
    DeviceInfoRecord& info;
    DeviceModel model = kBuildModel;
    // The address text of the selected device ("00" before any selection).
    std::function<std::string()> address;
    // Hands a frame to the link (or collects it, in tests and offline tools).
    std::function<void(std::string)> post;
    // Told of each setting an editor changed, as it sends it (the session's history takes its step).
    std::function<void(const CommandSpec&, int unit, int band)> edited;

    std::string Address() const { return address ? address() : std::string("00"); }
    // Sends one setting as the records now hold it: unit `unit` (a channel, an alias name) and band
    // `band` of the command `code`, its frame built through the command table. A command with a fixed
    // length is posted only when its frame has it; a frame of any other length is dropped without a
    // word (the record keeps the change). True when posted.
    bool Send(std::string_view code, int unit = 0, int band = 0) const;
    // Whether that frame could be posted: an editor that stores a value only when it can be sent asks.
    bool CanSend(std::string_view code, int unit = 0, int band = 0) const;
    // Posts the frame when it has exactly `length` characters, the fixed length of its command; a frame
    // of any other length is dropped without a word (the record keeps the change). True when posted.
    bool PostFixed(std::string frame, std::size_t length) const;
    // Posts a frame as it is.
    void Post(std::string frame) const;

    InputChannel& In(int index) { return params.InCH[index]; }
    OutputChannel& Out(int index) { return params.OutCH[index]; }
};

} // namespace quellmarin
