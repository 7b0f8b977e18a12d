// What the front panel does, without widgets: the channel strip and its section rules, the mute
// toggles, the meters' lighting, the indicators and link indicators, and the status-bar texts.
#pragma once

#include "model/Records.h"
#include "edit/EditContext.h"

#include <array>
#include <chrono>
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
    Section section;
    StripAction action;
    std::string_view tooltip;
    std::string_view what; // what the button acts on, for its accessible name ("gain")
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
    int CurrentChannelOf(Section s) const { return IsOutput(s) ? currentOutput_ : currentInput_; }
    // A module window of that code was clicked: codes 4 and above except 11 are output modules.
    void ActivateModule(int code);

    // The link indicator of channel k is lit when it shares the selected channel's LinkIndex.
    bool LinkLit(const SystemParameters& p, Section section, int channel) const;

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
// A display level L read as decibels: the received byte b = 96 - L counts decibels below the top of
// the meter, so L 96 is 0 dB and L 84 is -12 dB; nothing for an empty column (L 0, b 96 or more).
std::optional<int> MeterLevelDb(int level);
// "-12 dB", or "no signal" for an empty column (UTF-8, with a minus sign).
std::string MeterLevelText(int level);
// How many segments from the bottom the scale's mark of `db` sits at (0 dB: 49.92).
double SegmentsAtDb(double db);
// The scale's marks beside a strip.
inline constexpr int kMeterScaleDb[] = {0, -6, -12, -24, -48, -72};

// The peak of each column, held for a while and then falling back to the level of the moment.
class PeakHold {
  public:
    using Clock = std::chrono::steady_clock;
    explicit PeakHold(std::chrono::milliseconds hold = std::chrono::milliseconds(1500)) : hold_(hold) {}
    // The levels of one frame at `now`; a column's peak rises at once and falls back once it was
    // not reached again for the hold time.
    void Update(const std::vector<int>& levels, Clock::time_point now);
    const std::vector<int>& Peaks() const { return peaks_; }
    void Reset() {
        peaks_.clear();
        since_.clear();
    }

  private:
    std::chrono::milliseconds hold_;
    std::vector<int> peaks_;
    std::vector<Clock::time_point> since_;
};

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
// The title with the parameter file in use: "show.asc - Quellmarin V1.0".
std::string WindowTitle(std::string_view version, std::string_view fileName);
// With a mark for settings edited since they were saved: "show.asc* - Quellmarin V1.2.0", or
// "Untitled* - ..." before any file.
std::string WindowTitle(std::string_view version, std::string_view fileName, bool unsaved);

// The recent parameter files of the File menu: newest first, each once, at most four.
inline constexpr std::size_t kRecentFiles = 4;
std::vector<std::string> WithRecentFile(std::vector<std::string> list, const std::string& path);
std::vector<std::string> WithoutRecentFile(std::vector<std::string> list, const std::string& path);

// The accessible name of a strip button: "Input 3 gain", "Output 8 mute".
std::string StripButtonName(const StripClick& click, DeviceModel model);

// Module codes that the editor windows report when clicked (0 input equaliser, 1 input gain, 2 input
// delay, 5 output delay, 6 crossover, 7 output equaliser, 8 output gain, 9 limiter, 11 compressor);
// nothing for the columns that open no module window.
std::optional<int> ModuleCodeOf(StripAction action);

} // namespace quellmarin
