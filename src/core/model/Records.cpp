#include "model/Records.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace quellmarin {

ParameterBytes ToBytes(const SystemParameters& p) {
    ParameterBytes out{};
    std::memcpy(out.data(), &p, out.size());
    return out;
}

DeviceInfoBytes ToBytes(const DeviceInfoRecord& d) {
    DeviceInfoBytes out{};
    std::memcpy(out.data(), &d, out.size());
    return out;
}

SystemParameters ParametersFromBytes(std::span<const std::uint8_t, kSystemParametersSize> bytes) {
    SystemParameters p{};
    std::memcpy(&p, bytes.data(), sizeof p);
    return p;
}

DeviceInfoRecord DeviceInfoFromBytes(std::span<const std::uint8_t, kDeviceInfoSize> bytes) {
    DeviceInfoRecord d{};
    std::memcpy(&d, bytes.data(), sizeof d);
    return d;
}

bool operator==(const SystemParameters& a, const SystemParameters& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool operator==(const DeviceInfoRecord& a, const DeviceInfoRecord& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

namespace {

void FillText(char* field, std::size_t width, std::string_view text) {
    std::memset(field, 0, width);
    std::memcpy(field, text.data(), std::min(width, text.size()));
}

constexpr std::uint8_t kInputBandFreq[kInputBands] = {29, 59, 69, 89, 109};
constexpr std::uint8_t kOutputBandFreq[kOutputBands] = {29, 39, 49, 59, 69, 79, 109};
constexpr std::uint8_t kOutput0BandFreq[kOutputBands] = {29, 39, 59, 69, 79, 89, 109};

} // namespace

void ResetCompAndNames(SystemParameters& p) {
    for (Compressor& c : p.Comp) c = {54, 56, 120, 0};
    for (auto& name : p.ChName) std::memset(name, '*', kAliasLength);
    p.RecordTail[0] = 0;
    p.RecordTail[1] = 0;
}

void ResetRouting(SystemParameters& p, DeviceModel model) {
    for (int k = 0; k < kOutputSlots; ++k) {
        OutputChannel& out = p.OutCH[k];
        std::memset(out.Route, 0, sizeof out.Route);
        if (model == DeviceModel::Ketra)
            out.Route[4 + k / 2] = 181;
        else
            out.Route[k] = 181;
    }
}

SystemParameters DefaultSystemParameters(DeviceModel model) {
    SystemParameters p{};
    p.Reserved0 = 1;
    p.Reserved1 = 0;
    std::memset(p.Name, '.', kNameLength);

    for (int k = 0; k < kInputSlots; ++k) {
        InputChannel& in = p.InCH[k];
        in.LinkIndex = static_cast<std::uint8_t>(k);
        in.PeqEnable = 0;
        for (int j = 0; j < kInputBands; ++j) in.Peq[j] = {0, kInputBandFreq[j], 24, 46};
        in.Gain = 181;
        in.DelayH = in.DelayM = in.DelayL = 0;
        in.Mute = 0;
    }
    p.InCH[0].Peq[0].Level = 14;
    p.InCH[0].Peq[4].Level = 29;

    for (int k = 0; k < kOutputSlots; ++k) {
        OutputChannel& out = p.OutCH[k];
        out.LinkIndex = static_cast<std::uint8_t>(k);
        out.DelayH = out.DelayM = out.DelayL = 0;
        out.HpfType = 0;
        out.HpfFreq = 0;
        out.LpfType = 0;
        out.LpfFreq = 122;
        out.PeqEnable = 0;
        const std::uint8_t* freqs = k == 0 ? kOutput0BandFreq : kOutputBandFreq;
        for (int j = 0; j < kOutputBands; ++j) out.Peq[j] = {0, freqs[j], 24, 46};
        out.Gain = 181;
        out.Polarity = 0;
        out.OutSpare47 = 12;
        out.OutSpare48 = 12;
        out.Limit = 99;
        out.OutSpare50 = 1;
        out.Mute = 0;
        out.OutSpare52 = 0;
    }
    p.OutCH[7].Peq[1].Level = 25;
    ResetRouting(p, model);
    ResetCompAndNames(p);
    return p;
}

DeviceInfoRecord DefaultDeviceInfo(DeviceModel model) {
    DeviceInfoRecord d{};
    FillText(d.Maker, sizeof d.Maker, "QUORVANDEL");
    std::memset(d.Description, '.', sizeof d.Description);
    FillText(d.HwVersion, sizeof d.HwVersion, "h00120120413");
    FillText(d.SwVersion, sizeof d.SwVersion, "s00120120413");
    d.DeviceId = 1;
    d.GenFreq = 29;
    d.GenLevel = 145;
    d.GenRun = 0;
    d.PanelLock = 0;
    d.ProgramNo = 1;
    d.ChannelConfig = ChannelConfigOf(model);
    return d;
}

void ResetDefaults(SystemParameters& p, DeviceInfoRecord& d, DeviceModel model) {
    p = DefaultSystemParameters(model);
    d = DefaultDeviceInfo(model);
}

void SetProgramName(SystemParameters& p, std::string_view name) {
    FillText(p.Name, kNameLength, name);
}

std::string FieldText(const char* field, std::size_t width) {
    const void* zero = std::memchr(field, 0, width);
    const std::size_t n = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - field) : width;
    return std::string(field, n);
}

std::string Unpadded(std::string text) {
    while (!text.empty() && (text.back() == '.' || text.back() == ' ' || text.back() == '\0')) text.pop_back();
    return text;
}

std::string ProgramName(const SystemParameters& p) {
    return FieldText(p.Name, kNameLength);
}

void SetProgramNo(DeviceInfoRecord& d, int number) {
    d.ProgramNo = static_cast<std::uint8_t>(std::clamp(number, 0, 255));
}

int ProgramNo(const DeviceInfoRecord& d) {
    return d.ProgramNo;
}

std::string TwoDigitText(int number) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.2d", number);
    return buf;
}

std::string ProgramNoText(const DeviceInfoRecord& d) {
    return TwoDigitText(d.ProgramNo);
}

int DeviceId(const DeviceInfoRecord& d) {
    return d.DeviceId;
}

} // namespace quellmarin
