// What a user or a script can hand the tool that it must not take: inputs that are not regular files
// or never end, oversized text, and numbers written in forms nobody means. Each is refused at once with
// a message that names it, a non-zero exit, and every file left as it was.
#include "cli/Cli.h"

#include "TempDir.h"
#include "model/ParameterFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace quellmarin;
using quellmarin::test::TempDir;

namespace {

struct CliRun {
    int code;
    std::string out, err;
    std::chrono::milliseconds took;
};

CliRun RunCli(const std::vector<std::string>& args, const std::string& in = {}) {
    std::ostringstream out, err;
    std::istringstream input(in);
    cli::Environment env;
    env.in = &input;
    env.includeHardware = false;
    env.progressOnTerminal = false;
    const auto start = std::chrono::steady_clock::now();
    const int code = cli::Run(args, out, err, env);
    return {code, out.str(), err.str(),
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)};
}

std::string Bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

#ifndef _WIN32
TEST(CliInputs, InputsThatAreNotRegularFilesOrTooLargeAreRefusedAtOnce) {
    TempDir dir;
    const std::string record = (dir / "show.asc").string();
    ASSERT_EQ(RunCli({"defaults", record}).code, 0);
    const std::string before = Bytes(record);
    const std::string folder = (dir / "folder").string();
    std::filesystem::create_directory(folder);
    const std::string fifo = (dir / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string huge = (dir / "huge.txt").string();
    std::ofstream(huge) << std::string(10 << 20, 'x');
    const std::string report = (dir / "report.html").string();

    struct Input {
        std::string path, says, saysOfARecord;
    };
    const std::vector<Input> inputs = {
        {folder, folder + " is a directory", {}},
        {fifo, fifo + " is not a regular file", {}},
        {"/dev/zero", "/dev/zero is not a regular file", {}},
        {huge, huge + " is larger than 1 MiB, more than such a file ever holds",
         huge + " is longer than a parameter file (1105 bytes)"},
        {(dir / "missing").string(), (dir / "missing").string() + ": there is no such file", {}},
        {(dir / "B\xfchne\xff").string(), (dir / "B\xfchne\xff").string() + ": there is no such file", {}},
    };
    for (const Input& input : inputs) {
        // Text inputs first, then the commands that read it as a parameter file.
        const std::vector<std::vector<std::string>> commands = {
            {"--file", record, "peq-import", "out", "1", input.path},
            {"--file", record, "-f", input.path},
            {"-f", input.path},
            {"dump", input.path},
            {"diff", input.path, record},
            {"report", input.path, report},
            {"--file", input.path, "set", "in", "1", "gain", "-3"},
        };
        for (std::size_t i = 0; i < commands.size(); ++i) {
            const auto& args = commands[i];
            const CliRun r = RunCli(args);
            const std::string shown = ::testing::PrintToString(args);
            const std::string& says = i >= 3 && !input.saysOfARecord.empty() ? input.saysOfARecord : input.says;
            EXPECT_NE(r.code, 0) << shown;
            EXPECT_NE(r.err.find(says), std::string::npos) << shown << ": " << r.err;
            EXPECT_LT(r.took.count(), 1000) << shown;
        }
    }
    EXPECT_EQ(Bytes(record), before) << "no refusal touched the parameter file";
    EXPECT_FALSE(std::filesystem::exists(report));
}
#endif

TEST(CliInputs, EndlessOrBinaryStandardInputEndsAScriptWithItsReason) {
    TempDir dir;
    const std::string record = (dir / "show.asc").string();
    ASSERT_EQ(RunCli({"defaults", record}).code, 0);
    const std::string before = Bytes(record);

    CliRun r = RunCli({"--file", record, "-f", "-"}, std::string(10 << 20, 'x'));
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.err, "line 1: the script stops here: a line is longer than 64 KiB\n");
    std::string many;
    while (many.size() <= (1u << 20)) many += "set in 1 mute on\n";
    r = RunCli({"--file", record, "-f", "-"}, many);
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("the script stops here: the input is larger than 1 MiB"), std::string::npos) << r.err;
    r = RunCli({"--file", record, "-f", "-"}, std::string("set in 1 gain -3\nset in 2") + '\0' + "gain -4\n");
    EXPECT_NE(r.code, 0);
    EXPECT_EQ(r.err.rfind("line 2: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("nothing was written to " + record), std::string::npos) << r.err;
    EXPECT_EQ(Bytes(record), before) << "a script that fails changes nothing";
}

TEST(CliInputs, TypedNumbersAreTakenAsWrittenAndNothingElse) {
    TempDir dir;
    const std::string record = (dir / "show.asc").string();
    ASSERT_EQ(RunCli({"defaults", record}).code, 0);
    const auto set = [&](std::vector<std::string> words) {
        std::vector<std::string> args = {"--file", record, "set"};
        args.insert(args.end(), words.begin(), words.end());
        return RunCli(args);
    };
    for (const std::string v : {"-6", "-6dB", "+3", "3.", ".5", "-1e1", "-0.5DB"})
        EXPECT_EQ(set({"in", "2", "gain", v}).code, 0) << v << ": " << set({"in", "2", "gain", v}).err;
    const std::string before = Bytes(record);
    for (const std::string v : {"-0x10", "0x1p3", "inf", "nan", "-6junk", "6 dB", " -6", "--6", "1e0001", "1e400",
                                "-6dBu", "", ".", "e5", "1,5"}) {
        const CliRun r = set({"in", "2", "gain", v});
        EXPECT_EQ(r.code, 2) << "'" << v << "'";
        EXPECT_EQ(r.err, "Input range:[-90,+12]\n") << "'" << v << "'";
    }
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"out", "1", "limit", "0x5"}, "Input range:[-27.5,+22]"},
        {{"out", "1", "limit", "5dB"}, "Input range:[-27.5,+22]"},
        {{"in", "1", "delay", "0x10ms"}, "Input range:[0,2000ms]"},
        {{"in", "1", "delay", "1.5mm"}, "Input range:[0,2000ms]"},
        {{"in", "1", "delay", "inf"}, "Input range:[0,2000ms]"},
        {{"out", "1", "peq", "1", "peaking", "0x3e8", "-3", "1.4"}, "Input range:[20,20000]"},
        {{"out", "1", "peq", "1", "peaking", "1k", "-3x", "1.4"}, "Input range:[-12,+12]"},
        {{"out", "1", "peq", "1", "peaking", "1k", "-3", "nan"}, "Input range:[0.31,19.4]"},
        {{"out", "1", "xover", "hp", "lr24", "1e999"}, "Input range:[20,20000]"},
        {{"in", "1", "comp", "attack", "0x10"}, "Input range:[0.01,10000ms]"},
        {{"in", "1", "comp", "ratio", "4:1"}, "Input range:[1,99]"},
    };
    for (const auto& [words, message] : refused) {
        const CliRun r = set(words);
        EXPECT_NE(r.code, 0) << ::testing::PrintToString(words);
        EXPECT_EQ(r.err, message + "\n") << ::testing::PrintToString(words);
    }
    EXPECT_EQ(RunCli({"--file", record, "generator", "on", "0x400", "-20"}).err,
              "Frequency parameters range:[20,20000]\n");
    EXPECT_EQ(RunCli({"--file", record, "generator", "on", "1k", "-20x"}).err,
              "Level parameters parameters range:[-90,0]\n");
    EXPECT_EQ(Bytes(record), before) << "no refused value was stored";
    EXPECT_EQ(RunCli({"--file", record, "generator", "on", "1,000Hz", "-20dB"}).code, 0);

    for (const std::vector<std::string>& args : {std::vector<std::string>{"--id", "0x05", "scan"},
                                                {"--id", "+5", "scan"},
                                                {"levels", "--count", "1e1"},
                                                {"download", record, "--retry", "0b1"}}) {
        const CliRun r = RunCli(args);
        EXPECT_EQ(r.code, 2) << ::testing::PrintToString(args);
        EXPECT_NE(r.err.find("is not a whole number written in decimal digits"), std::string::npos) << r.err;
    }
}
