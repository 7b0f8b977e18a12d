// The gain of one channel in whole decibels, +12 dB down to -90 dB, on a fader of positions 1..103
// (1 at the top), for inputs ("$028") and outputs ("$035"); on outputs also the polarity ("$039").
#pragma once

#include "edit/EditContext.h"

#include <string>

namespace quellmarin {

class GainEditor {
  public:
    GainEditor(EditContext& ctx, Section section) : ctx_(ctx), section_(section) {}

    Section GetSection() const { return section_; }
    // "INPUT GAIN" / "OUTPUT GAIN" with the channel, and the link master when it is another channel.
    std::string Title(int channel) const;
    // The fader position of the stored gain: (207 - Gain) / 2, truncated.
    int Position(int channel) const;
    // "%ddB" of a fader position.
    static std::string Readout(int position);
    // The fader at `position`: writes the gain of the channel's link master and posts its frame.
    void Apply(int channel, int position);
    // The gain in whole decibels as a user types it: kMinDb..kMaxDb, rounded to the nearest. False,
    // with nothing changed, outside that range.
    static constexpr double kMinDb = -90, kMaxDb = 12;
    // What a typed gain outside the range (or no number at all) is answered with.
    static constexpr std::string_view kRange = "Input range:[-90,+12]";
    bool SetDb(int channel, double db);
    int Db(int channel) const;
    // A click on the arrows: one decibel up or down, nothing at the end of the fader.
    void StepUp(int channel);
    void StepDown(int channel);
    // A repeat of a held arrow: moves while it can and applies every time, also at the end.
    void RepeatUp(int channel);
    void RepeatDown(int channel);

    // A relative step, as a group edit moves every member from its own gain: the gain goes by `deltaDb`
    // and stays within kMinDb..kMaxDb. Returns the gain now and whether the range's end cut the step.
    struct Step {
        int db;
        bool atLimit;
    };
    Step StepDb(int channel, int deltaDb);
    // What a step held at the range's end says: "<channel> gain held at +12 dB, the end of its range".
    static std::string HeldNote(const std::string& channel, int db);

    // Output polarity: 0 normal, any other value inverted.
    bool Inverted(int channel) const;
    // Posts "$039" and stores the polarity when the frame has its 12 characters.
    void SetInverted(int channel, bool inverted);

    // The strip's tooltip text: "Gain -6 dB".
    std::string Summary(int channel) const;

  private:
    std::uint8_t& GainOf(int master);

    EditContext& ctx_;
    Section section_;
};

} // namespace quellmarin
