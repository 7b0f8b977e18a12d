// What the tool says when it refuses, and that a refusal or a failed write leaves everything as it was:
// filter files no measurement program writes, a filter export that cannot be written in full, names
// the wire cannot carry, link lists against the rule, unknown commands, a marked UTF-8 script.
#include "CliTestSupport.h"
#include "TempDir.h"
#include "model/ParameterFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quellmarin;
using namespace quellmarin::test;

namespace {

std::string Text(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(CliHonest, FilterLinesNoMeasurementProgramWritesAreRefusedAndNeedConsent) {
    TempDir dir;
    const auto file = dir / "show.asc";
    ASSERT_EQ(SaveParameterFile(file, DefaultSystemParameters(), DefaultDeviceInfo()), "");
    const std::string before = Text(file);
    VirtualRig rig;
    // Each hostile line beside one good one: the good one alone would import, but only with consent.
    const std::vector<std::pair<std::string, std::string>> hostile = {
        {"Filter 2: ON PK Fc 1e308 Hz Gain 1e300 dB Q 1e300", "Fc 1e308 is not an audio frequency"},
        {"Filter 2: ON PK Fc 1000 Hz Gain 1e300 dB Q 2", "Gain 1e300 is not an equaliser's gain"},
        {"Filter 2: ON PK Fc 1000 Hz Gain -3 dB Q 1e300", "Q 1e300 is not an equaliser's Q"},
        {"Filter 2: ON PK Fc 1000 Hz Gain -3 dB Q 0", "Q 0 is not an equaliser's Q"},
        {"Filter 2: ON PK Fc 1000 Hz Gain -3 dB Q -2", "Q -2 is not an equaliser's Q"},
        {"Filter 2: ON PK Fc 1000 Hz Gain -3 dB BW Oct -1", "BW Oct -1 is not a bandwidth in octaves"},
        {"Filter 2: ON PK Fc 1000 Hz Gain -3 dB BW Oct 0", "BW Oct 0 is not a bandwidth in octaves"},
        {"Filter 2: ON PK Fc nan Hz Gain -3 dB Q 2", "Fc nan is not an audio frequency"},
        {"Filter 2: ON PK Fc 1000 Hz Gain inf dB Q 2", "Gain inf is not an equaliser's gain"},
        {"Filter 2: ON PK Fc 0 Hz Gain -3 dB Q 2", "Fc 0 is not an audio frequency"},
        {"Filter 2: ON PK Fc 1000 Hz Gain -3 dB Q", "no value after Q"},
        {"Preamp: 1e300 dB", "Preamp 1e300 is not a gain"},
    };
    for (const auto& [line, why] : hostile) {
        const auto filters = dir / "hostile.txt";
        std::ofstream(filters) << "Filter 1: ON PK Fc 250 Hz Gain -4 dB Q 1.5\n" << line << "\n";
        auto r = rig.Run({"--file", file.string(), "peq-import", "out", "2", filters.string()});
        EXPECT_EQ(r.code, 1) << line;
        EXPECT_TRUE(Has(r.out, "line 2: " + why)) << line << "\n" << r.out;
        EXPECT_TRUE(Has(r.err, "nothing was changed; add --force")) << line;
        EXPECT_EQ(Text(file), before) << line;
    }

    // With consent, the readable line is imported and the rest left out.
    std::ofstream(dir / "one.txt") << "Filter 1: ON PK Fc 250 Hz Gain -4 dB Q 1.5\nFilter 2: ON PK Fc 1e308 Hz\n";
    auto r = rig.Run({"--file", file.string(), "peq-import", "out", "2", (dir / "one.txt").string(), "--force"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(Text(file), before);

    // A request the device cannot hold shows its real difference: +30 dB kept at +12 dB is 18 dB off.
    std::ofstream(dir / "loud.txt") << "Filter 1: ON PK Fc 1000 Hz Gain 30 dB Q 1\n";
    r = rig.Run({"--file", file.string(), "peq-import", "out", "3", (dir / "loud.txt").string()});
    EXPECT_TRUE(Has(r.out, "Largest difference of the summed response, 20 Hz to 20 kHz: 18.")) << r.out;
}

TEST(CliHonest, AFilterExportThatCannotBeWrittenInFullLeavesTheOldFileByteForByte) {
    TempDir dir;
    const auto target = dir / "filters.txt";
    const std::string old = "Filter Settings file\n# what was here before, kept\n" + std::string(2000, '#') + "\n";
    std::ofstream(target, std::ios::binary) << old;
    const auto record = dir / "show.asc";
    ASSERT_EQ(SaveParameterFile(record, DefaultSystemParameters(), DefaultDeviceInfo()), "");

    // In a child process with a file-size limit below the export's size: the write fails part way.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{200, 200};
        setrlimit(RLIMIT_FSIZE, &limit);
        VirtualRig rig;
        const auto r = rig.Run({"--file", record.string(), "peq-export", "out", "1", target.string()});
        _exit(r.code == 3 && Has(r.err, "cannot write the filter file") ? 0 : 10 + r.code);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the export must fail with exit 3 and say so";
    EXPECT_EQ(Text(target), old);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 2u) << "no temporary file is left behind";

    // Without the limit it is written, in full.
    VirtualRig rig;
    const auto r = rig.Run({"--file", record.string(), "peq-export", "out", "1", target.string()});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(Text(target).starts_with("Filter Settings file\n\n# Output 1"));
}

TEST(CliHonest, NamesTheWireCannotCarryAreRefusedNamingTheCharacters) {
    VirtualRig rig;
    const auto outputOneName = [&rig] {
        const SystemParameters p = rig.device.Parameters();
        return std::string(p.ChName[8], p.ChName[8] + 15);
    };
    const std::string before = outputOneName();
    auto r = rig.Run({"--id", "5", "set", "name", "out", "1", "B\xC3\xBChne \xE2\x9C\x93"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "the processor takes names in plain ASCII letters, digits and signs only; not \xC3\xBC "
                     "\xE2\x9C\x93\n");
    EXPECT_EQ(outputOneName(), before);
    r = rig.Run({"--id", "5", "set", "name", "out", "1", "tab\there"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(Has(r.err, "not \\x09")) << r.err;
    r = rig.Run({"--id", "5", "program", "save", "4", "Caf\xC3\xA9"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(Has(r.err, "not \xC3\xA9")) << r.err;
    const auto frames = rig.device.FramesReceived();
    EXPECT_EQ(std::count_if(frames.begin(), frames.end(),
                            [](const std::string& f) { return f.find("S004") != std::string::npos; }),
              0)
        << "the program is not stored under a name that is then refused";
}

TEST(CliHonest, ALinkListMustNameEachGroupByItsFirstChannel) {
    TempDir dir;
    const auto file = dir / "show.asc";
    ASSERT_EQ(SaveParameterFile(file, DefaultSystemParameters(), DefaultDeviceInfo()), "");
    const std::string before = Text(file);
    VirtualRig rig;
    auto r = rig.Run({"--file", file.string(), "set", "link", "in", "B,A,C,D,E,F,G,H"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "link names each group by its first channel: in 1 names in 2, which comes after it\n");
    r = rig.Run({"--file", file.string(), "set", "link", "in", "A,A,B,D,E,F,G,H"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "link names each group by its first channel: in 3 names in 2, which is itself in the group "
                     "of in 1\n");
    EXPECT_EQ(Text(file), before);
    r = rig.Run({"--file", file.string(), "set", "link", "in", "A,A,A,D,D,F,G,H"});
    EXPECT_EQ(r.code, 0) << r.err;
}

TEST(CliHonest, UnknownCommandsAndMarkedScriptsAreSaidPlainly) {
    VirtualRig rig;
    auto r = rig.Run({"frobnicate"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.starts_with("unknown command frobnicate (the commands are scan, upload, ")) << r.err;

    // A script saved with the UTF-8 mark runs from its first line.
    TempDir dir;
    const auto file = dir / "show.asc";
    ASSERT_EQ(SaveParameterFile(file, DefaultSystemParameters(), DefaultDeviceInfo()), "");
    std::ofstream(dir / "marked.txt") << "\xEF\xBB\xBFset out 3 mute on\nset out 4 mute on\n";
    r = rig.Run({"--file", file.string(), "-f", (dir / "marked.txt").string()});
    EXPECT_EQ(r.code, 0) << r.err;
    const auto loaded = LoadParameterFile(file, 0x88);
    ASSERT_TRUE(loaded.ok());
    EXPECT_EQ(loaded.records->params.OutCH[2].Mute, 1);
    EXPECT_EQ(loaded.records->params.OutCH[3].Mute, 1);
}

TEST(CliHonest, LevelsNeedNoSettingsAndAGarbledRecordCostsThemNothing) {
    VirtualRig rig;
    sim::SimFaults faults;
    faults.shortQ = true; // every whole-record reply cut short: an upload could never succeed
    rig.server.SetFaults(faults);
    const auto r = rig.Run({"--id", "5", "levels", "--count", "3"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_FALSE(Has(r.err, "Upload failed"));
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3);
}
