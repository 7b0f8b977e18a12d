#include "edit/GainEditor.h"

#include "dsp/Scales.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quellmarin {

std::string GainEditor::Title(int channel) const {
    // The blanks line the channel up at the window's right, as the device's own software does.
    const std::string head =
        IsOutput(section_) ? "OUTPUT GAIN                  " : "INPUT GAIN                    ";
    return EditorTitle(head, ctx_.params, {section_, channel}, ctx_.model);
}

std::uint8_t& GainEditor::GainOf(int master) {
    return IsOutput(section_) ? ctx_.Out(master).Gain : ctx_.In(master).Gain;
}

int GainEditor::Position(int channel) const {
    const int master = ChannelRef{section_, channel}.Master(ctx_.params);
    const int code = IsOutput(section_) ? ctx_.params.OutCH[master].Gain : ctx_.params.InCH[master].Gain;
    return std::clamp(FaderPositionOf(code), kFaderMin, kFaderMax);
}

std::string GainEditor::Readout(int position) {
    return std::to_string(FaderDb(position)) + "dB";
}

void GainEditor::Apply(int channel, int position) {
    const int master = ChannelRef{section_, channel}.Master(ctx_.params);
    const int code = GainCodeOfFader(std::clamp(position, kFaderMin, kFaderMax));
    GainOf(master) = static_cast<std::uint8_t>(code);
    ctx_.Send(IsOutput(section_) ? "$035" : "$028", master);
}

bool GainEditor::SetDb(int channel, double db) {
    if (!(db >= kMinDb && db <= kMaxDb)) return false; // also refuses NaN
    // Fader position 1 is +12 dB, one position a decibel.
    Apply(channel, 13 - static_cast<int>(std::lround(db)));
    return true;
}

int GainEditor::Db(int channel) const {
    return 13 - Position(channel);
}

GainEditor::Step GainEditor::StepDb(int channel, int deltaDb) {
    const int wanted = Db(channel) + deltaDb;
    const int db = std::clamp(wanted, static_cast<int>(kMinDb), static_cast<int>(kMaxDb));
    SetDb(channel, db);
    return {db, db != wanted};
}

std::string GainEditor::HeldNote(const std::string& channel, int db) {
    return channel + " gain held at " + (db > 0 ? "+" : "") + std::to_string(db) + " dB, the end of its range";
}

void GainEditor::StepUp(int channel) {
    const int p = Position(channel);
    if (p > kFaderMin) Apply(channel, p - 1);
}

void GainEditor::StepDown(int channel) {
    const int p = Position(channel);
    if (p < kFaderMax) Apply(channel, p + 1);
}

void GainEditor::RepeatUp(int channel) {
    const int p = Position(channel);
    Apply(channel, p >= 2 ? p - 1 : p);
}

void GainEditor::RepeatDown(int channel) {
    const int p = Position(channel);
    Apply(channel, p < kFaderMax ? p + 1 : p);
}

bool GainEditor::Inverted(int channel) const {
    return ctx_.params.OutCH[ChannelRef{Section::Output, channel}.Master(ctx_.params)].Polarity != 0;
}

void GainEditor::SetInverted(int channel, bool inverted) {
    if (!IsOutput(section_)) return;
    const int master = ChannelRef{Section::Output, channel}.Master(ctx_.params);
    // Unlike the other editors, the polarity is stored only with a frame that can be sent.
    if (!ctx_.CanSend("$039", master)) return;
    ctx_.Out(master).Polarity = inverted ? 1 : 0;
    ctx_.Send("$039", master);
}

std::string GainEditor::Summary(int channel) const {
    std::string s = "Gain " + std::to_string(FaderDb(Position(channel))) + " dB";
    if (IsOutput(section_) && Inverted(channel)) s += ", polarity inverted";
    return s;
}

} // namespace quellmarin
