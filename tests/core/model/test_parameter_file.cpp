#include "model/ParameterFile.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace quellmarin;
using quellmarin::test::TempDir;

namespace {

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A state that differs from the defaults in every block.
void EditEverywhere(SystemParameters& p, DeviceInfoRecord& d) {
    SetProgramName(p, "Festival main hang 1");
    p.InCH[1].LinkIndex = 0;
    p.InCH[2].Peq[3] = {1, 77, 30, 12};
    p.InCH[5].Gain = 171;
    SetDelaySamples(p.InCH[6], 4321);
    p.OutCH[3].LinkIndex = 2;
    p.OutCH[4].HpfType = 11;
    p.OutCH[4].HpfFreq = 29;
    p.OutCH[7].Limit = 40;
    p.Comp[3] = {10, 20, 30, 40};
    std::memcpy(p.ChName[9], "Sub left       ", 15);
    p.RecordTail[1] = 7;
    d.DeviceId = 12;
    d.ProgramNo = 17;
    d.GenRun = 1;
}

std::uint8_t Config(DeviceModel m) {
    return ChannelConfigOf(m);
}

} // namespace

TEST(ParameterFile, CurrentLayoutRoundTripsByteForByte) {
    TempDir dir;
    SystemParameters p = DefaultSystemParameters();
    DeviceInfoRecord d = DefaultDeviceInfo();
    EditEverywhere(p, d);

    const auto path = dir / "show.asc";
    ASSERT_EQ(SaveParameterFile(path, p, d), "");
    const std::vector<std::uint8_t> first = ReadAll(path);
    ASSERT_EQ(first.size(), 1105u);
    EXPECT_EQ(0, std::memcmp(first.data(), &p, 936));
    EXPECT_EQ(0, std::memcmp(first.data() + 936, &d, 169));

    const LoadResult loaded = LoadParameterFile(path, Config(kBuildModel));
    ASSERT_TRUE(loaded.ok()) << loaded.message;
    EXPECT_FALSE(loaded.records->oldLayout);
    EXPECT_TRUE(loaded.records->params == p);
    EXPECT_TRUE(loaded.records->info == d);
    EXPECT_EQ(ProgramName(loaded.records->params), "Festival main hang 1");

    ASSERT_EQ(SaveParameterFile(path, loaded.records->params, loaded.records->info), "");
    EXPECT_EQ(ReadAll(path), first);
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(ParameterFile, OldLayoutImportResetsCompressorsNamesAndInputLinks) {
    SystemParameters p = DefaultSystemParameters();
    DeviceInfoRecord d = DefaultDeviceInfo();
    EditEverywhere(p, d);
    p.InCH[7].LinkIndex = 4;
    const ParameterBytes record = ToBytes(p);
    std::vector<std::uint8_t> bytes(record.begin(), record.begin() + 662);
    const DeviceInfoBytes info = ToBytes(d);
    bytes.insert(bytes.end(), info.begin(), info.end());
    ASSERT_EQ(bytes.size(), 831u);

    const LoadResult loaded = LoadParameterFile(bytes, Config(kBuildModel));
    ASSERT_TRUE(loaded.ok()) << loaded.message;
    const SystemParameters& got = loaded.records->params;
    EXPECT_TRUE(loaded.records->oldLayout);
    EXPECT_TRUE(loaded.records->info == d);
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(got.InCH[k].LinkIndex, k) << "input " << k << " is unlinked";
        EXPECT_EQ(got.Comp[k].Attack, 54);
        EXPECT_EQ(got.Comp[k].Release, 56);
        EXPECT_EQ(got.Comp[k].Threshold, 120);
        EXPECT_EQ(got.Comp[k].Ratio, 0);
    }
    for (int n = 0; n < 16; ++n) EXPECT_EQ(std::string(got.ChName[n], 15), std::string(15, '*'));
    EXPECT_EQ(got.RecordTail[1], 0);
    EXPECT_EQ(got.OutCH[3].LinkIndex, 2) << "output links stay as stored";
    EXPECT_EQ(got.InCH[2].Peq[3].Freq, 77);
    EXPECT_EQ(got.OutCH[7].Limit, 40);
    EXPECT_EQ(ProgramName(got), "Festival main hang 1");
}

TEST(ParameterFile, WrongSizesAndUnreadableFilesAreRefused) {
    TempDir dir;
    const std::vector<std::uint8_t> good = ParameterFileBytes(DefaultSystemParameters(), DefaultDeviceInfo());
    for (std::size_t size : {std::size_t(0), std::size_t(1), std::size_t(830), std::size_t(832),
                             std::size_t(1104), std::size_t(1106), std::size_t(4096)}) {
        std::vector<std::uint8_t> bytes(size, 0x88);
        std::copy_n(good.begin(), std::min(size, good.size()), bytes.begin());
        const LoadResult fromBytes = LoadParameterFile(bytes, Config(kBuildModel));
        EXPECT_FALSE(fromBytes.ok()) << size;
        EXPECT_EQ(fromBytes.message, "File read Failed...!") << size;

        const auto path = dir / ("size" + std::to_string(size) + ".asc");
        WriteAll(path, bytes);
        const LoadResult fromFile = LoadParameterFile(path, Config(kBuildModel));
        EXPECT_FALSE(fromFile.ok()) << size;
        EXPECT_EQ(fromFile.message, "File read Failed...!") << size;
    }
    EXPECT_EQ(LoadParameterFile(dir / "missing.asc", Config(kBuildModel)).message, "File read Failed...!");
    EXPECT_EQ(LoadParameterFile(dir.path(), Config(kBuildModel)).message, "File read Failed...!");
    EXPECT_EQ(LoadParameterFile(std::filesystem::path(), Config(kBuildModel)).message,
              "File read Failed...!");
}

TEST(ParameterFile, ChannelConfigMismatchIsRefusedBothWays) {
    for (auto [fileModel, deviceModel] : {std::pair{DeviceModel::Mivon, DeviceModel::Ketra},
                                          std::pair{DeviceModel::Ketra, DeviceModel::Mivon}}) {
        const auto bytes =
            ParameterFileBytes(DefaultSystemParameters(fileModel), DefaultDeviceInfo(fileModel));
        const LoadResult r = LoadParameterFile(bytes, Config(deviceModel));
        EXPECT_FALSE(r.ok());
        EXPECT_EQ(r.message, "Import file error,it is incompatible with device");

        std::vector<std::uint8_t> old(bytes.begin(), bytes.begin() + 662);
        old.insert(old.end(), bytes.begin() + 936, bytes.end());
        EXPECT_EQ(LoadParameterFile(old, Config(deviceModel)).message,
                  "Import file error,it is incompatible with device");
        EXPECT_TRUE(LoadParameterFile(bytes, Config(fileModel)).ok());
    }
}

TEST(ParameterFile, SaveChecksTheExtension) {
    TempDir dir;
    const auto p = DefaultSystemParameters();
    const auto d = DefaultDeviceInfo();
    EXPECT_EQ(SaveParameterFile(dir / "UPPER.ASC", p, d), "");
    EXPECT_EQ(SaveParameterFile(dir / "Mixed.Asc", p, d), "");
    EXPECT_EQ(ReadAll(dir / "UPPER.ASC").size(), 1105u);
    EXPECT_EQ(SaveParameterFile(dir / "notes.txt", p, d), "File ext error...!");
    EXPECT_EQ(SaveParameterFile(dir / "noextension", p, d), "File ext error...!");
    EXPECT_EQ(SaveParameterFile(dir / "show.asc.bak", p, d), "File ext error...!");
    EXPECT_FALSE(std::filesystem::exists(dir / "notes.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir / "noextension"));
}

TEST(ParameterFile, FailedSaveLeavesTheOldFileInPlace) {
    TempDir dir;
    SystemParameters p = DefaultSystemParameters();
    DeviceInfoRecord d = DefaultDeviceInfo();
    EditEverywhere(p, d);
    const auto target = dir / "good.asc";
    ASSERT_EQ(SaveParameterFile(target, p, d), "");
    const std::vector<std::uint8_t> good = ReadAll(target);

    // A folder that does not exist and a target that is a folder cannot be created.
    EXPECT_EQ(SaveParameterFile(dir / "no-such-folder" / "x.asc", p, d), "File Open Error...!");
    std::filesystem::create_directory(dir / "folder.asc");
    EXPECT_EQ(SaveParameterFile(dir / "folder.asc", p, d), "File Open Error...!");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "folder.asc"));

#ifndef _WIN32
    const SystemParameters defaults = DefaultSystemParameters();
    if (::geteuid() != 0) {
        // A read-only folder: the old file stays and no temporary file is left behind.
        std::filesystem::permissions(dir.path(),
                                     std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        EXPECT_EQ(SaveParameterFile(target, defaults, d), "File Open Error...!");
        std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
    }
    // A write that fails halfway (here: a file-size limit that even root obeys) must not leave a
    // truncated file where the good one was.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{500, 500};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const std::string_view message = SaveParameterFile(target, defaults, d);
        ::_exit(message == "File save failed!" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the save under the size limit must report failure";
#endif
    EXPECT_EQ(ReadAll(target), good);
    std::size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
        EXPECT_EQ(e.path().extension(), ".asc") << "left behind: " << e.path();
    }
    EXPECT_EQ(entries, 2u);
}
