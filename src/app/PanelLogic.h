// What the front panel does, without widgets: the channel strip and its section rules, the mute
// toggles, the meters' lighting, the indicators and link indicators, and the status-bar texts.
#pragma once

#include "link/Frames.h"
#include "model/Records.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quellmarin {

enum class StripAction {
    OpenInputPeq,
    OpenInputGain,
    OpenInputDelay,
    ToggleInputMute,
    OpenRouting,
    OpenOutputDelay,
    OpenCrossover,
    OpenOutputPeq,
    OpenOutputGain,
    OpenLimiter,
    ToggleOutputMute,
    OpenCompressor
};

struct StripColumn {
    int base;
    std::string_view label;
    bool output;
    StripAction action;
    std::string_view tooltip;
};
inline constexpr int kStripColumns = 12;
const std::array<StripColumn, kStripColumns>& StripColumns();
inline constexpr int kFirstStripId = 2100;

struct StripClick {
    int column;  // 0..11
    int channel; // 0..7
    const StripColumn* info;
};
// The column and channel of a strip button identifier (column base + channel); nothing for others.
std::optional<StripClick> DecodeStripId(int id);

// The front panel's selection and the rules that change it.
class PanelLogic {
  public:
    explicit PanelLogic(DeviceModel model = kBuildModel) : model_(model) {}

    DeviceModel Model() const { return model_; }
    int CurrentInputChannel() const { return currentInput_; }
    int CurrentOutputChannel() const { return currentOutput_; }
    bool InputSectionActive() const { return inputSection_; }
    // The input selection is the channel every input editor works on.
    int CurrentChannel() const { return currentInput_; }

    // A strip click: selects the channel of its section and tells what to do.
    std::optional<StripClick> SelectStrip(int id);
    // A module window of that code was clicked: codes 4 and above except 11 are output modules.
    void ActivateModule(int code);

    // Flips the mute of channel k in the record; the frame to post, when it has its 12 characters.
    std::optional<std::string> ToggleMute(SystemParameters& p, bool output, int channel,
                                          std::string_view address) const;
    static bool MuteShown(const SystemParameters& p, bool output, int channel);

    // The link indicator of channel k is lit when it shares the selected channel's LinkIndex.
    bool LinkLit(const SystemParameters& p, bool output, int channel) const;

  private:
    DeviceModel model_;
    int currentInput_ = 0;
    int currentOutput_ = 0;
    bool inputSection_ = true;
};

// Level meters: 52 segments a column.
inline constexpr int kMeterSegments = 52;
enum class SegmentColor { Green, Yellow, Red };
// Segments lit for a display level L (0 empty, 96 full): those with s < L x 52 x 0.01.
int LitSegments(int level);
SegmentColor ColorOfSegment(int segment);
// The columns of a strip: eight, or on Ketra's input strip the four levels at positions 0, 2, 5, 7.
std::vector<int> MeterColumns(const std::array<std::uint8_t, 8>& levels, bool inputStrip, DeviceModel model);
inline bool IndicatorLit(std::uint8_t status, int bit) {
    return (status >> bit) & 1;
}

// The four status-bar panes.
inline constexpr std::string_view kConnectedText = "has been connected to device..";
inline constexpr std::string_view kNotConnectedText = "None device connected..";
std::array<std::string, 4> StatusTexts(const DeviceInfoRecord& info, const SystemParameters& params,
                                       const std::string& programNoText, bool connected);

// "Quellmarin V" + the version, or "None VerSion Supprot" when the build carries none.
std::string VersionText(std::string_view version);
std::string WindowTitle(std::string_view version);

// Channel names as the windows show them: "CH[3]", or on Ketra "CH[A]".."CH[D]" for inputs.
std::string ChannelTag(bool output, int channel, DeviceModel model);

} // namespace quellmarin
