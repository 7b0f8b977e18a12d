// The set-up report: the whole set-up of a processor as an installer hands it over. The device and its
// program, every input and output with its settings in the words of the dump, the routing as a grid,
// the link groups, and for each channel with an equaliser or crossover at work a picture of its
// response made by the graph's own curve code. Written as one self-contained HTML page here; the PDF
// writer draws the same report.
#pragma once

#include "dsp/Response.h"
#include "edit/EditContext.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quellmarin {

// A response picture: the graph's plot with its grid, labels and summed response, in picture units.
struct ReportPicture {
    double width = 0, height = 0;
    PlotGeometry plot;
    struct Line {
        double x1, y1, x2, y2;
        int weight; // 0 minor, 1 major, 2 the 0 dB line
    };
    std::vector<Line> grid;
    struct Label {
        double x, y; // the text's left end on its baseline, or its right end for `alignRight`
        std::string text;
        bool alignRight;
    };
    std::vector<Label> labels;
    std::vector<double> curve; // absolute rows of the summed response, one per column from plot.left
};

struct ReportChannel {
    ChannelRef channel;
    std::string heading;                                   // "Output 3 \u2014 Stage left"
    std::vector<std::pair<std::string, std::string>> rows; // ("Gain", "+0.0 dB")
    std::optional<ReportPicture> picture;
};

struct SetupReport {
    std::string title;
    std::vector<std::pair<std::string, std::string>> device;
    std::vector<std::string> routeColumns;                                 // the inputs: "A", "B", ...
    std::vector<std::pair<std::string, std::vector<std::string>>> routing; // "Output 1", levels or ""
    std::vector<std::string> links;                                        // "Inputs: A+B, C, D, ..."
    std::vector<ReportChannel> channels;
};

SetupReport BuildSetupReport(const SystemParameters& p, const DeviceInfoRecord& info, DeviceModel model);
std::string SetupReportHtml(const SetupReport& report);

} // namespace quellmarin
