// The link worker and the one-slot mailbox over the in-memory line, with short waits.
#include "link/LinkWorker.h"

#include "LinkTestSupport.h"
#include "link/Exchange.h"
#include "link/HexCodec.h"

#include <gtest/gtest.h>

using namespace quellmarin;
using namespace quellmarin::test;

namespace {

struct WorkerRig {
    explicit WorkerRig(ScriptedDevice::Script script, WorkerCallbacks cb = {})
        : hub(LoopbackHub::Create()), device(hub->DeviceEnd(), std::move(script)), port(provider, timings),
          worker(port, slot, DeviceModel::Mivon, timings, std::move(cb)) {
        provider.RegisterVirtualPort("virtual", hub);
        port.SetDeviceLineSettings();
        port.SetPortName("virtual");
        EXPECT_EQ(port.Open(), 0);
    }
    ~WorkerRig() { worker.Stop(); }

    LinkTimings timings = LinkTimings::Fast();
    std::shared_ptr<LoopbackHub> hub;
    ScriptedDevice device;
    SystemPortProvider provider;
    CSerialPort port;
    PendingSlot slot;
    LinkWorker worker;
};

std::optional<std::string> Echo(const std::string& frame) {
    return frame;
}
std::optional<std::string> Silent(const std::string&) {
    return std::nullopt;
}

std::string LevelReply() {
    std::uint8_t raw[18] = {96, 0, 48, 96, 96, 96, 96, 96, 0x01, 10, 96, 96, 96, 96, 96, 96, 96, 0x80};
    return "(01L" + HexEncode(raw) + ")";
}

} // namespace

TEST(PendingSlot, NewestWinsAndTakeEmpties) {
    PendingSlot slot;
    EXPECT_EQ(slot.TakeCommand(), "");
    slot.PostCommand("(01$0303001)");
    slot.PostCommand("(01$0303000)");
    EXPECT_TRUE(slot.Pending());
    EXPECT_EQ(slot.TakeCommand(), "(01$0303000)");
    EXPECT_FALSE(slot.Pending());
    EXPECT_EQ(slot.TakeCommand(), "");

    // Posts from another thread while this one takes: every take is one whole posted text.
    std::atomic<bool> done{false};
    std::thread poster([&] {
        for (int i = 0; i < 20000; ++i) slot.PostCommand(i % 2 ? std::string(40, 'a') : std::string(12, 'b'));
        done = true;
    });
    while (!done) {
        const std::string t = slot.TakeCommand();
        ASSERT_TRUE(t.empty() || t == std::string(40, 'a') || t == std::string(12, 'b'));
    }
    poster.join();
}

TEST(LinkWorker, TwoPostsInOneCycleSendOnlyTheSecondAndAPostDuringAJobIsKept) {
    WorkerRig rig(Echo);
    rig.worker.SetMeterPoll(false);
    rig.worker.Start("01");
    std::promise<void> release;
    auto gate = release.get_future().share();
    auto job = rig.worker.Submit([gate](CSerialPort& port) {
        gate.wait();
        return RequestReply(port, "01", "$0280181)", 50ms);
    });
    rig.slot.PostCommand("(01$0303001)");
    rig.slot.PostCommand("(01$0303000)");
    release.set_value();
    EXPECT_EQ(job.get(), "(01$0280181)");
    ASSERT_TRUE(WaitFor([&] { return rig.device.Count() == 2; }));
    std::this_thread::sleep_for(rig.timings.cycle * 3);
    EXPECT_EQ(rig.device.Frames(), (std::vector<std::string>{"(01$0280181)", "(01$0303000)"}))
        << "the job's exchange first, then only the newer of the two posts";
}

TEST(LinkWorker, IdleWithoutPollingSendsNothingAndKeepsTheCount) {
    WorkerRig rig(Silent);
    rig.worker.Start("01");
    ASSERT_TRUE(WaitFor([&] { return rig.worker.EmptyReplies() >= 3; }));
    rig.worker.SetMeterPoll(false);
    std::this_thread::sleep_for(rig.timings.cycle * 2);
    const std::size_t sent = rig.device.Count();
    const int empty = rig.worker.EmptyReplies();
    std::this_thread::sleep_for(rig.timings.cycle * 6);
    EXPECT_EQ(rig.device.Count(), sent);
    EXPECT_EQ(rig.worker.EmptyReplies(), empty);
}

TEST(LinkWorker, LostDeviceFromThe21stEmptyReplyUntilOneAnswers) {
    std::atomic<bool> answer{false};
    std::mutex m;
    std::vector<std::pair<int, int>> alarms; // (frames sent so far, alarms so far)
    std::atomic<int> sent{0};
    WorkerCallbacks cb;
    cb.sent = [&](const std::string&) { ++sent; };
    cb.lostDevice = [&] {
        std::lock_guard lock(m);
        alarms.emplace_back(sent.load(), static_cast<int>(alarms.size()) + 1);
    };
    WorkerRig rig(
        [&](const std::string&) -> std::optional<std::string> {
            if (answer) return LevelReply();
            return std::nullopt;
        },
        cb);
    rig.worker.Start("01");
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard lock(m);
        return alarms.size() >= 3;
    }));
    {
        std::lock_guard lock(m);
        for (auto [frames, count] : alarms)
            EXPECT_EQ(frames, 20 + count) << "one alarm per empty reply after 20";
    }
    answer = true;
    ASSERT_TRUE(WaitFor([&] { return rig.worker.EmptyReplies() == 0; }));
    std::size_t before;
    {
        std::lock_guard lock(m);
        before = alarms.size();
    }
    std::this_thread::sleep_for(rig.timings.cycle * 5);
    std::lock_guard lock(m);
    EXPECT_EQ(alarms.size(), before) << "an answer resets the count";
    EXPECT_EQ(rig.worker.EmptyReplies(), 0);
}

TEST(LinkWorker, LevelFramesReachTheCallbackAndA40CharacterReplyDoesNot) {
    std::atomic<int> mode{0};
    std::mutex m;
    std::vector<LevelFrame> frames;
    WorkerCallbacks cb;
    cb.levels = [&](const LevelFrame& f) {
        std::lock_guard lock(m);
        frames.push_back(f);
    };
    WorkerRig rig(
        [&](const std::string& frame) -> std::optional<std::string> {
            EXPECT_EQ(frame, "(01L)");
            if (mode == 0) return "(" + std::string(38, '0') + ")";
            return LevelReply();
        },
        cb);
    rig.worker.Start("01");
    ASSERT_TRUE(WaitFor([&] { return rig.device.Count() >= 4; }));
    {
        std::lock_guard lock(m);
        EXPECT_TRUE(frames.empty()) << "40 characters are no level frame";
    }
    EXPECT_EQ(rig.worker.EmptyReplies(), 0) << "but they are a reply";
    mode = 1;
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard lock(m);
        return !frames.empty();
    }));
    std::lock_guard lock(m);
    EXPECT_EQ(frames[0].in[0], 0);
    EXPECT_EQ(frames[0].in[1], 96);
    EXPECT_EQ(frames[0].inStatus, 0x01);
    EXPECT_EQ(frames[0].out[0], 86);
    EXPECT_EQ(frames[0].outStatus, 0x80);
}

TEST(LinkWorker, PausedWorkerSendsNothingOfItsOwnButRunsJobs) {
    WorkerRig rig(Echo);
    rig.worker.Start("01");
    ASSERT_TRUE(WaitFor([&] { return rig.device.Count() >= 2; }));
    rig.worker.Pause();
    std::this_thread::sleep_for(rig.timings.cycle * 2);
    const std::size_t before = rig.device.Count();
    rig.slot.PostCommand("(01$0371001)");
    std::this_thread::sleep_for(rig.timings.cycle * 4);
    EXPECT_EQ(rig.device.Count(), before);
    EXPECT_EQ(rig.worker.Submit([](CSerialPort& p) { return RequestReply(p, "01", "J001)", 50ms, 7); }).get(),
              "(01J001)");
    rig.worker.Resume();
    ASSERT_TRUE(WaitFor([&] {
        const auto f = rig.device.Frames();
        return std::find(f.begin(), f.end(), "(01$0371001)") != f.end();
    })) << "the command posted while paused is sent after the resume";
    EXPECT_TRUE(rig.worker.FlushPending(500ms));
}
