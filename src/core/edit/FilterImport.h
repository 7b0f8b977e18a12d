// Equaliser filters in the text format of room-measurement and system-wide equaliser software
// ("Filter 1: ON PK Fc 274 Hz Gain -9.6 dB Q 5.000", "Preamp: -6.5 dB"): read, placed on the device's
// steps with the difference it makes to the summed response, applied to a channel through the
// editors, and written back out.
#pragma once

#include "edit/EditContext.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quellmarin {

// One filter line as the file gives it.
struct FileFilter {
    int line = 0;     // 1-based
    std::string kind; // as written, upper case: "PK", "LSC", "HP", ...
    bool on = true;
    int type = -1; // the device's band type, -1 when the device has none for the kind
    double fcHz = 0;
    double gainDb = 0;
    double q = 0; // from Q, from "BW Oct", or the kind's default
    bool qGiven = false;
};

struct FilterFile {
    std::vector<FileFilter> filters; // every filter line, OFF ones too
    std::optional<double> preampDb;
    std::vector<std::string> unread; // "line 7: ..." for filter lines that could not be read
};

FilterFile ParseFilterText(std::string_view text);

// A filter placed on one band.
struct PlacedFilter {
    FileFilter asked;
    int band = 0;           // 0-based
    PeqBand steps{};        // what the device will hold
    std::string askedText;  // "PK 274 Hz -9.6 dB Q 5.00"
    std::string deviceText; // "Peaking 270 Hz -9.5 dB Q 4.92"
};

struct ImportPlan {
    ChannelRef channel;
    int bandCount = 0;
    std::vector<PlacedFilter> placed;
    std::optional<int> gainCode;       // from the preamp line
    std::vector<std::string> refusals; // what cannot be done as asked; the user must accept them
    std::vector<std::string> notes;    // skipped OFF lines, values kept within the device's ranges
    // The largest difference in dB between the summed response of the filters asked for (those that
    // are placed) and of the bands the device will hold, over 20 Hz to 20 kHz.
    double maxDifferenceDb = 0;

    bool NeedsConsent() const { return !refusals.empty(); }
};

// Places the ON filters in order on the channel's bands. Nothing in the records changes.
ImportPlan PlanImport(const FilterFile& file, ChannelRef channel, DeviceModel model);

// Writes the plan into the channel (its link master) through the editors and posts their frames: the
// placed bands, the bands left over switched off, the equaliser switched on, the preamp as the gain.
void ApplyImport(EditContext& ctx, const ImportPlan& plan);

// The channel's bands in the same format: a "Preamp:" line with the channel's gain, then one
// "Filter N:" line per band (OFF for a band switched off).
std::string ExportFilters(const SystemParameters& p, ChannelRef channel, DeviceModel model);

// The plan as text lines for a terminal: the table of what was asked and what the device will do.
std::vector<std::string> DescribePlan(const ImportPlan& plan, DeviceModel model);

} // namespace quellmarin
