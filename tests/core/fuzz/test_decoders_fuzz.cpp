// Random and hostile bytes fed to every parser that reads what comes from a device or a file. Run
// under the sanitizers in CI: any read past a buffer or undefined arithmetic fails the run.
#include "dsp/Response.h"
#include "dsp/Scales.h"
#include "protocol/Frames.h"
#include "protocol/HexCodec.h"
#include "model/ParameterFile.h"
#include "link/NetworkPort.h"
#include "link/Telnet.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

using namespace quellmarin;

namespace {

std::string RandomText(std::mt19937& rng, std::size_t maxLen, bool wireAlphabet) {
    static constexpr char kWire[] = "()0123456789ABCDEFabcdef$LQhelo ";
    std::uniform_int_distribution<std::size_t> len(0, maxLen);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kWire - 2);
    std::string s(len(rng), '\0');
    for (char& c : s) c = wireAlphabet ? kWire[pick(rng)] : static_cast<char>(byte(rng));
    return s;
}

} // namespace

TEST(Fuzz, ReplyDecodersNeverReadOutOfBounds) {
    std::mt19937 rng(20261206);
    for (int i = 0; i < 20000; ++i) {
        const std::string text = RandomText(rng, i % 5 == 0 ? 2100 : 60, i % 2 == 0);
        const std::size_t skip = static_cast<std::size_t>(rng() % 16);
        const auto bytes = HexDecode(text, skip);
        if (text.size() < skip + 3) {
            EXPECT_TRUE(bytes.empty());
        } else {
            EXPECT_EQ(bytes.size(), (text.size() - skip - 1) / 2);
        }

        const auto record = DecodeRecordReply(text, 9, 936);
        if (record) {
            EXPECT_EQ(record->size(), 936u);
        }
        const auto info = DecodeRecordReply(text, 6, 169);
        if (info) {
            EXPECT_EQ(info->size(), 169u);
        }

        const auto level =
            DecodeLevelFrame(TrimBlanks(text), i % 3 ? DeviceModel::Mivon : DeviceModel::Ketra);
        if (level) {
            EXPECT_GT(TrimBlanks(text).size(), 40u);
        }

        const int id = 1 + static_cast<int>(rng() % 50);
        if (IsHelloReply(text, id)) {
            EXPECT_EQ(text, HelloReply(id, kBuildModel));
        }
        const auto name = DecodeProgramName(text);
        if (name) {
            EXPECT_LE(name->size(), 20u);
        }
    }
    // Replies cut at every length, including inside the last pair.
    const std::string full = "(01Q000abcd" + HexEncode(ToBytes(DefaultSystemParameters())) + ")";
    for (std::size_t n = 0; n <= full.size(); ++n) {
        const std::string cut = full.substr(0, n);
        (void)HexDecode(cut, 9);
        EXPECT_EQ(DecodeRecordReply(cut, 9, 936).has_value(), n >= 11 + 1872) << n;
    }
}

TEST(Fuzz, TypedTextNeverGivesAnOutOfRangeStep) {
    std::mt19937 rng(7);
    const char* samples[] = {"1e308k",   "-1e999",   "99999999999999999999999",
                             "1e-400",   "  +.e5",   "--5",
                             "\xff\xfe", "Infinity", "NaN",
                             "0x1p3",    "2kHz",     "1,2,3,4",
                             ""};
    std::vector<std::string> texts(std::begin(samples), std::end(samples));
    for (int i = 0; i < 5000; ++i) texts.push_back(RandomText(rng, 24, i % 2 == 0));
    for (const std::string& t : texts) {
        const double f = ParseFrequencyText(t, true);
        EXPECT_FALSE(std::isnan(f)) << t;
        const Clamped c = ClampEqFrequency(f);
        EXPECT_GE(c.value, 20);
        EXPECT_LE(c.value, 20000);
        const int hp = HighPassStep(f), lp = LowPassStep(f);
        EXPECT_TRUE(hp >= 0 && hp <= 121) << t;
        EXPECT_TRUE(lp >= 0 && lp <= 122) << t;
        if (auto v = CompTimeFromText(t)) {
            EXPECT_TRUE(*v >= 0 && *v <= 72) << t;
        }
        if (auto v = CompThresholdFromText(t)) {
            EXPECT_TRUE(*v >= 0 && *v <= 120) << t;
        }
        if (auto v = CompRatioFromText(t)) {
            EXPECT_TRUE(*v >= 0 && *v <= 99) << t;
        }
        const DelayInput ms = DelayFromMilliseconds(LeadingNumber(t));
        if (ms.ok()) {
            EXPECT_TRUE(ms.samples >= 0 && ms.samples <= 96000) << t;
        }
        const DelayInput m = DelayFromMetres(LeadingNumber(t));
        if (m.ok()) {
            EXPECT_TRUE(m.samples >= 0 && m.samples <= 96000) << t;
        }
        const int q = NearestQStep(LeadingNumber(t));
        EXPECT_TRUE(q >= 0 && q <= 72);
        const int level = NearestLevelStep(LeadingNumber(t));
        EXPECT_TRUE(level >= 0 && level <= 48);
    }
    const double odd[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity(), -1.0, 0.0};
    for (double f : odd) {
        EXPECT_FALSE(DelayFromMilliseconds(f).ok() && f != 0.0);
        const int hp = HighPassStep(f), lp = LowPassStep(f);
        EXPECT_TRUE(hp >= 0 && hp <= 121);
        EXPECT_TRUE(lp >= 0 && lp <= 122);
        const EqBandSnap s = SnapEqBandFrequency(f, 33);
        EXPECT_TRUE(s.step >= 0 && s.step <= 122);
    }
}

TEST(Fuzz, ParameterFileBytesOfAnyShape) {
    std::mt19937 rng(99);
    for (int i = 0; i < 3000; ++i) {
        std::size_t size = rng() % 1200;
        if (i % 4 == 0) size = kParameterFileSize;
        if (i % 4 == 1) size = kOldParameterFileSize;
        std::vector<std::uint8_t> bytes(size);
        for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
        if (size == kParameterFileSize && i % 8 == 0) bytes[1104] = 0x88;
        if (size == kOldParameterFileSize && i % 8 == 1) bytes[830] = 0x88;
        const LoadResult r = LoadParameterFile(bytes, 0x88);
        if (r.ok()) {
            EXPECT_TRUE(size == kParameterFileSize || size == kOldParameterFileSize);
            EXPECT_EQ(r.records->info.ChannelConfig, 0x88);
        } else {
            EXPECT_FALSE(r.message.empty());
        }
    }
}

TEST(Fuzz, CurvesOfRandomBandsStayFinite) {
    std::mt19937 rng(5);
    ResponseCurves curves({0, 0, 700, 240});
    for (int i = 0; i < 400; ++i) {
        const int band = static_cast<int>(rng() % 12);
        curves.SetBand(band, {true, static_cast<int>(rng() % 8), 10.0 + rng() % 30000, -20.0 + rng() % 40,
                              static_cast<int>(rng() % 80)});
        curves.SetCrossover({static_cast<int>(rng() % 13), 19.9 + rng() % 20000, rng() % 2 == 0,
                             static_cast<int>(rng() % 13), 20.0 + rng() % 20000, rng() % 2 == 0},
                            true);
        for (double y : curves.Total()) ASSERT_TRUE(std::isfinite(y));
    }
}

TEST(Fuzz, TelnetBytesAndNetworkPortNamesAreTakenApartSafely) {
    std::mt19937 rng(20261208);
    static constexpr char kTelnet[] = {'\xff', '\xfa', '\xf0', '\xfb', '\xfc', '\xfd', '\xfe', ',', '\x01', '\x0c',
                                       '\x65', '\x70', '(', ')', 'a', '\0'};
    for (int i = 0; i < 3000; ++i) {
        for (const auto role : {TelnetCodec::Role::Client, TelnetCodec::Role::Server}) {
            TelnetCodec codec(role);
            std::string answers, data, wire;
            std::uniform_int_distribution<std::size_t> len(0, 400);
            std::uniform_int_distribution<std::size_t> pick(0, sizeof kTelnet - 1);
            wire.resize(len(rng));
            for (char& c : wire) c = i % 2 ? kTelnet[pick(rng)] : static_cast<char>(rng());
            // Fed in random pieces: what the line holds (a purge drops what came before it) may not
            // depend on where the reads split.
            const auto take = [](TelnetCodec& c, std::string_view in, std::string& held, std::string& said) {
                const int purges = c.PurgesAsked();
                const std::string got = c.Take(in, said);
                if (c.PurgesAsked() != purges) held.clear();
                held += got;
            };
            for (std::size_t at = 0; at < wire.size();) {
                const std::size_t n = std::min<std::size_t>(1 + rng() % 17, wire.size() - at);
                take(codec, std::string_view(wire).substr(at, n), data, answers);
                at += n;
            }
            TelnetCodec whole(role);
            std::string answersWhole, dataWhole;
            take(whole, wire, dataWhole, answersWhole);
            EXPECT_EQ(dataWhole, data);
            EXPECT_EQ(answersWhole, answers);
            EXPECT_LE(data.size(), wire.size());
            // Answers go out once per option at most: a peer cannot make the codec talk without end.
            EXPECT_LE(answers.size(), 3u * 256 * 2 + 7 * wire.size());
        }
        std::string reason;
        const std::string name = (i % 3 == 0 ? "tcp://" : i % 3 == 1 ? "rfc2217://" : "") + RandomText(rng, 40, false);
        if (const auto a = ParseNetworkPort(name, &reason)) {
            EXPECT_GE(a->port, 1);
            EXPECT_LE(a->port, 65535);
            EXPECT_EQ(ParseNetworkPort(NetworkPortName(*a)), a) << "a name in its one spelling reads back the same";
        } else {
            EXPECT_FALSE(reason.empty());
        }
    }
}
