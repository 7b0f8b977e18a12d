// The compressor of one input: threshold, attack, release and ratio as typed fields with spins, all
// four posted together as "$044" (attack, ratio, threshold, release).
#pragma once

#include "edit/EditContext.h"

#include <string>
#include <string_view>

namespace quellmarin {

enum class CompField { Threshold, Attack, Release, Ratio };

class CompressorEditor {
  public:
    explicit CompressorEditor(EditContext& ctx) : ctx_(ctx) {}

    std::string Title(int channel) const;
    // "CH%d" of the channel.
    static std::string Label(int channel);
    // The text a field shows for the stored code ("%0.1fdB", "%0.2fms", "%.2f : 1" or "Infinity").
    std::string Text(int channel, CompField field) const;
    int Code(int channel, CompField field) const;
    static int MaxCode(CompField field);
    // A spin arrow: one code up or down within the field's range; the frame is posted also at a bound.
    void Spin(int channel, CompField field, bool up);
    // A field left with typed text: an empty text is ignored (nothing happens, false); otherwise the
    // value is limited to its range, stored and sent. `shown` receives the text to put in the field.
    bool Type(int channel, CompField field, std::string_view text, std::string* shown = nullptr);
    void Send(int channel);

    std::string Summary(int channel) const; // "Threshold -10.0 dB, ratio 4.00 : 1"

  private:
    std::uint8_t& CodeRef(int master, CompField field);

    EditContext& ctx_;
};

// The compressor's static curve: the output level in dB for an input level, with the threshold in dB
// and the ratio code (99 limits hard at the threshold).
double CompressorOutputDb(double inputDb, double thresholdDb, int ratioCode);

} // namespace quellmarin
