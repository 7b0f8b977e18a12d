#include "edit/CrossoverEditor.h"

#include "dsp/Scales.h"
#include "protocol/Frames.h"

#include <algorithm>

namespace quellmarin {

std::string CrossoverEditor::Title(int channel) const {
    return EditorTitle("OUTPUT HLPF" + std::string(18, ' '), ctx_.params, {Section::Output, channel},
                       ctx_.model);
}

CrossoverSetting CrossoverEditor::Current(int channel) const {
    const OutputChannel& o = ctx_.params.OutCH[ChannelRef{Section::Output, channel}.Master(ctx_.params)];
    return {o.HpfType, o.HpfFreq, o.LpfType, o.LpfFreq};
}

void CrossoverEditor::ApplyCrossover(int channel, const CrossoverSetting& x) {
    const int L = ChannelRef{Section::Output, channel}.Master(ctx_.params);
    OutputChannel& out = ctx_.Out(L);
    out.HpfType = static_cast<std::uint8_t>(x.hpfType);
    out.HpfFreq = static_cast<std::uint8_t>(x.hpfStep);
    out.LpfType = static_cast<std::uint8_t>(x.lpfType);
    out.LpfFreq = static_cast<std::uint8_t>(x.lpfStep);
    ctx_.Send("$033", L);
}

std::string CrossoverEditor::FrequencyText(int channel, bool highPass) const {
    const CrossoverSetting x = Current(channel);
    return highPass ? HighPassText(x.hpfStep) : LowPassText(x.lpfStep);
}

void CrossoverEditor::SetType(int channel, bool highPass, int type) {
    if (type < 0 || type >= static_cast<int>(kSlopeTexts.size())) return;
    CrossoverSetting x = Current(channel);
    (highPass ? x.hpfType : x.lpfType) = type;
    ApplyCrossover(channel, x);
}

void CrossoverEditor::Step(int channel, bool highPass, bool up) {
    CrossoverSetting x = Current(channel);
    int& step = highPass ? x.hpfStep : x.lpfStep;
    step = std::clamp(step + (up ? 1 : -1), 0, kLpfOff);
    ApplyCrossover(channel, x);
}

std::string_view CrossoverEditor::TypeFrequency(int channel, bool highPass, std::string_view text,
                                                std::optional<int> type) {
    const Clamped f = ClampEqFrequency(ParseFrequencyText(text));
    CrossoverSetting x = Current(channel);
    if (type && *type >= 0 && *type < static_cast<int>(kSlopeTexts.size()))
        (highPass ? x.hpfType : x.lpfType) = *type;
    if (highPass)
        x.hpfStep = std::max(1, HighPassStep(f.value));
    else
        x.lpfStep = std::min(121, LowPassStep(f.value));
    ApplyCrossover(channel, x);
    return f.message;
}

void CrossoverEditor::SwitchOff(int channel, bool highPass) {
    CrossoverSetting x = Current(channel);
    (highPass ? x.hpfStep : x.lpfStep) = highPass ? 0 : kLpfOff;
    ApplyCrossover(channel, x);
}

std::string CrossoverEditor::Summary(int channel) const {
    const CrossoverSetting x = Current(channel);
    const auto side = [](const std::string& freq, int type) {
        return freq == "OFF" ? freq : freq + " " + std::string(kSlopeTexts[std::clamp(type, 0, 11)]);
    };
    return "HP " + side(FrequencyText(channel, true), x.hpfType) + ", LP " +
           side(FrequencyText(channel, false), x.lpfType);
}

} // namespace quellmarin
