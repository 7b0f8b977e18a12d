#include "edit/RecordDiff.h"

#include "protocol/Frames.h"

#include <array>
#include <cstring>

namespace quellmarin {

namespace {

bool SameBand(const PeqBand& a, const PeqBand& b) {
    return a.Type == b.Type && a.Freq == b.Freq && a.Level == b.Level && a.Q == b.Q;
}

bool On(std::uint8_t v) {
    return v != 0;
}

std::string AliasText(const SystemParameters& p, int index) {
    return std::string(p.ChName[index], kAliasLength);
}

} // namespace

RecordDiff DiffFrames(const SystemParameters& a, const SystemParameters& b, std::string_view address,
                      DeviceModel model) {
    RecordDiff d;
    auto& f = d.frames;
    std::array<std::uint8_t, 8> inLinks{}, outLinks{}, aInLinks{}, aOutLinks{};
    for (int k = 0; k < 8; ++k) {
        inLinks[k] = b.InCH[k].LinkIndex;
        outLinks[k] = b.OutCH[k].LinkIndex;
        aInLinks[k] = a.InCH[k].LinkIndex;
        aOutLinks[k] = a.OutCH[k].LinkIndex;
    }
    if (inLinks != aInLinks) f.push_back(FrameInputLink(address, inLinks));
    if (outLinks != aOutLinks) f.push_back(FrameOutputLink(address, outLinks));

    for (int k = 0; k < kInputSlots; ++k) {
        const InputChannel &x = a.InCH[k], &y = b.InCH[k];
        if (On(x.PeqEnable) != On(y.PeqEnable)) f.push_back(FrameInputPeqEnable(address, k, On(y.PeqEnable)));
        for (int j = 0; j < kInputBands; ++j)
            if (!SameBand(x.Peq[j], y.Peq[j]))
                f.push_back(FrameInputPeqBand(address, k, j, y.Peq[j].Type, y.Peq[j].Freq, y.Peq[j].Level,
                                              y.Peq[j].Q));
        if (x.Gain != y.Gain) f.push_back(FrameInputGain(address, k, y.Gain));
        if (DelaySamples(x) != DelaySamples(y)) f.push_back(FrameInputDelay(address, k, DelaySamples(y)));
        if (On(x.Mute) != On(y.Mute)) f.push_back(FrameInputMute(address, k, On(y.Mute)));
        const Compressor &c = a.Comp[k], &e = b.Comp[k];
        if (c.Attack != e.Attack || c.Release != e.Release || c.Threshold != e.Threshold ||
            c.Ratio != e.Ratio)
            f.push_back(FrameCompressor(address, k, e.Attack, e.Ratio, e.Threshold, e.Release));
    }
    for (int k = 0; k < kOutputSlots; ++k) {
        const OutputChannel &x = a.OutCH[k], &y = b.OutCH[k];
        if (std::memcmp(x.Route, y.Route, sizeof x.Route) != 0)
            f.push_back(FrameRoute(address, k, std::span<const std::uint8_t, 8>(y.Route), model));
        if (DelaySamples(x) != DelaySamples(y)) f.push_back(FrameOutputDelay(address, k, DelaySamples(y)));
        if (x.HpfType != y.HpfType || x.HpfFreq != y.HpfFreq || x.LpfType != y.LpfType ||
            x.LpfFreq != y.LpfFreq)
            f.push_back(FrameCrossover(address, k, y.HpfType, y.HpfFreq, y.LpfType, y.LpfFreq));
        if (On(x.PeqEnable) != On(y.PeqEnable))
            f.push_back(FrameOutputPeqEnable(address, k, On(y.PeqEnable)));
        for (int j = 0; j < kOutputBands; ++j)
            if (!SameBand(x.Peq[j], y.Peq[j]))
                f.push_back(FrameOutputPeqBand(address, k, j, y.Peq[j].Type, y.Peq[j].Freq, y.Peq[j].Level,
                                               y.Peq[j].Q));
        if (x.Gain != y.Gain) f.push_back(FrameOutputGain(address, k, y.Gain));
        if (On(x.Polarity) != On(y.Polarity)) f.push_back(FramePolarity(address, k, On(y.Polarity)));
        if (x.Limit != y.Limit) f.push_back(FrameLimit(address, k, y.Limit));
        if (On(x.Mute) != On(y.Mute)) f.push_back(FrameOutputMute(address, k, On(y.Mute)));
        if (x.OutSpare47 != y.OutSpare47 || x.OutSpare48 != y.OutSpare48 || x.OutSpare50 != y.OutSpare50 ||
            x.OutSpare52 != y.OutSpare52)
            d.unsettable.push_back("out " + std::to_string(k + 1) + " spare");
    }
    for (int i = 0; i < kAliasCount; ++i)
        if (AliasText(a, i) != AliasText(b, i))
            f.push_back(FrameAlias(address, i / 8, i % 8, AliasText(b, i)));

    if (std::memcmp(a.Name, b.Name, kNameLength) != 0)
        d.unsettable.insert(d.unsettable.begin(), "program name");
    if (a.Reserved0 != b.Reserved0 || a.Reserved1 != b.Reserved1) d.unsettable.push_back("reserved");
    if (a.RecordTail[0] != b.RecordTail[0] || a.RecordTail[1] != b.RecordTail[1])
        d.unsettable.push_back("record tail");
    return d;
}

bool SameSettings(const SystemParameters& a, const SystemParameters& b) {
    return DiffFrames(a, b, "00", kBuildModel).frames.empty();
}

} // namespace quellmarin
