#include "edit/LimiterEditor.h"

#include "dsp/Scales.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quellmarin {

std::string LimiterEditor::Title(int channel) const {
    return EditorTitle("OUTPUT LIMIT" + std::string(18, ' '), ctx_.params, {Section::Output, channel},
                       ctx_.model);
}

std::string LimiterEditor::ItemText(int item) {
    return LimitText(kItems - 1 - item);
}

int LimiterEditor::SelectedItem(int channel) const {
    const int master = ChannelRef{Section::Output, channel}.Master(ctx_.params);
    return std::clamp(kItems - 1 - int(ctx_.params.OutCH[master].Limit), 0, kItems - 1);
}

void LimiterEditor::Select(int channel, int item) {
    const int v = kItems - 1 - item;
    if (v < 0 || v > kItems - 1) return;
    remembered_.at(channel) = item;
    const int master = ChannelRef{Section::Output, channel}.Master(ctx_.params);
    ctx_.Out(master).Limit = static_cast<std::uint8_t>(v);
    ctx_.Send("$036", master);
}

bool LimiterEditor::SetDbu(int channel, double dbu) {
    const auto step = StepOf(dbu);
    if (!step) return false;
    Select(channel, kItems - 1 - *step);
    return true;
}

std::optional<int> LimiterEditor::StepOf(double dbu) {
    if (!std::isfinite(dbu) || std::fabs(dbu) > 1000) return std::nullopt;
    // Step 0 is -27.5 dBu, 0.5 dB a step.
    const long step = std::lround(dbu * 2) + 55;
    if (step < 0 || step >= kItems) return std::nullopt;
    return static_cast<int>(step);
}

double LimiterEditor::Dbu(int channel) const {
    return (kItems - 1 - SelectedItem(channel) - 55) / 2.0;
}

std::string LimiterEditor::Summary(int channel) const {
    char buf[32];
    std::snprintf(buf, sizeof buf, "Limit %+.1f dBu", LimitDbu(kItems - 1 - SelectedItem(channel)));
    return buf;
}

} // namespace quellmarin
