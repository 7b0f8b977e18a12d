#include "protocol/CommandTable.h"

#include "protocol/Frames.h"

#include <array>
#include <cstring>

namespace quellmarin {

namespace {

// A run of exactly `len` decimal digits at `pos`.
std::optional<int> Num(std::string_view s, std::size_t pos, std::size_t len) {
    if (pos + len > s.size()) return std::nullopt;
    int v = 0;
    for (std::size_t i = pos; i < pos + len; ++i) {
        if (s[i] < '0' || s[i] > '9') return std::nullopt;
        v = v * 10 + (s[i] - '0');
    }
    return v;
}

std::uint8_t U8(int v) {
    return static_cast<std::uint8_t>(v);
}

bool On(std::uint8_t v) {
    return v != 0;
}

bool SameBand(const PeqBand& a, const PeqBand& b) {
    return a.Type == b.Type && a.Freq == b.Freq && a.Level == b.Level && a.Q == b.Q;
}

// The channel a parameter frame's body names (its fifth character), within 0..7.
InputChannel* In(std::string_view b, SystemParameters& p) {
    const auto ch = Num(b, 4, 1);
    return ch && *ch < 8 ? &p.InCH[*ch] : nullptr;
}
OutputChannel* Out(std::string_view b, SystemParameters& p) {
    const auto ch = Num(b, 4, 1);
    return ch && *ch < 8 ? &p.OutCH[*ch] : nullptr;
}

// A switch: "000" is off, `onText` is on and stores `onValue`.
bool ApplyOnOff(std::string_view b, std::uint8_t* field, std::uint8_t onValue, std::string_view onText) {
    if (!field || b.size() != 8) return false;
    const std::string_view v = b.substr(5);
    if (v != onText && v != "000") return false;
    *field = v == "000" ? 0 : onValue;
    return true;
}

bool ApplyBand(std::string_view b, PeqBand* peq, int bands) {
    const auto j = Num(b, 5, 2), type = Num(b, 7, 1), freq = Num(b, 8, 3), level = Num(b, 11, 2),
               q = Num(b, 13, 3);
    if (!peq || b.size() != 16 || !j || !type || !freq || !level || !q || *j >= bands) return false;
    peq[*j] = {U8(*type), U8(*freq), U8(*level), U8(*q)};
    return true;
}

bool ApplyGain(std::string_view b, std::uint8_t* field) {
    const auto v = Num(b, 5, 3);
    if (!field || b.size() != 8 || !v || *v > 255) return false;
    *field = U8(*v);
    return true;
}

template <class Channel> bool ApplyDelay(std::string_view b, Channel* channel) {
    const auto v = Num(b, 5, 6);
    if (!channel || b.size() != 11 || !v || *v > kMaxDelaySamples) return false;
    SetDelaySamples(*channel, *v);
    return true;
}

template <class Channel> bool ApplyLinks(std::string_view b, Channel (&channels)[8]) {
    if (b.size() != 12) return false;
    std::uint8_t v[8];
    for (int i = 0; i < 8; ++i) {
        const auto d = Num(b, 4 + i, 1);
        if (!d || *d > 7) return false;
        v[i] = U8(*d);
    }
    for (int i = 0; i < 8; ++i) channels[i].LinkIndex = v[i];
    return true;
}

template <class Channel> std::array<std::uint8_t, 8> Links(const Channel (&channels)[8]) {
    std::array<std::uint8_t, 8> l{};
    for (int k = 0; k < 8; ++k) l[k] = channels[k].LinkIndex;
    return l;
}

std::string AliasText(const SystemParameters& p, int index) {
    return std::string(p.ChName[index], kAliasLength);
}

using P = const SystemParameters&;
using D = const DeviceInfoRecord&;
using A = std::string_view;
using M = DeviceModel;

// clang-format off
const CommandSpec kTable[] = {
    // The link lists: the other settings are read through them.
    {"$040", "Links of the inputs", Scope::Device, 16, false, KeyKind::None, 0, 0,
     [](A a, P p, D, int, int, M) { return FrameInputLink(a, Links(p.InCH)); },
     [](std::string_view b, DeviceRecords r, M) { return ApplyLinks(b, r.params.InCH); },
     [](P x, P y, int, int) { return Links(x.InCH) == Links(y.InCH); }},
    {"$041", "Links of the outputs", Scope::Device, 16, false, KeyKind::None, 0, 0,
     [](A a, P p, D, int, int, M) { return FrameOutputLink(a, Links(p.OutCH)); },
     [](std::string_view b, DeviceRecords r, M) { return ApplyLinks(b, r.params.OutCH); },
     [](P x, P y, int, int) { return Links(x.OutCH) == Links(y.OutCH); }},

    // An input's settings.
    {"$026", "PEQ on/off", Scope::Input, 12, false, KeyKind::Channel, 0, 0,
     [](A a, P p, D, int k, int, M) { return FrameInputPeqEnable(a, k, On(p.InCH[k].PeqEnable)); },
     [](std::string_view b, DeviceRecords r, M) {
         InputChannel* c = In(b, r.params);
         return ApplyOnOff(b, c ? &c->PeqEnable : nullptr, 111, "111");
     },
     [](P x, P y, int k, int) { return On(x.InCH[k].PeqEnable) == On(y.InCH[k].PeqEnable); }},
    {"$027", "PEQ band", Scope::Input, 20, false, KeyKind::ChannelBand, kInputBands, 0,
     [](A a, P p, D, int k, int j, M) {
         const PeqBand& s = p.InCH[k].Peq[j];
         return FrameInputPeqBand(a, k, j, s.Type, s.Freq, s.Level, s.Q);
     },
     [](std::string_view b, DeviceRecords r, M) {
         InputChannel* c = In(b, r.params);
         return ApplyBand(b, c ? c->Peq : nullptr, kInputBands);
     },
     [](P x, P y, int k, int j) { return SameBand(x.InCH[k].Peq[j], y.InCH[k].Peq[j]); }},
    {"$028", "gain", Scope::Input, kGainFrameLength, true, KeyKind::Channel, 0, 0,
     [](A a, P p, D, int k, int, M) { return FrameInputGain(a, k, p.InCH[k].Gain); },
     [](std::string_view b, DeviceRecords r, M) {
         InputChannel* c = In(b, r.params);
         return ApplyGain(b, c ? &c->Gain : nullptr);
     },
     [](P x, P y, int k, int) { return x.InCH[k].Gain == y.InCH[k].Gain; }},
    {"$029", "delay", Scope::Input, kDelayFrameLength, true, KeyKind::Channel, 0, 0,
     [](A a, P p, D, int k, int, M) { return FrameInputDelay(a, k, DelaySamples(p.InCH[k])); },
     [](std::string_view b, DeviceRecords r, M) { return ApplyDelay(b, In(b, r.params)); },
     [](P x, P y, int k, int) { return DelaySamples(x.InCH[k]) == DelaySamples(y.InCH[k]); }},
    {"$030", "mute", Scope::Input, kMuteFrameLength, true, KeyKind::Channel, 0, 0,
     [](A a, P p, D, int k, int, M) { return FrameInputMute(a, k, On(p.InCH[k].Mute)); },
     [](std::string_view b, DeviceRecords r, M) {
         InputChannel* c = In(b, r.params);
         return ApplyOnOff(b, c ? &c->Mute : nullptr, 1, "001");
     },
     [](P x, P y, int k, int) { return On(x.InCH[k].Mute) == On(y.InCH[k].Mute); }},
    {"$044", "compressor", Scope::Input, kCompFrameLength, true, KeyKind::Channel, 0, 0,
     [](A a, P p, D, int k, int, M) {
         const Compressor& c = p.Comp[k];
         return FrameCompressor(a, k, c.Attack, c.Ratio, c.Threshold, c.Release);
     },
     [](std::string_view b, DeviceRecords r, M) {
         const auto ch = Num(b, 4, 1);
         const auto at = Num(b, 5, 2), ra = Num(b, 7, 2), th = Num(b, 9, 3), re = Num(b, 12, 2);
         if (!ch || *ch >= 8 || b.size() != 14 || !at || !ra || !th || !re || *th > 255) return false;
         r.params.Comp[*ch] = {U8(*at), U8(*re), U8(*th), U8(*ra)};
         return true;
     },
     [](P x, P y, int k, int) {
         const Compressor &c = x.Comp[k], &e = y.Comp[k];
         return c.Attack == e.Attack && c.Release == e.Release && c.Threshold == e.Threshold && c.Ratio == e.Ratio;
     }},

    // An output's settings.
    {"$031", "routing", Scope::Output, kRouteFrameLength, true, KeyKind::Channel, 0, 0,
     [](A a, P p, D, int k, int, M m) { return FrameRoute(a, k, std::span<const std::uint8_t, 8>(p.OutCH[k].Route), m); },
     [](std::string_view b, DeviceRecords r, M) {
         OutputChannel* c = Out(b, r.params);
         if (!c || b.size() != 29) return false;
         std::uint8_t levels[8];
         for (int i = 0; i < 8; ++i) {
             const auto v = Num(b, 5 + 3 * static_cast<std::size_t>(i), 3);
             if (!v || *v > 255) return false;
             levels[i] = U8(*v);
         }
         std::memcpy(c->Route, levels, 8);
         return true;
     },
     [](P x, P y, int k, int) { return std::memcmp(x.OutCH[k].Route, y.OutCH[k].Route, sizeof x.OutCH[k].Route) == 0; }},
    {"$032", "delay", Scope::Output, kDelayFrameLength, true, KeyKind::Channel, 0, 0,
     [](A a, P p, D, int k, int, M) { return FrameOutputDelay(a, k, DelaySamples(p.OutCH[k])); },
     [](std::string_view b, DeviceRecords r, M) { return ApplyDelay(b, Out(b, r.params)); },
     [](P x, P y, int k, int) { return DelaySamples(x.OutCH[k]) == DelaySamples(y.OutCH[k]); }},
    {"$033", "crossover", Scope::Output, kCrossoverFrameLength, true, KeyKind::Channel, 0, 0,
     [](A a, P p, D, int k, int, M) {
         const OutputChannel& o = p.OutCH[k];
         return FrameCrossover(a, k, o.HpfType, o.HpfFreq, o.LpfType, o.LpfFreq);
     },
     [](std::string_view b, DeviceRecords r, M) {
         OutputChannel* c = Out(b, r.params);
         const auto ht = Num(b, 5, 2), hf = Num(b, 7, 3), lt = Num(b, 10, 2), lf = Num(b, 12, 3);
         if (!c || b.size() != 15 || !ht || !hf || !lt || !lf || *hf > 123 || *lf > 123) return false;
         c->HpfType = U8(*ht);
         c->HpfFreq = U8(*hf);
         c->LpfType = U8(*lt);
         c->LpfFreq = U8(*lf);
         return true;
     },
     [](P x, P y, int k, int) {
         const OutputChannel &a = x.OutCH[k], &b = y.OutCH[k];
         return a.HpfType == b.HpfType && a.HpfFreq == b.HpfFreq && a.LpfType == b.LpfType && a.LpfFreq == b.LpfFreq;
     }},
    {"$038", "PEQ on/off", Scope::Output, 12, false, KeyKind::Channel, 0, 0,
     [](A a, P p, D, int k, int, M) { return FrameOutputPeqEnable(a, k, On(p.OutCH[k].PeqEnable)); },
     [](std::string_view b, DeviceRecords r, M) {
         OutputChannel* c = Out(b, r.params);
         return ApplyOnOff(b, c ? &c->PeqEnable : nullptr, 111, "111");
     },
     [](P x, P y, int k, int) { return On(x.OutCH[k].PeqEnable) == On(y.OutCH[k].PeqEnable); }},
    {"$034", "PEQ band", Scope::Output, 20, false, KeyKind::ChannelBand, kOutputBands, 0,
     [](A a, P p, D, int k, int j, M) {
         const PeqBand& s = p.OutCH[k].Peq[j];
         return FrameOutputPeqBand(a, k, j, s.Type, s.Freq, s.Level, s.Q);
     },
     [](std::string_view b, DeviceRecords r, M) {
         OutputChannel* c = Out(b, r.params);
         return ApplyBand(b, c ? c->Peq : nullptr, kOutputBands);
     },
     [](P x, P y, int k, int j) { return SameBand(x.OutCH[k].Peq[j], y.OutCH[k].Peq[j]); }},
    {"$035", "gain", Scope::Output, kGainFrameLength, true, KeyKind::Channel, 0, 0,
     [](A a, P p, D, int k, int, M) { return FrameOutputGain(a, k, p.OutCH[k].Gain); },
     [](std::string_view b, DeviceRecords r, M) {
         OutputChannel* c = Out(b, r.params);
         return ApplyGain(b, c ? &c->Gain : nullptr);
     },
     [](P x, P y, int k, int) { return x.OutCH[k].Gain == y.OutCH[k].Gain; }},
    {"$039", "polarity", Scope::Output, kPolarityFrameLength, true, KeyKind::Channel, 0, 0,
     [](A a, P p, D, int k, int, M) { return FramePolarity(a, k, On(p.OutCH[k].Polarity)); },
     [](std::string_view b, DeviceRecords r, M) {
         OutputChannel* c = Out(b, r.params);
         return ApplyOnOff(b, c ? &c->Polarity : nullptr, 1, "111");
     },
     [](P x, P y, int k, int) { return On(x.OutCH[k].Polarity) == On(y.OutCH[k].Polarity); }},
    {"$036", "limiter", Scope::Output, kLimitFrameLength, true, KeyKind::Channel, 0, 0,
     [](A a, P p, D, int k, int, M) { return FrameLimit(a, k, p.OutCH[k].Limit); },
     [](std::string_view b, DeviceRecords r, M) {
         OutputChannel* c = Out(b, r.params);
         const auto v = Num(b, 9, 2);
         if (!c || b.size() != 13 || b.substr(5, 4) != "0000" || b.substr(11, 2) != "00" || !v) return false;
         c->Limit = U8(*v);
         return true;
     },
     [](P x, P y, int k, int) { return x.OutCH[k].Limit == y.OutCH[k].Limit; }},
    {"$037", "mute", Scope::Output, kMuteFrameLength, true, KeyKind::Channel, 0, 0,
     [](A a, P p, D, int k, int, M) { return FrameOutputMute(a, k, On(p.OutCH[k].Mute)); },
     [](std::string_view b, DeviceRecords r, M) {
         OutputChannel* c = Out(b, r.params);
         return ApplyOnOff(b, c ? &c->Mute : nullptr, 1, "001");
     },
     [](P x, P y, int k, int) { return On(x.OutCH[k].Mute) == On(y.OutCH[k].Mute); }},

    // The alias names.
    {"E", "name", Scope::Alias, kAliasFrameLength, false, KeyKind::None, 0, 0,
     [](A a, P p, D, int i, int, M) { return FrameAlias(a, i / 8, i % 8, AliasText(p, i)); },
     [](std::string_view b, DeviceRecords r, M) {
         const auto kind = Num(b, 1, 1), ch = Num(b, 2, 1);
         if (b.size() != 18 || !kind || !ch || *kind > 1 || *ch > 7) return false;
         std::memcpy(r.params.ChName[*kind * 8 + *ch], b.data() + 3, kAliasLength);
         return true;
     },
     [](P x, P y, int i, int) { return AliasText(x, i) == AliasText(y, i); }},

    // Settings kept in the device information, and the routing reset: never part of a difference.
    {"$001", "", Scope::Device, kGeneratorFrameLength, true, KeyKind::Command, 0, 0,
     [](A a, P, D d, int, int, M) { return FrameGenerator(a, d.GenRun != 0, d.GenFreq, d.GenLevel); },
     [](std::string_view b, DeviceRecords r, M) {
         const auto on = Num(b, 4, 1), freq = Num(b, 5, 3), level = Num(b, 8, 3);
         if (b.size() != 11 || !on || *on > 1 || !freq || !level || *level > 255) return false;
         r.info.GenRun = U8(*on);
         r.info.GenFreq = U8(*freq < 123 ? *freq : 123);
         r.info.GenLevel = U8(*level);
         return true;
     },
     nullptr},
    {"J", "", Scope::Device, 8, false, KeyKind::None, 0, 0,
     [](A a, P, D d, int, int, M) { return FramePanelLock(a, d.PanelLock ? 1 : 0); },
     [](std::string_view b, DeviceRecords r, M) {
         const int number = b.size() == 4 ? Num(b, 1, 3).value_or(-1) : -1;
         if (number < 0) return false;
         r.info.PanelLock = U8(number ? 1 : 0);
         return true;
     },
     nullptr},
    {"K", "Routing reset", Scope::Device, kResetRouteFrameLength, true, KeyKind::None, 0, 0,
     [](A a, P, D, int, int, M) { return FrameResetRoute(a); },
     [](std::string_view b, DeviceRecords r, M m) {
         if (b.size() != 1) return false;
         ResetRouting(r.params, m);
         return true;
     },
     nullptr},

    // Exchanges: requests and operations the device answers, with no record state of the program's.
    {"B", "", Scope::Exchange, 5, false, KeyKind::None, 0, 0, nullptr, nullptr, nullptr},
    {"G", "", Scope::Exchange, kProgramFrameLength, false, KeyKind::None, 0, 0, nullptr, nullptr, nullptr},
    {"I", "", Scope::Exchange, 5, false, KeyKind::None, 0, 8 + 2 * kDeviceInfoSize, nullptr, nullptr, nullptr},
    {"L", "", Scope::Exchange, 5, false, KeyKind::None, 0, kLevelReplyLength, nullptr, nullptr, nullptr},
    {"N", "", Scope::Exchange, 0, false, KeyKind::None, 0, 0, nullptr, nullptr, nullptr},
    {"P", "", Scope::Exchange, kDownloadFrameLength, false, KeyKind::None, 0, 0, nullptr, nullptr, nullptr},
    {"Q", "", Scope::Exchange, 8, false, KeyKind::None, 0, 11 + 2 * kSystemParametersSize, nullptr, nullptr, nullptr},
    {"R", "", Scope::Exchange, kProgramFrameLength, false, KeyKind::None, 0, 0, nullptr, nullptr, nullptr},
    {"S", "", Scope::Exchange, kProgramFrameLength, false, KeyKind::None, 0, 0, nullptr, nullptr, nullptr},
    {"T", "", Scope::Exchange, kProgramFrameLength, false, KeyKind::None, 0, 51, nullptr, nullptr, nullptr},
};
// clang-format on

} // namespace

int CommandSpec::Units() const {
    switch (scope) {
    case Scope::Input:
        return kInputSlots;
    case Scope::Output:
        return kOutputSlots;
    case Scope::Alias:
        return kAliasCount;
    default:
        return 1;
    }
}

std::span<const CommandSpec> Commands() {
    return kTable;
}

const CommandSpec* FindCommand(std::string_view code) {
    for (const CommandSpec& c : kTable)
        if (c.code == code) return &c;
    return nullptr;
}

FrameUnit ReadFrameUnit(std::string_view frame) {
    FrameUnit u;
    if (frame.size() < 5 || frame.front() != '(' || frame.back() != ')') return u;
    const std::string_view body = frame.substr(3, frame.size() - 4);
    u.address = frame.substr(1, 2);
    u.entry = FindCommand(body[0] == '$' ? body.substr(0, 4) : body.substr(0, 1));
    if (!u.entry) return u;
    switch (u.entry->scope) {
    case Scope::Input:
    case Scope::Output:
        u.unit = Num(body, 4, 1);
        if (u.entry->bands > 0) u.band = Num(body, 5, 2);
        break;
    case Scope::Alias:
        if (const auto kind = Num(body, 1, 1), ch = Num(body, 2, 1); kind && ch && *kind <= 1 && *ch <= 7)
            u.unit = *kind * 8 + *ch;
        break;
    default:
        break;
    }
    return u;
}

std::string BuildFrame(const CommandSpec& entry, std::string_view address, const SystemParameters& p,
                       const DeviceInfoRecord& d, int unit, int band, DeviceModel model) {
    if (!entry.build || unit < 0 || unit >= entry.Units() || band < 0 || band >= entry.BandsOrOne()) return {};
    return entry.build(address, p, d, unit, band, model);
}

bool ApplyFrame(std::string_view frame, DeviceRecords records, DeviceModel model) {
    if (frame.size() < 4 || frame.front() != '(' || frame.back() != ')') return false;
    const std::string_view body = frame.substr(3, frame.size() - 4);
    if (body.empty()) return false;
    const CommandSpec* entry = FindCommand(body[0] == '$' ? body.substr(0, 4) : body.substr(0, 1));
    return entry && entry->apply && entry->apply(body, records, model);
}

std::string ParameterKey(std::string_view frame) {
    // "(" + two address characters + "$" + three digits + the channel digit (+ "0" and the band).
    if (frame.size() < 9 || frame[0] != '(' || frame[3] != '$') return {};
    const CommandSpec* entry = FindCommand(frame.substr(3, 4));
    if (!entry || entry->key == KeyKind::None) return {};
    std::string key(frame.substr(1, 6));
    if (entry->key == KeyKind::Command) return key;
    const char channel = frame[7];
    if (channel < '0' || channel > '9') return {};
    key += channel;
    if (entry->key == KeyKind::ChannelBand) {
        if (frame.size() < 10) return {};
        key += "/" + std::string(frame.substr(8, 2));
    }
    return key;
}

std::size_t KnownReplyLength(std::string_view frame) {
    frame = TrimBlanks(frame);
    if (frame.size() < 5 || frame.front() != '(' || frame.back() != ')') return 0;
    if (frame.substr(3) == "hello)") return kHelloReplyLength;
    const CommandSpec* entry = FindCommand(frame.substr(3, 1));
    if (!entry || entry->scope != Scope::Exchange || frame.size() != entry->length) return 0;
    if (entry->code == "Q" && frame.substr(3, 4) != "Q000") return 0;
    return entry->replyLength;
}

} // namespace quellmarin
