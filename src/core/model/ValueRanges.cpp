#include "model/ValueRanges.h"

namespace quellmarin {

std::string InputLabel(int slot, DeviceModel model) {
    if (model == DeviceModel::Ketra) {
        if (slot >= 4) return std::string(1, static_cast<char>('A' + slot - 4));
        return "slot " + std::to_string(slot + 1) + " (unused)";
    }
    return std::to_string(slot + 1);
}

namespace {

class Checker {
  public:
    explicit Checker(std::vector<OutOfRange>& out) : out_(out) {}
    void Check(const std::string& field, const char* name, int value, int max) {
        if (value <= max) return;
        const std::string what =
            std::string(name) + " " + std::to_string(value) + " above " + std::to_string(max);
        if (!out_.empty() && out_.back().field == field)
            out_.back().what += ", " + what;
        else
            out_.push_back({field, what});
    }
    // The equaliser switch: 0 off, 111 on as the editors store it (1 from older files).
    void Switch(const std::string& field, int value) {
        if (value == 111) return;
        Check(field, "enable", value, 1);
    }
    void Band(const std::string& field, const PeqBand& b) {
        Check(field, "type", b.Type, kMaxEqType);
        Check(field, "freq", b.Freq, kMaxFrequencyStep);
        Check(field, "level", b.Level, kMaxLevelStep);
        Check(field, "q", b.Q, kMaxQStep);
    }
    template <class Channel> void Delay(const std::string& field, const Channel& ch) {
        Check(field, "h", ch.DelayH, 99);
        Check(field, "m", ch.DelayM, 99);
        Check(field, "l", ch.DelayL, 99);
        Check(field, "samples", DelaySamples(ch), kMaxDelay);
    }

  private:
    std::vector<OutOfRange>& out_;
};

} // namespace

std::vector<OutOfRange> OutOfRangeValues(const SystemParameters& p, DeviceModel model) {
    std::vector<OutOfRange> out;
    Checker c(out);
    for (int k = 0; k < kInputSlots; ++k) {
        const InputChannel& in = p.InCH[k];
        const std::string ch = "in " + InputLabel(k, model);
        c.Check(ch + " link", "link", in.LinkIndex, kInputSlots - 1);
        c.Switch(ch + " peq", in.PeqEnable);
        for (int j = 0; j < kInputBands; ++j) c.Band(ch + " peq band " + std::to_string(j + 1), in.Peq[j]);
        c.Check(ch + " gain", "gain", in.Gain, kMaxGainCode);
        c.Delay(ch + " delay", in);
        c.Check(ch + " mute", "mute", in.Mute, 1);
        const Compressor& comp = p.Comp[k];
        c.Check(ch + " comp", "attack", comp.Attack, kMaxCompTime);
        c.Check(ch + " comp", "release", comp.Release, kMaxCompTime);
        c.Check(ch + " comp", "threshold", comp.Threshold, kMaxCompThreshold);
        c.Check(ch + " comp", "ratio", comp.Ratio, kMaxCompRatio);
    }
    for (int k = 0; k < kOutputSlots; ++k) {
        const OutputChannel& o = p.OutCH[k];
        const std::string ch = "out " + std::to_string(k + 1);
        c.Check(ch + " link", "link", o.LinkIndex, kOutputSlots - 1);
        for (int i = 0; i < kInputSlots; ++i)
            c.Check(ch + " route", ("in" + std::to_string(i + 1)).c_str(), o.Route[i], kMaxGainCode);
        c.Delay(ch + " delay", o);
        c.Check(ch + " hpf", "type", o.HpfType, kMaxCrossoverType);
        c.Check(ch + " hpf", "freq", o.HpfFreq, kMaxFrequencyStep);
        c.Check(ch + " lpf", "type", o.LpfType, kMaxCrossoverType);
        c.Check(ch + " lpf", "freq", o.LpfFreq, kMaxFrequencyStep);
        c.Switch(ch + " peq", o.PeqEnable);
        for (int j = 0; j < kOutputBands; ++j) c.Band(ch + " peq band " + std::to_string(j + 1), o.Peq[j]);
        c.Check(ch + " gain", "gain", o.Gain, kMaxGainCode);
        c.Check(ch + " polarity", "polarity", o.Polarity, 1);
        c.Check(ch + " limit", "limit", o.Limit, kMaxLimitStep);
        c.Check(ch + " mute", "mute", o.Mute, 1);
    }
    return out;
}

std::string OutOfRangeSummary(const std::vector<OutOfRange>& values, std::size_t listed) {
    std::string text;
    for (std::size_t i = 0; i < values.size() && i < listed; ++i)
        text += (i ? ", " : "") + values[i].field + " (" + values[i].what + ")";
    if (values.size() > listed) text += " and " + std::to_string(values.size() - listed) + " more";
    return text;
}

} // namespace quellmarin
