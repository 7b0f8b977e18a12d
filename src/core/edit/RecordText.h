// Every field of the two records by name, with its physical value and raw steps, and the difference
// of two records in words.
#pragma once

#include "model/Records.h"
#include "model/ValueRanges.h"

#include <string>
#include <utility>
#include <vector>

namespace quellmarin {

struct DumpEntry {
    std::string name;                             // "in 1 peq band 2"
    std::string text;                             // "Peaking 560.0 Hz +0.0 dB Q 4.33"
    std::vector<std::pair<std::string, int>> raw; // the stored steps: {"type", 1}, {"freq", 59}, ...
    std::string outOfRange{};                     // the values no editor produces: "gain 230 above 205"
};

std::vector<DumpEntry> DumpRecords(const SystemParameters& p, const DeviceInfoRecord& d, DeviceModel model);

// The fields in which two records differ, one line each: "out 3 gain: +0.0 dB → -6.0 dB".
std::vector<std::string> DescribeDifferences(const SystemParameters& a, const SystemParameters& b,
                                             const DeviceInfoRecord& info, DeviceModel model);

} // namespace quellmarin
