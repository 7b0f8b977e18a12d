// The parametric equaliser of one section: five bands on each input, seven on each output, and the
// on/off switch. It owns how a band reaches the record and the device; the graph and the equaliser
// windows both call it. Which band is selected belongs to the graph; the editor is told the band.
#pragma once

#include "edit/EditContext.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

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

enum class BandField { Frequency, Q, Level };

class EqEditor {
  public:
    static constexpr std::array<std::string_view, 6> kTypeTexts = {"OFF",      "Peaking",  "Bandpass",
                                                                   "Hi-shelf", "Lo-shelf", "Notch"};
    // Which fields a band type uses besides its type.
    struct Fields {
        bool frequency, q, level;
    };
    static Fields FieldsOf(int type);

    EqEditor(EditContext& ctx, Section section) : ctx_(ctx), section_(section) {}

    Section GetSection() const { return section_; }
    int BandCount() const;
    std::string Title(int channel) const;

    // The device's steps for a band: nearest table frequency, 0.5 dB level steps, Q within its table.
    static PeqBand StepsOf(const BandSetting& b);
    // Writes the band into the record of the channel's link master and posts "$027" or "$034".
    void ApplyBand(int channel, int band, const BandSetting& b);
    // A stored band as the graph and the fields hold it: the table values of its steps.
    static BandSetting SettingOf(const PeqBand& b);
    // The band as the record of the channel's link master holds it.
    PeqBand Band(int channel, int band) const;

    // The texts of a band's fields: "%0.2fHz" up to 100 Hz and "%0.0fHz" above, "%0.2f", "%0.1fdB".
    std::string FrequencyText(int channel, int band) const;
    std::string QText(int channel, int band) const;
    std::string LevelText(int channel, int band) const;

    bool Enabled(int channel) const;
    // The "PEQ" switch: stores 111 or 0 and posts "$026"/"$038".
    void SetEnabled(int channel, bool on);
    // A new type from the list.
    void SetType(int channel, int band, int type);
    // A spin arrow: one step within the field's range, only on a band that is not OFF; the band is
    // sent also when it stayed at a bound.
    void Step(int channel, int band, BandField field, bool up);
    // Enter in a field: the three texts are read, each limited to its range with its message (in the
    // order frequency, Q, level); the band takes them and is sent. Returns the messages to show.
    std::vector<std::string_view> SetValues(int channel, int band, std::string_view frequency,
                                            std::string_view q, std::string_view level);
    // The same with a new type at once: one frame carries the whole band.
    std::vector<std::string_view> SetBand(int channel, int band, int type, std::string_view frequency,
                                          std::string_view q, std::string_view level);

    std::string Summary(int channel) const; // "EQ on, 3 bands" for the strip's tooltip

  private:
    PeqBand& BandRef(int master, int band);

    EditContext& ctx_;
    Section section_;
};

} // namespace quellmarin
