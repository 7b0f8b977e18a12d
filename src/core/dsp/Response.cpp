#include "dsp/Response.h"

#include "dsp/Scales.h"

#include <algorithm>
#include <cmath>

namespace quellmarin {

namespace {

constexpr std::string_view kEqTypeNames[kEqTypeCount] = {"None",       "Peaking",  "BandPass",
                                                         "HightShelf", "LowShelf", "Notch"};
constexpr std::string_view kEqMenuTexts[kEqTypeCount] = {"OFF",      "Peaking",  "Bandpass",
                                                         "Hi-shelf", "Lo-shelf", "Notch"};
constexpr std::string_view kCrossoverTexts[kCrossoverTypeCount] = {
    "-12dB Butterworth", "-18dB Butterworth", "-24dB Butterworth",    "-30dB Butterworth",
    "-36dB Butterworth", "-12dB Bessel",      "-18dB Bessel",         "-24dB Bessel",
    "-30dB Bessel",      "-36dB Bessel",      "-12dB LinkWitz-Riley", "-24dB LinkWitz-Riley"};

// Bessel low-pass of order n: |H| = N / sqrt(P(w k)), P's coefficients from the highest power down.
struct BesselOrder {
    double k;
    double n;
    std::array<double, 7> p; // coefficients of w^(2(order)), ..., w^0; unused tail is 0
    int terms;
};
constexpr BesselOrder kBessel[5] = {
    {1.361654129, 3, {1, 3, 9}, 3},
    {1.755672389, 15, {1, 6, 45, 225}, 4},
    {2.113917675, 105, {1, 10, 135, 1575, 11025}, 5},
    {2.427410702, 945, {1, 15, 315, 6300, 99225, 893025}, 6},
    {2.703395061, 10395, {1, 21, 630, 18900, 496125, 9823275, 108056025}, 7},
};

constexpr double kLn10 = 2.302585092994046;
constexpr double kLn20000 = 9.903487552536127;
constexpr double kE = 2.718281828459;

} // namespace

std::string_view EqTypeName(int code) {
    return code >= 0 && code < kEqTypeCount ? kEqTypeNames[code] : "?";
}
std::string_view EqTypeMenuText(int code) {
    return code >= 0 && code < kEqTypeCount ? kEqMenuTexts[code] : "?";
}
std::string_view CrossoverTypeText(int code) {
    return code >= 0 && code < kCrossoverTypeCount ? kCrossoverTexts[code] : "?";
}
std::string_view CrossoverTypeMenuText(int code) {
    if (code == 5) return "-12db Bessel";
    return CrossoverTypeText(code);
}

double EqBandDb(int type, double f, double fc, double gPrime, double q) {
    const double w = f / fc;
    const double w2 = w * w;
    const double A = std::pow(10.0, gPrime / 40.0);
    const double d = (1 - w2) * (1 - w2);
    switch (type) {
    case kEqPeaking: {
        const double h2 = (d + A * A * w2 / (q * q)) / (d + w2 / (A * A * q * q));
        return 10 * std::log10(h2);
    }
    case kEqBandPass: {
        const double wq = (w / q) * (w / q);
        return 10 * std::log10(wq / (d + wq));
    }
    case kEqHighShelf: {
        const double h2 =
            A * A * ((1 - A * w2) * (1 - A * w2) + 2 * A * w2) / ((A - w2) * (A - w2) + 2 * A * w2);
        return 10 * std::log10(h2);
    }
    case kEqLowShelf: {
        const double h2 =
            A * A * ((A - w2) * (A - w2) + 2 * A * w2) / ((1 - A * w2) * (1 - A * w2) + 2 * A * w2);
        return 10 * std::log10(h2);
    }
    case kEqNotch: {
        const double wq = (w / q) * (w / q);
        return 20 * std::log10(std::sqrt(d / (d + wq)) + 0.0001);
    }
    default:
        return 0.0;
    }
}

double CrossoverSideDb(int type, double w) {
    if (type >= 0 && type <= 4) {
        const int order = type + 2;
        return 20 * std::log10(1 / std::sqrt(1 + std::pow(w, 2 * order)));
    }
    if (type >= 5 && type <= 9) {
        const BesselOrder& b = kBessel[type - 5];
        const double x2 = (w * b.k) * (w * b.k);
        double p = 0;
        for (int i = 0; i < b.terms; ++i) p = p * x2 + b.p[i];
        return 20 * std::log10(b.n / std::sqrt(p));
    }
    if (type == 10) return 20 * std::log10(1 / (1 + w * w));
    if (type == 11) return 20 * std::log10(1 / (1 + w * w * w * w));
    return 0.0;
}

double CrossoverDb(const CrossoverParams& x, double f) {
    double db = 0;
    if (!x.lpfOff) db += CrossoverSideDb(x.lpfType, f / x.lpfHz);
    if (!x.hpfOff) db += CrossoverSideDb(x.hpfType, x.hpfHz / f);
    return db;
}

double ClampHighPassCorner(double hz) {
    if (hz < 20) return 19.9;
    if (hz >= 20200) return 20200;
    return hz;
}

double ClampLowPassCorner(double hz) {
    if (hz <= 20) return 20;
    if (hz >= 20200) return 20200;
    return hz;
}

double CrossoverOffset(const CrossoverParams& x, double f, double pixelsPerDb) {
    if (x.hpfOff && x.lpfOff) return 0;
    return -CrossoverDb(x, f) * pixelsPerDb;
}

double PlotGeometry::PixelsPerLn() const {
    return std::max(width - 1, 1) / (kLn20000 - kLn10);
}

double PlotGeometry::ColumnToFrequency(double x) const {
    const double s = PixelsPerLn();
    return std::pow(kE, (kLn10 * s + x - X0()) / s);
}

double PlotGeometry::FrequencyToColumn(double hz) const {
    return std::log(hz * 0.1) * PixelsPerLn() + X0();
}

double PlotGeometry::ClampColumn(double x) const {
    const double s = PixelsPerLn();
    return std::clamp(x, std::log(2.0) * s + X0(), std::log(2000.0) * s + X0());
}

double InternalGainOfRow(const PlotGeometry& geo, double y) {
    return 2 * ((geo.ZeroDbRow() - y) / 13.75 + 23);
}

double DisplayGainPrime(const PlotGeometry& geo, double gainDb) {
    const double g = std::clamp(gainDb, -12.0, 12.0);
    const double gMax = InternalGainOfRow(geo, geo.top + 4 * geo.Unit());
    const double gMin = InternalGainOfRow(geo, geo.top + 12 * geo.Unit());
    const double G = gMax - std::abs(gMax - gMin) * std::abs(g - 12) / 24;
    return G * 0.5 - 23;
}

double CrossoverPixelsPerDb(const PlotGeometry& geo) {
    return geo.Unit() / 3;
}

ResponseCurves::ResponseCurves(const PlotGeometry& geo) {
    SetGeometry(geo);
}

void ResponseCurves::SetGeometry(const PlotGeometry& geo) {
    geo_ = geo;
    columns_ = std::clamp(geo.width, 0, kMaxColumns);
    freq_.resize(columns_);
    for (int i = 0; i < columns_; ++i) freq_[i] = geo_.ColumnToFrequency(geo_.left + i);
    for (int b = 0; b < kBandObjects; ++b) RebuildBand(b);
    RebuildCrossover();
    RebuildTotal();
}

void ResponseCurves::SetBand(int index, const BandCurveParams& band) {
    if (index < 0 || index >= kBandObjects) return;
    bandParams_[index] = band;
    RebuildBand(index);
    RebuildTotal();
}

void ResponseCurves::SetCrossover(const CrossoverParams& x, bool enabled) {
    crossoverParams_ = x;
    crossoverEnabled_ = enabled;
    RebuildCrossover();
    RebuildTotal();
}

void ResponseCurves::RebuildBand(int index) {
    std::vector<double>& v = bands_[index];
    v.assign(columns_, 0.0);
    const BandCurveParams& b = bandParams_[index];
    if (!b.enabled || b.type == kEqNone) return;
    const double fc = std::clamp(b.fcHz, 20.0, 20000.0);
    const double gPrime = DisplayGainPrime(geo_, b.gainDb);
    const double q = QValues()[std::clamp(b.qStep, 0, kEqQMax)];
    // Band-pass and notch are drawn on the same vertical scale as the other types.
    for (int i = 0; i < columns_; ++i) v[i] = EqBandDb(b.type, freq_[i], fc, gPrime, q) * -13.75;
}

void ResponseCurves::RebuildCrossover() {
    crossover_.assign(columns_, 0.0);
    if (!crossoverEnabled_) return;
    const double ppd = CrossoverPixelsPerDb(geo_);
    for (int i = 0; i < columns_; ++i) crossover_[i] = CrossoverOffset(crossoverParams_, freq_[i], ppd);
}

void ResponseCurves::RebuildTotal() {
    total_.assign(columns_, geo_.ZeroDbRow());
    for (const auto& band : bands_)
        for (int i = 0; i < columns_; ++i) total_[i] += band[i];
    for (int i = 0; i < columns_; ++i) total_[i] += crossover_[i];
}

} // namespace quellmarin
