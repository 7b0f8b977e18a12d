#include "edit/Generator.h"

#include "dsp/Scales.h"
#include "protocol/Frames.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quellmarin {

Generator::Generator(EditContext& ctx) : ctx_(ctx), running_(ctx.info.GenRun == 1) {}

std::string Generator::FrequencyText() const {
    const int step = ctx_.info.GenFreq;
    if (step < 1 || step > 122) return "0";
    return std::to_string(static_cast<int>(FrequencyValues()[static_cast<std::size_t>(step)])) + "Hz";
}

int Generator::LevelDb() const {
    const int code = ctx_.info.GenLevel;
    if (code >= 182) return kLevelMin;
    return (code - 1) / 2 - 90;
}

std::string Generator::LevelText() const {
    return std::to_string(LevelDb()) + "dB";
}

int Generator::FaderPosition() const {
    return std::clamp(kFaderSpan - static_cast<int>(ctx_.info.GenFreq), kFaderTop, kFaderBottom);
}

std::string Generator::FaderText(int position) {
    const int index = std::clamp(kFaderSpan - position, 0, kFrequencySteps - 1);
    return std::to_string(static_cast<int>(FrequencyValues()[static_cast<std::size_t>(index)])) + "Hz";
}

Generator::FrequencyEntry Generator::ParseFrequency(std::string_view text) {
    const double f = ParseFrequencyText(text, true);
    if (!(f >= 20 && f <= 20000)) return {std::nullopt, kFrequencyRange};
    return {NearestStep(FrequencyValues(), f), {}};
}

Generator::LevelEntry Generator::ParseLevel(std::string_view text) {
    std::string s(TrimBlanks(text));
    if (s.size() >= 2 && s.compare(s.size() - 2, 2, "dB") == 0) s.resize(s.size() - 2);
    const double number = LeadingNumber(s);
    if (!(number >= kLevelMin - 1 && number < kLevelMax + 1)) return {std::nullopt, kLevelRange};
    const int db = static_cast<int>(std::trunc(number));
    if (db > kLevelMax || db < kLevelMin) return {std::nullopt, kLevelRange};
    return {2 * db + 181, {}};
}

std::string Generator::StepText(int index) {
    // Below 20 Hz the field shows 20 Hz; otherwise two decimals up to 100 Hz, none above.
    const double f = FrequencyValues()[static_cast<std::size_t>(std::clamp(index, 0, kFrequencySteps - 1))];
    return BandFrequencyText(std::max(f, 20.0));
}

Generator::Outcome Generator::Send(bool on, std::string_view frequency, std::string_view level, bool store) {
    Outcome out;
    const FrequencyEntry f = ParseFrequency(frequency);
    if (!f.index) {
        out.message = f.message;
        out.caption = kIllegal;
        return out;
    }
    const LevelEntry l = ParseLevel(level);
    if (!l.code) {
        out.message = l.message;
        out.caption = kIllegal;
        return out;
    }
    if (*f.index < 0 || *f.index > 121) {
        out.message = kFrequencyInvalid;
        return out;
    }
    if (*l.code < 0 || *l.code > 181) {
        out.message = kLevelInvalid;
        return out;
    }
    if (!ctx_.PostFixed(FrameGenerator(ctx_.Address(), on, *f.index, *l.code), kGeneratorFrameLength)) {
        out.message = on ? kOnLengthInvalid : kOffLengthInvalid;
        return out;
    }
    out.sent = true;
    out.frequencyText = StepText(*f.index);
    out.index = *f.index;
    ctx_.info.GenRun = on ? 1 : 0;
    if (store) {
        ctx_.info.GenFreq = static_cast<std::uint8_t>(*f.index);
        ctx_.info.GenLevel = static_cast<std::uint8_t>(*l.code);
    }
    return out;
}

Generator::Outcome Generator::Apply(std::string_view frequency, std::string_view level) {
    return Send(running_, frequency, level, true);
}

Generator::Outcome Generator::Toggle(std::string_view frequency, std::string_view level) {
    // The record keeps what the device now runs, so that it shows (and sends) the same next time.
    Outcome out = Send(!running_, frequency, level, true);
    if (out.sent) running_ = !running_;
    return out;
}

std::string Generator::ToneText(const DeviceInfoRecord& info) {
    if (info.GenRun == 0) return {};
    const int index = std::clamp<int>(info.GenFreq, 0, kFrequencySteps - 1);
    const double hz = FrequencyValues()[static_cast<std::size_t>(index)];
    char frequency[32];
    if (hz >= 1000)
        std::snprintf(frequency, sizeof frequency, "%g kHz", std::round(hz / 10) / 100);
    else
        std::snprintf(frequency, sizeof frequency, "%g Hz", std::round(hz * 10) / 10);
    const int db = (static_cast<int>(info.GenLevel) - 181) / 2;
    std::string level = db < 0 ? "\u2212" + std::to_string(-db) : std::to_string(db);
    return std::string("Test tone ") + frequency + " " + level + " dB";
}

} // namespace quellmarin
