// The port classes over a real pseudo-terminal, with the raw master side standing in for the device.
#include "link/SerialPort.h"

#include "LinkTestSupport.h"

#include <gtest/gtest.h>

using namespace quellmarin;
using namespace quellmarin::test;

namespace {

struct PtyPort : ::testing::Test {
    sim::PseudoTerminal pty;
    std::unique_ptr<SerialLine> device = pty.TakeMaster();
    SystemPortProvider provider;
    CSerialPort port{provider, LinkTimings::Fast()};

    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        port.SetDeviceLineSettings();
        port.SetPortName(pty.SlavePath());
    }
};

} // namespace

TEST_F(PtyPort, OpenCodesAndExclusiveUse) {
    ASSERT_EQ(port.Open(), 0);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.Open(), 0) << "opening an open port touches nothing";

    CSerialPort second(provider);
    second.SetDeviceLineSettings();
    second.SetPortName(pty.SlavePath());
    EXPECT_EQ(second.Open(), 1) << "a port in use cannot be opened again";
    port.Close();
    EXPECT_EQ(second.Open(), 0) << "and can once it was closed";
    second.Close();

    CSerialPort missing(provider);
    missing.SetDeviceLineSettings();
    missing.SetPortName("/dev/quellmarin-no-such-port");
    EXPECT_EQ(missing.Open(), 1);
    CSerialPort plainFile(provider);
    plainFile.SetDeviceLineSettings();
    plainFile.SetPortName("/etc/hostname");
    EXPECT_EQ(plainFile.Open(), 1) << "only terminals are serial ports";

    CSerialPort unset(provider);
    unset.SetPortName(pty.SlavePath());
    unset.SetLineSettings("38400", "", "8", "1");
    EXPECT_EQ(unset.Open(), 2);
    EXPECT_FALSE(unset.IsOpen());
    EXPECT_EQ(port.Open(), 0) << "a refused open leaves the port free";
}

TEST_F(PtyPort, ReadsAreCutAt2048AndTheRestIsPurged) {
    ASSERT_EQ(port.Open(), 0);
    std::string big(3000, 'x');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('A' + i % 26);
    ASSERT_EQ(device->Write(big, 1s), big.size());
    port.WaitForReply(3000, 1000ms);
    const std::string got = port.ReadText();
    EXPECT_EQ(got.size(), 2048u);
    EXPECT_EQ(got, big.substr(0, 2048));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(port.ReadText(), "") << "what came beyond the limit was discarded";

    // An empty read returns at once.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.ReadText(), "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 50ms);

    // A zero byte ends the text.
    device->Write(std::string("(01L\0tail", 9), 1s);
    port.WaitForReply(9, 500ms);
    EXPECT_EQ(port.ReadText(), "(01L");
}

TEST_F(PtyPort, ExclusiveFlagShutsOutPlainReadsAndWrites) {
    ASSERT_EQ(port.Open(), 0);
    port.BeginExclusive();
    EXPECT_TRUE(port.Exclusive());
    EXPECT_FALSE(port.WriteText("(01L)"));
    EXPECT_TRUE(port.WriteTextAlways("(01I)"));
    ASSERT_TRUE(device->WaitForBytes(5, 500ms));
    EXPECT_EQ(device->Read(100), "(01I)") << "only the exclusive write reached the wire";

    device->Write("(reply)", 1s);
    port.WaitForReply(7, 500ms);
    EXPECT_EQ(port.ReadText(), "") << "a plain read gets nothing while exclusive";
    EXPECT_EQ(port.ReadTextAlways(), "(reply)");
    port.EndExclusive();
    EXPECT_TRUE(port.WriteText("(01L)"));
    EXPECT_FALSE(port.WriteText(std::string(2048, 'x'))) << "frames of 2048 characters are refused";
    EXPECT_FALSE(port.WriteText(""));
}

TEST_F(PtyPort, AKnownReplyEndsTheWaitEarly) {
    ASSERT_EQ(port.Open(), 0);
    device->Write("(88olleh70)", 1s);
    const auto start = std::chrono::steady_clock::now();
    port.WaitForReply(11, 1000ms);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    EXPECT_EQ(port.ReadText(), "(88olleh70)");

    const auto idle = std::chrono::steady_clock::now();
    port.WaitForReply(0, 60ms);
    EXPECT_GE(std::chrono::steady_clock::now() - idle, 60ms) << "an unknown reply waits the whole time";
}

TEST(Loopback, HostEndIsExclusiveAndPurgeDropsOnlyWhatArrived) {
    auto hub = LoopbackHub::Create();
    auto device = hub->DeviceEnd();
    auto host = hub->HostEnd();
    auto other = hub->HostEnd();
    device->Write("lost", 1s);
    ASSERT_TRUE(host->Open("virtual"));
    EXPECT_FALSE(other->Open("virtual"));
    EXPECT_EQ(host->BytesWaiting(), 0u) << "nothing was listening before the open";
    host->Write("(01L)", 1s);
    device->Write("(01Lxx)", 1s);
    host->Purge();
    EXPECT_EQ(host->BytesWaiting(), 0u);
    EXPECT_EQ(device->Read(100), "(01L)");
    host->Close();
    EXPECT_TRUE(other->Open("virtual"));
}
