#include "protocol/HexCodec.h"

#include "model/Records.h"

#include <gtest/gtest.h>

using namespace quellmarin;

TEST(HexCodec, EncodeIsTwoUpperCaseDigitsPerByte) {
    const std::uint8_t bytes[] = {0x00, 0x0A, 0x10, 0x7F, 0xFF};
    EXPECT_EQ(HexEncode(bytes), "000A107FFF");
    EXPECT_EQ(HexEncode({}), "");
    const ParameterBytes record = ToBytes(DefaultSystemParameters());
    const std::string hex = HexEncode(record);
    ASSERT_EQ(hex.size(), 1872u);
    EXPECT_EQ(hex.substr(0, 6), "01002E");
    EXPECT_TRUE(IsUpperHex(hex));
}

TEST(HexCodec, DecodeFollowsTheDevicePairRule) {
    const ParameterBytes record = ToBytes(DefaultSystemParameters());
    // Any 11 characters, the record, one closing character: the first pair is at 11.
    const std::string reply = "(01Q000abcd" + HexEncode(record) + ")";
    const std::vector<std::uint8_t> decoded = HexDecode(reply, 9);
    ASSERT_EQ(decoded.size(), 937u) << "the closing character makes one leftover byte";
    EXPECT_TRUE(std::equal(record.begin(), record.end(), decoded.begin()));

    const DeviceInfoBytes info = ToBytes(DefaultDeviceInfo());
    const std::vector<std::uint8_t> infoDecoded =
        HexDecode("(01I000" + std::string("x") + HexEncode(info), 6);
    ASSERT_EQ(infoDecoded.size(), 169u);
    EXPECT_TRUE(std::equal(info.begin(), info.end(), infoDecoded.begin()));

    EXPECT_TRUE(HexDecode("", 9).empty());
    EXPECT_TRUE(HexDecode("(01L", 2).empty()) << "n below 3 gives nothing";
    EXPECT_TRUE(HexDecode("abc", 9).empty()) << "a skip beyond the text gives nothing";
    EXPECT_EQ(HexDecode("xx0A1", 0),
              (std::vector<std::uint8_t>{0x0A, static_cast<std::uint8_t>(16 * 1 - 48)}))
        << "a last pair cut in half takes the terminating zero, as the device does";
    EXPECT_EQ(HexDecode("xx0a", 0), std::vector<std::uint8_t>{42}) << "lower case decodes wrong";
    EXPECT_EQ(HexDecode("xxFF", 0), std::vector<std::uint8_t>{255});
}

TEST(HexCodec, StrictRecordReplyRefusesShortOrGarbledData) {
    const ParameterBytes record = ToBytes(DefaultSystemParameters());
    const std::string data = HexEncode(record);
    const std::string good = "(01Q000abcd" + data + ")";
    const auto ok = DecodeRecordReply(good, 9, 936);
    ASSERT_TRUE(ok.has_value());
    EXPECT_TRUE(std::equal(record.begin(), record.end(), ok->begin()));
    EXPECT_TRUE(DecodeRecordReply("(01Q000abcd" + data, 9, 936).has_value()) << "no closing character needed";

    std::string cut = good.substr(0, good.size() - 3);
    EXPECT_FALSE(DecodeRecordReply(cut, 9, 936).has_value());
    std::string lower = good;
    lower[11 + 100] = 'e';
    lower[11 + 101] = 'a';
    EXPECT_FALSE(DecodeRecordReply(lower, 9, 936).has_value());
    std::string garbled = good;
    garbled[11 + 1871] = 'G';
    EXPECT_FALSE(DecodeRecordReply(garbled, 9, 936).has_value());
    EXPECT_FALSE(DecodeRecordReply("", 9, 936).has_value());
    EXPECT_FALSE(DecodeRecordReply("(01Q000", 9, 936).has_value());
}
