// The limiter of one output: its threshold, chosen from 100 levels in 0.5 dB steps from +22.0 dBu
// (item 0, step 99) down to -27.5 dBu (item 99, step 0), posted as "$036".
#pragma once

#include "edit/EditContext.h"

#include <array>
#include <optional>
#include <string>

namespace quellmarin {

class LimiterEditor {
  public:
    static constexpr int kItems = 100;
    static constexpr std::string_view kReference = "0 dB =0.775 V";
    static constexpr std::string_view kCurrentLabel = "Current selected:";

    explicit LimiterEditor(EditContext& ctx) : ctx_(ctx) {}

    std::string Title(int channel) const;
    // "%0.1f   dBu" of (44 - i) x 0.5.
    static std::string ItemText(int item);
    // The list item of the stored threshold.
    int SelectedItem(int channel) const;
    // A selection in the list: posts the frame when it has 17 characters and stores the step (always).
    // An item outside the list changes nothing.
    void Select(int channel, int item);
    // The threshold in dBu as a user types it, -27.5..+22 to the nearest 0.5 dB. False, with nothing
    // changed, outside that range.
    bool SetDbu(int channel, double dbu);
    // The threshold step (0..99) of a level in dBu; nothing outside the range.
    static std::optional<int> StepOf(double dbu);
    double Dbu(int channel) const;
    // The item last chosen for an output in this editor (-1 before any), kept per output channel.
    int Remembered(int channel) const { return remembered_.at(channel); }

    std::string Summary(int channel) const; // "Limit +10.0 dBu"

  private:
    EditContext& ctx_;
    std::array<int, 8> remembered_{-1, -1, -1, -1, -1, -1, -1, -1};
};

} // namespace quellmarin
