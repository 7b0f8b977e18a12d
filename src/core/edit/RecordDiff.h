// The difference between two system parameter records as the frames that carry a device from the
// first to the second: one frame for each parameter group that differs (a band, a crossover, a
// channel's gain, an output's routing, an alias name, ...), built with the editors' frame builders,
// the link lists first since the other settings are read through them. Fields that no frame sets are
// named instead.
#pragma once

#include "model/Records.h"

#include <string>
#include <string_view>
#include <vector>

namespace quellmarin {

struct RecordDiff {
    std::vector<std::string> frames;
    std::vector<std::string> unsettable; // "program name", "out 3 spare", ...
    bool Empty() const { return frames.empty() && unsettable.empty(); }
};

RecordDiff DiffFrames(const SystemParameters& from, const SystemParameters& to, std::string_view address,
                      DeviceModel model);

// Whether two records agree in everything a frame can set (an equaliser switched on counts as on,
// whatever its stored value).
bool SameSettings(const SystemParameters& a, const SystemParameters& b);

// The settings the program keeps in the device information record: the panel lock and the generator
// (running, frequency step, level). No reply confirms their frames; only reading the record does.
inline constexpr std::string_view kPanelLockSetting = "Panel lock";
inline constexpr std::string_view kGeneratorSetting = "Generator";
// Whether a frame is the panel lock, which goes as an exchange (the device answers it); the generator's
// frame is posted.
bool IsPanelLockFrame(std::string_view frame);
struct DeviceSettingsDiff {
    std::vector<std::string> frames; // "J" first, then the generator's "$001"
    std::vector<std::string> names;  // "Panel lock", "Generator"
    bool Empty() const { return frames.empty(); }
};
DeviceSettingsDiff DiffDeviceSettings(const DeviceInfoRecord& from, const DeviceInfoRecord& to,
                                      std::string_view address);

} // namespace quellmarin
