#include "edit/FilterImport.h"

#include "dsp/Response.h"
#include "dsp/Scales.h"
#include "edit/EqEditor.h"
#include "edit/GainEditor.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace quellmarin {

namespace {

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::optional<double> Number(const std::string& word) {
    char* end = nullptr;
    const double v = std::strtod(word.c_str(), &end);
    if (end == word.c_str() || *end != '\0' || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::string Printf(const char* format, double a, double b = 0, double c = 0) {
    char buf[96];
    std::snprintf(buf, sizeof buf, format, a, b, c);
    return buf;
}

// The device's band type of a filter kind; the Q a kind stands for when the line gives none.
struct Kind {
    std::string_view name;
    int type;
    double defaultQ;
};
constexpr Kind kKinds[] = {{"PK", kEqPeaking, 1.0},     {"PEQ", kEqPeaking, 1.0},
                           {"LS", kEqLowShelf, 0.707},  {"LSC", kEqLowShelf, 0.707},
                           {"HS", kEqHighShelf, 0.707}, {"HSC", kEqHighShelf, 0.707},
                           {"NO", kEqNotch, 4.33},      {"BP", kEqBandPass, 4.33}};

const Kind* KindOf(const std::string& name) {
    for (const Kind& k : kKinds)
        if (k.name == name) return &k;
    return nullptr;
}

// The widest values a filter line may hold: beyond them it is no equaliser setting of any audio system.
constexpr double kMostFrequencyHz = 100000, kMostGainDb = 100, kMostQ = 1000, kMostOctaves = 10;

// Q of a bandwidth in octaves.
double QOfOctaves(double n) {
    const double p = std::pow(2.0, n);
    return std::sqrt(p) / (p - 1);
}

bool UsesGain(int type) {
    return type == kEqPeaking || type == kEqLowShelf || type == kEqHighShelf;
}

std::string AskedText(const FileFilter& f) {
    std::string s = f.kind + " " + Printf(f.fcHz < 100 ? "%.1f Hz" : "%.0f Hz", f.fcHz);
    if (f.type < 0 || UsesGain(f.type)) s += Printf(" %+.1f dB", f.gainDb);
    s += Printf(" Q %.2f", f.q);
    return s;
}

std::string DeviceText(const PeqBand& b) {
    const double fc = FrequencyValues()[b.Freq];
    std::string s = std::string(EqTypeMenuText(b.Type)) + " " + Printf(fc < 100 ? "%.1f Hz" : "%.0f Hz", fc);
    if (UsesGain(b.Type)) s += Printf(" %+.1f dB", GainValues()[b.Level]);
    s += Printf(" Q %.2f", QValues()[b.Q]);
    return s;
}

// Summed response in dB at f of filters given as (type, fc, gain, q).
struct Curve {
    int type;
    double fc, gain, q;
};
double SumDb(const std::vector<Curve>& curves, double f) {
    double db = 0;
    for (const Curve& c : curves) db += EqBandDb(c.type, f, c.fc, c.gain, c.q);
    return db;
}

} // namespace

FilterFile ParseFilterText(std::string_view text) {
    FilterFile file;
    std::istringstream in{std::string(text)};
    std::string raw;
    for (int number = 1; std::getline(in, raw); ++number) {
        std::istringstream words(raw);
        std::vector<std::string> w;
        for (std::string word; words >> word;) w.push_back(word);
        if (w.empty() || w[0][0] == '#') continue;
        const std::string head = Upper(w[0]);
        if (head == "PREAMP:") {
            const auto v = w.size() >= 2 ? Number(w[1]) : std::nullopt;
            if (v && std::abs(*v) <= kMostGainDb)
                file.preampDb = *v;
            else
                file.unread.push_back("line " + std::to_string(number) + ": " +
                                      (w.size() < 2 ? std::string("no value after Preamp")
                                                    : "Preamp " + w[1] + " is not a gain (at most 100 dB either way)"));
            continue;
        }
        // "Filter 1:", "Filter:", "Filter1:"; any other line is a header, a note or a date.
        std::size_t i = 0;
        if (head.starts_with("FILTER") && head.ends_with(":")) {
            i = 1;
        } else if (head == "FILTER" && w.size() > 1 && w[1].size() > 1 && w[1].ends_with(":") &&
                   Number(w[1].substr(0, w[1].size() - 1))) {
            i = 2;
        } else {
            continue;
        }
        const auto unread = [&](const std::string& why) {
            file.unread.push_back("line " + std::to_string(number) + ": " + why);
        };
        if (i >= w.size()) {
            unread("no filter after \"" + w[0] + "\"");
            continue;
        }
        FileFilter f;
        f.line = number;
        const std::string state = Upper(w[i]);
        if (state != "ON" && state != "OFF") {
            unread("ON or OFF expected, not " + w[i]);
            continue;
        }
        f.on = state == "ON";
        if (++i >= w.size()) {
            if (f.on) unread("no filter type");
            continue;
        }
        f.kind = Upper(w[i++]);
        const Kind* kind = KindOf(f.kind);
        f.type = kind ? kind->type : -1;
        // A value that no measurement program writes makes the whole line unreadable: a number that
        // is not finite, a magnitude beyond any audio meaning, a bandwidth or Q that is not positive.
        bool fcGiven = false;
        std::string bad;
        for (; i < w.size() && bad.empty(); ++i) {
            const std::string key = Upper(w[i]);
            const auto value = [&](std::size_t k, const char* what, double low, double high,
                                   bool lowOpen) -> std::optional<double> {
                const std::string given = i + k < w.size() ? w[i + k] : std::string();
                const auto v = Number(given);
                if (!v || (lowOpen ? *v <= low : *v < low) || *v > high) {
                    bad = given.empty() ? std::string("no value after ") + what
                                       : std::string(what) + " " + given + " is not " +
                                             (key == "FC"     ? "an audio frequency (above 0, at most 100 kHz)"
                                              : key == "GAIN" ? "an equaliser's gain (at most 100 dB either way)"
                                              : key == "Q"    ? "an equaliser's Q (above 0, at most 1000)"
                                                              : "a bandwidth in octaves (above 0, at most 10)");
                    return std::nullopt;
                }
                i += k;
                return v;
            };
            if (key == "FC") {
                if (const auto v = value(1, "Fc", 0, kMostFrequencyHz, true)) {
                    f.fcHz = *v;
                    fcGiven = true;
                }
            } else if (key == "GAIN") {
                if (const auto v = value(1, "Gain", -kMostGainDb, kMostGainDb, false)) f.gainDb = *v;
            } else if (key == "Q") {
                if (const auto v = value(1, "Q", 0, kMostQ, true)) {
                    f.q = *v;
                    f.qGiven = true;
                }
            } else if (key == "BW" && i + 1 < w.size() && Upper(w[i + 1]) == "OCT") {
                ++i;
                if (const auto v = value(1, "BW Oct", 0, kMostOctaves, true)) {
                    f.q = QOfOctaves(*v);
                    f.qGiven = true;
                }
            }
        }
        if (!bad.empty()) {
            unread(bad);
            continue;
        }
        if (f.on && !fcGiven) {
            unread("no frequency (Fc)");
            continue;
        }
        if (!f.qGiven) f.q = kind ? kind->defaultQ : 0.707;
        file.filters.push_back(std::move(f));
    }
    return file;
}

ImportPlan PlanImport(const FilterFile& file, ChannelRef channel, DeviceModel model) {
    ImportPlan plan;
    plan.channel = channel;
    plan.bandCount = IsOutput(channel.section) ? kOutputBands : kInputBands;
    const std::string where = ChannelName(channel.section, channel.index, model);
    int onFilters = 0;
    // Lines that could not be read are left out, which the user must accept like any other refusal.
    for (const std::string& line : file.unread) plan.refusals.push_back(line + "; it is left out");
    for (const FileFilter& f : file.filters) {
        if (!f.on) {
            plan.notes.push_back("line " + std::to_string(f.line) + ": an OFF filter, skipped");
            continue;
        }
        if (f.type < 0) {
            plan.refusals.push_back("line " + std::to_string(f.line) + ": the device has no " + f.kind +
                                    " filter; it is left out");
            continue;
        }
        ++onFilters;
        if (static_cast<int>(plan.placed.size()) >= plan.bandCount) continue;
        PlacedFilter p;
        p.asked = f;
        p.band = static_cast<int>(plan.placed.size());
        const double fc = std::clamp(f.fcHz, 20.0, 20000.0);
        const double gain = std::clamp(f.gainDb, -12.0, 12.0);
        const double q = std::clamp(f.q, 0.31, 19.4);
        const int step = NearestStep(FrequencyValues(), fc).value_or(kEqFreqMax);
        p.steps = {static_cast<std::uint8_t>(f.type),
                   static_cast<std::uint8_t>(std::clamp(step, kEqFreqMin, kEqFreqMax)),
                   static_cast<std::uint8_t>(UsesGain(f.type) ? NearestLevelStep(gain) : NearestLevelStep(0)),
                   static_cast<std::uint8_t>(std::min(NearestQStep(q), kEqQMax))};
        if (fc != f.fcHz || (UsesGain(f.type) && gain != f.gainDb) || q != f.q)
            plan.notes.push_back("line " + std::to_string(f.line) + ": kept within the device's ranges " +
                                 "(20..20000 Hz, -12..+12 dB, Q 0.31..19.4)");
        p.askedText = AskedText(f);
        p.deviceText = DeviceText(p.steps);
        plan.placed.push_back(std::move(p));
    }
    if (onFilters > plan.bandCount)
        plan.refusals.push_back("the file has " + std::to_string(onFilters) + " filters and " + where +
                                " has " + std::to_string(plan.bandCount) + " bands; filters after the " +
                                std::to_string(plan.bandCount) + "th are left out");
    if (file.preampDb) {
        const double db = std::clamp(*file.preampDb, -90.0, 12.0);
        if (db != *file.preampDb) plan.notes.push_back("the preamp is kept within -90..+12 dB");
        plan.gainCode = GainCode(static_cast<int>(std::lround(db)));
    }

    std::vector<Curve> asked, placed;
    for (const PlacedFilter& p : plan.placed) {
        asked.push_back({p.asked.type, p.asked.fcHz, p.asked.gainDb, p.asked.q});
        placed.push_back({p.steps.Type, FrequencyValues()[p.steps.Freq], GainValues()[p.steps.Level],
                          QValues()[p.steps.Q]});
    }
    // The preamp moves the whole response: a gain rounded to the device's whole decibels is part of
    // the difference.
    const double askedPreamp = file.preampDb.value_or(0);
    const double placedPreamp = plan.gainCode ? GainDb(*plan.gainCode) : 0;
    // 48 points an octave over 20 Hz .. 20 kHz.
    for (double f = 20; f <= 20000 * 1.0001; f *= std::pow(2.0, 1.0 / 48))
        plan.maxDifferenceDb = std::max(plan.maxDifferenceDb, std::abs((SumDb(asked, f) - SumDb(placed, f)) +
                                                                       (askedPreamp - placedPreamp)));
    return plan;
}

void ApplyImport(EditContext& ctx, const ImportPlan& plan) {
    const ChannelRef c = plan.channel;
    EqEditor eq(ctx, c.section);
    for (int band = 0; band < plan.bandCount; ++band) {
        if (band < static_cast<int>(plan.placed.size())) {
            eq.ApplyBand(c.index, band,
                         EqEditor::SettingOf(plan.placed[static_cast<std::size_t>(band)].steps));
        } else if (eq.Band(c.index, band).Type != kEqNone) {
            eq.SetType(c.index, band, kEqNone); // a band left over keeps its values, switched off
        }
    }
    if (!plan.placed.empty() && !eq.Enabled(c.index)) eq.SetEnabled(c.index, true);
    if (plan.gainCode) GainEditor(ctx, c.section).Apply(c.index, FaderPositionOf(*plan.gainCode));
}

std::string ExportFilters(const SystemParameters& p, ChannelRef channel, DeviceModel model) {
    const int master = channel.Master(p);
    const bool output = IsOutput(channel.section);
    const PeqBand* bands = output ? p.OutCH[master].Peq : p.InCH[master].Peq;
    const int count = output ? kOutputBands : kInputBands;
    const int gain = output ? p.OutCH[master].Gain : p.InCH[master].Gain;
    std::string s = "Filter Settings file\n\n# " + ChannelName(channel.section, channel.index, model) +
                    " of the processor, as its equaliser holds it\n";
    s += Printf("Preamp: %.1f dB\n", GainDb(gain));
    static constexpr const char* kNames[] = {"None", "PK", "BP", "HSC", "LSC", "NO"};
    for (int b = 0; b < count; ++b) {
        const PeqBand& band = bands[b];
        const double fc = FrequencyValues()[std::min<int>(band.Freq, kFrequencySteps - 1)];
        const double q = QValues()[std::min<int>(band.Q, kQSteps - 1)];
        const double g = GainValues()[std::min<int>(band.Level, kGainSteps - 1)];
        s += "Filter " + std::to_string(b + 1) + ": ";
        if (band.Type == kEqNone || band.Type > kEqNotch) {
            s += "OFF None\n";
            continue;
        }
        s += std::string("ON ") + kNames[band.Type] + Printf(" Fc %g Hz", fc);
        if (UsesGain(band.Type)) s += Printf(" Gain %.1f dB", g);
        s += Printf(" Q %.4g\n", q);
    }
    return s;
}

std::vector<std::string> DescribePlan(const ImportPlan& plan, DeviceModel model) {
    std::vector<std::string> lines;
    lines.push_back("Into " + ChannelName(plan.channel.section, plan.channel.index, model) + ":");
    for (const PlacedFilter& p : plan.placed) {
        char head[32];
        std::snprintf(head, sizeof head, "  band %d: ", p.band + 1);
        std::string line = head + p.askedText;
        line.resize(std::max<std::size_t>(line.size() + 1, 44), ' ');
        lines.push_back(line + "-> " + p.deviceText);
    }
    if (plan.gainCode) lines.push_back(Printf("  gain: %+.1f dB", GainDb(*plan.gainCode)));
    lines.push_back(
        Printf("Largest difference of the summed response, 20 Hz to 20 kHz: %.2f dB", plan.maxDifferenceDb));
    for (const std::string& n : plan.notes) lines.push_back(n);
    for (const std::string& r : plan.refusals) lines.push_back(r);
    return lines;
}

} // namespace quellmarin
