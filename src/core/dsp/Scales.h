// Value scales of the processor: the step tables behind every stored parameter, the gain, delay and
// compressor scales, and the rules for values that the user types.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quellmarin {

inline constexpr int kFrequencySteps = 124;
inline constexpr int kGainSteps = 49;
inline constexpr int kQSteps = 75;
inline constexpr int kEqFreqMin = 1, kEqFreqMax = 121; // 20 Hz .. 20 kHz
inline constexpr int kEqQMax = 72;                     // "19.4", the last step the editors reach
inline constexpr int kLevelZero = 24;
inline constexpr int kHpfOff = 0, kLpfOff = 122;

// Table texts are the primary data; the value of an entry is its leading number.
extern const std::array<std::string_view, kFrequencySteps> FrequencyTable;
extern const std::array<std::string_view, kFrequencySteps> CrossoverFrequencyTable;
extern const std::array<std::string_view, kGainSteps> GainTable;
extern const std::array<std::string_view, kQSteps> QTable;

// Numeric values of the entries (computed once from the texts).
std::span<const double, kFrequencySteps> FrequencyValues();
std::span<const double, kFrequencySteps> CrossoverFrequencyValues();
std::span<const double, kGainSteps> GainValues();
std::span<const double, kQSteps> QValues();

// The decimal number at the start of a text, read as a C conversion would but without its locale,
// hexadecimal, infinity and not-a-number forms: leading blanks, a sign, digits, a point, digits and an
// exponent. No number gives 0; a number too large for a double gives +/-infinity.
double LeadingNumber(std::string_view text);

// A number as a user types it on a command line, whole: an optional sign, digits with at most one
// decimal point, an optional exponent of at most three digits, then one of `units` (any case; an empty
// unit allows none). Hexadecimal, infinity, not-a-number, blanks, a second sign or anything after the
// unit are refused, and so is a value too large for a double.
std::optional<double> ParseTypedNumber(std::string_view text, std::span<const std::string_view> units);
// The units of typed values, as the windows' fields take them.
inline constexpr std::string_view kDecibelUnits[] = {"", "db"};
inline constexpr std::string_view kDbuUnits[] = {"", "dbu"};
inline constexpr std::string_view kMillisecondUnits[] = {"", "ms"};
inline constexpr std::string_view kDelayUnits[] = {"", "ms", "m"};
inline constexpr std::string_view kFrequencyUnits[] = {"", "hz", "k", "kh", "kz", "khz"};
std::optional<double> ParseTypedNumber(std::string_view text);

// Nearest-step search on a frequency table: the step whose midpoints enclose f (a frequency exactly on
// a midpoint takes the lower step), 0 below the first midpoint, nothing above the last one.
std::optional<int> NearestStep(std::span<const double, kFrequencySteps> table, double f);

// The four uses of the search.
struct EqBandSnap {
    int step;       // new Freq step of the band
    double labelHz; // the value its label shows
};
EqBandSnap SnapEqBandFrequency(double f, int currentStep);
struct CornerSnap {
    int step;
    std::string label; // "%0.2fHz", or "OFF" for a side that is switched off
};
CornerSnap SnapCornerFrequency(double f, int currentStep, bool off);
int HighPassStep(double f); // 0..121
int LowPassStep(double f);  // 0..122

// Nearest step of a Q value (0..72) and of a level in dB (0..48), by the same midpoint rule.
int NearestQStep(double q);
int NearestLevelStep(double db);

// Display texts of band values.
std::string BandFrequencyText(double hz); // "%0.2fHz" up to 100 Hz, "%0.0fHz" above
std::string QText(int step);              // "%0.2f"
std::string LevelText(int step);          // "%0.1fdB"
// Crossover field text: the table value as "%0.2fHz", or "OFF" when the side is off by its step.
std::string HighPassText(int step);
std::string LowPassText(int step);

// Channel gain scale: stored value = 181 + 2 x dB; the faders move in whole dB, position 1..103.
constexpr double GainDb(int code) {
    return (code - 181) / 2.0;
}
constexpr int GainCode(int wholeDb) {
    return 181 + 2 * wholeDb;
}
inline constexpr int kFaderMin = 1, kFaderMax = 103;
constexpr int FaderPositionOf(int gainCode) {
    return (207 - gainCode) / 2;
}
constexpr int GainCodeOfFader(int position) {
    return 207 - 2 * position < 0 ? 0 : 207 - 2 * position;
}
constexpr int FaderDb(int position) {
    return 13 - position < -90 ? -90 : 13 - position;
}

// Delay: samples at 48 kHz, 0..96000 (2000 ms, 680 m at 340 m/s).
inline constexpr std::string_view kDelayMsRange = "Input range:[0,2000ms]";
inline constexpr std::string_view kDelayMetresRange = "Input range:[0,680m]";
inline constexpr std::string_view kInputIllegal = "Input illegal";
struct DelayInput {
    int samples = 0;
    std::string_view error; // empty when accepted
    bool ok() const { return error.empty(); }
};
DelayInput DelayFromMilliseconds(double ms);
DelayInput DelayFromMetres(double metres);
double DelayMs(int samples);              // with the display's rounding guard
double DelayMetres(int samples);          // from DelayMs
std::string DelayMsText(int samples);     // "%.3f ms"
std::string DelayMetresText(int samples); // "%.3f m"

// Compressor scales.
inline constexpr int kCompTimeMax = 72, kCompThresholdMax = 120, kCompRatioMax = 99;
double CompTimeMs(int step);
std::string CompTimeText(int step); // "%0.2fms"
double CompThresholdDb(int code);
std::string CompThresholdText(int code); // "%0.1fdB"
// "%.2f : 1" or "Infinity"; a value rewritten after typing carries a small rounding guard.
std::string CompRatioText(int code, bool afterTyping = false);
// Typed compressor values; an empty field gives nothing.
std::optional<int> CompThresholdFromText(std::string_view text);
std::optional<int> CompTimeFromText(std::string_view text);
std::optional<int> CompRatioFromText(std::string_view text);

// Limiter threshold of step v in dBu, and the list text of it.
constexpr double LimitDbu(int v) {
    return (v - 55) * 0.5;
}
std::string LimitText(int v); // "%0.1f   dBu"

// A typed frequency: its leading number, times 1000 when the text ends in K, KH, KZ or KHZ (any case).
// The generator also accepts thousands separators ("1,000").
double ParseFrequencyText(std::string_view text, bool dropCommas = false);

// A typed value limited to its range, with the message to show when it was outside.
struct Clamped {
    double value;
    std::string_view message; // empty when the value was inside the range
};
inline constexpr std::string_view kEqFrequencyRange = "Input range:[20,20000]";
inline constexpr std::string_view kQRange = "Input range:[0.31,19.4]";
inline constexpr std::string_view kEqLevelRange = "Input range:[-12,+12]";
Clamped ClampEqFrequency(double hz); // 20..20000, kEqFrequencyRange
Clamped ClampQ(double q);            // 0.31..19.4, kQRange
Clamped ClampLevel(double db);       // -12..+12, kEqLevelRange

} // namespace quellmarin
