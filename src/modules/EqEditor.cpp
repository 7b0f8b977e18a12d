#include "modules/EqEditor.h"

#include "dsp/Scales.h"
#include "link/Frames.h"

#include <algorithm>
#include <cmath>

namespace quellmarin {

int EqEditor::BandCount() const {
    return IsOutput(section_) ? kOutputBands : kInputBands;
}

PeqBand EqEditor::StepsOf(const BandSetting& b) {
    const int f = SnapEqBandFrequency(b.freqHz, b.freqStep).step;
    const int v = std::clamp(static_cast<int>(std::trunc((b.gainDb + 12) * 2)), 0, kGainSteps - 1);
    const int q = std::clamp(b.qStep, 0, kEqQMax);
    return {static_cast<std::uint8_t>(std::clamp(b.type, 0, 5)), static_cast<std::uint8_t>(f),
            static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(q)};
}

void EqEditor::ApplyBand(int channel, int band, const BandSetting& b) {
    if (band < 0 || band >= BandCount()) return;
    const int L = ChannelRef{section_, channel}.Master(ctx_.params);
    const PeqBand s = StepsOf(b);
    const std::string address = ctx_.Address();
    if (IsOutput(section_)) {
        ctx_.Out(L).Peq[band] = s;
        ctx_.Post(FrameOutputPeqBand(address, L, band, s.Type, s.Freq, s.Level, s.Q));
    } else {
        ctx_.In(L).Peq[band] = s;
        ctx_.Post(FrameInputPeqBand(address, L, band, s.Type, s.Freq, s.Level, s.Q));
    }
}

} // namespace quellmarin
