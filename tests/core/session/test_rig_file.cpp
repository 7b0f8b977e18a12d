// The show file: a rig of several processors round trips whole, and anything damaged is refused with
// its reason before a single processor is taken.
#include "session/RigFile.h"

#include "TempDir.h"
#include "model/ParameterFile.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace quellmarin;

namespace {

std::vector<RigMember> SixUnits() {
    std::vector<RigMember> rig;
    for (int i = 0; i < 6; ++i) {
        RigMember m;
        m.name = i == 5 ? "" : "Unit " + std::string(1, static_cast<char>('A' + i));
        m.port = i < 4 ? "/dev/ttyUSB0" : "tcp://127.0.0.1:4001";
        m.id = i < 4 ? i + 1 : i - 3;
        m.model = i == 4 ? DeviceModel::Ketra : DeviceModel::Mivon;
        m.params = DefaultSystemParameters(m.model);
        m.info = DefaultDeviceInfo(m.model);
        m.params.OutCH[2].Gain = static_cast<std::uint8_t>(100 + 10 * i); // each its own setting
        m.params.OutCH[2].Mute = static_cast<std::uint8_t>(i % 2);
        rig.push_back(m);
    }
    return rig;
}

std::string Replace(std::string text, const std::string& what, const std::string& with) {
    const auto at = text.find(what);
    if (at != std::string::npos) text.replace(at, what.size(), with);
    return text;
}

} // namespace

TEST(RigFile, SixProcessorsRoundTripThroughAFile) {
    const std::vector<RigMember> rig = SixUnits();
    quellmarin::test::TempDir dir;
    const auto path = dir / "show.json";
    ASSERT_EQ(SaveRigFile(path, rig), "");
    const RigRead read = OpenRigFile(path);
    ASSERT_TRUE(read.ok()) << read.problem;
    ASSERT_EQ(read.members->size(), 6u);
    for (std::size_t i = 0; i < rig.size(); ++i) EXPECT_TRUE((*read.members)[i] == rig[i]) << i;
    // The image is the parameter file's, so one unit's part can go to a .asc as it stands.
    const std::string text = RigFileText(rig);
    EXPECT_NE(text.find("\"format\": \"quellmarin-rig\""), std::string::npos);
    EXPECT_NE(text.find("\"model\": \"Ketra\""), std::string::npos);
    EXPECT_EQ(RigMemberLabel(rig[0]), "Unit A (ID 1 on /dev/ttyUSB0)");
    EXPECT_EQ(RigMemberLabel(rig[5]), "ID 2 on tcp://127.0.0.1:4001");
}

TEST(RigFile, DamagedOrTruncatedFilesAreRefusedWithTheirReason) {
    const std::string good = RigFileText(SixUnits());
    ASSERT_TRUE(ParseRigFile(good).ok());
    const auto refused = [](const std::string& text, const std::string& reason) {
        const RigRead r = ParseRigFile(text);
        EXPECT_FALSE(r.ok()) << reason;
        EXPECT_NE(r.problem.find(reason), std::string::npos) << "said: " << r.problem;
    };
    refused(good.substr(0, good.size() / 2), "damaged or cut short");
    refused("", "damaged or cut short");
    refused("[1,2]", "not a show file");
    refused(Replace(good, "quellmarin-rig", "something-else"), "not a show file");
    refused(Replace(good, "\"version\": 1", "\"version\": 2"), "version 2");
    refused(Replace(good, "\"id\": 3", "\"id\": 51"), "processor 3 has the device ID 51");
    refused(Replace(good, "\"id\": 3", "\"id\": \"3\""), "processor 3 has no whole-number \"id\"");
    refused(Replace(good, "\"id\": 2,", "\"id\": 1,"), "processor 2 has the same port and ID");
    refused(Replace(good, "\"model\": \"Ketra\"", "\"model\": \"Other\""), "processor 5 names the model");
    refused(Replace(good, "\"port\": \"/dev/ttyUSB0\"", "\"port\": \"\""), "processor 1 has an empty");
    // An image one byte short, one that is not hexadecimal, one of the other model's layout.
    const auto image = good.find("\"image\": \"") + 10;
    refused(std::string(good).erase(image, 2), "processor 1 has an image of 1104 bytes");
    refused(std::string(good).replace(image, 1, "x"), "not hexadecimal");
    refused(Replace(good, "\"model\": \"Mivon\"", "\"model\": \"Ketra\""), "processor 1 has an image its model");
    refused(Replace(good, "\"processors\": [", "\"processors\": [], \"x\": ["), "no processor");
}

TEST(RigFile, AFailedSaveLeavesTheOldFileAndAMissingOneIsNamed) {
    quellmarin::test::TempDir dir;
    const auto path = dir / "show.json";
    ASSERT_EQ(SaveRigFile(path, SixUnits()), "");
    EXPECT_NE(SaveRigFile(dir / "no" / "such" / "show.json", SixUnits()), "");
    EXPECT_NE(SaveRigFile(path, {}), "");
    EXPECT_TRUE(OpenRigFile(path).ok());
    const RigRead missing = OpenRigFile(dir / "none.json");
    EXPECT_FALSE(missing.ok());
    EXPECT_NE(missing.problem.find("none.json"), std::string::npos) << missing.problem;
}
