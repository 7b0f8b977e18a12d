#include "edit/RecordText.h"

#include "dsp/Response.h"
#include "dsp/Scales.h"

#include <cstdio>

namespace quellmarin {

namespace {

std::string Fmt(const char* fmt, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

// A text field as a quoted string; bytes outside printable ASCII are shown as \xNN.
std::string Quoted(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out + "\"";
}

std::string OnOff(int v) {
    return v ? "on" : "off";
}

std::string FrequencyStepText(int step) {
    if (step < 0 || step >= kFrequencySteps) return "invalid step";
    return std::string(FrequencyTable[step]) + " Hz";
}

std::string BandText(const PeqBand& b) {
    std::string level = b.Level < kGainSteps ? Fmt("%+.1f dB", GainValues()[b.Level]) : "invalid level";
    std::string q = b.Q < kQSteps ? "Q " + QText(b.Q) : "invalid Q";
    return std::string(EqTypeName(b.Type)) + " " + FrequencyStepText(b.Freq) + " " + level + " " + q;
}

DumpEntry Band(const std::string& name, const PeqBand& b) {
    return {name, BandText(b), {{"type", b.Type}, {"freq", b.Freq}, {"level", b.Level}, {"q", b.Q}}};
}

DumpEntry Delay(const std::string& name, int samples, std::uint8_t h, std::uint8_t m, std::uint8_t l) {
    return {name,
            DelayMsText(samples) + " " + DelayMetresText(samples),
            {{"samples", samples}, {"h", h}, {"m", m}, {"l", l}}};
}

std::string GainText(int code) {
    return Fmt("%+.1f dB", GainDb(code));
}

std::string CornerText(int type, int step, bool highPass) {
    return std::string(CrossoverTypeText(type)) + " " + (highPass ? HighPassText(step) : LowPassText(step));
}

} // namespace

std::vector<DumpEntry> DumpRecords(const SystemParameters& p, const DeviceInfoRecord& d, DeviceModel model) {
    std::vector<DumpEntry> e;
    e.push_back({"program name", Quoted(FieldText(p.Name, kNameLength)), {}});
    e.push_back({"reserved", "", {{"reserved0", p.Reserved0}, {"reserved1", p.Reserved1}}});

    for (int k = 0; k < kInputSlots; ++k) {
        const InputChannel& in = p.InCH[k];
        const std::string ch = "in " + InputLabel(k, model);
        const std::string link = in.LinkIndex == k ? "own settings"
                                 : in.LinkIndex < kInputSlots
                                     ? "linked to in " + InputLabel(in.LinkIndex, model)
                                     : "invalid link";
        e.push_back({ch + " link", link, {{"link", in.LinkIndex}}});
        e.push_back({ch + " peq", OnOff(in.PeqEnable), {{"enable", in.PeqEnable}}});
        for (int j = 0; j < kInputBands; ++j)
            e.push_back(Band(ch + " peq band " + std::to_string(j + 1), in.Peq[j]));
        e.push_back({ch + " gain", GainText(in.Gain), {{"gain", in.Gain}}});
        e.push_back(Delay(ch + " delay", DelaySamples(in), in.DelayH, in.DelayM, in.DelayL));
        e.push_back({ch + " mute", OnOff(in.Mute), {{"mute", in.Mute}}});
        const Compressor& c = p.Comp[k];
        e.push_back(
            {ch + " comp",
             "attack " + CompTimeText(c.Attack) + " release " + CompTimeText(c.Release) + " threshold " +
                 Fmt("%+.1fdB", CompThresholdDb(c.Threshold)) + " ratio " + CompRatioText(c.Ratio),
             {{"attack", c.Attack}, {"release", c.Release}, {"threshold", c.Threshold}, {"ratio", c.Ratio}}});
        e.push_back({ch + " alias", Quoted(std::string(p.ChName[k], kAliasLength)), {}});
    }

    for (int k = 0; k < kOutputSlots; ++k) {
        const OutputChannel& out = p.OutCH[k];
        const std::string ch = "out " + std::to_string(k + 1);
        const std::string link = out.LinkIndex == k ? "own settings"
                                 : out.LinkIndex < kOutputSlots
                                     ? "linked to out " + std::to_string(out.LinkIndex + 1)
                                     : "invalid link";
        e.push_back({ch + " link", link, {{"link", out.LinkIndex}}});
        DumpEntry route{ch + " route", "", {}};
        for (int i = 0; i < kInputSlots; ++i) {
            route.raw.push_back({"in" + std::to_string(i + 1), out.Route[i]});
            if (out.Route[i] == 0) continue;
            if (!route.text.empty()) route.text += ", ";
            route.text += "in " + InputLabel(i, model) + " " + GainText(out.Route[i]);
        }
        if (route.text.empty()) route.text = "none";
        e.push_back(route);
        e.push_back(Delay(ch + " delay", DelaySamples(out), out.DelayH, out.DelayM, out.DelayL));
        e.push_back({ch + " hpf",
                     CornerText(out.HpfType, out.HpfFreq, true),
                     {{"type", out.HpfType}, {"freq", out.HpfFreq}}});
        e.push_back({ch + " lpf",
                     CornerText(out.LpfType, out.LpfFreq, false),
                     {{"type", out.LpfType}, {"freq", out.LpfFreq}}});
        e.push_back({ch + " peq", OnOff(out.PeqEnable), {{"enable", out.PeqEnable}}});
        for (int j = 0; j < kOutputBands; ++j)
            e.push_back(Band(ch + " peq band " + std::to_string(j + 1), out.Peq[j]));
        e.push_back({ch + " gain", GainText(out.Gain), {{"gain", out.Gain}}});
        e.push_back({ch + " polarity", out.Polarity ? "inverted" : "normal", {{"polarity", out.Polarity}}});
        e.push_back({ch + " limit", Fmt("%+.1f dBu", LimitDbu(out.Limit)), {{"limit", out.Limit}}});
        e.push_back({ch + " mute", OnOff(out.Mute), {{"mute", out.Mute}}});
        e.push_back({ch + " spare",
                     "",
                     {{"spare47", out.OutSpare47},
                      {"spare48", out.OutSpare48},
                      {"spare50", out.OutSpare50},
                      {"spare52", out.OutSpare52}}});
        e.push_back({ch + " alias", Quoted(std::string(p.ChName[8 + k], kAliasLength)), {}});
    }
    e.push_back({"record tail", "", {{"tail0", p.RecordTail[0]}, {"tail1", p.RecordTail[1]}}});

    e.push_back({"device maker", Quoted(FieldText(d.Maker, sizeof d.Maker)), {}});
    e.push_back({"device description", Quoted(FieldText(d.Description, sizeof d.Description)), {}});
    e.push_back({"device hardware version", Quoted(FieldText(d.HwVersion, sizeof d.HwVersion)), {}});
    e.push_back({"device software version", Quoted(FieldText(d.SwVersion, sizeof d.SwVersion)), {}});
    e.push_back({"device id", TwoDigitText(d.DeviceId), {{"id", d.DeviceId}}});
    const std::string genFreq = d.GenFreq < kFrequencySteps ? FrequencyStepText(d.GenFreq) : "invalid step";
    e.push_back(
        {"generator",
         genFreq + " " + Fmt("%.1f dB", GainDb(d.GenLevel)) + (d.GenRun == 1 ? " running" : " stopped"),
         {{"freq", d.GenFreq}, {"level", d.GenLevel}, {"run", d.GenRun}}});
    e.push_back({"panel lock", d.PanelLock ? "locked" : "unlocked", {{"lock", d.PanelLock}}});
    e.push_back({"program no", TwoDigitText(d.ProgramNo), {{"program", d.ProgramNo}}});
    char config[48];
    std::snprintf(config, sizeof config, "0x%02X (%d in, %d out)", d.ChannelConfig, d.ChannelConfig >> 4,
                  d.ChannelConfig & 0x0F);
    e.push_back({"channel config", config, {{"config", d.ChannelConfig}}});
    for (const OutOfRange& bad : OutOfRangeValues(p, model))
        for (DumpEntry& entry : e)
            if (entry.name == bad.field) entry.outOfRange = bad.what;
    return e;
}

namespace {
std::string RawText(const DumpEntry& e) {
    std::string text;
    for (const auto& [key, value] : e.raw)
        text += (text.empty() ? "" : " ") + key + " " + std::to_string(value);
    return text;
}
} // namespace

std::vector<std::string> DescribeDifferences(const SystemParameters& a, const SystemParameters& b,
                                             const DeviceInfoRecord& info, DeviceModel model) {
    const auto from = DumpRecords(a, info, model), to = DumpRecords(b, info, model);
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < from.size() && i < to.size(); ++i) {
        if (from[i].text == to[i].text && from[i].raw == to[i].raw) continue;
        // Two values that read the same (a rounded frequency) are told apart by their steps.
        const bool sameText = from[i].text == to[i].text || from[i].text.empty();
        const std::string x = sameText ? RawText(from[i]) : from[i].text;
        const std::string y = sameText ? RawText(to[i]) : to[i].text;
        lines.push_back(from[i].name + ": " + x + " \u2192 " + y);
    }
    return lines;
}

} // namespace quellmarin
