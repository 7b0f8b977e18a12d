#include "cli/Cli.h"
#include "cli/Commands.h"

#include "TempDir.h"
#include "model/ParameterFile.h"
#include "session/RigFile.h"
#include "model/ValueRanges.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#ifndef _WIN32
#include <sys/wait.h>
#endif

using namespace quellmarin;
using quellmarin::test::TempDir;

namespace {

struct CliRun {
    int code;
    std::string out, err;
};

CliRun RunCli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code = cli::Run(args, out, err);
    return {code, out.str(), err.str()};
}

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(Cli, DefaultsThenDumpShowsEveryField) {
    TempDir dir;
    const std::string file = (dir / "defaults.asc").string();
    CliRun r = RunCli({"defaults", file});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadAll(file), ParameterFileBytes(DefaultSystemParameters(), DefaultDeviceInfo()));

    r = RunCli({"dump", file});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("in 1 peq band 2: None 560.0 Hz +0.0 dB Q 4.33 (type 0 freq 59 level 24 q 46)\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("in 1 peq band 1: None 100.0 Hz -5.0 dB Q 4.33 (type 0 freq 29 level 14 q 46)\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("out 1 hpf: -12dB Butterworth OFF (type 0 freq 0)\n"), std::string::npos);
    EXPECT_NE(r.out.find("out 4 route: in 4 +0.0 dB (in1 0 in2 0 in3 0 in4 181 in5 0 in6 0 in7 0 in8 0)\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("in 8 comp: attack 330.00ms release 470.00ms threshold +22.0dB ratio 1.00 : 1"),
              std::string::npos);
    EXPECT_NE(r.out.find("out 8 limit: +22.0 dBu (limit 99)\n"), std::string::npos);
    EXPECT_NE(r.out.find("channel config: 0x88 (8 in, 8 out) (config 136)\n"), std::string::npos);
    EXPECT_NE(r.out.find("device maker: \"QUORVANDEL\"\n"), std::string::npos);
    // Every input and output field appears once per channel.
    for (const char* field : {" gain: ", " delay: ", " mute: ", " link: ", " alias: "}) {
        std::size_t count = 0;
        for (std::size_t pos = r.out.find(field); pos != std::string::npos; pos = r.out.find(field, pos + 1))
            ++count;
        EXPECT_EQ(count, 16u) << field;
    }
}

TEST(Cli, DumpShowsEditedValuesAndEscapesJson) {
    TempDir dir;
    SystemParameters p = DefaultSystemParameters();
    DeviceInfoRecord d = DefaultDeviceInfo();
    p.InCH[0].Peq[1] = {1, 59, 24, 46};
    p.OutCH[2].HpfType = 11;
    p.OutCH[2].HpfFreq = 29;
    SetDelaySamples(p.OutCH[1], 480);
    std::memcpy(p.ChName[8], "Say \"hi\"\xE9      ", 15);
    const auto file = dir / "edited.asc";
    ASSERT_EQ(SaveParameterFile(file, p, d), "");

    CliRun r = RunCli({"dump", file.string()});
    ASSERT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("in 1 peq band 2: Peaking 560.0 Hz +0.0 dB Q 4.33 (type 1 freq 59 level 24 q 46)"),
              std::string::npos);
    EXPECT_NE(r.out.find("out 3 hpf: -24dB LinkWitz-Riley 100.00Hz (type 11 freq 29)"), std::string::npos);
    EXPECT_NE(r.out.find("out 2 delay: 10.000 ms 3.400 m (samples 480 h 0 m 4 l 80)"), std::string::npos);
    EXPECT_NE(r.out.find("out 1 alias: \"Say \\\"hi\\\"\\xE9      \""), std::string::npos) << r.out;

    r = RunCli({"dump", "--json", file.string()});
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.out.substr(0, 1), "{");
    const auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["model"], "Mivon");
    const auto field = [&](const std::string& name) {
        for (const auto& f : json["fields"])
            if (f["name"] == name) return f;
        return nlohmann::json();
    };
    EXPECT_EQ(field("in 1 peq band 2"),
              nlohmann::json::parse(R"({"name": "in 1 peq band 2", "text": "Peaking 560.0 Hz +0.0 dB Q 4.33",
                                         "raw": {"type": 1, "freq": 59, "level": 24, "q": 46}})"));
    EXPECT_EQ(field("out 1 alias")["text"], "\"Say \\\"hi\\\"\\xE9      \"");
    const std::string text = RunCli({"dump", file.string()}).out;
    EXPECT_EQ(json["fields"].size(), static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')))
        << "the same fields as the text";
    for (unsigned char c : r.out) EXPECT_LT(c, 0x80) << "JSON output stays ASCII";
}

TEST(Cli, ValuesNoEditorSetsAreMarkedAndNotSentUnasked) {
    TempDir dir;
    SystemParameters p = DefaultSystemParameters(DeviceModel::Mivon);
    p.OutCH[2].Gain = 230;
    p.OutCH[2].Route[1] = 210;
    p.InCH[0].Peq[1].Freq = 123;
    p.InCH[0].Peq[1].Q = 75;
    p.OutCH[4].HpfType = 12;
    p.OutCH[0].PeqEnable = 111; // on, as the editors store it: not marked
    p.InCH[3].PeqEnable = 1;    // on, as older files may hold it: not marked either
    const auto file = dir / "odd.asc";
    ASSERT_EQ(SaveParameterFile(file, p, DefaultDeviceInfo(DeviceModel::Mivon)), "");

    const CliRun dump = RunCli({"--model", "Mivon", "dump", file.string()});
    ASSERT_EQ(dump.code, 0) << dump.err;
    EXPECT_NE(dump.out.find("out 3 gain: +24.5 dB (gain 230)  [out of range: gain 230 above 205]\n"),
              std::string::npos)
        << dump.out;
    EXPECT_NE(dump.out.find("[out of range: in2 210 above 205]"), std::string::npos);
    EXPECT_NE(dump.out.find("[out of range: freq 123 above 122, q 75 above 74]"), std::string::npos);
    EXPECT_NE(dump.out.find("[out of range: type 12 above 11]"), std::string::npos);
    EXPECT_EQ(std::count(dump.out.begin(), dump.out.end(), '['), 4) << "nothing else is marked";
    const CliRun json = RunCli({"--model", "Mivon", "dump", file.string(), "--json"});
    EXPECT_NE(json.out.find("\"outOfRange\": \"gain 230 above 205\""), std::string::npos);

    // A download of such a file is refused before any port is touched, unless forced.
    const CliRun down =
        RunCli({"--model", "Mivon", "--port", "/dev/quellmarin-none", "download", file.string()});
    EXPECT_EQ(down.code, 3);
    EXPECT_EQ(
        down.err.rfind("the file holds values no editor sets: in 1 peq band 2 (freq 123 above 122, q 75 "
                       "above 74), out 3 route (in2 210 above 205), out 3 gain (gain 230 above 205), "
                       "out 5 hpf (type 12 above 11)\n",
                       0),
        0u)
        << down.err;

    // The defaults hold none.
    EXPECT_TRUE(OutOfRangeValues(DefaultSystemParameters(DeviceModel::Mivon), DeviceModel::Mivon).empty());
    EXPECT_TRUE(OutOfRangeValues(DefaultSystemParameters(DeviceModel::Ketra), DeviceModel::Ketra).empty());
}

TEST(Cli, ModelsAndErrors) {
    TempDir dir;
    const std::string ketra = (dir / "ketra.asc").string();
    ASSERT_EQ(RunCli({"--model", "Ketra", "defaults", ketra}).code, 0);
    CliRun r = RunCli({"--model", "Mivon", "dump", ketra});
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.err, "Import file error,it is incompatible with device\n");
    r = RunCli({"dump", ketra, "--model", "Ketra"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("in A gain: "), std::string::npos);
    EXPECT_NE(r.out.find("out 1 route: in A +0.0 dB"), std::string::npos);

    std::ofstream(dir / "short.asc", std::ios::binary) << std::string(1104, 'x');
    r = RunCli({"dump", (dir / "short.asc").string()});
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.err, "File read Failed...! (it holds 1104 bytes; a parameter file holds 1105 (or 831 in the older "
                     "layout))\n");
    EXPECT_EQ(RunCli({"dump", (dir / "missing.asc").string()}).err,
              "File read Failed...! (" + (dir / "missing.asc").string() + ": there is no such file)\n");
    r = RunCli({"defaults", (dir / "x.txt").string()});
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.err, "File ext error...! (a parameter file's name ends in .asc)\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "x.txt"));
    EXPECT_EQ(RunCli({"defaults", dir.path().string()}).err,
              "File ext error...! (" + dir.path().string() + " is a folder, not a file)\n");
    EXPECT_EQ(RunCli({"defaults", "/dev/null"}).err, "File ext error...! (/dev/null is not a regular file)\n");

    EXPECT_EQ(RunCli({}).code, 2);
    EXPECT_EQ(RunCli({"frobnicate"}).code, 2);
    EXPECT_EQ(RunCli({"dump"}).code, 2);
    EXPECT_EQ(RunCli({"dump", "a.asc", "b.asc"}).code, 2);
    EXPECT_EQ(RunCli({"--id", "0", "dump", "a.asc"}).code, 2);
    EXPECT_EQ(RunCli({"--id", "51", "dump", "a.asc"}).code, 2);
    EXPECT_EQ(RunCli({"--id", "7x", "dump", "a.asc"}).code, 2);
    EXPECT_EQ(RunCli({"--model", "Other", "dump", "a.asc"}).code, 2);
    EXPECT_EQ(RunCli({"--port"}).code, 2);
    EXPECT_EQ(RunCli({"--bogus", "dump", "a.asc"}).code, 2);
    EXPECT_EQ(RunCli({"--help"}).code, 0);
    const CliRun help = RunCli({"set", "--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("set in 2 gain -6"), std::string::npos) << "help, not an edit";

    std::string error;
    const auto o =
        cli::ParseOptions({"--port", "/dev/ttyUSB0", "--port", "/tmp/p", "--id", "12", "scan"}, error);
    ASSERT_TRUE(o.has_value()) << error;
    EXPECT_EQ(o->ports, (std::vector<std::string>{"/dev/ttyUSB0", "/tmp/p"}));
    EXPECT_EQ(o->id, 12);
    EXPECT_EQ(o->pacing, Pacing::Answered) << "paced by the answers unless asked";
    EXPECT_EQ(RunCli({"--pacing", "slow", "dump", "a.asc"}).code, 2);
    const auto fixed = cli::ParseOptions({"scan", "--pacing", "fixed"}, error);
    ASSERT_TRUE(fixed.has_value()) << error;
    EXPECT_EQ(fixed->pacing, Pacing::Fixed);
}

TEST(Cli, EveryRegisteredCommandIsParsedAndDocumented) {
    const std::string help = cli::HelpText();
    std::string error;
    for (const cli::CommandDef& c : cli::Commands()) {
        EXPECT_NE(help.find(c.name), std::string::npos) << c.name << " is missing from --help";
        EXPECT_TRUE((c.run != nullptr) != (c.edit != nullptr)) << c.name << " runs one way";
        std::vector<std::string> args{c.name};
        for (std::size_t i = 0; i < c.operands.size(); ++i) args.push_back("w" + std::to_string(i));
        if (c.edit) args.insert(args.end(), {"out", "3", "gain", "-6"});
        const auto o = cli::ParseOptions(args, error);
        ASSERT_TRUE(o.has_value()) << c.name << ": " << error;
        EXPECT_EQ(std::vector<std::string>(o->words.begin() + 1, o->words.end()),
                  std::vector<std::string>(args.begin() + 1, args.end()))
            << c.name;
    }
    // An editing command's words stay in their order around the options, negative numbers and names
    // that start with "-" included; any other command refuses a word it does not take.
    const auto set = cli::ParseOptions({"set", "name", "--json", "out", "3", "-Stage", "--id", "4"}, error);
    ASSERT_TRUE(set.has_value()) << error;
    EXPECT_EQ(set->words, (std::vector<std::string>{"set", "name", "out", "3", "-Stage"}));
    EXPECT_TRUE(set->json);
    EXPECT_EQ(set->id, 4);
    EXPECT_FALSE(cli::ParseOptions({"dump", "a.asc", "-x"}, error).has_value());
    EXPECT_FALSE(cli::ParseOptions({"scan", "extra"}, error).has_value());
    EXPECT_TRUE(cli::IsEditCommand("peq-import"));
    EXPECT_FALSE(cli::IsEditCommand("download"));
}

#ifndef _WIN32
TEST(Cli, RealBinaryExitCodes) {
    TempDir dir;
    const std::string bin = QUELLMARIN_CLI_PATH;
    const std::string file = (dir / "d.asc").string();
    const auto run = [](const std::string& cmd) {
        const int status = std::system(cmd.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run("'" + bin + "' defaults '" + file + "' >/dev/null"), 0);
    EXPECT_EQ(run("'" + bin + "' dump '" + file + "' | grep -q 'in 1 peq band 2: None 560.0 Hz'"), 0);
    EXPECT_EQ(run("'" + bin + "' dump '" + (dir / "none.asc").string() + "' 2>/dev/null"), 3);
    EXPECT_EQ(run("'" + bin + "' 2>/dev/null"), 2);
}
#endif

TEST(Cli, RigOpenPrintsTheShowFileAndExportWritesEachProcessorsParameterFile) {
    TempDir dir;
    std::vector<RigMember> rig;
    for (int i = 0; i < 3; ++i) {
        RigMember m;
        m.name = i == 2 ? "" : (i == 0 ? "Sub left" : "Top/right");
        m.port = "/dev/ttyUSB" + std::to_string(i / 2);
        m.id = i + 1;
        m.params = DefaultSystemParameters();
        m.info = DefaultDeviceInfo();
        m.params.OutCH[0].Gain = static_cast<std::uint8_t>(150 + i);
        SetProgramNo(m.info, 3 + i);
        rig.push_back(m);
    }
    std::memcpy(rig[0].params.Name, "Show A", 6);
    const auto show = dir / "show.json";
    ASSERT_EQ(SaveRigFile(show, rig), "");

    auto r = RunCli({"rig", "open", show.string()});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find(": 3 processors\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1. Sub left (ID 1 on /dev/ttyUSB0), Mivon, program 03 Show A\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("3. ID 3 on /dev/ttyUSB1, Mivon, program 05\n"), std::string::npos) << r.out;

    std::filesystem::create_directory(dir / "out");
    r = RunCli({"rig", "export", show.string(), (dir / "out").string()});
    ASSERT_EQ(r.code, 0) << r.err;
    for (const auto& [n, file] : {std::pair{0, "1-Sub_left.asc"}, {1, "2-Top_right.asc"}, {2, "3-ID03.asc"}}) {
        const LoadResult back = LoadParameterFile(dir / "out" / file, DefaultDeviceInfo().ChannelConfig);
        ASSERT_TRUE(back.ok()) << file;
        EXPECT_TRUE(back.records->params == rig[static_cast<std::size_t>(n)].params) << file;
    }

    // A damaged show file: exit 3, the reason, nothing written.
    std::ofstream(dir / "cut.json") << RigFileText(rig).substr(0, 500);
    std::filesystem::create_directory(dir / "none");
    r = RunCli({"rig", "export", (dir / "cut.json").string(), (dir / "none").string()});
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("cut.json: it is not a complete JSON document"), std::string::npos) << r.err;
    EXPECT_TRUE(std::filesystem::is_empty(dir / "none"));
    EXPECT_EQ(RunCli({"rig", "export", show.string(), (dir / "no-such").string()}).code, 3);
    EXPECT_EQ(RunCli({"rig", "send", (dir / "cut.json").string()}).code, 3) << "nothing is sent from a damaged file";
    EXPECT_EQ(RunCli({"rig", "send"}).code, 2);
}
