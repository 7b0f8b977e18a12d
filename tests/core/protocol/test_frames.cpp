#include "protocol/Frames.h"

#include "protocol/HexCodec.h"
#include "model/Records.h"

#include <gtest/gtest.h>

using namespace quellmarin;

TEST(Frames, ParameterCommandsMatchThePublishedExamples) {
    EXPECT_EQ(AddressText(1), "01");
    EXPECT_EQ(AddressText(7), "07");
    EXPECT_EQ(AddressText(12), "12");
    EXPECT_EQ(AddressText(50), "50");

    EXPECT_EQ(FrameInputGain("01", 0, 181), "(01$0280181)");
    EXPECT_EQ(FrameInputGain("01", 0, 183), "(01$0280183)");
    EXPECT_EQ(FrameInputGain("01", 0, 1), "(01$0280001)");
    EXPECT_EQ(FrameInputGain("01", 0, 45), "(01$0280045)");
    EXPECT_EQ(FrameInputGain("01", 0, 181).size(), kGainFrameLength);
    EXPECT_EQ(FrameOutputGain("01", 2, 181), "(01$0352181)");
    EXPECT_NE(FrameInputGain("01", 10, 181).size(), kGainFrameLength) << "channel above 9 breaks the length";

    EXPECT_EQ(FrameInputPeqBand("01", 0, 0, 1, 59, 24, 46), "(01$027000105924046)");
    EXPECT_EQ(FrameOutputPeqBand("01", 3, 6, 5, 109, 24, 46), "(01$034306510924046)");
    EXPECT_EQ(FrameInputPeqBand("07", 4, 2, 3, 5, 3, 7), "(07$027402300503007)");
    EXPECT_EQ(FrameInputPeqEnable("01", 0, true), "(01$0260111)");
    EXPECT_EQ(FrameInputPeqEnable("01", 0, false), "(01$0260000)");
    EXPECT_EQ(FrameOutputPeqEnable("01", 0, false), "(01$0380000)");
    EXPECT_EQ(FrameOutputPeqEnable("01", 5, true), "(01$0385111)");

    EXPECT_EQ(FrameInputDelay("01", 0, 48), "(01$0290000048)");
    EXPECT_EQ(FrameInputDelay("01", 0, 96000), "(01$0290096000)");
    EXPECT_EQ(FrameOutputDelay("01", 1, 480), "(01$0321000480)");
    EXPECT_EQ(FrameInputDelay("01", 0, 96000).size(), kDelayFrameLength);

    EXPECT_EQ(FrameInputMute("01", 3, true), "(01$0303001)");
    EXPECT_EQ(FrameInputMute("01", 3, false), "(01$0303000)");
    EXPECT_EQ(FrameOutputMute("01", 7, true), "(01$0377001)");
    EXPECT_EQ(FrameInputMute("01", 3, true).size(), kMuteFrameLength);
    EXPECT_EQ(FramePolarity("01", 0, true), "(01$0390111)");
    EXPECT_EQ(FramePolarity("01", 0, false), "(01$0390000)");

    EXPECT_EQ(FrameLimit("01", 0, 55), "(01$036000005500)");
    EXPECT_EQ(FrameLimit("01", 0, 0), "(01$036000000000)");
    EXPECT_EQ(FrameLimit("01", 6, 99), "(01$036600009900)");
    EXPECT_EQ(FrameLimit("01", 0, 55).size(), kLimitFrameLength);

    EXPECT_EQ(FrameCompressor("01", 0, 54, 0, 120, 56), "(01$0440540012056)");
    EXPECT_EQ(FrameCompressor("01", 0, 54, 0, 120, 56).size(), kCompFrameLength);
    EXPECT_EQ(FrameCompressor("12", 7, 0, 99, 5, 72), "(12$0447009900572)");

    EXPECT_EQ(FrameCrossover("01", 0, 11, 29, 0, 122), "(01$03301102900122)");
    EXPECT_EQ(FrameCrossover("01", 0, 0, 0, 0, 122), "(01$03300000000122)");
    EXPECT_EQ(FrameCrossover("01", 0, 11, 29, 0, 122).size(), kCrossoverFrameLength);

    const std::uint8_t route[8] = {0, 0, 181, 0, 0, 0, 0, 0};
    EXPECT_EQ(FrameRoute("01", 2, route, DeviceModel::Mivon), "(01$0312000000181000000000000000)");
    EXPECT_EQ(FrameRoute("01", 2, route, DeviceModel::Mivon).size(), kRouteFrameLength);
    const std::uint8_t ketraRoute[8] = {181, 5, 7, 181, 181, 0, 0, 3};
    EXPECT_EQ(FrameRoute("01", 7, ketraRoute, DeviceModel::Ketra), "(01$0317000000000000181000000003)");
    EXPECT_EQ(FrameRoute("01", 7, ketraRoute, DeviceModel::Mivon), "(01$0317181005007181181000000003)");

    const std::uint8_t links[8] = {0, 0, 2, 2, 4, 5, 6, 7};
    EXPECT_EQ(FrameInputLink("01", links), "(01$04000224567)");
    EXPECT_EQ(FrameOutputLink("01", links), "(01$04100224567)");

    EXPECT_EQ(FrameGenerator("01", true, 69, 181), "(01$0011069181)");
    EXPECT_EQ(FrameGenerator("01", false, 68, 1), "(01$0010068001)");
    EXPECT_EQ(FrameGenerator("01", true, 69, 181).size(), kGeneratorFrameLength);
}

TEST(Frames, LetterCommands) {
    EXPECT_EQ(FrameEnd("01"), "(01B)");
    EXPECT_EQ(FrameEnd("00"), "(00B)") << "the unselected address is still sent";
    EXPECT_EQ(FrameAlias("01", 1, 2, "Stage left     "), "(01E12Stage left     )");
    EXPECT_EQ(FrameAlias("01", 1, 2, "Stage left     ").size(), kAliasFrameLength);
    EXPECT_EQ(FrameDeleteProgram("01", 3), "(01G003)");
    EXPECT_EQ(FrameDeviceInfoRequest("01"), "(01I)");
    EXPECT_EQ(FramePanelLock("01", 1), "(01J001)");
    EXPECT_EQ(FramePanelLock("01", 0), "(01J000)");
    EXPECT_EQ(FrameResetRoute("01"), "(01K)");
    EXPECT_EQ(FrameResetRoute("01").size(), kResetRouteFrameLength);
    EXPECT_EQ(FrameLevelPoll("07"), "(07L)");
    EXPECT_EQ(FrameParameterRequest("01"), "(01Q000)");
    EXPECT_EQ(FrameRecallProgram("01", 7), "(01R007)");
    EXPECT_EQ(FrameStoreProgram("01", 5), "(01S005)");
    EXPECT_EQ(FrameProgramQuery("01", 40), "(01T040)");
    EXPECT_EQ(FrameProgramQuery("01", 1).size(), kProgramFrameLength);
    EXPECT_EQ(FrameNameReply("01", 5), "(01N005)");
    EXPECT_EQ(FrameHello(7), "(07hello)");
    EXPECT_EQ(FrameHello(12), "(12hello)");

    const std::string ab = FrameRenameProgram("01", 5, EncodeProgramName("AB"));
    EXPECT_EQ(
        ab, "(01N0054142" + [] {
            std::string dots;
            for (int i = 0; i < 18; ++i) dots += "2E";
            return dots;
        }() + ")");
    EXPECT_EQ(ab.size(), kNameFrameLength);
    std::string twentyDots;
    for (int i = 0; i < 20; ++i) twentyDots += "2E";
    EXPECT_EQ(EncodeProgramName(""), twentyDots);
    EXPECT_EQ(EncodeProgramName("ab\x05").substr(0, 6), "616205") << "upper-case digits, two per byte";
    EXPECT_EQ(EncodeProgramName("a name longer than twenty").size(), 40u);

    const std::string hex = HexEncode(ToBytes(DefaultSystemParameters()));
    const std::string download = FrameDownload("01", hex);
    EXPECT_EQ(download.size(), kDownloadFrameLength);
    EXPECT_EQ(download.substr(0, 8), "(01P1881");
    EXPECT_EQ(download.substr(8, 1872), hex);
    EXPECT_EQ(download.back(), ')');
}

TEST(Frames, HelloReplyAcceptance) {
    EXPECT_EQ(HelloReply(7, DeviceModel::Mivon), "(88olleh70)");
    EXPECT_EQ(HelloReply(23, DeviceModel::Ketra), "(48olleh32)");
    EXPECT_TRUE(IsHelloReply("(88olleh70)", 7, DeviceModel::Mivon));
    EXPECT_FALSE(IsHelloReply("(88olleh70)", 7, DeviceModel::Ketra)) << "the other model's code";
    EXPECT_FALSE(IsHelloReply("(48olleh70)", 7, DeviceModel::Mivon));
    EXPECT_TRUE(IsHelloReply("(48olleh70)", 7, DeviceModel::Ketra));
    EXPECT_FALSE(IsHelloReply("(88olleh07)", 7, DeviceModel::Mivon)) << "ID digits not reversed";
    EXPECT_FALSE(IsHelloReply("(88olleh23)", 23, DeviceModel::Mivon));
    EXPECT_TRUE(IsHelloReply("(88olleh32)", 23, DeviceModel::Mivon));
    for (int id : {11, 22, 33, 44}) {
        std::string same = "(88olleh" + std::to_string(id) + ")";
        EXPECT_TRUE(IsHelloReply(same, id, DeviceModel::Mivon)) << "equal digits read the same both ways";
    }
    EXPECT_FALSE(IsHelloReply("(88olleh70", 7, DeviceModel::Mivon));
    EXPECT_FALSE(IsHelloReply("(88olleh70))", 7, DeviceModel::Mivon));
    EXPECT_FALSE(IsHelloReply("(8Xolleh70)", 7, DeviceModel::Mivon));
    EXPECT_FALSE(IsHelloReply("(88hello70)", 7, DeviceModel::Mivon));
    EXPECT_FALSE(IsHelloReply("(88olleh71)", 18, DeviceModel::Mivon)) << "a reply for another ID";
    for (DeviceModel m : {DeviceModel::Mivon, DeviceModel::Ketra})
        for (int id = 1; id <= 50; ++id) {
            EXPECT_TRUE(IsHelloReply(HelloReply(id, m), id, m)) << id;
            if (id != 50) {
                EXPECT_FALSE(IsHelloReply(HelloReply(id, m), id + 1, m)) << id;
            }
        }
}

TEST(Frames, LevelFrameDecoding) {
    std::uint8_t raw[18] = {96, 0, 50, 95, 1, 48, 96, 10, 0xA5, 0, 96, 20, 30, 40, 50, 60, 70, 0x0F};
    const std::string frame = "(01L" + HexEncode(raw) + ")";
    ASSERT_EQ(frame.size(), 41u);
    const auto f = DecodeLevelFrame(frame, DeviceModel::Mivon);
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(f->in[0], 0) << "a received 96 is an empty meter";
    EXPECT_EQ(f->in[1], 96) << "a received 0 is the highest level";
    EXPECT_EQ(f->in[2], 46);
    EXPECT_EQ(f->in[7], 86);
    EXPECT_EQ(f->inStatus, 0xA5);
    EXPECT_EQ(f->out[0], 96);
    EXPECT_EQ(f->out[1], 0);
    EXPECT_EQ(f->out[7], 26);
    EXPECT_EQ(f->outStatus, 0x0F);

    raw[0] = 200;
    raw[9] = 0xFF;
    const auto wrapped = DecodeLevelFrame("(01L" + HexEncode(raw) + ")", DeviceModel::Mivon);
    EXPECT_EQ(wrapped->in[0], 0) << "a byte above 96 is an empty meter, never a level above 96";
    EXPECT_EQ(wrapped->out[0], 0);

    // Ketra moves its input status bits: 0 -> 4, 2 -> 5, 5 -> 6, 7 -> 7.
    EXPECT_EQ(DecodeLevelFrame(frame, DeviceModel::Ketra)->inStatus, RebuildKetraInputStatus(0xA5));
    EXPECT_EQ(RebuildKetraInputStatus(0x01), 0x10);
    EXPECT_EQ(RebuildKetraInputStatus(0x04), 0x20);
    EXPECT_EQ(RebuildKetraInputStatus(0x20), 0x40);
    EXPECT_EQ(RebuildKetraInputStatus(0x80), 0x80);
    EXPECT_EQ(RebuildKetraInputStatus(0x5A), 0x00);
    EXPECT_EQ(RebuildKetraInputStatus(0xFF), 0xF0);
    EXPECT_EQ(DecodeLevelFrame(frame, DeviceModel::Ketra)->outStatus, 0x0F) << "outputs are not rebuilt";

    EXPECT_FALSE(DecodeLevelFrame("(" + std::string(38, '0') + ")", DeviceModel::Mivon))
        << "a 40-character reply is not a level frame";
    std::string noClose = frame;
    noClose[40] = '0';
    EXPECT_FALSE(DecodeLevelFrame(noClose, DeviceModel::Mivon));
    std::string noOpen = frame;
    noOpen[0] = '[';
    EXPECT_FALSE(DecodeLevelFrame(noOpen, DeviceModel::Mivon));
    EXPECT_FALSE(DecodeLevelFrame("", DeviceModel::Mivon));
    std::string lower = frame;
    lower[4] = '5';
    lower[5] = 'a';
    EXPECT_FALSE(DecodeLevelFrame(lower, DeviceModel::Mivon)) << "a lower-case digit is no level frame";
    lower[5] = 'g';
    EXPECT_FALSE(DecodeLevelFrame(lower, DeviceModel::Mivon)) << "nor a garbled one";
    lower[5] = 'A';
    EXPECT_EQ(DecodeLevelFrame(lower, DeviceModel::Mivon)->in[0], 96 - 0x5A);

    EXPECT_EQ(TrimBlanks("  (01L)\r\n"), "(01L)");
    EXPECT_EQ(TrimBlanks(" \t "), "");
}

TEST(Frames, ProgramNameReplies) {
    const auto reply = [](const std::string& nameBytes) {
        std::string hex;
        std::vector<std::uint8_t> bytes(nameBytes.begin(), nameBytes.end());
        bytes.resize(20, 0);
        return "(01T001abc" + HexEncode(bytes) + ")";
    };
    ASSERT_EQ(reply("Stage").size(), 51u);
    EXPECT_EQ(DecodeProgramName(reply("Stage")), "Stage") << "the name ends at its first zero byte";
    EXPECT_EQ(DecodeProgramName(reply("Twenty characters!!!")), "Twenty characters!!!");
    EXPECT_EQ(DecodeProgramName(reply(std::string("AB\0CD", 5))), "AB");
    std::string garbled = reply("Stage");
    garbled[12] = 'z';
    EXPECT_FALSE(DecodeProgramName(garbled).has_value());
    EXPECT_FALSE(DecodeProgramName(reply("Stage").substr(0, 50)).has_value());
    EXPECT_FALSE(DecodeProgramName(std::string(kEmptyProgramReply)).has_value());
    EXPECT_EQ(kEmptyProgramReply, "(error059)");
}
