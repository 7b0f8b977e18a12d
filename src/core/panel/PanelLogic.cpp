#include "panel/PanelLogic.h"

#include <algorithm>

namespace quellmarin {

const std::array<StripColumn, kStripColumns>& StripColumns() {
    static const std::array<StripColumn, kStripColumns> columns = {{
        {2100, "PEQ", Section::Input, StripAction::OpenInputPeq, "Input parametric equaliser", "equaliser"},
        {2200, "Gain", Section::Input, StripAction::OpenInputGain, "Input gain", "gain"},
        {2300, "Delay", Section::Input, StripAction::OpenInputDelay, "Input delay", "delay"},
        {2400, "Mute", Section::Input, StripAction::ToggleInputMute, "Mute or unmute this input", "mute"},
        {2500, "Route", Section::Output, StripAction::OpenRouting, "Routing of the inputs to the outputs",
         "routing"},
        {2600, "Delay", Section::Output, StripAction::OpenOutputDelay, "Output delay", "delay"},
        {2700, "HLPF", Section::Output, StripAction::OpenCrossover,
         "Output crossover (high-pass and low-pass)", "crossover"},
        {2800, "PEQ", Section::Output, StripAction::OpenOutputPeq, "Output parametric equaliser",
         "equaliser"},
        {2900, "Gain", Section::Output, StripAction::OpenOutputGain, "Output gain and polarity", "gain"},
        {3000, "Limit", Section::Output, StripAction::OpenLimiter, "Output limiter", "limiter"},
        {3100, "Mute", Section::Output, StripAction::ToggleOutputMute, "Mute or unmute this output", "mute"},
        {3200, "comp", Section::Input, StripAction::OpenCompressor, "Input compressor", "compressor"},
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
    if (IsOutput(click->info->section)) {
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

bool PanelLogic::LinkLit(const SystemParameters& p, Section section, int channel) const {
    if (IsOutput(section)) return p.OutCH[channel].LinkIndex == p.OutCH[currentOutput_].LinkIndex;
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

std::string WindowTitle(std::string_view version, std::string_view fileName) {
    if (fileName.empty()) return WindowTitle(version);
    return std::string(fileName) + " - " + WindowTitle(version);
}

std::string WindowTitle(std::string_view version, std::string_view fileName, bool unsaved) {
    if (!unsaved) return WindowTitle(version, fileName);
    return std::string(fileName.empty() ? "Untitled" : fileName) + "* - " + WindowTitle(version);
}

std::vector<std::string> WithRecentFile(std::vector<std::string> list, const std::string& path) {
    list = WithoutRecentFile(std::move(list), path);
    list.insert(list.begin(), path);
    if (list.size() > kRecentFiles) list.resize(kRecentFiles);
    return list;
}

std::vector<std::string> WithoutRecentFile(std::vector<std::string> list, const std::string& path) {
    std::erase(list, path);
    return list;
}

std::string StripButtonName(const StripClick& click, DeviceModel model) {
    return ChannelName(click.info->section, click.channel, model) + " " + std::string(click.info->what);
}

std::optional<int> ModuleCodeOf(StripAction action) {
    switch (action) {
    case StripAction::OpenInputPeq:
        return 0;
    case StripAction::OpenInputGain:
        return 1;
    case StripAction::OpenInputDelay:
        return 2;
    case StripAction::OpenOutputDelay:
        return 5;
    case StripAction::OpenCrossover:
        return 6;
    case StripAction::OpenOutputPeq:
        return 7;
    case StripAction::OpenOutputGain:
        return 8;
    case StripAction::OpenLimiter:
        return 9;
    case StripAction::OpenCompressor:
        return 11;
    default:
        return std::nullopt;
    }
}

std::optional<int> MeterLevelDb(int level) {
    if (level <= 0) return std::nullopt;
    return std::min(level, 96) - 96;
}

std::string MeterLevelText(int level) {
    const auto db = MeterLevelDb(level);
    if (!db) return "no signal";
    return (*db < 0 ? "\u2212" + std::to_string(-*db) : std::to_string(*db)) + " dB";
}

double SegmentsAtDb(double db) {
    return (96 + db) * kMeterSegments * 0.01;
}

void PeakHold::Update(const std::vector<int>& levels, Clock::time_point now) {
    if (peaks_.size() != levels.size()) {
        peaks_ = levels;
        since_.assign(levels.size(), now);
        return;
    }
    for (std::size_t c = 0; c < levels.size(); ++c) {
        if (levels[c] >= peaks_[c]) {
            peaks_[c] = levels[c];
            since_[c] = now;
        } else if (now - since_[c] >= hold_) {
            peaks_[c] = levels[c];
            since_[c] = now;
        }
    }
}

} // namespace quellmarin
