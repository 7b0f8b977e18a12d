#include "modules/CrossoverEditor.h"

#include "link/Frames.h"

namespace quellmarin {

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
    ctx_.PostFixed(FrameCrossover(ctx_.Address(), L, x.hpfType, x.hpfStep, x.lpfType, x.lpfStep),
                   kCrossoverFrameLength);
}

} // namespace quellmarin
