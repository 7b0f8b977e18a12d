#include "edit/EqEditor.h"

#include "dsp/Scales.h"
#include "protocol/Frames.h"

#include <algorithm>
#include <cmath>

namespace quellmarin {

EqEditor::Fields EqEditor::FieldsOf(int type) {
    switch (type) {
    case 1:
        return {true, true, true}; // peaking
    case 2:
        return {true, true, false}; // band-pass
    case 3:
        return {true, false, true}; // high shelf
    case 4:
        return {true, false, true}; // low shelf
    case 5:
        return {true, true, false}; // notch
    default:
        return {false, false, false};
    }
}

int EqEditor::BandCount() const {
    return IsOutput(section_) ? kOutputBands : kInputBands;
}

std::string EqEditor::Title(int channel) const {
    // The blanks line the channel up at the window's right, as the device's own software does.
    const std::string head =
        IsOutput(section_) ? "OUTPUT PEQ" + std::string(19, ' ') : "INPUT PEQ" + std::string(21, ' ');
    return EditorTitle(head, ctx_.params, {section_, channel}, ctx_.model);
}

PeqBand EqEditor::StepsOf(const BandSetting& b) {
    const int f = SnapEqBandFrequency(b.freqHz, b.freqStep).step;
    const int v = std::clamp(static_cast<int>(std::trunc((b.gainDb + 12) * 2)), 0, kGainSteps - 1);
    const int q = std::clamp(b.qStep, 0, kEqQMax);
    return {static_cast<std::uint8_t>(std::clamp(b.type, 0, 5)), static_cast<std::uint8_t>(f),
            static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(q)};
}

PeqBand& EqEditor::BandRef(int master, int band) {
    return IsOutput(section_) ? ctx_.Out(master).Peq[band] : ctx_.In(master).Peq[band];
}

PeqBand EqEditor::Band(int channel, int band) const {
    const int L = ChannelRef{section_, channel}.Master(ctx_.params);
    band = std::clamp(band, 0, BandCount() - 1);
    return IsOutput(section_) ? ctx_.params.OutCH[L].Peq[band] : ctx_.params.InCH[L].Peq[band];
}

BandSetting EqEditor::SettingOf(const PeqBand& b) {
    const int f = std::clamp<int>(b.Freq, 0, kFrequencySteps - 1);
    return {b.Type, FrequencyValues()[f], f, GainValues()[std::min<int>(b.Level, kGainSteps - 1)],
            std::min<int>(b.Q, kEqQMax)};
}

void EqEditor::ApplyBand(int channel, int band, const BandSetting& b) {
    if (band < 0 || band >= BandCount()) return;
    const int L = ChannelRef{section_, channel}.Master(ctx_.params);
    const PeqBand s = StepsOf(b);
    BandRef(L, band) = s;
    ctx_.Send(IsOutput(section_) ? "$034" : "$027", L, band);
}

std::string EqEditor::FrequencyText(int channel, int band) const {
    return BandFrequencyText(FrequencyValues()[std::min<int>(Band(channel, band).Freq, kFrequencySteps - 1)]);
}

std::string EqEditor::QText(int channel, int band) const {
    return quellmarin::QText(std::min<int>(Band(channel, band).Q, kEqQMax));
}

std::string EqEditor::LevelText(int channel, int band) const {
    return quellmarin::LevelText(std::min<int>(Band(channel, band).Level, kGainSteps - 1));
}

bool EqEditor::Enabled(int channel) const {
    const int L = ChannelRef{section_, channel}.Master(ctx_.params);
    return (IsOutput(section_) ? ctx_.params.OutCH[L].PeqEnable : ctx_.params.InCH[L].PeqEnable) != 0;
}

void EqEditor::SetEnabled(int channel, bool on) {
    const int L = ChannelRef{section_, channel}.Master(ctx_.params);
    (IsOutput(section_) ? ctx_.Out(L).PeqEnable : ctx_.In(L).PeqEnable) = on ? 111 : 0;
    ctx_.Send(IsOutput(section_) ? "$038" : "$026", L);
}

void EqEditor::SetType(int channel, int band, int type) {
    if (band < 0 || band >= BandCount() || type < 0 || type > 5) return;
    BandSetting b = SettingOf(Band(channel, band));
    b.type = type;
    ApplyBand(channel, band, b);
}

void EqEditor::Step(int channel, int band, BandField field, bool up) {
    if (band < 0 || band >= BandCount()) return;
    PeqBand s = Band(channel, band);
    if (s.Type == 0) return;
    const int d = up ? 1 : -1;
    switch (field) {
    case BandField::Frequency:
        s.Freq = static_cast<std::uint8_t>(std::clamp(s.Freq + d, kEqFreqMin, kEqFreqMax));
        break;
    case BandField::Q:
        s.Q = static_cast<std::uint8_t>(std::clamp(s.Q + d, 0, kEqQMax));
        break;
    case BandField::Level:
        s.Level = static_cast<std::uint8_t>(std::clamp(s.Level + d, 0, kGainSteps - 1));
        break;
    }
    ApplyBand(channel, band, SettingOf(s));
}

std::vector<std::string_view> EqEditor::SetValues(int channel, int band, std::string_view frequency,
                                                  std::string_view q, std::string_view level) {
    if (band < 0 || band >= BandCount()) return {};
    return SetBand(channel, band, Band(channel, band).Type, frequency, q, level);
}

std::vector<std::string_view> EqEditor::SetBand(int channel, int band, int type, std::string_view frequency,
                                                std::string_view q, std::string_view level) {
    std::vector<std::string_view> messages;
    if (band < 0 || band >= BandCount() || type < 0 || type >= static_cast<int>(kTypeTexts.size()))
        return messages;
    const Clamped f = ClampEqFrequency(ParseFrequencyText(frequency));
    const Clamped qv = ClampQ(LeadingNumber(q));
    const Clamped lv = ClampLevel(LeadingNumber(level));
    for (const Clamped* c : {&f, &qv, &lv})
        if (!c->message.empty()) messages.push_back(c->message);
    const PeqBand now = Band(channel, band);
    BandSetting b{type, f.value, now.Freq, 0, std::min(NearestQStep(qv.value), kEqQMax)};
    b.gainDb = GainValues()[NearestLevelStep(lv.value)];
    ApplyBand(channel, band, b);
    return messages;
}

std::string EqEditor::Summary(int channel) const {
    int used = 0;
    for (int j = 0; j < BandCount(); ++j) used += Band(channel, j).Type != 0;
    return std::string(Enabled(channel) ? "EQ on, " : "EQ off, ") + std::to_string(used) +
           (used == 1 ? " band" : " bands");
}

} // namespace quellmarin
