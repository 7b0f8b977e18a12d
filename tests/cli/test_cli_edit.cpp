// The tool's editing commands: every "set" form on a processor and on a file, values out of range,
// scripts, the stored programs and the generator, against the virtual processor.
#include "CliTestSupport.h"
#include "TempDir.h"
#include "edit/SettingWords.h"
#include "dsp/Scales.h"
#include "protocol/Frames.h"
#include "model/ParameterFile.h"
#include "edit/RecordDiff.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <iterator>

using namespace quellmarin;
using namespace quellmarin::test;

namespace {

// The forms of "set", each with the frame the device must receive, built here from the frame
// builders (empty: only the editors' own frame is compared).
struct Form {
    std::vector<std::string> words;
    std::string frame;
};

std::vector<Form> Forms() {
    const std::array<std::uint8_t, 8> route{181, 181, 0, 0, 0, 0, 0, 0};
    const std::array<std::uint8_t, 8> links{0, 0, 2, 2, 4, 5, 6, 7};
    return {
        {{"in", "2", "gain", "-6"}, FrameInputGain("05", 1, 169)},
        {{"out", "3", "mute", "on"}, FrameOutputMute("05", 2, true)},
        {{"out", "3", "polarity", "inverted"}, FramePolarity("05", 2, true)},
        {{"in", "1", "delay", "12.5ms"}, FrameInputDelay("05", 0, 600)},
        {{"out", "2", "delay", "4.25m"}, FrameOutputDelay("05", 1, 600)},
        {{"out", "1", "peq", "3", "peaking", "1k", "-3", "1.4"},
         FrameOutputPeqBand("05", 0, 2, 1, 69, 18, 26)},
        {{"in", "C", "peq", "2", "notch", "250"}, ""},
        {{"out", "1", "peq", "on"}, FrameOutputPeqEnable("05", 0, true)},
        {{"out", "1", "xover", "hp", "lr24", "80"}, FrameCrossover("05", 0, 11, 25, 0, 122)},
        {{"out", "1", "xover", "lp", "bessel18", "2k"}, ""},
        {{"out", "1", "xover", "hp", "off"}, ""},
        {{"out", "2", "limit", "10"}, FrameLimit("05", 1, 75)},
        {{"in", "1", "comp", "threshold", "-10", "attack", "5", "release", "330", "ratio", "4"},
         FrameCompressor("05", 0, 32, 74, 56, 54)},
        {{"route", "out", "3", "in", "A,B"}, FrameRoute("05", 2, route, DeviceModel::Mivon)},
        {{"route", "out", "4", "none"}, ""},
        {{"link", "in", "A,A,C,C,E,F,G,H"}, FrameInputLink("05", links)},
        {{"name", "out", "3", "Stage left"}, ""},
        {{"lock", "on"}, FramePanelLock("05", 1)},
    };
}

std::vector<std::string> With(std::vector<std::string> head, const std::vector<std::string>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// The records and frames the editors make of the words, the windows' way.
struct Expected {
    SystemParameters params;
    DeviceInfoRecord info;
    std::vector<std::string> frames;
};
Expected EditorsMake(SystemParameters params, DeviceInfoRecord info, const std::vector<std::string>& words) {
    Expected e{params, info, {}};
    EditContext ctx{e.params, e.info, DeviceModel::Mivon, [] { return std::string("05"); },
                    [&e](std::string f) { e.frames.push_back(std::move(f)); }, {}};
    const EditOutcome o = ApplySet(ctx, words);
    EXPECT_TRUE(o.ok) << o.message;
    e.frames.insert(e.frames.end(), o.replied.begin(), o.replied.end());
    return e;
}

std::vector<char> Bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(CliEdit, EachSetFormReachesTheProcessorAsTheEditorsFrame) {
    VirtualRig rig;
    for (const Form& form : Forms()) {
        SCOPED_TRACE(form.words[0] + " " + form.words[1]);
        const Expected want = EditorsMake(rig.device.Parameters(), rig.device.Info(), form.words);
        const std::size_t before = rig.device.FrameCount();
        const auto r = rig.Run(With({"--id", "5", "set"}, form.words));
        ASSERT_EQ(r.code, 0) << r.err;
        const auto all = rig.device.FramesReceived();
        const std::vector<std::string> received(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
        ASSERT_FALSE(want.frames.empty());
        EXPECT_NE(std::find(received.begin(), received.end(), want.frames.back()), received.end())
            << "the editors' frame " << want.frames.back();
        if (!form.frame.empty()) {
            EXPECT_EQ(want.frames.back(), form.frame);
        }
        EXPECT_TRUE(SameSettings(rig.device.Parameters(), want.params)) << "the processor holds the change";
    }
    EXPECT_EQ(rig.device.Info().PanelLock, 1);
    EXPECT_EQ(std::string(rig.device.Parameters().ChName[10], 15), "Stage left     ");
}

TEST(CliEdit, EachSetFormOnAFileSavesTheEditorsRecord) {
    TempDir dir;
    const auto file = dir / "show.asc";
    ASSERT_EQ(SaveParameterFile(file, DefaultSystemParameters(), DefaultDeviceInfo()), "");
    Expected want{DefaultSystemParameters(), DefaultDeviceInfo(), {}};
    for (const Form& form : Forms()) {
        want = EditorsMake(want.params, want.info, form.words);
        VirtualRig rig; // no device is asked: the file is the target
        const auto r = rig.Run(With({"set"}, With(form.words, {"--file", file.string()})));
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(rig.device.FrameCount(), 0u);
    }
    const auto expected = dir / "expected.asc";
    ASSERT_EQ(SaveParameterFile(expected, want.params, want.info), "");
    EXPECT_EQ(Bytes(file), Bytes(expected)) << "byte for byte the editors' record";
    EXPECT_FALSE(std::filesystem::exists(file.string() + ".tmp"));
}

TEST(CliEdit, ValuesOutOfRangeExitTwoWithTheWindowsMessageAndChangeNothing) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
        {{"in", "2", "gain", "13"}, "Input range:[-90,+12]"},
        {{"out", "1", "peq", "3", "peaking", "30k", "-3", "1.4"}, "Input range:[20,20000]"},
        {{"out", "1", "peq", "3", "peaking", "1k", "-13", "1.4"}, "Input range:[-12,+12]"},
        {{"out", "1", "peq", "3", "peaking", "1k", "-3", "25"}, "Input range:[0.31,19.4]"},
        {{"in", "1", "delay", "2001ms"}, "Input range:[0,2000ms]"},
        {{"in", "1", "delay", "700m"}, "Input range:[0,680m]"},
        {{"out", "1", "xover", "hp", "lr24", "10"}, "Input range:[20,20000]"},
        {{"out", "2", "limit", "30"}, "Input range:[-27.5,+22]"},
        {{"in", "1", "comp", "threshold", "-10", "ratio", "200"}, "Input range:[1,99]"},
        {{"in", "9", "gain", "0"}, "no such channel: in 9 (inputs 1..8 or A..H)"},
        {{"out", "1", "comp", "ratio", "2"}, "an output has no setting comp"},
        {{"link", "in", "A,A,C"}, "link names a group for each of the 8 channels"},
        {{"out", "3", "gain", "step", "-2.5"}, "a gain step is whole decibels, -102 to +102"},
        {{"out", "3", "gain", "step", "200"}, "a gain step is whole decibels, -102 to +102"},
        {{"in", "1", "delay", "step", "+3000ms"}, "a delay step is -2000 to +2000 ms (or -680 to +680 m)"},
        {{"in", "1", "delay", "step", "1s"}, "a delay step is -2000 to +2000 ms (or -680 to +680 m)"},
        {{"out", "1", "mute", "step", "1"}, "only gain and delay take a step"},
    };
    TempDir dir;
    const auto file = dir / "show.asc";
    ASSERT_EQ(SaveParameterFile(file, DefaultSystemParameters(), DefaultDeviceInfo()), "");
    const auto before = Bytes(file);
    VirtualRig rig;
    const SystemParameters held = rig.device.Parameters();
    for (const auto& [words, message] : bad) {
        SCOPED_TRACE(message);
        auto r = rig.Run(With({"--file", file.string(), "set"}, words));
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.err, message + "\n");
        EXPECT_EQ(Bytes(file), before);
        r = rig.Run(With({"--id", "5", "set"}, words));
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.err, message + "\n");
    }
    EXPECT_TRUE(SameSettings(rig.device.Parameters(), held));
    for (const std::string& f : rig.device.FramesReceived()) EXPECT_EQ(f.find('$'), std::string::npos) << f;
}

TEST(CliEdit, ALinkedChannelEditsItsMasterAndSaysSo) {
    VirtualRig rig;
    ASSERT_EQ(rig.Run({"--id", "5", "set", "link", "out", "1,1,3,4,5,6,7,8"}).code, 0);
    const auto r = rig.Run({"--id", "5", "set", "out", "2", "gain", "-4"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "out 2 is linked to out 1: editing out 1\n");
    EXPECT_EQ(rig.device.Parameters().OutCH[0].Gain, 173);
    const auto got = rig.Run({"--id", "5", "get", "out", "1"});
    EXPECT_NE(got.out.find("out 1 gain: -4.0 dB (gain 173)\n"), std::string::npos) << got.out;
    EXPECT_EQ(got.out.find("out 2 "), std::string::npos) << "only the channel asked for";
}

TEST(CliEdit, RelativeStepsMoveFromTheProcessorsOwnValueAndSayWhenHeld) {
    VirtualRig rig;
    ASSERT_EQ(rig.Run({"--id", "5", "set", "out", "3", "gain", "-6"}).code, 0);
    ASSERT_EQ(rig.Run({"--id", "5", "set", "in", "1", "delay", "10ms"}).code, 0);
    auto r = rig.Run({"--id", "5", "set", "out", "3", "gain", "step", "-3"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(rig.device.Parameters().OutCH[2].Gain, 163) << "-6 dB and -3 dB";
    r = rig.Run({"--id", "5", "set", "in", "1", "delay", "step", "+1ms"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(DelaySamples(rig.device.Parameters().InCH[0].DelayH, rig.device.Parameters().InCH[0].DelayM,
                           rig.device.Parameters().InCH[0].DelayL),
              11 * 48);
    r = rig.Run({"--id", "5", "set", "out", "3", "gain", "step", "+30"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "out 3 gain held at +12 dB, the end of its range\n");
    EXPECT_EQ(rig.device.Parameters().OutCH[2].Gain, 205);
}

TEST(CliEdit, AScriptStopsAtItsFirstBadLineWithTheLinesBeforeApplied) {
    VirtualRig rig;
    std::string script = "# a 2-way set-up\n";
    for (int k = 1; k <= 8; ++k)
        script += "set in " + std::to_string(k) + " gain -" + std::to_string(k) + "\n";
    script += "set out 1 mute on\n"
              "set name out 1 'Left \"top\"'\n";   // lines 2..11 with the comment on line 1
    script += "set out 2 peq 1 peaking 90k 0 1\n"; // line 12: out of range
    for (int k = 13; k <= 20; ++k) script += "set out 3 gain -" + std::to_string(k) + "\n";
    const auto r = rig.Run({"--id", "5", "-f", "-"}, script);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "line 12: Input range:[20,20000]\n");
    const SystemParameters p = rig.device.Parameters();
    for (int k = 0; k < 8; ++k) EXPECT_EQ(p.InCH[k].Gain, 181 - 2 * (k + 1)) << "line " << k + 2;
    EXPECT_EQ(p.OutCH[0].Mute, 1);
    EXPECT_EQ(std::string(p.ChName[8], 15), "Left \"top\"     ");
    EXPECT_EQ(p.OutCH[2].Gain, 181) << "nothing after the bad line";

    TempDir dir;
    const auto path = (dir / "script.txt").string();
    std::ofstream(path) << "get in 1\nset in 1 gain 0 'unclosed\n";
    const auto q = rig.Run({"--id", "5", "-f", path});
    EXPECT_EQ(q.code, 2);
    EXPECT_EQ(q.err, "line 2: a quote is not closed\n");
    EXPECT_NE(q.out.find("in 1 gain: -1.0 dB"), std::string::npos);
    EXPECT_EQ(rig.Run({"-f", (dir / "none.txt").string()}).code, 3);
}

TEST(CliEdit, ProgramsAreListedSavedRecalledRenamedAndDeleted) {
    VirtualRig rig;
    auto r = rig.Run({"--id", "5", "program", "list"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 40);
    EXPECT_EQ(r.out.substr(0, 5), "01 * ") << "the current program is marked";

    ASSERT_EQ(rig.Run({"--id", "5", "set", "out", "1", "gain", "-7"}).code, 0);
    r = rig.Run({"--id", "5", "program", "save", "7", "Show A"});
    ASSERT_EQ(r.code, 0) << r.err;
    ASSERT_TRUE(rig.device.ProgramAt(7).has_value());
    EXPECT_EQ(std::string(rig.device.ProgramAt(7)->name, 20), "Show A..............");
    EXPECT_EQ(rig.device.ProgramAt(7)->state.OutCH[0].Gain, 167);
    EXPECT_EQ(rig.device.Info().ProgramNo, 7);

    r = rig.Run({"--id", "5", "program", "delete", "7"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Current program cannot be delete! \n");
    EXPECT_TRUE(rig.device.ProgramAt(7).has_value());

    ASSERT_EQ(rig.Run({"--id", "5", "set", "out", "1", "gain", "0"}).code, 0);
    r = rig.Run({"--id", "5", "program", "recall", "7"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(rig.device.Parameters().OutCH[0].Gain, 167);
    r = rig.Run({"--id", "5", "program", "rename", "Show B"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(std::string(rig.device.ProgramAt(7)->name, 20), "Show B..............");

    r = rig.Run({"--id", "5", "--json", "program", "list"});
    ASSERT_EQ(r.code, 0);
    const auto list = nlohmann::json::parse(r.out);
    ASSERT_EQ(list.size(), 40u);
    EXPECT_EQ(list[6]["name"], "Show B..............");
    EXPECT_EQ(list[6]["current"], true);

    ASSERT_EQ(rig.Run({"--id", "5", "program", "save", "9"}).code, 0);
    r = rig.Run({"--id", "5", "program", "delete", "7"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_FALSE(rig.device.ProgramAt(7).has_value());
    EXPECT_EQ(rig.Run({"--id", "5", "program", "recall", "41"}).code, 2);
    EXPECT_EQ(rig.Run({"--file", "x.asc", "program", "list"}).code, 2);
}

TEST(CliEdit, TheGeneratorStartsWithItsValuesAndStops) {
    VirtualRig rig;
    auto r = rig.Run({"--id", "5", "generator", "on", "1k", "-20"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "generator on: 1000Hz -20dB\n");
    DeviceInfoRecord info = rig.device.Info();
    EXPECT_EQ(info.GenRun, 1);
    EXPECT_EQ(info.GenLevel, 2 * -20 + 181);
    r = rig.Run({"--id", "5", "generator", "on", "1k", "5"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "Level parameters parameters range:[-90,0]\n");
    r = rig.Run({"--id", "5", "generator", "off"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(rig.device.Info().GenRun, 0);
}

TEST(CliEdit, VerboseShowsTheFramesAndJsonCoversScanAndLevels) {
    VirtualRig rig;
    auto r = rig.Run({"--id", "5", "-v", "set", "out", "4", "gain", "-10"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("virtual > (05hello)\nvirtual < "), std::string::npos) << "the scan's probe";
    EXPECT_NE(r.err.find("virtual > " + FrameOutputGain("05", 3, 161) + "\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("virtual > (05Q000)\nvirtual < (05Q000"), std::string::npos) << "the read-back";
    EXPECT_NE(r.err.find("virtual > (05B)\n"), std::string::npos);

    r = rig.Run({"scan", "--json"});
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(nlohmann::json::parse(r.out),
              nlohmann::json::parse(R"([{"id": 5, "port": "virtual", "line": "Device.....05"}])"));
    r = rig.Run({"--json", "levels", "--count", "2"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto levels = nlohmann::json::parse(r.out);
    ASSERT_EQ(levels.size(), 2u);
    EXPECT_EQ(levels[0]["in"].size(), 8u);
    EXPECT_EQ(levels[0]["out"].size(), 8u);
    EXPECT_TRUE(levels[0]["inStatus"].is_number());
}

TEST(CliEdit, FiltersAreImportedOnlyWhenTheyFitOrWhenForcedAndExportedBack) {
    TempDir dir;
    const auto file = dir / "show.asc";
    ASSERT_EQ(SaveParameterFile(file, DefaultSystemParameters(), DefaultDeviceInfo()), "");
    const auto before = Bytes(file);
    std::string nine = "Preamp: -2 dB\n";
    for (int k = 1; k <= 9; ++k)
        nine +=
            "Filter " + std::to_string(k) + ": ON PK Fc " + std::to_string(150 * k) + " Hz Gain -2 dB Q 2\n";
    const auto filters = (dir / "nine.txt").string();
    std::ofstream(filters) << nine;

    VirtualRig rig;
    auto r = rig.Run({"--file", file.string(), "peq-import", "out", "2", filters});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("nothing was changed; add --force"), std::string::npos);
    EXPECT_NE(r.out.find("the file has 9 filters and Output 2 has 7 bands"), std::string::npos) << r.out;
    EXPECT_EQ(Bytes(file), before);

    r = rig.Run({"--file", file.string(), "peq-import", "out", "2", filters, "--force"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(Bytes(file), before);
    r = rig.Run({"--file", file.string(), "peq-export", "out", "2"});
    ASSERT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("Preamp: -2.0 dB\n"), std::string::npos);
    EXPECT_NE(r.out.find("Filter 7: ON PK Fc 1060 Hz Gain -2.0 dB Q 2.05\n"), std::string::npos) << r.out;

    // On the processor: the same frames as on the file, and its record holds them.
    r = rig.Run({"--id", "5", "peq-import", "out", "2", filters, "--force"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto loaded = LoadParameterFile(file, 0x88);
    ASSERT_TRUE(loaded.ok());
    for (int b = 0; b < kOutputBands; ++b)
        EXPECT_EQ(rig.device.Parameters().OutCH[1].Peq[b].Freq, loaded.records->params.OutCH[1].Peq[b].Freq);
    EXPECT_EQ(rig.device.Parameters().OutCH[1].Gain, GainCode(-2));
}
