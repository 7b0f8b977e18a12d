// The parametric equaliser of one section: five bands on each input, seven on each output. It owns
// how a band reaches the record and the device; the graph and the equaliser windows both call it.
#pragma once

#include "modules/EditContext.h"

namespace quellmarin {

// A band as the graph and the fields hold it: physical values, with the frequency step it was last
// placed on (which decides between two equally near table steps).
struct BandSetting {
    int type = 0;
    double freqHz = 1000;
    int freqStep = 69;
    double gainDb = 0;
    int qStep = 46;
};

class EqEditor {
  public:
    EqEditor(EditContext& ctx, Section section) : ctx_(ctx), section_(section) {}

    Section GetSection() const { return section_; }
    int BandCount() const;
    // The device's steps for a band: nearest table frequency, 0.5 dB level steps, Q within its table.
    static PeqBand StepsOf(const BandSetting& b);
    // Writes the band into the record of the channel's link master and posts "$027" or "$034".
    void ApplyBand(int channel, int band, const BandSetting& b);

  private:
    EditContext& ctx_;
    Section section_;
};

} // namespace quellmarin
