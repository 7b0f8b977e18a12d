// The device's test tone generator: frequency (a step of the frequency table), level (1 dB steps from
// -90 to 0 dB) and on/off, kept in the device information record. The typed texts are checked with the
// window's messages; an accepted setting is stored and posted at once.
#pragma once

#include "edit/EditContext.h"

#include <optional>
#include <string>
#include <string_view>

namespace quellmarin {

class Generator {
  public:
    static constexpr std::string_view kTitle = "SIGNAL GENERATOR";
    static constexpr std::string_view kFrequencyRange = "Frequency parameters range:[20,20000]";
    static constexpr std::string_view kLevelRange = "Level parameters parameters range:[-90,0]";
    static constexpr std::string_view kIllegal = "Input illegal";
    static constexpr std::string_view kFrequencyInvalid = "Frequency parameters invalidated.";
    static constexpr std::string_view kLevelInvalid = "Level parameters invalidated.";
    static constexpr std::string_view kOnLengthInvalid = "length invalidated.";
    static constexpr std::string_view kOffLengthInvalid = "Length invalidated.";
    // No reply answers a generator frame; the device information read afterwards shows what it took.
    static constexpr std::string_view kUnconfirmed =
        "The processor did not confirm the generator setting; its test tone may be as it was.";
    // The fader runs opposite to the table: index = 122 - position. Its ends are the table's 20 Hz and
    // 20 kHz steps.
    static constexpr int kFaderTop = 1, kFaderBottom = 121, kFaderSpan = 122;
    static constexpr int kLevelMin = -90, kLevelMax = 0;

    explicit Generator(EditContext& ctx);

    bool Running() const { return running_; }

    // What the window shows at opening, from the record.
    std::string FrequencyText() const; // "%dHz" of the stored step, "0" outside the table
    std::string LevelText() const;     // "%ddB"
    int LevelDb() const;
    int FaderPosition() const; // 122 - GenFreq, kept on the fader

    // "%dHz" of the step under a fader position.
    static std::string FaderText(int position);
    // The step of a typed frequency: commas dropped, "k"/"kHz" forms multiplied by 1000, nearest step
    // (a value midway goes to the lower one); nothing with the range message outside 20..20000 Hz.
    struct FrequencyEntry {
        std::optional<int> index;
        std::string_view message;
    };
    static FrequencyEntry ParseFrequency(std::string_view text);
    struct LevelEntry {
        std::optional<int> code; // 2 x dB + 181
        std::string_view message;
    };
    static LevelEntry ParseLevel(std::string_view text);
    // The field text of a step: "20.00Hz" up to 100 Hz, "1000Hz" above.
    static std::string StepText(int index);
    // What the main window shows while the tone runs: "Test tone 1 kHz −20 dB" (UTF-8); empty while the
    // record says it is stopped.
    static std::string ToneText(const DeviceInfoRecord& info);

    struct Outcome {
        bool sent = false;
        std::string message; // to show when not empty
        std::string caption;
        std::string frequencyText; // the field's new text when sent
        int index = 0;             // the step sent
    };
    // Applies the two fields: checks them, posts the on or off frame as the generator stands, shows the
    // step's frequency and stores the setting.
    Outcome Apply(std::string_view frequency, std::string_view level);
    // Start/Stop: checks the fields the same way, posts the other state's frame (with the device's
    // address and the step itself) and switches.
    Outcome Toggle(std::string_view frequency, std::string_view level);

  private:
    Outcome Send(bool on, std::string_view frequency, std::string_view level, bool store);

    EditContext& ctx_;
    bool running_;
};

} // namespace quellmarin
