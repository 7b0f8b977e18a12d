// The delay of one channel, 0..96000 samples at 48 kHz (0..2000 ms, 0..680 m at 340 m/s), for inputs
// ("$029") and outputs ("$032"): typed in milliseconds or metres, stepped one sample at a time, shown
// in milliseconds, metres, feet and inches. It keeps what its fields show, so that leaving a field
// whose text did not change sends nothing and a refused value brings back the delay in force.
#pragma once

#include "edit/EditContext.h"

#include <array>
#include <string>
#include <string_view>

namespace quellmarin {

struct DelayFields {
    std::string ms, metres, feet, inches; // "%.3f"; a typed field keeps the text typed
};

// One row of the input delay window's table: what an output adds and what the input sees through it.
struct OutputDelayRow {
    std::string own;         // the output's own delay, "%.3f ms"
    std::string total;       // its delay plus the input's when the input reaches it, "%.3f ms"
    std::string totalMetres; // "%.3f m"
    bool routed = false;     // the input reaches this output
    double totalMs = 0;
};

class DelayEditor {
  public:
    DelayEditor(EditContext& ctx, Section section) : ctx_(ctx), section_(section) {}

    Section GetSection() const { return section_; }
    const EditContext& Context() const { return ctx_; }
    std::string Title(int channel) const;
    static std::string Label(int channel); // "CH[%d]"

    // Takes the channel's delay from the record (its link master's) and shows it; sends nothing.
    void Load(int channel);
    int Channel() const { return channel_; }
    int Samples() const { return samples_; }
    const DelayFields& Fields() const { return fields_; }

    // One sample up or down (nothing past the ends), then the delay is sent, also when it stayed.
    void Spin(bool up);
    // A relative step of `ms` milliseconds (whole samples, rounded to the nearest) from the channel's
    // own delay, kept within 0..kMaxDelaySamples, as a group edit moves every member: loads the
    // channel, sends its new delay and returns it with whether the range's end cut the step.
    struct Step {
        int samples;
        bool atLimit;
    };
    Step StepMilliseconds(int channel, double ms);
    // What a step held at the range's end says: "<channel> delay held at 2000 ms, the end of its range".
    static std::string HeldNote(const std::string& channel, int samples);
    // A field left with this text. Nothing happens when it is the text the field showed; a value out
    // of range gives its message (captioned "Input illegal") and changes nothing. True when applied.
    struct Outcome {
        bool applied = false;
        std::string_view message;
    };
    Outcome TypeMilliseconds(std::string_view text);
    Outcome TypeMetres(std::string_view text);

  private:
    // Sends the delay as "$029"/"$032"; only a frame of 15 characters is sent and stored.
    void Commit();
    void ShowSamples();
    void ShowMetres(double metres);

    EditContext& ctx_;
    Section section_;
    int channel_ = 0;
    int samples_ = 0;
    DelayFields fields_;
};

// The strip's tooltip text of a channel's delay: "Delay 10.000 ms (3.400 m)".
std::string DelaySummary(const SystemParameters& p, ChannelRef c);

// The input delay window's table for an input: one row per output, each output through its link master.
std::array<OutputDelayRow, 8> OutputDelayTable(const SystemParameters& p, int inputChannel);

} // namespace quellmarin
