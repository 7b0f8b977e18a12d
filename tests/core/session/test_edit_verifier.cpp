// When edits are read back, what a read means, and what is sent again: on a clock of the test's own.
#include "session/EditVerifier.h"

#include "edit/RecordDiff.h"
#include "protocol/Frames.h"

#include <gtest/gtest.h>

using namespace quellmarin;
using namespace std::chrono_literals;

namespace {

using Clock = EditVerifier::Clock;
constexpr DeviceModel kModel = DeviceModel::Mivon;

struct Rig {
    EditVerifier verifier;
    Clock::time_point t0 = Clock::now();
    SystemParameters wanted = DefaultSystemParameters(kModel);
    DeviceInfoRecord wantedInfo = DefaultDeviceInfo(kModel);
    SystemParameters device = wanted;
    DeviceInfoRecord deviceInfo = wantedInfo;

    Clock::time_point At(std::chrono::milliseconds ms) const { return t0 + ms; }
    // The program sets output 3's mute; the frame leaves at `ms`.
    void MuteOutput3(std::chrono::milliseconds ms) {
        wanted.OutCH[2].Mute = 1;
        verifier.Sent(FrameOutputMute("07", 2, true), At(ms));
    }
    EditVerifier::Outcome Read(std::chrono::milliseconds ms, bool params = true, bool info = false) {
        verifier.Started(At(ms));
        return verifier.Finished(At(ms + 500ms), params ? std::optional(device) : std::nullopt,
                                 info ? std::optional(deviceInfo) : std::nullopt, wanted, wantedInfo, "07", kModel);
    }
};

} // namespace

TEST(EditVerifier, ReadsOnceTheEditsHaveSettledAndAtMostOnceInTheSpacing) {
    Rig rig;
    EXPECT_FALSE(rig.verifier.NextDue()) << "nothing edited, nothing to read";
    rig.MuteOutput3(0ms);
    rig.verifier.Sent(FrameOutputMute("07", 3, true), rig.At(400ms)); // a second edit moves the wait on
    rig.wanted.OutCH[3].Mute = 1;
    EXPECT_EQ(*rig.verifier.NextDue(), rig.At(1400ms));
    EXPECT_FALSE(rig.verifier.Due(rig.At(1399ms)));
    const auto plan = rig.verifier.Due(rig.At(1400ms));
    ASSERT_TRUE(plan);
    EXPECT_TRUE(plan->params);
    EXPECT_FALSE(plan->info) << "the device information holds nothing that was edited";
    EXPECT_TRUE(rig.verifier.Unconfirmed());

    // The device held one of the two: the other goes again, and the next read waits out the spacing.
    rig.device.OutCH[3].Mute = 1;
    const auto o = rig.Read(1400ms);
    EXPECT_EQ(o.kind, EditVerifier::Outcome::Resent);
    ASSERT_EQ(o.frames.size(), 1u);
    EXPECT_EQ(o.frames[0], FrameOutputMute("07", 2, true));
    EXPECT_EQ(*rig.verifier.NextDue(), rig.At(3400ms)) << "2 s after the last read began";

    rig.device.OutCH[2].Mute = 1;
    EXPECT_EQ(rig.Read(3400ms).kind, EditVerifier::Outcome::Agreed);
    EXPECT_FALSE(rig.verifier.Unconfirmed());
    EXPECT_FALSE(rig.verifier.NextDue());
}

TEST(EditVerifier, WhatNeverArrivesIsNamedAfterThreeResendsUntilAReadAgrees) {
    Rig rig;
    rig.MuteOutput3(0ms);
    rig.wanted.InCH[7].Gain = 150;
    rig.verifier.Sent(FrameInputGain("07", 7, 150), rig.At(0ms));
    std::chrono::milliseconds t = 1000ms;
    for (int round = 1; round <= 3; ++round) {
        const auto o = rig.Read(t);
        ASSERT_EQ(o.kind, EditVerifier::Outcome::Resent) << "round " << round;
        EXPECT_EQ(o.frames.size(), 2u);
        t = std::chrono::duration_cast<std::chrono::milliseconds>(*rig.verifier.NextDue() - rig.t0);
    }
    const auto o = rig.Read(t);
    ASSERT_EQ(o.kind, EditVerifier::Outcome::GaveUp);
    EXPECT_TRUE(o.frames.empty()) << "a fourth round is not sent";
    EXPECT_EQ(o.missing, (std::vector<std::string>{"Input 8 gain", "Output 3 mute"}));
    EXPECT_EQ(rig.verifier.Missing(), o.missing);
    EXPECT_FALSE(rig.verifier.NextDue()) << "no more reads until the next edit";

    // A later edit starts the rounds again; the read that finds everything there clears the names.
    rig.wanted.OutCH[0].Mute = 1;
    rig.verifier.Sent(FrameOutputMute("07", 0, true), rig.At(t + 1000ms));
    ASSERT_TRUE(rig.verifier.NextDue());
    rig.device = rig.wanted;
    EXPECT_EQ(rig.Read(t + 3000ms).kind, EditVerifier::Outcome::Agreed);
    EXPECT_TRUE(rig.verifier.Missing().empty());
}

TEST(EditVerifier, AnEditDuringTheReadOrAFailedReadDecidesNothing) {
    Rig rig;
    rig.MuteOutput3(0ms);
    rig.verifier.Started(rig.At(1000ms));
    rig.wanted.OutCH[4].Mute = 1;
    rig.verifier.Sent(FrameOutputMute("07", 4, true), rig.At(1200ms));
    // The device shows neither yet: it had not had the second, so nothing is sent or named.
    auto o = rig.verifier.Finished(rig.At(1500ms), rig.device, std::nullopt, rig.wanted, rig.wantedInfo, "07", kModel);
    EXPECT_EQ(o.kind, EditVerifier::Outcome::Undecided);
    EXPECT_TRUE(o.frames.empty());
    EXPECT_EQ(*rig.verifier.NextDue(), rig.At(3000ms));

    // Reads that come back empty are tried again, and after the rounds it says it could not read.
    for (int round = 1; round <= 3; ++round) {
        rig.verifier.Started(rig.At(round * 3000ms));
        o = rig.verifier.Finished(rig.At(round * 3000ms + 500ms), std::nullopt, std::nullopt, rig.wanted,
                                  rig.wantedInfo, "07", kModel);
        EXPECT_EQ(o.kind, EditVerifier::Outcome::Undecided) << round;
    }
    rig.verifier.Started(rig.At(12000ms));
    o = rig.verifier.Finished(rig.At(12500ms), std::nullopt, std::nullopt, rig.wanted, rig.wantedInfo, "07", kModel);
    EXPECT_EQ(o.kind, EditVerifier::Outcome::GaveUp);
    EXPECT_TRUE(o.unread);
    EXPECT_TRUE(rig.verifier.Unconfirmed());

    // A postponed read waits the settling time again.
    rig.verifier.Sent(FrameOutputMute("07", 5, true), rig.At(20000ms));
    rig.verifier.Started(rig.At(21000ms));
    rig.verifier.Postponed(rig.At(21000ms));
    EXPECT_EQ(*rig.verifier.NextDue(), rig.At(23000ms));

    rig.verifier.Reset();
    EXPECT_FALSE(rig.verifier.Unconfirmed());
    EXPECT_FALSE(rig.verifier.NextDue());
}

TEST(EditVerifier, TheLockAndTheGeneratorAreReadFromTheDeviceInformationEvenWhenEditsAreNotVerified) {
    Rig rig;
    rig.verifier.SetEnabled(false);
    rig.MuteOutput3(0ms);
    EXPECT_FALSE(rig.verifier.NextDue()) << "switched off: a settings edit is not read back";

    rig.wantedInfo.PanelLock = 1;
    rig.verifier.Sent(FramePanelLock("07", 1), rig.At(0ms));
    rig.wantedInfo.GenRun = 1;
    rig.wantedInfo.GenFreq = 69;
    rig.wantedInfo.GenLevel = 141;
    rig.verifier.Sent(FrameGenerator("07", true, 69, 141), rig.At(100ms));
    const auto plan = rig.verifier.Due(rig.At(1100ms));
    ASSERT_TRUE(plan);
    EXPECT_FALSE(plan->params);
    EXPECT_TRUE(plan->info);

    // The lock arrived, the generator frame was lost: only it goes again, as it was sent.
    rig.deviceInfo.PanelLock = 1;
    const auto o = rig.Read(1100ms, false, true);
    EXPECT_EQ(o.kind, EditVerifier::Outcome::Resent);
    EXPECT_EQ(o.frames, std::vector<std::string>{FrameGenerator("07", true, 69, 141)});

    // Requests and program operations are nothing to confirm.
    EditVerifier other;
    other.Sent(FrameLevelPoll("07"), rig.At(0ms));
    other.Sent("(07R003)", rig.At(0ms));
    EXPECT_FALSE(other.NextDue());
    EXPECT_TRUE(EditVerifier::KeptInDeviceInfo(FramePanelLock("07", 0)));
    EXPECT_FALSE(EditVerifier::KeptInDeviceInfo(FrameOutputMute("07", 2, true)));
}

TEST(EditVerifier, DeviceSettingsDiffNamesTheLockAndTheGeneratorWithTheirFrames) {
    DeviceInfoRecord device = DefaultDeviceInfo(kModel), wanted = device;
    EXPECT_TRUE(DiffDeviceSettings(device, wanted, "05").Empty());
    wanted.PanelLock = 1;
    wanted.GenLevel = 1;
    const DeviceSettingsDiff d = DiffDeviceSettings(device, wanted, "05");
    EXPECT_EQ(d.names, (std::vector<std::string>{"Panel lock", "Generator"}));
    ASSERT_EQ(d.frames.size(), 2u);
    EXPECT_EQ(d.frames[0], "(05J001)");
    EXPECT_EQ(d.frames[1].substr(0, 8), "(05$0010") << "stopped, with the level that differs";
    EXPECT_EQ(d.frames[1].substr(11, 3), "001");
}
