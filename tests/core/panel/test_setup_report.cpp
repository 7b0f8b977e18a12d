// The set-up report: every section, every channel, the numbers of the dump, the routing grid, the
// link groups and a response picture for each channel whose equaliser or crossover is at work.
#include "panel/SetupReport.h"

#include "ReportTestSupport.h"
#include "edit/RecordText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace quellmarin;
using quellmarin::test::BusySetup;

namespace {

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

std::string Html(std::string s) {
    std::string out;
    for (char c : s) {
        if (c == '"')
            out += "&quot;";
        else if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

} // namespace

TEST(SetupReport, TheDefaultStateHasEverySectionAndChannelButNoPictures) {
    const SystemParameters p = DefaultSystemParameters(DeviceModel::Mivon);
    const DeviceInfoRecord info = DefaultDeviceInfo(DeviceModel::Mivon);
    const SetupReport r = BuildSetupReport(p, info, DeviceModel::Mivon);
    const std::string html = SetupReportHtml(r);
    for (const char* id : {"device", "routing", "links", "inputs", "outputs"})
        EXPECT_NE(html.find(std::string("<h2 id=\"") + id + "\""), std::string::npos) << id;
    for (int k = 1; k <= 8; ++k) {
        EXPECT_EQ(Count(html, "<h3>Input " + std::to_string(k) + "</h3>"), 1u);
        EXPECT_EQ(Count(html, "<h3>Output " + std::to_string(k) + "</h3>"), 1u);
    }
    EXPECT_EQ(Count(html, "<svg"), 0u) << "nothing at work: no response to draw";
    EXPECT_EQ(html.find("src="), std::string::npos) << "self-contained";
    EXPECT_NE(html.find("<li>Inputs: 1, 2, 3, 4, 5, 6, 7, 8</li>"), std::string::npos);

    const SetupReport ketra = BuildSetupReport(DefaultSystemParameters(DeviceModel::Ketra),
                                               DefaultDeviceInfo(DeviceModel::Ketra), DeviceModel::Ketra);
    EXPECT_EQ(ketra.channels.size(), 12u);
    EXPECT_EQ(ketra.routeColumns, (std::vector<std::string>{"A", "B", "C", "D"}));
    EXPECT_EQ(ketra.channels.front().heading, "Input A");
}

TEST(SetupReport, ABusySetupShowsTheDumpsNumbersTheGridLinksAndPictures) {
    const SystemParameters p = BusySetup();
    const DeviceInfoRecord info = DefaultDeviceInfo(DeviceModel::Mivon);
    const std::string html = SetupReportHtml(BuildSetupReport(p, info, DeviceModel::Mivon));
    // Every number a channel's settings show is the dump's.
    int checked = 0;
    for (const DumpEntry& e : DumpRecords(p, info, DeviceModel::Mivon)) {
        const bool channelValue =
            (e.name.starts_with("in ") || e.name.starts_with("out ")) && !e.name.ends_with("spare") &&
            !e.name.ends_with("alias") &&
            !(e.name.find("peq band") != std::string::npos && e.text.starts_with("None"));
        if (!channelValue) continue;
        if (e.name.starts_with("out 2 ") && e.name != "out 2 route" && e.name != "out 2 mute" &&
            e.name != "out 2 link")
            continue; // linked to output 1: its own record is not what the output does
        EXPECT_NE(html.find("<td>" + Html(e.text) + "</td>"), std::string::npos) << e.name << ": " << e.text;
        ++checked;
    }
    EXPECT_GT(checked, 150);
    EXPECT_NE(html.find("<td>-24dB LinkWitz-Riley 80.00Hz</td>"), std::string::npos);
    EXPECT_EQ(Count(html, "<svg"), 16u) << "every channel has its response drawn";
    EXPECT_NE(html.find("<h3>Output 3 \u2014 Stage &lt;left&gt; &amp;</h3>"), std::string::npos);
    EXPECT_NE(html.find("<tr><th class=\"row\">Output 1</th><td>+0.0</td><td>-3.0</td><td></td>"),
              std::string::npos)
        << "the routing grid: output 1 from inputs 1 and 2";
    EXPECT_NE(html.find("<li>Outputs: 1+2, 3, 4, 5, 6, 7, 8</li>"), std::string::npos);
}

TEST(SetupReport, ThePictureIsTheGraphsCurveOnItsGrid) {
    SystemParameters p = DefaultSystemParameters(DeviceModel::Mivon);
    p.OutCH[0].Peq[2] = {1, 69, 48, 46}; // +12 dB at 1 kHz
    p.OutCH[0].PeqEnable = 111;
    const SetupReport r = BuildSetupReport(p, DefaultDeviceInfo(DeviceModel::Mivon), DeviceModel::Mivon);
    const auto out1 = std::find_if(r.channels.begin(), r.channels.end(), [](const ReportChannel& c) {
        return c.channel == ChannelRef{Section::Output, 0};
    });
    ASSERT_TRUE(out1->picture.has_value());
    const ReportPicture& pic = *out1->picture;
    ASSERT_EQ(static_cast<int>(pic.curve.size()), pic.plot.width);
    const std::size_t at1k = static_cast<std::size_t>(pic.plot.FrequencyToColumn(1000) - pic.plot.left);
    const auto peak = std::min_element(pic.curve.begin(), pic.curve.end());
    EXPECT_NEAR(static_cast<double>(peak - pic.curve.begin()), static_cast<double>(at1k), 2.0);
    EXPECT_NEAR(*peak, pic.plot.RowOfDb(12), 1.0) << "the peak on the +12 dB row";
    EXPECT_NEAR(pic.curve.front(), pic.plot.ZeroDbRow(), 0.5);
}

TEST(SetupReport, ALinkedChannelShowsAndDrawsTheSettingsItRunsOn) {
    SystemParameters p = DefaultSystemParameters(DeviceModel::Mivon);
    p.InCH[0].Peq[0] = {1, 69, 48, 46}; // input 1: +12 dB at 1 kHz
    p.InCH[0].PeqEnable = 111;
    p.InCH[0].Gain = 10;
    p.InCH[1].LinkIndex = 0;              // input 2 runs on input 1's settings
    p.InCH[1].Gain = 200;                 // its own record, unused while linked
    p.InCH[1].Peq[0] = {1, 20, 48, 10};   // a cut at low frequency, unused
    p.InCH[1].PeqEnable = 111;
    p.InCH[1].Mute = 1;                   // its mute stays its own
    const DeviceInfoRecord info = DefaultDeviceInfo(DeviceModel::Mivon);
    const SetupReport r = BuildSetupReport(p, info, DeviceModel::Mivon);
    const auto in = [&](int k) {
        return *std::find_if(r.channels.begin(), r.channels.end(),
                             [&](const ReportChannel& c) { return c.channel == ChannelRef{Section::Input, k}; });
    };
    const ReportChannel one = in(0), two = in(1);
    EXPECT_EQ(two.heading, "Input 2 (linked: the settings of Input 1)");
    const auto value = [](const ReportChannel& c, const std::string& label) {
        for (const auto& [l, v] : c.rows)
            if (l == label) return v;
        return std::string("(missing)");
    };
    for (const char* label : {"Gain", "Delay", "Compressor", "Equaliser", "Band 1"})
        EXPECT_EQ(value(two, label), value(one, label)) << label;
    EXPECT_NE(value(two, "Mute"), value(one, "Mute"));
    EXPECT_NE(value(two, "Link"), value(one, "Link"));
    ASSERT_TRUE(one.picture && two.picture);
    EXPECT_EQ(two.picture->curve, one.picture->curve) << "the picture is the curve the channel runs on";
}
