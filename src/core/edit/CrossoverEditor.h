// The crossover of one output: a high-pass and a low-pass filter, each a slope type and a corner step
// (high-pass step 0 and low-pass step 122 switch the filter off).
#pragma once

#include "edit/EditContext.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace quellmarin {

struct CrossoverSetting {
    int hpfType = 0;
    int hpfStep = 0;
    int lpfType = 0;
    int lpfStep = 122;
};

class CrossoverEditor {
  public:
    static constexpr std::array<std::string_view, 12> kSlopeTexts = {
        "-12dB Butterworth", "-18dB Butterworth", "-24dB Butterworth",    "-30dB Butterworth",
        "-36dB Butterworth", "-12dB Bessel",      "-18dB Bessel",         "-24dB Bessel",
        "-30dB Bessel",      "-36dB Bessel",      "-12dB LinkWitz-Riley", "-24dB LinkWitz-Riley"};

    explicit CrossoverEditor(EditContext& ctx) : ctx_(ctx) {}

    std::string Title(int channel) const;
    CrossoverSetting Current(int channel) const;
    // Writes both filters into the record of the output's link master and posts "$033" when the frame
    // has its 19 characters.
    void ApplyCrossover(int channel, const CrossoverSetting& x);

    // The frequency field: the table value as "%0.2fHz", or "OFF" for a filter switched off.
    std::string FrequencyText(int channel, bool highPass) const;
    void SetType(int channel, bool highPass, int type);
    // The horizontal spin: right raises, left lowers, one table step within 0..122; sent also at a bound.
    void Step(int channel, bool highPass, bool up);
    // A typed frequency (with "K", "KH", "KZ" or "KHZ" for kHz), limited to 20..20000 Hz with the
    // message returned; it never switches the filter off.
    // With a slope type, the type changes in the same frame.
    std::string_view TypeFrequency(int channel, bool highPass, std::string_view text,
                                   std::optional<int> type = std::nullopt);
    // Switches one filter off (high-pass step 0, low-pass step 122).
    void SwitchOff(int channel, bool highPass);

    std::string Summary(int channel) const; // "HP 80.00Hz -24dB LinkWitz-Riley, LP OFF"

  private:
    EditContext& ctx_;
};

} // namespace quellmarin
