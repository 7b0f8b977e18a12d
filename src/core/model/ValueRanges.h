// The values the editors produce, and the fields of a record that hold others. A device or an older
// file may carry such values; they are loaded and kept as they are, but said, so that nobody sends
// them to a processor without knowing.
#pragma once

#include "model/Records.h"

#include <string>
#include <vector>

namespace quellmarin {

inline constexpr int kMaxGainCode = 205;      // +12 dB; route levels use the same scale
inline constexpr int kMaxFrequencyStep = 122; // equaliser and crossover frequency tables
inline constexpr int kMaxQStep = 74;
inline constexpr int kMaxLevelStep = 48;
inline constexpr int kMaxEqType = 5;
inline constexpr int kMaxCrossoverType = 11;
inline constexpr int kMaxLimitStep = 99;
inline constexpr int kMaxCompTime = 72;
inline constexpr int kMaxCompThreshold = 120;
inline constexpr int kMaxCompRatio = 99;
inline constexpr int kMaxDelay = 96000;

// How the user names an input slot: "1".."8", or "A".."D" on Ketra ("slot 1 (unused)" for the rest).
std::string InputLabel(int slot, DeviceModel model);

struct OutOfRange {
    std::string field; // "out 3 gain", named as the dump names it
    std::string what;  // "gain 230 above 205"
};
std::vector<OutOfRange> OutOfRangeValues(const SystemParameters& p, DeviceModel model);

// "out 3 gain (gain 230 above 205), in 1 peq band 2 (...)" and, past `listed`, "and N more".
std::string OutOfRangeSummary(const std::vector<OutOfRange>& values, std::size_t listed = 8);

} // namespace quellmarin
