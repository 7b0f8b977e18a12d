// Closed-form magnitude responses of the processor's equaliser bands and crossover slopes, the response
// graph's axes, and the per-column curves the graph draws.
#pragma once

#include <array>
#include <span>
#include <string_view>
#include <vector>

namespace quellmarin {

enum EqTypeCode {
    kEqNone = 0,
    kEqPeaking = 1,
    kEqBandPass = 2,
    kEqHighShelf = 3,
    kEqLowShelf = 4,
    kEqNotch = 5
};
inline constexpr int kEqTypeCount = 6;
inline constexpr int kCrossoverTypeCount = 12;

std::string_view EqTypeName(int code);        // "None", "Peaking", "BandPass", "HightShelf", ...
std::string_view EqTypeMenuText(int code);    // "OFF", "Peaking", "Bandpass", "Hi-shelf", "Lo-shelf", "Notch"
std::string_view CrossoverTypeText(int code); // the crossover editor's list: "-12dB Butterworth", ...
std::string_view CrossoverTypeMenuText(int code); // the graph's "hlpf" menu (one text differs in case)

// Response of one band in dB at f: w = f / fc, A = 10^(gPrime / 40), q the quality factor. Types
// without a formula (0 and unknown codes) give 0.
double EqBandDb(int type, double f, double fc, double gPrime, double q);

// One side of the crossover in dB at the normalised frequency w (f / fL for the low-pass side,
// fH / f for the high-pass side). Unknown codes give 0.
double CrossoverSideDb(int type, double w);

struct CrossoverParams {
    int hpfType = 0;
    double hpfHz = 19.9;
    bool hpfOff = true;
    int lpfType = 0;
    double lpfHz = 20200;
    bool lpfOff = true;
};
// The crossover's contribution in dB at f: the sum of the sides that are switched on.
double CrossoverDb(const CrossoverParams& x, double f);
// Corner frequency clamps applied to a dragged corner before it is turned into a step.
double ClampHighPassCorner(double hz); // below 20 -> 19.9, at or above 20200 -> 20200
double ClampLowPassCorner(double hz);  // at or below 20 -> 20, at or above 20200 -> 20200

// The graph's plot rectangle: a natural-log frequency axis from 10 Hz at the left column to 20 kHz at
// the right one, and 18 units of 3 dB from +24 dB at the top to -30 dB at the bottom (0 dB 8 units down).
struct PlotGeometry {
    int left = 0, top = 0, width = 1000, height = 300;

    double PixelsPerLn() const; // s
    double X0() const { return left; }
    double Unit() const { return height / 18.0; }
    double ZeroDbRow() const { return top + 8 * Unit(); } // y0
    double ColumnToFrequency(double x) const;
    double FrequencyToColumn(double hz) const;
    double RowOfDb(double db) const { return ZeroDbRow() - db * Unit() / 3; }
    double DbOfRow(double y) const { return (ZeroDbRow() - y) * 3 / Unit(); }
    // A handle's column kept between the columns of 20 Hz and 20 kHz.
    double ClampColumn(double x) const;
    double BottomRow() const { return top + height - 1; }
};

// Display mapping of a band: the internal gain G of a pixel row, and the gain g' with which a band of
// gain g (-12..+12 dB) is evaluated so that a peak lands on the row of g (g' = g x unit / 41.25).
double InternalGainOfRow(const PlotGeometry& geo, double y);
double DisplayGainPrime(const PlotGeometry& geo, double gainDb);
// Pixels per dB of the crossover curve on this plot: the grid's own scale, unit / 3.
double CrossoverPixelsPerDb(const PlotGeometry& geo);
// The crossover's pixel offset below the 0 dB line at f.
double CrossoverOffset(const CrossoverParams& x, double f, double pixelsPerDb);

struct BandCurveParams {
    bool enabled = false;
    int type = kEqNone;
    double fcHz = 1000;
    double gainDb = 0;
    int qStep = 46;
};

// The curves of the response graph: one array of pixel offsets per band object (twelve: five input,
// seven output) and one for the crossover, each rebuilt only when its object changes, and the total.
class ResponseCurves {
  public:
    static constexpr int kMaxColumns = 2600;
    static constexpr int kBandObjects = 12;

    explicit ResponseCurves(const PlotGeometry& geo = {});

    void SetGeometry(const PlotGeometry& geo); // rebuilds every curve
    void SetBand(int index, const BandCurveParams& band);
    void SetCrossover(const CrossoverParams& x, bool enabled);

    const PlotGeometry& Geometry() const { return geo_; }
    int Columns() const { return columns_; }
    // Pixel offsets relative to the 0 dB row, one per column starting at the plot's left column.
    std::span<const double> Band(int index) const { return bands_[index]; }
    std::span<const double> Crossover() const { return crossover_; }
    // Absolute rows of the summed response, one per column.
    std::span<const double> Total() const { return total_; }
    const BandCurveParams& BandParams(int index) const { return bandParams_[index]; }

  private:
    void RebuildBand(int index);
    void RebuildCrossover();
    void RebuildTotal();

    PlotGeometry geo_;
    int columns_ = 0;
    std::vector<double> freq_; // frequency of each column
    std::array<BandCurveParams, kBandObjects> bandParams_{};
    std::array<std::vector<double>, kBandObjects> bands_;
    CrossoverParams crossoverParams_{};
    bool crossoverEnabled_ = false;
    std::vector<double> crossover_;
    std::vector<double> total_;
};

} // namespace quellmarin
