#include "app/PanelLogic.h"

namespace quellmarin {

const std::array<StripColumn, kStripColumns>& StripColumns() {
    static const std::array<StripColumn, kStripColumns> columns = {{
        {2100, "PEQ", false, StripAction::OpenInputPeq, "Input parametric equaliser"},
        {2200, "Gain", false, StripAction::OpenInputGain, "Input gain"},
        {2300, "Delay", false, StripAction::OpenInputDelay, "Input delay"},
        {2400, "Mute", false, StripAction::ToggleInputMute, "Mute or unmute this input"},
        {2500, "Route", true, StripAction::OpenRouting, "Routing of the inputs to the outputs"},
        {2600, "Delay", true, StripAction::OpenOutputDelay, "Output delay"},
        {2700, "HLPF", true, StripAction::OpenCrossover, "Output crossover (high-pass and low-pass)"},
        {2800, "PEQ", true, StripAction::OpenOutputPeq, "Output parametric equaliser"},
        {2900, "Gain", true, StripAction::OpenOutputGain, "Output gain and polarity"},
        {3000, "Limit", true, StripAction::OpenLimiter, "Output limiter"},
        {3100, "Mute", true, StripAction::ToggleOutputMute, "Mute or unmute this output"},
        {3200, "comp", false, StripAction::OpenCompressor, "Input compressor"},
    }};
    return columns;
}

std::optional<StripClick> DecodeStripId(int id) {
    if (id < kFirstStripId) return std::nullopt;
    const int column = (id - kFirstStripId) / 100;
    const int channel = id % 10;
    if (column >= kStripColumns || channel > 7 || (id - kFirstStripId) % 100 > 7) return std::nullopt;
    return StripClick{column, channel, &StripColumns()[column]};
}

std::optional<StripClick> PanelLogic::SelectStrip(int id) {
    const auto click = DecodeStripId(id);
    if (!click) return std::nullopt;
    if (click->info->output) {
        currentOutput_ = click->channel;
        inputSection_ = false;
    } else {
        currentInput_ = click->channel;
        inputSection_ = true;
    }
    return click;
}

void PanelLogic::ActivateModule(int code) {
    inputSection_ = !(code >= 4 && code != 11);
}

std::optional<std::string> PanelLogic::ToggleMute(SystemParameters& p, bool output, int channel,
                                                  std::string_view address) const {
    std::uint8_t& mute = output ? p.OutCH[channel].Mute : p.InCH[channel].Mute;
    const bool nowMuted = mute != 1;
    mute = nowMuted ? 1 : 0;
    const std::string frame =
        output ? FrameOutputMute(address, channel, nowMuted) : FrameInputMute(address, channel, nowMuted);
    if (frame.size() != kMuteFrameLength) return std::nullopt;
    return frame;
}

bool PanelLogic::MuteShown(const SystemParameters& p, bool output, int channel) {
    return (output ? p.OutCH[channel].Mute : p.InCH[channel].Mute) == 1;
}

bool PanelLogic::LinkLit(const SystemParameters& p, bool output, int channel) const {
    if (output) return p.OutCH[channel].LinkIndex == p.OutCH[currentOutput_].LinkIndex;
    return p.InCH[channel].LinkIndex == p.InCH[currentInput_].LinkIndex;
}

int LitSegments(int level) {
    int lit = 0;
    for (int s = 0; s < kMeterSegments; ++s)
        if (s < level * 52 * 0.01) ++lit;
    return lit;
}

SegmentColor ColorOfSegment(int segment) {
    if (segment <= 44) return SegmentColor::Green;
    if (segment <= 48) return SegmentColor::Yellow;
    return SegmentColor::Red;
}

std::vector<int> MeterColumns(const std::array<std::uint8_t, 8>& levels, bool inputStrip, DeviceModel model) {
    if (inputStrip && model == DeviceModel::Ketra) return {levels[0], levels[2], levels[5], levels[7]};
    return std::vector<int>(levels.begin(), levels.end());
}

std::array<std::string, 4> StatusTexts(const DeviceInfoRecord& info, const SystemParameters& params,
                                       const std::string& programNoText, bool connected) {
    return {"Device ID:" + TwoDigitText(info.DeviceId), "Program No.:" + programNoText,
            "Program Name:" + ProgramName(params),
            std::string(connected ? kConnectedText : kNotConnectedText)};
}

std::string VersionText(std::string_view version) {
    return version.empty() ? std::string("None VerSion Supprot") : std::string(version);
}

std::string WindowTitle(std::string_view version) {
    return "Quellmarin V" + VersionText(version);
}

std::string ChannelTag(bool output, int channel, DeviceModel model) {
    if (!output && model == DeviceModel::Ketra && channel >= 4)
        return "CH[" + std::string(1, static_cast<char>('A' + channel - 4)) + "]";
    return "CH[" + std::to_string(channel + 1) + "]";
}

} // namespace quellmarin
