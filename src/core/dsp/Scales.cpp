#include "dsp/Scales.h"

#include <cctype>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace quellmarin {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    return TrimRight(s);
}

template <std::size_t N> std::array<double, N> ValuesOf(const std::array<std::string_view, N>& texts) {
    std::array<double, N> values{};
    for (std::size_t i = 0; i < N; ++i) values[i] = LeadingNumber(texts[i]);
    return values;
}

std::string Format(const char* fmt, double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, value);
    return buf;
}

// k + 1 for the first k whose midpoints enclose f, 0 below the first midpoint, -1 above the last one.
int MatchStep(std::span<const double, kFrequencySteps> t, double f) {
    for (int k = 0; k + 2 < kFrequencySteps; ++k) {
        const double lower = (t[k] + t[k + 1]) / 2;
        const double upper = (t[k + 1] + t[k + 2]) / 2;
        if (lower <= f && f <= upper) return k + 1;
    }
    if (f < (t[0] + t[1]) / 2) return 0;
    return -1;
}

// Nearest of the first `count` steps of an ascending table, a tie going to the lower step.
int NearestOf(std::span<const double> values, int count, double x) {
    for (int i = 0; i + 1 < count; ++i)
        if (x <= (values[i] + values[i + 1]) / 2) return i;
    return count - 1;
}

// The E12 series of the compressor's time steps, held in single precision as the device does.
constexpr float kTimeSeries[12] = {0.010f, 0.012f, 0.015f, 0.018f, 0.022f, 0.027f,
                                   0.033f, 0.039f, 0.047f, 0.056f, 0.068f, 0.082f};

} // namespace

double LeadingNumber(std::string_view t) {
    std::size_t i = 0;
    const std::size_t n = t.size();
    while (i < n && IsBlank(t[i])) ++i;
    bool negative = false;
    if (i < n && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    const std::size_t start = i;
    std::size_t digits = 0;
    while (i < n && IsDigit(t[i])) ++i, ++digits;
    if (i < n && t[i] == '.') {
        std::size_t j = i + 1, frac = 0;
        while (j < n && IsDigit(t[j])) ++j, ++frac;
        if (digits + frac > 0) i = j;
        digits += frac;
    }
    if (digits == 0) return 0.0;
    const std::size_t mantissaEnd = i;
    int exponentSign = 0;
    if (i < n && (t[i] == 'e' || t[i] == 'E')) {
        std::size_t j = i + 1;
        int sign = 1;
        if (j < n && (t[j] == '+' || t[j] == '-')) sign = t[j++] == '-' ? -1 : 1;
        std::size_t k = j;
        while (k < n && IsDigit(t[k])) ++k;
        if (k > j) {
            i = k;
            exponentSign = sign;
        }
    }
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(t.data() + start, t.data() + i, value);
    (void)ptr;
    if (ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: decide by the exponent's direction.
        double mantissa = 0.0;
        std::from_chars(t.data() + start, t.data() + mantissaEnd, mantissa);
        value = (exponentSign < 0 || mantissa == 0.0) ? 0.0 : std::numeric_limits<double>::infinity();
    } else if (ec != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

std::optional<double> ParseTypedNumber(std::string_view t) {
    static constexpr std::string_view kNone[] = {""};
    return ParseTypedNumber(t, kNone);
}

std::optional<double> ParseTypedNumber(std::string_view t, std::span<const std::string_view> units) {
    std::size_t i = 0;
    const std::size_t n = t.size();
    if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < n && IsDigit(t[i])) ++i, ++digits;
    if (i < n && t[i] == '.') {
        ++i;
        while (i < n && IsDigit(t[i])) ++i, ++digits;
    }
    if (digits == 0) return std::nullopt;
    if (i < n && (t[i] == 'e' || t[i] == 'E') && i + 1 < n &&
        (IsDigit(t[i + 1]) || ((t[i + 1] == '+' || t[i + 1] == '-') && i + 2 < n && IsDigit(t[i + 2])))) {
        std::size_t j = i + 1;
        if (t[j] == '+' || t[j] == '-') ++j;
        const std::size_t first = j;
        while (j < n && IsDigit(t[j])) ++j;
        if (j - first > 3) return std::nullopt;
        i = j;
    }
    const std::string_view number = t.substr(0, i), unit = t.substr(i);
    const auto sameUnit = [&](std::string_view u) {
        if (u.size() != unit.size()) return false;
        for (std::size_t k = 0; k < u.size(); ++k)
            if (std::tolower(static_cast<unsigned char>(unit[k])) != std::tolower(static_cast<unsigned char>(u[k])))
                return false;
        return true;
    };
    if (std::none_of(units.begin(), units.end(), sameUnit)) return std::nullopt;
    const double value = LeadingNumber(number);
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

std::span<const double, kFrequencySteps> FrequencyValues() {
    static const auto values = ValuesOf(FrequencyTable);
    return values;
}

std::span<const double, kFrequencySteps> CrossoverFrequencyValues() {
    static const auto values = ValuesOf(CrossoverFrequencyTable);
    return values;
}

std::span<const double, kGainSteps> GainValues() {
    static const auto values = ValuesOf(GainTable);
    return values;
}

std::span<const double, kQSteps> QValues() {
    static const auto values = ValuesOf(QTable);
    return values;
}

std::optional<int> NearestStep(std::span<const double, kFrequencySteps> table, double f) {
    const int m = MatchStep(table, f);
    if (m < 0) return std::nullopt;
    return m;
}

EqBandSnap SnapEqBandFrequency(double f, int currentStep) {
    const auto t = FrequencyValues();
    const int m = MatchStep(t, f);
    if (m > 0) return {m, t[m]};
    return {m == 0 ? 0 : currentStep, 20.0};
}

CornerSnap SnapCornerFrequency(double f, int currentStep, bool off) {
    const auto t = CrossoverFrequencyValues();
    const int m = MatchStep(t, f);
    const int step = m >= 0 ? m : currentStep;
    const double labelHz = m > 0 ? t[m] : t[0];
    return {step, off ? std::string("OFF") : Format("%0.2fHz", labelHz)};
}

int HighPassStep(double f) {
    if (f < 20) return 0;
    const int m = MatchStep(CrossoverFrequencyValues(), f);
    if (m < 0 || m > 121) return 121;
    return m;
}

int LowPassStep(double f) {
    if (f >= 20100) return kLpfOff;
    if (f < 20) return 0;
    const int m = MatchStep(CrossoverFrequencyValues(), f);
    return m < 0 ? kLpfOff : m;
}

int NearestQStep(double q) {
    return NearestOf(QValues(), kEqQMax + 1, q);
}

int NearestLevelStep(double db) {
    return NearestOf(GainValues(), kGainSteps, db);
}

std::string BandFrequencyText(double hz) {
    return Format(hz <= 100.0 ? "%0.2fHz" : "%0.0fHz", hz);
}

std::string QText(int step) {
    return Format("%0.2f", QValues()[std::clamp(step, 0, kQSteps - 1)]);
}

std::string LevelText(int step) {
    return Format("%0.1fdB", GainValues()[std::clamp(step, 0, kGainSteps - 1)]);
}

std::string HighPassText(int step) {
    if (step < 1 || step > 121) return "OFF";
    return Format("%0.2fHz", CrossoverFrequencyValues()[step]);
}

std::string LowPassText(int step) {
    if (step < 0 || step > 121) return "OFF";
    return Format("%0.2fHz", CrossoverFrequencyValues()[step]);
}

DelayInput DelayFromMilliseconds(double ms) {
    const double n = std::trunc(ms * 48 + 0.0001);
    if (!(n >= 0 && n <= 96000.0)) return {0, kDelayMsRange};
    return {static_cast<int>(n), {}};
}

DelayInput DelayFromMetres(double metres) {
    const double n = std::trunc(metres * 48 * 2.941176470588235 + 0.0001);
    if (!(n >= 0 && n <= 96000.0)) return {0, kDelayMetresRange};
    return {static_cast<int>(n), {}};
}

double DelayMs(int samples) {
    return samples * 0.020833333333333332 + 0.00001;
}

double DelayMetres(int samples) {
    return DelayMs(samples) * 340 * 0.001 + 0.00001;
}

std::string DelayMsText(int samples) {
    return Format("%.3f ms", DelayMs(samples));
}

std::string DelayMetresText(int samples) {
    return Format("%.3f m", DelayMetres(samples));
}

double CompTimeMs(int step) {
    step = std::clamp(step, 0, kCompTimeMax);
    return static_cast<double>(kTimeSeries[step % 12]) * std::pow(10.0, step / 12);
}

std::string CompTimeText(int step) {
    return Format("%0.2fms", CompTimeMs(step));
}

double CompThresholdDb(int code) {
    return (code - 76) * 0.5;
}

std::string CompThresholdText(int code) {
    return Format("%0.1fdB", CompThresholdDb(code));
}

std::string CompRatioText(int code, bool afterTyping) {
    if (code >= kCompRatioMax) return "Infinity";
    const double ratio = 1.0 / (1.0 - code / 99.0) + (afterTyping ? 0.001 : 0.0);
    return Format("%.2f : 1", ratio);
}

std::optional<int> CompThresholdFromText(std::string_view text) {
    if (Trim(text).empty()) return std::nullopt;
    const double v = std::clamp(LeadingNumber(text), -38.0, 22.0);
    return static_cast<int>(std::trunc(2 * v + 76));
}

std::optional<int> CompTimeFromText(std::string_view text) {
    if (Trim(text).empty()) return std::nullopt;
    const double v = std::clamp(LeadingNumber(text), 0.01, 10000.0);
    int decade = 0;
    for (double bound = 0.1; decade < 6 && v >= bound; bound *= 10) ++decade;
    // Compared in single precision, so that a typed value equal to a shown step selects that step.
    const float m = static_cast<float>(v / std::pow(10.0, decade));
    int k = 11;
    for (int i = 0; i <= 10; ++i) {
        if (kTimeSeries[i] <= m && m < kTimeSeries[i + 1]) {
            k = i;
            break;
        }
    }
    return k + 12 * decade;
}

std::optional<int> CompRatioFromText(std::string_view text) {
    if (text == "Infinity") return kCompRatioMax;
    if (Trim(text).empty()) return std::nullopt;
    const double v = std::max(LeadingNumber(text), 1.0);
    if (v > 99) return kCompRatioMax;
    for (int n = 0; n < kCompRatioMax; ++n) {
        const double ratio = 1.0 / (1.0 - n / 99.0);
        if (ratio >= v) return (ratio - v >= 0.01 && n > 0) ? n - 1 : n;
    }
    return kCompRatioMax;
}

std::string LimitText(int v) {
    return Format("%0.1f   dBu", LimitDbu(v));
}

double ParseFrequencyText(std::string_view text, bool dropCommas) {
    std::string s(text);
    if (dropCommas) std::erase(s, ',');
    const double number = LeadingNumber(s);
    std::string upper(TrimRight(s));
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const std::string_view u = upper;
    if (u.ends_with("KHZ") || u.ends_with("K") || u.ends_with("KH") || u.ends_with("KZ"))
        return number * 1000;
    return number;
}

namespace {
Clamped ClampTo(double v, double lo, double hi, std::string_view message) {
    if (v > hi) return {hi, message};
    if (v < lo) return {lo, message};
    return {v, {}};
}
} // namespace

Clamped ClampEqFrequency(double hz) {
    return ClampTo(hz, 20, 20000, kEqFrequencyRange);
}
Clamped ClampQ(double q) {
    return ClampTo(q, 0.31, 19.4, kQRange);
}
Clamped ClampLevel(double db) {
    return ClampTo(db, -12, 12, kEqLevelRange);
}

} // namespace quellmarin
