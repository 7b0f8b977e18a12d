// The two device records: the system parameter record (the whole editable state of a processor) and
// the device information record. Their byte layout is the parameter-file and wire format, so both are
// packed byte structs whose sizes and offsets are checked at compile time.
#pragma once

#include "model/DeviceModel.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quellmarin {

inline constexpr int kInputSlots = 8;
inline constexpr int kOutputSlots = 8;
inline constexpr int kInputBands = 5;
inline constexpr int kOutputBands = 7;
inline constexpr int kNameLength = 20;
inline constexpr int kAliasLength = 15;
inline constexpr int kAliasCount = 16;

#pragma pack(push, 1)

struct PeqBand {
    std::uint8_t Type;  // equaliser type code 0..5
    std::uint8_t Freq;  // index into FrequencyTable
    std::uint8_t Level; // index into GainTable, 24 = 0 dB
    std::uint8_t Q;     // index into QTable
};

struct InputChannel {
    std::uint8_t LinkIndex;
    std::uint8_t PeqEnable;
    PeqBand Peq[kInputBands];
    std::uint8_t Gain; // 181 + 2 x dB
    std::uint8_t DelayH;
    std::uint8_t DelayM;
    std::uint8_t DelayL;
    std::uint8_t Mute;
};

struct OutputChannel {
    std::uint8_t LinkIndex;
    std::uint8_t Route[kInputSlots]; // level of input slot i in this output, 0 = not routed
    std::uint8_t DelayH;
    std::uint8_t DelayM;
    std::uint8_t DelayL;
    std::uint8_t HpfType;
    std::uint8_t HpfFreq; // index into CrossoverFrequencyTable, 0 = high-pass off
    std::uint8_t LpfType;
    std::uint8_t LpfFreq; // index into CrossoverFrequencyTable, 122 = low-pass off
    std::uint8_t PeqEnable;
    PeqBand Peq[kOutputBands];
    std::uint8_t Gain;
    std::uint8_t Polarity;
    std::uint8_t OutSpare47;
    std::uint8_t OutSpare48;
    std::uint8_t Limit; // limiter threshold step 0..99, 99 = +22 dBu
    std::uint8_t OutSpare50;
    std::uint8_t Mute;
    std::uint8_t OutSpare52;
};

struct Compressor {
    std::uint8_t Attack;
    std::uint8_t Release;
    std::uint8_t Threshold;
    std::uint8_t Ratio;
};

struct SystemParameters {
    std::uint8_t Reserved0;
    std::uint8_t Reserved1;
    char Name[kNameLength];
    InputChannel InCH[kInputSlots];
    OutputChannel OutCH[kOutputSlots];
    Compressor Comp[kInputSlots];
    char ChName[kAliasCount][kAliasLength];
    std::uint8_t RecordTail[2];
};

struct DeviceInfoRecord {
    char Maker[10];
    char Description[128];
    char HwVersion[12];
    char SwVersion[12];
    std::uint8_t DeviceId;
    std::uint8_t GenFreq;
    std::uint8_t GenLevel;
    std::uint8_t GenRun;
    std::uint8_t PanelLock;
    std::uint8_t ProgramNo;
    std::uint8_t ChannelConfig;
};

#pragma pack(pop)

inline constexpr std::size_t kSystemParametersSize = 936;
inline constexpr std::size_t kDeviceInfoSize = 169;

static_assert(sizeof(PeqBand) == 4);
static_assert(sizeof(InputChannel) == 27);
static_assert(sizeof(OutputChannel) == 53);
static_assert(sizeof(Compressor) == 4);
static_assert(sizeof(SystemParameters) == kSystemParametersSize);
static_assert(sizeof(DeviceInfoRecord) == kDeviceInfoSize);
static_assert(offsetof(SystemParameters, Name) == 2);
static_assert(offsetof(SystemParameters, InCH) == 22);
static_assert(offsetof(SystemParameters, OutCH) == 238);
static_assert(offsetof(SystemParameters, Comp) == 662);
static_assert(offsetof(SystemParameters, ChName) == 694);
static_assert(offsetof(SystemParameters, RecordTail) == 934);
static_assert(offsetof(InputChannel, Gain) == 22);
static_assert(offsetof(InputChannel, Mute) == 26);
static_assert(offsetof(OutputChannel, HpfType) == 12);
static_assert(offsetof(OutputChannel, PeqEnable) == 16);
static_assert(offsetof(OutputChannel, Gain) == 45);
static_assert(offsetof(OutputChannel, Limit) == 49);
static_assert(offsetof(OutputChannel, OutSpare52) == 52);
static_assert(offsetof(DeviceInfoRecord, Description) == 10);
static_assert(offsetof(DeviceInfoRecord, HwVersion) == 138);
static_assert(offsetof(DeviceInfoRecord, SwVersion) == 150);
static_assert(offsetof(DeviceInfoRecord, DeviceId) == 162);
static_assert(offsetof(DeviceInfoRecord, GenFreq) == 163);
static_assert(offsetof(DeviceInfoRecord, PanelLock) == 166);
static_assert(offsetof(DeviceInfoRecord, ProgramNo) == 167);
static_assert(offsetof(DeviceInfoRecord, ChannelConfig) == 168);

using ParameterBytes = std::array<std::uint8_t, kSystemParametersSize>;
using DeviceInfoBytes = std::array<std::uint8_t, kDeviceInfoSize>;

ParameterBytes ToBytes(const SystemParameters& p);
DeviceInfoBytes ToBytes(const DeviceInfoRecord& d);
// Both take exactly the record's size; callers check lengths before.
SystemParameters ParametersFromBytes(std::span<const std::uint8_t, kSystemParametersSize> bytes);
DeviceInfoRecord DeviceInfoFromBytes(std::span<const std::uint8_t, kDeviceInfoSize> bytes);

bool operator==(const SystemParameters& a, const SystemParameters& b);
bool operator==(const DeviceInfoRecord& a, const DeviceInfoRecord& b);

SystemParameters DefaultSystemParameters(DeviceModel model = kBuildModel);
DeviceInfoRecord DefaultDeviceInfo(DeviceModel model = kBuildModel);

// Fills both records with the defaults of the model.
void ResetDefaults(SystemParameters& p, DeviceInfoRecord& d, DeviceModel model = kBuildModel);
// Defaults of bytes 662..935: the compressors, the alias names and the record tail.
void ResetCompAndNames(SystemParameters& p);
// The default routing: output k fed from input k (Mivon), or A..D feeding output pairs (Ketra).
void ResetRouting(SystemParameters& p, DeviceModel model = kBuildModel);

// Program name: at most 20 characters; a shorter name ends with a zero byte.
void SetProgramName(SystemParameters& p, std::string_view name);
std::string ProgramName(const SystemParameters& p);
// A padded text of the records ("Main PA............") as a person reads it: "Main PA".
std::string Unpadded(std::string text);
// A fixed-width text field read up to its first zero byte.
std::string FieldText(const char* field, std::size_t width);

void SetProgramNo(DeviceInfoRecord& d, int number);
int ProgramNo(const DeviceInfoRecord& d);
// "%0.2d" of a number, the form of the status bar and of device addresses.
std::string TwoDigitText(int number);
std::string ProgramNoText(const DeviceInfoRecord& d);
int DeviceId(const DeviceInfoRecord& d);

// Delays are a sample count at 48 kHz kept as three decimal digit pairs.
struct DelayTriple {
    std::uint8_t H, M, L;
};
inline constexpr int kMaxDelaySamples = 96000;
constexpr int DelaySamples(std::uint8_t h, std::uint8_t m, std::uint8_t l) {
    return h * 10000 + m * 100 + l;
}
// samples must be 0..999999 (the program keeps it within 0..96000).
constexpr DelayTriple DelayTripleOf(int samples) {
    return {static_cast<std::uint8_t>(samples / 10000), static_cast<std::uint8_t>(samples / 100 % 100),
            static_cast<std::uint8_t>(samples % 100)};
}
template <class Channel> int DelaySamples(const Channel& ch) {
    return DelaySamples(ch.DelayH, ch.DelayM, ch.DelayL);
}
template <class Channel> void SetDelaySamples(Channel& ch, int samples) {
    const DelayTriple t = DelayTripleOf(samples);
    ch.DelayH = t.H;
    ch.DelayM = t.M;
    ch.DelayL = t.L;
}

} // namespace quellmarin
