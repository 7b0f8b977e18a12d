#include "edit/DelayEditor.h"

#include "dsp/Scales.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quellmarin {

namespace {

constexpr double kInchesPerMetre = 39.370078740157;
constexpr double kFeetPerMetre = 3.2808398950131;

std::string Three(double v) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.3f", v);
    return buf;
}

template <class Channel> int SamplesOf(const Channel& ch) {
    return DelaySamples(ch.DelayH, ch.DelayM, ch.DelayL);
}

} // namespace

std::string DelayEditor::Title(int channel) const {
    // The blanks line the channel up at the window's right, as the device's own software does.
    const std::string head =
        IsOutput(section_) ? "OUTPUT DELAY" + std::string(17, ' ') : "INPUT DELAY" + std::string(27, ' ');
    return EditorTitle(head, ctx_.params, {section_, channel}, ctx_.model);
}

std::string DelayEditor::Label(int channel) {
    return "CH[" + std::to_string(channel + 1) + "]";
}

void DelayEditor::Load(int channel) {
    channel_ = channel;
    const int master = ChannelRef{section_, channel}.Master(ctx_.params);
    samples_ = std::clamp(IsOutput(section_) ? SamplesOf(ctx_.params.OutCH[master])
                                             : SamplesOf(ctx_.params.InCH[master]),
                          0, kMaxDelaySamples);
    ShowSamples();
}

void DelayEditor::ShowMetres(double metres) {
    fields_.metres = Three(metres);
    fields_.feet = Three(metres * kFeetPerMetre);
    fields_.inches = Three(metres * kInchesPerMetre);
}

void DelayEditor::ShowSamples() {
    const double ms = samples_ / 48.0;
    fields_.ms = Three(ms);
    ShowMetres(ms * 340 * 0.001);
}

void DelayEditor::Commit() {
    const int master = ChannelRef{section_, channel_}.Master(ctx_.params);
    const std::string_view code = IsOutput(section_) ? "$032" : "$029";
    // The delay is stored only with a frame that can be sent.
    if (samples_ < 0 || samples_ > 999999 || !ctx_.CanSend(code, master)) return;
    if (IsOutput(section_))
        SetDelaySamples(ctx_.Out(master), samples_);
    else
        SetDelaySamples(ctx_.In(master), samples_);
    ctx_.Send(code, master);
}

void DelayEditor::Spin(bool up) {
    if (up && samples_ < kMaxDelaySamples) ++samples_;
    if (!up && samples_ >= 1) --samples_;
    Commit();
    ShowSamples();
}

DelayEditor::Step DelayEditor::StepMilliseconds(int channel, double ms) {
    Load(channel);
    if (!std::isfinite(ms)) return {samples_, false}; // no step at all: nothing moves, nothing is sent
    const double wanted = samples_ + std::round(ms * 48.0);
    samples_ = static_cast<int>(std::clamp(wanted, 0.0, static_cast<double>(kMaxDelaySamples)));
    Commit();
    ShowSamples();
    return {samples_, !(wanted >= 0 && wanted <= kMaxDelaySamples)};
}

std::string DelayEditor::HeldNote(const std::string& channel, int samples) {
    return channel + " delay held at " + (samples == 0 ? "0 ms" : "2000 ms") + ", the end of its range";
}

DelayEditor::Outcome DelayEditor::TypeMilliseconds(std::string_view text) {
    if (text == fields_.ms) return {};
    const double t = LeadingNumber(text);
    const DelayInput in = DelayFromMilliseconds(t);
    if (!in.ok()) return {false, in.error};
    samples_ = in.samples;
    Commit();
    fields_.ms = std::string(text);
    ShowMetres(t * 340 * 0.001);
    return {true, {}};
}

DelayEditor::Outcome DelayEditor::TypeMetres(std::string_view text) {
    if (text == fields_.metres) return {};
    const double d = LeadingNumber(text);
    const DelayInput in = DelayFromMetres(d);
    if (!in.ok()) return {false, in.error};
    samples_ = in.samples;
    fields_.ms = Three(d * 1000 * 0.0029411764705882353);
    ShowMetres(d);
    fields_.metres = std::string(text);
    Commit();
    return {true, {}};
}

std::string DelaySummary(const SystemParameters& p, ChannelRef c) {
    const int master = c.Master(p);
    const int n = IsOutput(c.section) ? SamplesOf(p.OutCH[master]) : SamplesOf(p.InCH[master]);
    return "Delay " + DelayMsText(n) + " (" + DelayMetresText(n) + ")";
}

std::array<OutputDelayRow, 8> OutputDelayTable(const SystemParameters& p, int inputChannel) {
    std::array<OutputDelayRow, 8> rows{};
    const int c = std::clamp(inputChannel, 0, 7);
    const int input = SamplesOf(p.InCH[ChannelRef{Section::Input, c}.Master(p)]);
    for (int k = 0; k < 8; ++k) {
        const int own = SamplesOf(p.OutCH[ChannelRef{Section::Output, k}.Master(p)]);
        OutputDelayRow& row = rows[k];
        row.routed = p.OutCH[k].Route[c] != 0;
        const int total = own + (row.routed ? input : 0);
        row.own = DelayMsText(own);
        row.total = DelayMsText(total);
        row.totalMetres = DelayMetresText(total);
        row.totalMs = DelayMs(total);
    }
    return rows;
}

} // namespace quellmarin
