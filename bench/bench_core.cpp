// Figures of the core: response-curve rebuilds for the graph and the bulk hex codec.
#include "dsp/Response.h"
#include "protocol/Frames.h"
#include "protocol/HexCodec.h"
#include "model/Records.h"
#include "edit/RecordDiff.h"

#include <random>

#include <benchmark/benchmark.h>

using namespace quellmarin;

namespace {

PlotGeometry Plot(int width) {
    return {0, 0, width, 300};
}

BandCurveParams Peaking(double fc, double gain) {
    return {true, kEqPeaking, fc, gain, 46};
}

void SetAllBands(ResponseCurves& c, double gain) {
    const int types[] = {kEqPeaking, kEqBandPass, kEqHighShelf, kEqLowShelf, kEqNotch, kEqPeaking};
    for (int b = 0; b < ResponseCurves::kBandObjects; ++b)
        c.SetBand(b, {true, types[b % 6], 50.0 * (b + 1) * (b + 1), gain, 30 + b});
}

// One band dragged: its array and the total are rebuilt.
void BM_OneBandAndTotal(benchmark::State& state) {
    ResponseCurves curves(Plot(static_cast<int>(state.range(0))));
    SetAllBands(curves, 3);
    double gain = -6;
    for (auto _ : state) {
        gain = gain > 6 ? -6 : gain + 0.5;
        curves.SetBand(2, Peaking(1000, gain));
        benchmark::DoNotOptimize(curves.Total().data());
    }
}
BENCHMARK(BM_OneBandAndTotal)->Arg(1000)->Arg(2600)->Unit(benchmark::kMicrosecond);

// Everything: all twelve bands, the crossover and the total (a geometry change does exactly this).
void BM_EverythingRebuilt(benchmark::State& state) {
    ResponseCurves curves(Plot(static_cast<int>(state.range(0))));
    SetAllBands(curves, 3);
    curves.SetCrossover({11, 100, false, 2, 8000, false}, true);
    int height = 300;
    for (auto _ : state) {
        height = height == 300 ? 301 : 300;
        curves.SetGeometry({0, 0, static_cast<int>(state.range(0)), height});
        benchmark::DoNotOptimize(curves.Total().data());
    }
}
BENCHMARK(BM_EverythingRebuilt)->Arg(1000)->Arg(2600)->Unit(benchmark::kMicrosecond);

void BM_HexDecodeUploadReply(benchmark::State& state) {
    const ParameterBytes bytes = ToBytes(DefaultSystemParameters());
    const std::string reply = "(01Q000xxxx" + HexEncode(bytes) + ")";
    for (auto _ : state) {
        auto decoded = HexDecode(reply, 9);
        benchmark::DoNotOptimize(decoded.data());
    }
    state.SetLabel(std::to_string(reply.size()) + " characters");
}
BENCHMARK(BM_HexDecodeUploadReply)->Unit(benchmark::kMicrosecond);

void BM_HexEncodeRecord(benchmark::State& state) {
    const ParameterBytes bytes = ToBytes(DefaultSystemParameters());
    for (auto _ : state) {
        auto text = HexEncode(bytes);
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_HexEncodeRecord)->Unit(benchmark::kMicrosecond);

} // namespace

// The difference of two records that differ everywhere: every byte of the settings drawn at random.
static void BM_DiffOfRandomRecords(benchmark::State& state) {
    std::mt19937 rng(7);
    const auto randomRecord = [&] {
        ParameterBytes bytes{};
        for (auto& b : bytes) b = static_cast<std::uint8_t>(rng() % 100);
        return ParametersFromBytes(bytes);
    };
    const SystemParameters a = randomRecord(), b = randomRecord();
    std::size_t frames = 0;
    for (auto _ : state) frames += DiffFrames(a, b, "01", DeviceModel::Mivon).frames.size();
    benchmark::DoNotOptimize(frames);
}
BENCHMARK(BM_DiffOfRandomRecords)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
