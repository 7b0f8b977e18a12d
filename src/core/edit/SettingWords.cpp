#include "edit/SettingWords.h"

#include "edit/AliasEditor.h"
#include "edit/LinkEditor.h"
#include "edit/PanelLock.h"
#include "edit/ProgramExchange.h"
#include "edit/RouteEditor.h"
#include "dsp/Scales.h"
#include "edit/CompressorEditor.h"
#include "edit/CrossoverEditor.h"
#include "edit/DelayEditor.h"
#include "edit/EqEditor.h"
#include "edit/GainEditor.h"
#include "edit/LimiterEditor.h"
#include "edit/MuteEditor.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>

namespace quellmarin {

namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

EditOutcome Usage(std::string message) {
    EditOutcome o;
    o.ok = false;
    o.usage = true;
    o.message = std::move(message);
    return o;
}

EditOutcome OutOfRange(std::string_view message) {
    EditOutcome o;
    o.ok = false;
    o.message = message;
    return o;
}

std::optional<bool> Switch(const std::string& word) {
    const std::string w = Lower(word);
    if (w == "on") return true;
    if (w == "off") return false;
    return std::nullopt;
}

// "in 4 is linked to in 3: editing in 3", for the settings that live in the link master's record.
void NoteMaster(const EditContext& ctx, ChannelRef c, EditOutcome& o) {
    const int master = c.Master(ctx.params);
    if (master == c.index) return;
    const std::string to = ChannelText({c.section, master}, ctx.model);
    o.notes.push_back(ChannelText(c, ctx.model) + " is linked to " + to + ": editing " + to);
}

// The inputs a list names: "A,B", "1,3", or "none".
std::optional<std::vector<int>> InputList(const std::string& word, DeviceModel model, std::string& error) {
    std::vector<int> slots;
    if (Lower(word) == "none") return slots;
    std::size_t start = 0;
    while (start <= word.size()) {
        const std::size_t comma = std::min(word.find(',', start), word.size());
        const auto c = ParseChannel("in", word.substr(start, comma - start), model, error);
        if (!c) return std::nullopt;
        slots.push_back(c->index);
        start = comma + 1;
    }
    return slots;
}

constexpr std::string_view kGainRange = GainEditor::kRange;
constexpr std::string_view kLimitRange = "Input range:[-27.5,+22]";
constexpr std::string_view kThresholdRange = "Input range:[-38,+22]";
constexpr std::string_view kTimeRange = "Input range:[0.01,10000ms]";
constexpr std::string_view kRatioRange = "Input range:[1,99]";

EditOutcome SetGain(EditContext& ctx, ChannelRef c, const std::string& value) {
    const auto db = ParseTypedNumber(value, kDecibelUnits);
    if (!db) return OutOfRange(kGainRange);
    if (*db < GainEditor::kMinDb || *db > GainEditor::kMaxDb) return OutOfRange(kGainRange);
    EditOutcome o;
    NoteMaster(ctx, c, o);
    GainEditor(ctx, c.section).SetDb(c.index, *db);
    return o;
}

EditOutcome SetDelay(EditContext& ctx, ChannelRef c, const std::string& value) {
    if (!ParseTypedNumber(value, kDelayUnits)) {
        const bool metres = value.size() > 1 && (value.back() == 'm' || value.back() == 'M') &&
                            std::tolower(static_cast<unsigned char>(value[value.size() - 2])) != 'm';
        return OutOfRange(metres ? kDelayMetresRange : kDelayMsRange);
    }
    const std::size_t unitAt = value.find_first_not_of("+-0123456789.eE");
    const std::string unit = unitAt == std::string::npos ? std::string() : Lower(value.substr(unitAt));
    const bool metres = unit == "m";
    if (!metres && !unit.empty() && unit != "ms") return Usage("delay takes ms or m, not " + unit);
    EditOutcome o;
    NoteMaster(ctx, c, o);
    DelayEditor editor(ctx, c.section);
    editor.Load(c.index);
    const DelayEditor::Outcome r = metres ? editor.TypeMetres(value) : editor.TypeMilliseconds(value);
    if (!r.message.empty()) return OutOfRange(r.message);
    return o;
}

// "step -3" / "step +1ms": a relative step from the channel's own value, held at the range's ends
// (said in a note), as a group edit moves each member by the same amount.
constexpr std::string_view kGainStepRange = "a gain step is whole decibels, -102 to +102";
constexpr std::string_view kDelayStepRange = "a delay step is -2000 to +2000 ms (or -680 to +680 m)";

EditOutcome StepGain(EditContext& ctx, ChannelRef c, const std::string& value) {
    const auto db = ParseTypedNumber(value, kDecibelUnits);
    if (!db || std::abs(*db) > 102 || *db != std::round(*db)) return OutOfRange(kGainStepRange);
    EditOutcome o;
    NoteMaster(ctx, c, o);
    const GainEditor::Step s = GainEditor(ctx, c.section).StepDb(c.index, static_cast<int>(*db));
    if (s.atLimit)
        o.notes.push_back(GainEditor::HeldNote(ChannelText(c, ctx.model), s.db));
    return o;
}

EditOutcome StepDelay(EditContext& ctx, ChannelRef c, const std::string& value) {
    const auto amount = ParseTypedNumber(value, kDelayUnits);
    const std::size_t unitAt = value.find_first_not_of("+-0123456789.eE");
    const bool metres = unitAt != std::string::npos && Lower(value.substr(unitAt)) == "m";
    const double ms = amount ? (metres ? *amount / 0.34 : *amount) : 0;
    if (!amount || std::abs(ms) > 2000.0001) return OutOfRange(kDelayStepRange);
    EditOutcome o;
    NoteMaster(ctx, c, o);
    const DelayEditor::Step s = DelayEditor(ctx, c.section).StepMilliseconds(c.index, ms);
    if (s.atLimit)
        o.notes.push_back(DelayEditor::HeldNote(ChannelText(c, ctx.model), s.samples));
    return o;
}

const std::map<std::string, int>& BandTypes() {
    static const std::map<std::string, int> types = {
        {"off", 0},     {"none", 0},     {"peaking", 1}, {"pk", 1}, {"bandpass", 2},
        {"bp", 2},      {"hi-shelf", 3}, {"hishelf", 3}, {"hs", 3}, {"lo-shelf", 4},
        {"loshelf", 4}, {"ls", 4},       {"notch", 5},   {"no", 5}};
    return types;
}

EditOutcome SetPeq(EditContext& ctx, ChannelRef c, const std::vector<std::string>& w) {
    EqEditor editor(ctx, c.section);
    if (w.size() == 4) {
        if (const auto on = Switch(w[3])) {
            EditOutcome o;
            NoteMaster(ctx, c, o);
            editor.SetEnabled(c.index, *on);
            return o;
        }
    }
    const std::string bands = "1.." + std::to_string(editor.BandCount());
    const auto band = w.size() >= 5 ? ParseTypedNumber(w[3]) : std::nullopt;
    if (!band || *band != std::floor(*band))
        return Usage("peq takes on, off, or a band (" + bands + "), a type and its values");
    if (*band < 1 || *band > editor.BandCount()) return Usage("the bands are " + bands);
    const auto type = BandTypes().find(Lower(w[4]));
    if (type == BandTypes().end())
        return Usage("a band type is off, peaking, bandpass, hi-shelf, lo-shelf or notch, not " + w[4]);
    // The values the type uses, in the order frequency, gain, Q; those not given stay as they are.
    const int b = static_cast<int>(*band) - 1;
    std::string freq = editor.FrequencyText(c.index, b), level = editor.LevelText(c.index, b),
                q = editor.QText(c.index, b);
    const EqEditor::Fields fields = EqEditor::FieldsOf(type->second);
    std::vector<std::string*> slots;
    if (fields.frequency) slots.push_back(&freq);
    if (fields.level) slots.push_back(&level);
    if (fields.q) slots.push_back(&q);
    if (w.size() - 5 > slots.size())
        return Usage("a " + std::string(EqEditor::kTypeTexts[type->second]) + " band takes " +
                     std::to_string(slots.size()) + " value(s)");
    for (std::size_t i = 5; i < w.size(); ++i) {
        std::string* slot = slots[i - 5];
        const bool frequency = slot == &freq, gain = slot == &level;
        const auto value = frequency ? ParseTypedNumber(w[i], kFrequencyUnits)
                           : gain    ? ParseTypedNumber(w[i], kDecibelUnits)
                                     : ParseTypedNumber(w[i]);
        if (!value) return OutOfRange(frequency ? kEqFrequencyRange : gain ? kEqLevelRange : kQRange);
        *slot = w[i];
    }
    for (const Clamped& v : {ClampEqFrequency(ParseFrequencyText(freq)), ClampLevel(LeadingNumber(level)),
                             ClampQ(LeadingNumber(q))})
        if (!v.message.empty()) return OutOfRange(v.message);
    EditOutcome o;
    NoteMaster(ctx, c, o);
    editor.SetBand(c.index, b, type->second, freq, q, level);
    return o;
}

EditOutcome SetCrossover(EditContext& ctx, ChannelRef c, const std::vector<std::string>& w) {
    static const std::map<std::string, int> slopes = {
        {"bw12", 0},     {"bw18", 1},     {"bw24", 2},     {"bw30", 3},     {"bw36", 4},  {"bessel12", 5},
        {"bessel18", 6}, {"bessel24", 7}, {"bessel30", 8}, {"bessel36", 9}, {"lr12", 10}, {"lr24", 11}};
    const std::string side = w.size() >= 5 ? Lower(w[3]) : "";
    if (side != "hp" && side != "lp")
        return Usage("xover takes hp or lp, then off, or a slope and a frequency (xover hp lr24 80)");
    const bool highPass = side == "hp";
    CrossoverEditor editor(ctx);
    if (w.size() == 5 && Lower(w[4]) == "off") {
        EditOutcome o;
        NoteMaster(ctx, c, o);
        editor.SwitchOff(c.index, highPass);
        return o;
    }
    std::optional<int> slope;
    std::size_t at = 4;
    if (const auto s = slopes.find(Lower(w[4])); s != slopes.end()) {
        slope = s->second;
        ++at;
    }
    if (w.size() != at + 1)
        return Usage("a slope is bw12..bw36, bessel12..bessel36, lr12 or lr24, then the frequency");
    if (!ParseTypedNumber(w[at], kFrequencyUnits)) return OutOfRange(kEqFrequencyRange);
    if (const Clamped f = ClampEqFrequency(ParseFrequencyText(w[at])); !f.message.empty())
        return OutOfRange(f.message);
    EditOutcome o;
    NoteMaster(ctx, c, o);
    editor.TypeFrequency(c.index, highPass, w[at], slope);
    return o;
}

EditOutcome SetLimit(EditContext& ctx, ChannelRef c, const std::string& value) {
    const auto dbu = ParseTypedNumber(value, kDbuUnits);
    if (!dbu) return OutOfRange(kLimitRange);
    if (!LimiterEditor::StepOf(*dbu)) return OutOfRange(kLimitRange);
    EditOutcome o;
    NoteMaster(ctx, c, o);
    LimiterEditor(ctx).SetDbu(c.index, *dbu);
    return o;
}

EditOutcome SetCompressor(EditContext& ctx, ChannelRef c, const std::vector<std::string>& w) {
    static const std::map<std::string, CompField> names = {{"threshold", CompField::Threshold},
                                                           {"attack", CompField::Attack},
                                                           {"release", CompField::Release},
                                                           {"ratio", CompField::Ratio}};
    if (w.size() < 5 || (w.size() - 3) % 2 != 0)
        return Usage("comp takes pairs: threshold DB, attack MS, release MS, ratio N");
    // Every value is checked before any is stored.
    std::vector<std::pair<CompField, std::string>> values;
    for (std::size_t i = 3; i + 1 < w.size(); i += 2) {
        const auto field = names.find(Lower(w[i]));
        if (field == names.end()) return Usage("comp has threshold, attack, release and ratio, not " + w[i]);
        const std::string& text = w[i + 1];
        const bool infinite =
            field->second == CompField::Ratio && (Lower(text) == "inf" || text == "Infinity");
        const bool time = field->second == CompField::Attack || field->second == CompField::Release;
        const auto v = time ? ParseTypedNumber(text, kMillisecondUnits)
                       : field->second == CompField::Threshold ? ParseTypedNumber(text, kDbuUnits)
                                                               : ParseTypedNumber(text);
        if (!infinite && !v)
            return OutOfRange(time                                    ? kTimeRange
                              : field->second == CompField::Threshold ? kThresholdRange
                                                                      : kRatioRange);
        if (!infinite) {
            switch (field->second) {
            case CompField::Threshold:
                if (*v < -38 || *v > 22) return OutOfRange(kThresholdRange);
                break;
            case CompField::Attack:
            case CompField::Release:
                if (*v < 0.01 || *v > 10000) return OutOfRange(kTimeRange);
                break;
            case CompField::Ratio:
                if (*v < 1 || *v > 99) return OutOfRange(kRatioRange);
                break;
            }
        }
        values.emplace_back(field->second, infinite ? std::string("Infinity") : text);
    }
    EditOutcome o;
    NoteMaster(ctx, c, o);
    CompressorEditor editor(ctx);
    for (const auto& [field, text] : values) editor.Type(c.index, field, text);
    return o;
}

EditOutcome SetChannel(EditContext& ctx, const std::vector<std::string>& w) {
    if (w.size() < 3) return Usage("set in|out CHANNEL SETTING VALUE...");
    std::string error;
    const auto c = ParseChannel(w[0], w[1], ctx.model, error);
    if (!c) return Usage(error);
    const std::string what = Lower(w[2]);
    const bool output = IsOutput(c->section);
    const auto one = [&](auto f) { return w.size() == 4 ? f(w[3]) : Usage(what + " takes one value"); };
    const bool step = w.size() >= 4 && Lower(w[3]) == "step";
    if (step && what != "gain" && what != "delay") return Usage("only gain and delay take a step");
    if (step && w.size() != 5) return Usage(what + " step takes one amount, as in step -3");
    if (step && what == "gain") return StepGain(ctx, *c, w[4]);
    if (step && what == "delay") return StepDelay(ctx, *c, w[4]);
    if (what == "gain") return one([&](const std::string& v) { return SetGain(ctx, *c, v); });
    if (what == "mute")
        return one([&](const std::string& v) {
            const auto on = Switch(v);
            if (!on) return Usage("mute takes on or off");
            MuteEditor(ctx).Set(*c, *on);
            return EditOutcome{};
        });
    if (what == "polarity" && output)
        return one([&](const std::string& v) {
            const std::string p = Lower(v);
            if (p != "inverted" && p != "normal") return Usage("polarity takes inverted or normal");
            EditOutcome o;
            NoteMaster(ctx, *c, o);
            GainEditor(ctx, Section::Output).SetInverted(c->index, p == "inverted");
            return o;
        });
    if (what == "delay") return one([&](const std::string& v) { return SetDelay(ctx, *c, v); });
    if (what == "peq") return SetPeq(ctx, *c, w);
    if (what == "xover" && output) return SetCrossover(ctx, *c, w);
    if (what == "limit" && output) return one([&](const std::string& v) { return SetLimit(ctx, *c, v); });
    if (what == "comp" && !output) return SetCompressor(ctx, *c, w);
    return Usage(std::string(output ? "an output" : "an input") + " has no setting " + w[2]);
}

EditOutcome SetRoute(EditContext& ctx, const std::vector<std::string>& w) {
    // route out 3 in A,B | route out 3 none
    const bool none = w.size() == 4 && Lower(w[3]) == "none";
    if (!(none || (w.size() == 5 && Lower(w[3]) == "in")) || Lower(w[1]) != "out")
        return Usage("route out CHANNEL in A,B,... (or none)");
    std::string error;
    const auto out = ParseChannel("out", w[2], ctx.model, error);
    if (!out) return Usage(error);
    const auto wanted = InputList(none ? std::string("none") : w[4], ctx.model, error);
    if (!wanted) return Usage(error);
    RouteEditor editor(ctx);
    for (int slot : editor.InputSlots()) {
        const bool on = std::find(wanted->begin(), wanted->end(), slot) != wanted->end();
        if (editor.Routed(out->index, slot) != on) editor.Toggle(out->index, slot);
    }
    return {};
}

EditOutcome SetLinks(EditContext& ctx, const std::vector<std::string>& w) {
    // link in A,A,C,C,E,F,G,H: each channel's group, named by a channel of it.
    const std::string section = w.size() == 3 ? Lower(w[1]) : "";
    if (section != "in" && section != "out")
        return Usage("link in|out G1,G2,... (a channel naming each group)");
    const Section s = section == "out" ? Section::Output : Section::Input;
    LinkEditor editor(ctx);
    const std::vector<int> channels = editor.Channels(s);
    std::array<int, 8> rows = editor.Rows(s);
    std::size_t start = 0, k = 0;
    const std::string& list = w[2];
    while (start <= list.size()) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        if (k >= channels.size()) break;
        std::string error;
        const auto c = ParseChannel(section, list.substr(start, comma - start), ctx.model, error);
        if (!c) return Usage(error);
        rows[static_cast<std::size_t>(channels[k++])] = c->index;
        start = comma + 1;
    }
    if (k != channels.size() || start <= list.size())
        return Usage("link names a group for each of the " + std::to_string(channels.size()) + " channels");
    // A group is named by its first channel: every channel names itself or an earlier channel that
    // names itself.
    for (int channel : channels) {
        const int head = rows[static_cast<std::size_t>(channel)];
        const auto text = [&](int c) { return ChannelText({s, c}, ctx.model); };
        if (head > channel)
            return Usage("link names each group by its first channel: " + text(channel) + " names " + text(head) +
                         ", which comes after it");
        if (rows[static_cast<std::size_t>(head)] != head)
            return Usage("link names each group by its first channel: " + text(channel) + " names " + text(head) +
                         ", which is itself in the group of " + text(rows[static_cast<std::size_t>(head)]));
    }
    editor.Confirm(s, rows);
    return {};
}

EditOutcome SetName(EditContext& ctx, const std::vector<std::string>& w) {
    if (w.size() != 4) return Usage("name in|out CHANNEL \"TEXT\"");
    std::string error;
    const auto c = ParseChannel(w[1], w[2], ctx.model, error);
    if (!c) return Usage(error);
    if (const std::string refused = NameRefusal(w[3]); !refused.empty()) return Usage(refused);
    if (w[3].size() > 15) return Usage("a name holds at most 15 characters");
    EditOutcome o;
    if (auto frame = AliasEditor(ctx).Leave(AliasEditor::IndexOf(*c), w[3]))
        o.replied.push_back(std::move(*frame));
    return o;
}

} // namespace

std::optional<ChannelRef> ParseChannel(std::string_view section, std::string_view label, DeviceModel model,
                                       std::string& error) {
    const std::string s = Lower(section);
    if (s != "in" && s != "out") {
        error = "a channel is in N or out N, not " + std::string(section);
        return std::nullopt;
    }
    const bool output = s == "out";
    const std::string l = Lower(label);
    int index = -1;
    if (l.size() == 1 && l[0] >= '1' && l[0] <= '8') index = l[0] - '1';
    if (!output && l.size() == 1 && l[0] >= 'a' && l[0] <= 'h') index = l[0] - 'a';
    // Ketra's four inputs are A..D in slots 4..7.
    const bool ketraInput = !output && model == DeviceModel::Ketra;
    if (ketraInput && index >= 0) index = index < 4 ? index + 4 : -1;
    if (index < 0) {
        error = "no such channel: " + s + " " + std::string(label) +
                (output       ? " (outputs 1..8)"
                 : ketraInput ? " (inputs A..D)"
                              : " (inputs 1..8 or A..H)");
        return std::nullopt;
    }
    return ChannelRef{output ? Section::Output : Section::Input, index};
}

std::string ChannelText(ChannelRef c, DeviceModel model) {
    return std::string(IsOutput(c.section) ? "out " : "in ") + ChannelLabel(c.section, c.index, model);
}

EditOutcome ApplySet(EditContext& ctx, const std::vector<std::string>& words) {
    if (words.empty()) return Usage("set what?");
    const std::string first = Lower(words[0]);
    if (first == "in" || first == "out") return SetChannel(ctx, words);
    if (first == "route") return SetRoute(ctx, words);
    if (first == "link") return SetLinks(ctx, words);
    if (first == "name") return SetName(ctx, words);
    if (first == "lock") {
        const auto on = words.size() == 2 ? Switch(words[1]) : std::nullopt;
        if (!on) return Usage("lock takes on or off");
        EditOutcome o;
        o.replied.push_back(PanelLock(ctx).Set(*on));
        return o;
    }
    return Usage("set has in, out, route, link, name and lock, not " + words[0]);
}

std::optional<std::vector<DumpEntry>> GetEntries(const SystemParameters& p, const DeviceInfoRecord& info,
                                                 DeviceModel model, const std::vector<std::string>& words,
                                                 std::string& error) {
    std::vector<DumpEntry> all = DumpRecords(p, info, model);
    if (words.size() == 1 && Lower(words[0]) == "all") return all;
    if (words.size() != 2) {
        error = "get takes all, or a channel (get in 2)";
        return std::nullopt;
    }
    const auto c = ParseChannel(words[0], words[1], model, error);
    if (!c) return std::nullopt;
    const std::string prefix = ChannelText(*c, model) + " ";
    std::erase_if(all, [&](const DumpEntry& e) { return !e.name.starts_with(prefix); });
    return all;
}

std::optional<std::vector<std::string>> SplitLine(std::string_view line, std::string& error) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quote) {
            if (c == quote) {
                quote = 0;
            } else if (c == '\\' && quote == '"' && i + 1 < line.size()) {
                word += line[++i];
            } else {
                word += c;
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
            inWord = true;
        } else if (c == '\\' && i + 1 < line.size()) {
            word += line[++i];
            inWord = true;
        } else if (c == '#') {
            break;
        } else if (c == ' ' || c == '\t' || c == '\r') {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quote) {
        error = "a quote is not closed";
        return std::nullopt;
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

} // namespace quellmarin
