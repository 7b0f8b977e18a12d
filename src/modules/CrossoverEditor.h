// The crossover of one output: a high-pass and a low-pass filter, each a slope type and a corner step
// (high-pass step 0 and low-pass step 122 switch the filter off).
#pragma once

#include "modules/EditContext.h"

namespace quellmarin {

struct CrossoverSetting {
    int hpfType = 0;
    int hpfStep = 0;
    int lpfType = 0;
    int lpfStep = 122;
};

class CrossoverEditor {
  public:
    explicit CrossoverEditor(EditContext& ctx) : ctx_(ctx) {}

    CrossoverSetting Current(int channel) const;
    // Writes both filters into the record of the output's link master and posts "$033" when the frame
    // has its 19 characters.
    void ApplyCrossover(int channel, const CrossoverSetting& x);

  private:
    EditContext& ctx_;
};

} // namespace quellmarin
