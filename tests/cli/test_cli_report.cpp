// The set-up report from the command line: HTML, and PDF checked with the system's PDF tools.
#include "CliTestSupport.h"
#include "TempDir.h"
#include "core/panel/ReportTestSupport.h"
#include "edit/RecordText.h"
#include "model/ParameterFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

using namespace quellmarin;
using namespace quellmarin::test;

namespace {

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
        ::pclose(pipe);
    }
    return out;
}

std::string Read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(CliReport, HtmlOfABusySetupAndTheRefusals) {
    TempDir dir;
    const auto busy = dir / "busy.asc";
    ASSERT_EQ(SaveParameterFile(busy, BusySetup(), DefaultDeviceInfo()), "");
    VirtualRig rig;
    auto r = rig.Run({"report", busy.string(), (dir / "busy.html").string()});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string html = Read(dir / "busy.html");
    EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(html.find("<h3>Output 8</h3>"), std::string::npos);
    EXPECT_NE(html.find("<td>-24dB LinkWitz-Riley 80.00Hz</td>"), std::string::npos);

    EXPECT_EQ(rig.Run({"report", busy.string(), (dir / "busy.txt").string()}).code, 2);
    EXPECT_EQ(rig.Run({"report", (dir / "none.asc").string(), (dir / "x.html").string()}).code, 3);
    r = rig.Run({"report", busy.string(), (dir / "no" / "such" / "x.html").string()});
    EXPECT_EQ(r.code, 3);
    EXPECT_FALSE(std::filesystem::exists(dir / "x.html"));
}

#ifdef QUELLMARIN_HAS_PDF
TEST(CliReport, PdfHasAPageForEveryThreeChannelsOrFewerAndItsTextIsThere) {
    if (std::system("command -v pdftotext >/dev/null && command -v pdfinfo >/dev/null") != 0)
        GTEST_SKIP() << "poppler-utils (pdftotext, pdfinfo) are not installed";
    TempDir dir;
    VirtualRig rig;
    for (const bool busy : {false, true}) {
        const auto asc = dir / (busy ? "busy.asc" : "plain.asc");
        const auto pdf = dir / (busy ? "busy.pdf" : "plain.pdf");
        ASSERT_EQ(SaveParameterFile(asc, busy ? BusySetup() : DefaultSystemParameters(), DefaultDeviceInfo()),
                  "");
        const auto r = rig.Run({"report", asc.string(), pdf.string()});
        ASSERT_EQ(r.code, 0) << r.err;
        const std::string info = Output("pdfinfo '" + pdf.string() + "'");
        const auto at = info.find("Pages:");
        ASSERT_NE(at, std::string::npos) << "the PDF opens: " << info;
        const int pages = std::stoi(info.substr(at + 6));
        EXPECT_GE(pages, 1);
        EXPECT_LE(pages, (16 + 2) / 3) << "three channels a page or more";
        const std::string text = Output("pdftotext -layout '" + pdf.string() + "' -");
        for (const char* words : {"Routing", "Link groups", "Input 1", "Output 8", "Device"})
            EXPECT_NE(text.find(words), std::string::npos) << words;
        if (busy) {
            EXPECT_NE(text.find("-24dB LinkWitz-Riley 80.00Hz"), std::string::npos);
            EXPECT_NE(text.find("-7.0 dB"), std::string::npos) << "output 8's gain";
            EXPECT_NE(text.find("Stage <left> &"), std::string::npos);
            // A long setting runs on to a second line rather than being cut short.
            std::string compressor;
            for (const DumpEntry& e : DumpRecords(BusySetup(), DefaultDeviceInfo(), DeviceModel::Mivon))
                if (e.name == "in 1 comp") compressor = e.text;
            ASSERT_FALSE(compressor.empty());
            const std::string flat = Output("pdftotext '" + pdf.string() + "' - | tr -s ' \\n' ' '");
            EXPECT_NE(flat.find(compressor), std::string::npos) << compressor << "\n" << flat.substr(0, 3000);

        }
    }
}
#endif
