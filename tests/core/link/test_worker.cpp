// The link worker and its command queue: over the in-memory line with short waits, and over an
// instant line on a step clock where a test counts cycles.
#include "link/LinkWorker.h"

#include "LinkTestSupport.h"
#include "link/DeviceLink.h"
#include "link/Discovery.h"
#include "link/Exchange.h"
#include "protocol/CommandTable.h"
#include "protocol/HexCodec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace quellmarin;
using namespace quellmarin::test;

namespace {

struct WorkerRig {
    explicit WorkerRig(ScriptedDevice::Script script, WorkerCallbacks cb = {})
        : hub(LoopbackHub::Create()), device(hub->DeviceEnd(), std::move(script)), port(provider, timings),
          worker(port, queue, DeviceModel::Mivon, timings, std::move(cb)) {
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
    CommandQueue queue;
    LinkWorker worker;
};

std::optional<std::string> Echo(const std::string& frame) {
    return frame;
}

std::string LevelReply() {
    std::uint8_t raw[18] = {96, 0, 48, 96, 96, 96, 96, 96, 0x01, 10, 96, 96, 96, 96, 96, 96, 96, 0x80};
    return "(01L" + HexEncode(raw) + ")";
}

} // namespace

// A worker on an instant line and a step clock: cycles take no real time.
struct StepRig {
    explicit StepRig(ScriptedDevice::Script script, WorkerCallbacks cb = {})
        : provider(std::move(script)), port(provider, Timings()),
          worker(port, queue, DeviceModel::Mivon, Timings(), std::move(cb)) {
        port.SetDeviceLineSettings();
        port.SetPortName("instant");
        EXPECT_EQ(port.Open(), 0);
    }
    ~StepRig() { worker.Stop(); }
    LinkTimings Timings() {
        LinkTimings t; // the device's own waits, on the step clock
        t.clock = &clock;
        return t;
    }

    StepClock clock;
    InstantProvider provider;
    CSerialPort port;
    CommandQueue queue;
    LinkWorker worker;
};

TEST(CommandQueue, NewestValueWinsPerParameterAndNothingElseIsDropped) {
    CommandQueue q;
    EXPECT_EQ(q.TakeCommand(), "");
    // Mutes of two channels, then the first one again: both channels, the newer value in place.
    q.PostCommand("(01$0300001)");
    q.PostCommand("(01$0301001)");
    q.PostCommand("(01$0300000)");
    // Two bands of one channel are two parameters; a band of another channel a third.
    q.PostCommand("(01$027000105924046)");
    q.PostCommand("(01$027010105924046)");
    q.PostCommand("(01$027000106024046)");
    q.PostCommand("(01$027100105924046)");
    EXPECT_EQ(q.Size(), 5u);
    EXPECT_EQ(q.TakeCommand(), "(01$0300000)");
    EXPECT_EQ(q.TakeCommand(), "(01$0301001)");
    EXPECT_EQ(q.TakeCommand(), "(01$027000106024046)");
    EXPECT_EQ(q.TakeCommand(), "(01$027010105924046)");
    EXPECT_EQ(q.TakeCommand(), "(01$027100105924046)");
    EXPECT_FALSE(q.Pending());

    // A frame without a parameter key keeps its place: a later value of the same parameter goes after
    // it instead of replacing the one before it (the routing reset must not overtake a route edit).
    q.PostCommand("(01$0312181000000000000000000000)");
    q.PostCommand("(01K)");
    q.PostCommand("(01$0312000181000000000000000000)");
    q.PostCommand("(01$0312000000181000000000000000)");
    EXPECT_EQ(q.TakeCommand(), "(01$0312181000000000000000000000)");
    EXPECT_EQ(q.TakeCommand(), "(01K)");
    EXPECT_EQ(q.TakeCommand(), "(01$0312000000181000000000000000)");
    EXPECT_EQ(q.TakeCommand(), "");

    EXPECT_EQ(ParameterKey("(01$0283183)"), "01$0283");
    EXPECT_EQ(ParameterKey("(01$034306510924046)"), "01$0343/06");
    EXPECT_EQ(ParameterKey("(07$0011069181)"), "07$001");
    EXPECT_EQ(ParameterKey("(01$04000224567)"), "") << "link lists keep their place";
    EXPECT_EQ(ParameterKey("(01B)"), "");
    EXPECT_EQ(ParameterKey("(01$0"), "");

    // Posts from another thread while this one takes: every take is one whole posted frame.
    std::atomic<bool> done{false};
    std::thread poster([&] {
        for (int i = 0; i < 20000; ++i) q.PostCommand(i % 2 ? "(01$0283183)" : "(01$0374001)");
        done = true;
    });
    while (!done) {
        const std::string t = q.TakeCommand();
        ASSERT_TRUE(t.empty() || t == "(01$0283183)" || t == "(01$0374001)") << t;
    }
    poster.join();
    EXPECT_LE(q.Size(), 2u);
}

TEST(LinkWorker, TwoParametersInOneCycleBothArriveAndAPostDuringAJobIsKept) {
    WorkerRig rig(Echo);
    rig.worker.SetMeterPoll(false);
    rig.worker.Start("01");
    std::promise<void> release;
    auto gate = release.get_future().share();
    auto job = rig.worker.Submit([gate](CSerialPort& port) {
        gate.wait();
        return RequestReply(port, "01", "$0280181)", 50ms);
    });
    rig.queue.PostCommand("(01$0303001)");
    rig.queue.PostCommand("(01$0304001)");
    rig.queue.PostCommand("(01$0303000)");
    release.set_value();
    EXPECT_EQ(job.get(), "(01$0280181)");
    ASSERT_TRUE(WaitFor([&] { return rig.device.Count() == 5; }));
    EXPECT_TRUE(rig.worker.FlushPending(1s));
    EXPECT_EQ(rig.device.Frames(),
              (std::vector<std::string>{"(01$0280181)", "(01$0303000)", "(01L)", "(01$0304001)", "(01L)"}))
        << "the job's exchange first, then input 3 with its newest value, then input 4, each followed by "
           "the poll that shows the device took it (the meters are off)";
}

TEST(LinkWorker, AJobWithoutAConnectionIsToldSo) {
    WorkerRig rig(Echo);
    std::atomic<int> unrun{0}, ran{0};
    const auto job = [&](CSerialPort* port) { ++(port ? ran : unrun); };
    rig.worker.Post(job);
    EXPECT_EQ(unrun, 1) << "no worker runs: the job learns it at once";
    rig.worker.Start("01");
    rig.worker.Post(job);
    ASSERT_TRUE(WaitFor([&] { return ran == 1; }));
    rig.worker.Stop();
    rig.worker.Post(job);
    EXPECT_EQ(unrun, 2) << "after the end of the connection";
}

TEST(LinkWorker, IdleWithoutPollingSendsNothingAndKeepsTheCount) {
    // The poll is switched off by the device's fifth frame, long before the device would count as lost.
    std::atomic<int> polls{0};
    LinkWorker* worker = nullptr;
    StepRig rig([&](const std::string&) -> std::optional<std::string> {
        if (++polls == 5) worker->SetMeterPoll(false);
        return std::nullopt;
    });
    worker = &rig.worker;
    rig.worker.Start("01");
    ASSERT_TRUE(WaitFor([&] { return rig.worker.EmptyReplies() == 5; }));
    const auto at = rig.clock.Elapsed();
    ASSERT_TRUE(WaitFor([&] { return rig.clock.Elapsed() > at + 10 * 200ms; })) << "ten idle cycles pass";
    EXPECT_EQ(rig.provider.Line().Frames().size(), 5u);
    EXPECT_EQ(rig.worker.EmptyReplies(), 5);
}

TEST(LinkWorker, ALostDeviceIsProbedEveryTwoSecondsAndItsKeptCommandsFollowItsReturn) {
    std::atomic<bool> answer{false};
    std::mutex m;
    std::vector<std::pair<std::size_t, std::chrono::milliseconds>> alarms; // (frames written, time)
    std::atomic<int> answered{0};
    StepRig* rigPtr = nullptr;
    WorkerCallbacks cb;
    cb.lostDevice = [&](const std::string&) {
        std::lock_guard lock(m);
        alarms.emplace_back(rigPtr->provider.Line().Frames().size(), rigPtr->clock.Elapsed());
    };
    cb.answered = [&](const std::string&) { ++answered; };
    StepRig rig(
        [&](const std::string& frame) -> std::optional<std::string> {
            if (!answer) return std::nullopt;
            if (frame == "(01hello)") return HelloReply(1, DeviceModel::Mivon);
            return LevelReply();
        },
        cb);
    rigPtr = &rig;
    rig.worker.Start("01");
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard lock(m);
        return alarms.size() >= 2;
    }));
    rig.queue.PostCommand("(01$0300001)");
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard lock(m);
        return alarms.size() >= 4;
    }));
    {
        std::lock_guard lock(m);
        EXPECT_EQ(alarms[0].first, 21u) << "the alarm comes with the 21st empty reply";
        for (std::size_t i = 1; i < 4; ++i) {
            EXPECT_EQ(alarms[i].first, 21 + i) << "then one per unanswered probe";
            EXPECT_EQ(alarms[i].second - alarms[i - 1].second, std::chrono::milliseconds(2000))
                << "probes come every two seconds";
        }
    }
    const auto frames = rig.provider.Line().Frames();
    for (std::size_t i = 21; i < frames.size(); ++i) EXPECT_EQ(frames[i], "(01hello)");
    EXPECT_EQ(std::count(frames.begin(), frames.end(), "(01$0300001)"), 0) << "kept while the device is away";
    EXPECT_EQ(answered, 0);

    answer = true;
    ASSERT_TRUE(WaitFor([&] { return answered > 0; }));
    ASSERT_TRUE(WaitFor([&] {
        const auto f = rig.provider.Line().Frames();
        return std::count(f.begin(), f.end(), "(01$0300001)") == 1;
    })) << "the kept command goes out after the return";
    const auto at = rig.clock.Elapsed();
    ASSERT_TRUE(WaitFor([&] { return rig.clock.Elapsed() > at + 5 * 200ms; }));
    EXPECT_EQ(rig.provider.Line().Frames().back(), "(01L)") << "the level poll is back";
    EXPECT_EQ(rig.worker.EmptyReplies(), 0);
}

TEST(LinkWorker, FinishSendsWhatIsPendingAndTheEndWithoutWaitingOutTheCycle) {
    WorkerRig rig(Echo);
    rig.timings.cycle = 5s; // a cycle far longer than the finish may take
    LinkWorker slow(rig.port, rig.queue, DeviceModel::Mivon, rig.timings, {});
    slow.Start("01");
    ASSERT_TRUE(WaitFor([&] { return rig.device.Count() >= 1; })) << "the first level poll";
    rig.queue.PostCommand("(01$0300001)");
    rig.queue.PostCommand("(01B)");
    EXPECT_TRUE(slow.Finish(2s));
    slow.Stop();
    ASSERT_TRUE(WaitFor([&] { return rig.device.Count() >= 3; }));
    std::vector<std::string> frames = rig.device.Frames();
    ASSERT_EQ(frames.front(), "(01L)");
    // The mute may have gone out, with its poll, before the finish began.
    std::erase(frames, std::string("(01L)"));
    EXPECT_EQ(frames, (std::vector<std::string>{"(01$0300001)", "(01B)"}));
    EXPECT_EQ(rig.device.Frames().back(), "(01B)");
}

TEST(LinkWorker, NothingFollowsTheEndNotEvenAJobPostedAsItLeft) {
    // A job posted the moment "B" goes out (a read the window asked for as the user disconnected)
    // must not put a frame on the line after it.
    LinkWorker* worker = nullptr;
    std::promise<bool> ranWithPort;
    WorkerCallbacks cb;
    cb.sent = [&](const std::string& frame) {
        if (frame == "(01B)")
            worker->Post([&ranWithPort](CSerialPort* port) {
                if (port) port->WriteText("(01Q000)");
                ranWithPort.set_value(port != nullptr);
            });
    };
    WorkerRig rig(Echo, cb);
    LinkWorker w(rig.port, rig.queue, DeviceModel::Mivon, rig.timings, cb);
    worker = &w;
    w.SetMeterPoll(false);
    w.Start("01");
    rig.queue.PostCommand("(01$0300001)");
    rig.queue.PostCommand("(01B)");
    EXPECT_TRUE(w.Finish(2s));
    w.Stop();
    EXPECT_FALSE(ranWithPort.get_future().get()) << "the job is told there is no connection";
    ASSERT_TRUE(WaitFor([&] { return rig.device.Count() >= 2; }));
    std::vector<std::string> frames = rig.device.Frames();
    // The mute may have gone out, with its poll, before the finish began.
    std::erase(frames, std::string("(01L)"));
    EXPECT_EQ(frames, (std::vector<std::string>{"(01$0300001)", "(01B)"}));
    EXPECT_EQ(rig.device.Frames().back(), "(01B)") << "nothing after the end";
}

TEST(LinkWorker, TheEndWaitsForAnExchangeInHandInsteadOfBeingCutOff) {
    // The device never answers the job's request: the job waits out its own 300 ms, far longer than
    // the finish's time-out, and "B" still follows it.
    WorkerRig rig([](const std::string& frame) -> std::optional<std::string> {
        if (frame == "(01Q000)") return std::nullopt;
        return frame;
    });
    rig.worker.SetMeterPoll(false);
    rig.worker.Start("01");
    auto job = rig.worker.Submit([](CSerialPort& port) { return RequestReply(port, "01", "Q000)", 300ms); });
    ASSERT_TRUE(WaitFor([&] { return rig.device.Count() == 1; })) << "the job's request is on the line";
    rig.queue.PostCommand("(01B)");
    EXPECT_TRUE(rig.worker.Finish(50ms));
    rig.worker.Stop();
    EXPECT_EQ(job.get(), "");
    ASSERT_TRUE(WaitFor([&] { return rig.device.Count() >= 2; }));
    EXPECT_EQ(rig.device.Frames(), (std::vector<std::string>{"(01Q000)", "(01B)"}));
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
            if (mode == 1) { // garbled: a lower-case digit
                std::string r = LevelReply();
                r[5] = 'a';
                return r;
            }
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
    const std::size_t seen = rig.device.Count();
    ASSERT_TRUE(WaitFor([&] { return rig.device.Count() >= seen + 3; }));
    {
        std::lock_guard lock(m);
        EXPECT_TRUE(frames.empty()) << "a garbled level frame is not shown";
    }
    EXPECT_EQ(rig.worker.EmptyReplies(), 0) << "but it is a reply";
    mode = 2;
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
    rig.queue.PostCommand("(01$0371001)");
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

namespace {

// What a step-clock worker wrote and when, and whether it ever wrote while a poll's reply was unread.
struct Timeline {
    struct Sent {
        std::string frame;
        std::chrono::milliseconds at;
    };
    void Attach(StepRig& rig) {
        rig.port.SetTap([this](std::string_view, bool sent, std::string_view text) {
            if (!sent) {
                owed = false;
                return;
            }
            if (owed) ++overlaps;
            if (text == "(01L)") owed = true;
        });
    }
    // Notes a frame as the worker writes it; returns how many level polls have gone so far.
    int Note(const std::string& frame, std::chrono::milliseconds at) {
        std::lock_guard lock(m);
        sent.push_back({frame, at});
        return static_cast<int>(
            std::count_if(sent.begin(), sent.end(), [](const Sent& s) { return s.frame == "(01L)"; }));
    }
    std::vector<Sent> Frames() {
        std::lock_guard lock(m);
        return sent;
    }
    std::size_t Count() {
        std::lock_guard lock(m);
        return sent.size();
    }

    std::mutex m;
    std::vector<Sent> sent;
    bool owed = false; // worker thread only
    std::atomic<int> overlaps{0};
};

std::optional<std::string> PollsAnswered(const std::string& frame) {
    if (frame == "(01L)") return LevelReply();
    return std::nullopt;
}

} // namespace

TEST(AnsweredPacing, APostGoesRightAfterTheReplyInHandAndIsConfirmedByAPoll) {
    Timeline line;
    StepRig* rigPtr = nullptr;
    WorkerCallbacks cb;
    cb.sent = [&](const std::string& frame) {
        // An edit posted while the third idle poll's reply is still due.
        if (line.Note(frame, rigPtr->clock.Elapsed()) == 3 && frame == "(01L)")
            rigPtr->queue.PostCommand("(01$0303001)");
    };
    StepRig rig(PollsAnswered, cb);
    rigPtr = &rig;
    line.Attach(rig);
    rig.worker.Start("01");
    ASSERT_TRUE(WaitFor([&] { return line.Count() >= 7; }));
    rig.worker.Stop();
    const auto sent = line.Frames();
    const std::vector<std::pair<std::string, long>> expected{
        {"(01L)", 0},          {"(01L)", 200}, {"(01L)", 400}, // idle polls a cycle apart
        {"(01$0303001)", 400},                                 // the moment that poll was answered
        {"(01L)", 400},                                        // the poll that shows it was taken
        {"(01L)", 600},        {"(01L)", 800}};                // idle again, a cycle after the last poll
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(sent[i].frame, expected[i].first) << i;
        EXPECT_EQ(sent[i].at.count(), expected[i].second) << i;
    }
    EXPECT_EQ(line.overlaps, 0) << "nothing written while a reply was due";
}

TEST(FixedPacing, OneFrameACycleAsTheDeviceAlwaysHad) {
    Timeline line;
    StepRig* rigPtr = nullptr;
    WorkerCallbacks cb;
    cb.sent = [&](const std::string& frame) {
        if (line.Note(frame, rigPtr->clock.Elapsed()) == 2 && frame == "(01L)") {
            rigPtr->queue.PostCommand("(01$0303001)");
            rigPtr->queue.PostCommand("(01$0304001)");
        }
    };
    StepRig rig(PollsAnswered, cb);
    rigPtr = &rig;
    line.Attach(rig);
    rig.worker.SetPacing(Pacing::Fixed);
    rig.worker.Start("01");
    ASSERT_TRUE(WaitFor([&] { return line.Count() >= 6; }));
    rig.worker.Stop();
    const auto sent = line.Frames();
    const std::vector<std::pair<std::string, long>> expected{{"(01L)", 0},          {"(01L)", 200},
                                                             {"(01$0303001)", 400}, {"(01$0304001)", 600},
                                                             {"(01L)", 800},        {"(01L)", 1000}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(sent[i].frame, expected[i].first) << i;
        EXPECT_EQ(sent[i].at.count(), expected[i].second) << i;
    }
    EXPECT_EQ(line.overlaps, 0);
}

TEST(LinkWorker, The21stUnansweredPollRaisesTheWarningOnEitherPacing) {
    for (const Pacing pacing : {Pacing::Answered, Pacing::Fixed}) {
        for (const int edits : {0, 25}) {
            SCOPED_TRACE((pacing == Pacing::Fixed ? "fixed, " : "answered, ") + std::to_string(edits) +
                         " edits");
            std::mutex m;
            std::vector<std::pair<std::size_t, std::chrono::milliseconds>> alarms; // (frames written, time)
            StepRig* rigPtr = nullptr;
            WorkerCallbacks cb;
            cb.lostDevice = [&](const std::string&) {
                std::lock_guard lock(m);
                alarms.emplace_back(rigPtr->provider.Line().Frames().size(), rigPtr->clock.Elapsed());
            };
            StepRig rig([](const std::string&) -> std::optional<std::string> { return std::nullopt; }, cb);
            rigPtr = &rig;
            rig.worker.SetPacing(pacing);
            for (int k = 0; k < edits; ++k) // 25 different settings: none replaces another
                rig.queue.PostCommand(k < 8    ? FrameInputGain("01", k, 100)
                                      : k < 16 ? FrameOutputGain("01", k - 8, 100)
                                               : FrameInputMute("01", k - 16, true));
            rig.worker.Start("01");
            ASSERT_TRUE(WaitFor([&] {
                std::lock_guard lock(m);
                return !alarms.empty();
            }));
            rig.worker.Stop();
            std::lock_guard lock(m);
            if (edits == 0) {
                EXPECT_EQ(alarms[0].first, 21u) << "twenty silent polls are tolerated";
                EXPECT_EQ(alarms[0].second.count(), 4200) << "a silent device is flagged after 4.2 s";
            } else if (pacing == Pacing::Fixed) {
                // The edits' own silence says nothing: the warning needs 21 polls after them.
                EXPECT_EQ(alarms[0].first, static_cast<std::size_t>(edits) + 21);
            } else {
                // Each edit is confirmed by a poll; 21 of them unanswered are a lost device.
                EXPECT_EQ(alarms[0].first, 42u);
            }
        }
    }
}

TEST(AnsweredPacing, FiftyEditsToASlowProcessorArriveInOrderAndNoRequestMeetsAnOwedReply) {
    sim::SimFaults slow;
    slow.slowMs = 150; // every reply 150 ms late, then paced at 38400 baud
    PtyProcessor processor(1, DeviceModel::Mivon, slow, true);
    SystemPortProvider provider;
    DeviceLink link(provider, DeviceModel::Mivon, LinkTimings{});
    link.Select(SelectionOf({1, processor.Path()}, {processor.Path()}));
    ASSERT_TRUE(link.Connect(false, {}).connected);

    std::vector<std::string> edits;
    for (int k = 0; k < 8; ++k) {
        edits.push_back(FrameInputMute("01", k, k % 2 == 0));
        edits.push_back(FrameOutputMute("01", k, k % 3 == 0));
        edits.push_back(FrameInputGain("01", k, 150 + k));
        edits.push_back(FrameOutputGain("01", k, 160 + k));
        edits.push_back(FramePolarity("01", k, true));
        edits.push_back(FrameInputPeqBand("01", k, 2, 1, 60 + k, 30, 46));
    }
    edits.push_back(FrameOutputPeqBand("01", 0, 1, 1, 70, 28, 40));
    edits.push_back(FrameOutputPeqBand("01", 7, 6, 1, 90, 20, 30));
    ASSERT_EQ(edits.size(), 50u);
    const int overlapsBefore = processor.OverlappingRequests();
    const std::size_t receivedBefore = processor.device.FrameCount();
    for (const std::string& f : edits) link.Post(f);
    ASSERT_TRUE(WaitFor(
        [&] {
            const auto got = processor.device.FramesReceived();
            return std::find(got.begin(), got.end(), edits.back()) != got.end();
        },
        30s));
    link.Disconnect();

    const auto all = processor.device.FramesReceived();
    std::vector<std::string> arrived;
    for (std::size_t i = all.size() - (processor.device.FrameCount() - receivedBefore); i < all.size(); ++i)
        if (all[i] != "(01L)" && all[i] != "(01B)") arrived.push_back(all[i]);
    EXPECT_EQ(arrived, edits) << "every edit, once, in the order made";
    EXPECT_EQ(processor.OverlappingRequests(), overlapsBefore) << "no request while a reply was owed";
    const SystemParameters p = processor.device.Parameters();
    EXPECT_EQ(p.InCH[7].Gain, 157);
    EXPECT_EQ(p.OutCH[7].Peq[6].Freq, 90);
    EXPECT_EQ(processor.device.RefusedCount(), 0u);
    EXPECT_EQ(p.OutCH[3].Mute, 1);
    EXPECT_EQ(p.OutCH[4].Mute, 0);
}

TEST(AnsweredPacing, NothingFollowsTheEndEvenWhenTheWorkerTakesItBeforeTheFinish) {
    StepRig rig(PollsAnswered);
    rig.worker.Start("01");
    rig.queue.PostCommand("(01$0303001)");
    rig.queue.PostCommand("(01B)");
    ASSERT_TRUE(WaitFor([&] {
        const auto f = rig.provider.Line().Frames();
        return !f.empty() && f.back() == "(01B)";
    }));
    EXPECT_TRUE(rig.worker.Finish(1s)) << "the run ended with the end frame";
    rig.worker.Stop();
    const auto frames = rig.provider.Line().Frames();
    EXPECT_EQ(frames.back(), "(01B)") << "no poll after the end";
    EXPECT_EQ(std::count(frames.begin(), frames.end(), "(01B)"), 1);
}

TEST(LinkWorker, TwoProcessorsOnOneLineArePolledInTurnAndOneIsLostAlone) {
    // Unit 01 always answers; unit 02 answers until it is switched off, and again once it is back.
    std::atomic<bool> secondOn{true};
    std::mutex m;
    std::vector<std::string> lost, answered;
    std::map<std::string, int> meters;
    WorkerCallbacks cb;
    cb.levels = [&](const LevelFrame& f) {
        std::lock_guard lock(m);
        ++meters[f.address];
    };
    cb.lostDevice = [&](const std::string& a) {
        std::lock_guard lock(m);
        lost.push_back(a);
    };
    StepRig rig(
        [&](const std::string& frame) -> std::optional<std::string> {
            const std::string address = frame.substr(1, 2);
            if (address == "02" && !secondOn) return std::nullopt;
            if (frame == "(02hello)") return HelloReply(2, DeviceModel::Mivon);
            if (frame.substr(3) == "L)") {
                std::string reply = LevelReply();
                return reply.replace(1, 2, address);
            }
            return std::nullopt;
        },
        cb);
    rig.worker.Start("01");
    rig.worker.AddAddress("02");
    const auto count = [&](const std::string& a) {
        std::lock_guard lock(m);
        return meters[a];
    };
    ASSERT_TRUE(WaitFor([&] { return count("01") >= 5 && count("02") >= 5; }));
    EXPECT_LE(std::abs(count("01") - count("02")), 1) << "the polls go round both";

    secondOn = false;
    // The alarm is told just after the count says lost: wait for both.
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard lock(m);
        return rig.worker.Lost("02") && !lost.empty();
    }));
    EXPECT_FALSE(rig.worker.Lost("01"));
    EXPECT_FALSE(rig.worker.DeviceLost()) << "the line is not lost while one answers";
    {
        std::lock_guard lock(m);
        ASSERT_FALSE(lost.empty());
        EXPECT_TRUE(std::all_of(lost.begin(), lost.end(), [](const std::string& a) { return a == "02"; }));
    }
    // The lost one's frame waits; the other's goes; its meters go on.
    rig.queue.PostCommand("(02$0300001)");
    rig.queue.PostCommand("(01$0300001)");
    const int before = count("01");
    // A hello asks for the lost one on the open port, one reconnect interval after it was lost.
    ASSERT_TRUE(WaitFor([&] {
        const auto f = rig.provider.Line().Frames();
        return std::count(f.begin(), f.end(), "(01$0300001)") == 1 && count("01") > before + 3 &&
               std::count(f.begin(), f.end(), "(02hello)") > 0;
    }));
    auto frames = rig.provider.Line().Frames();
    EXPECT_EQ(std::count(frames.begin(), frames.end(), "(02$0300001)"), 0);

    secondOn = true;
    ASSERT_TRUE(WaitFor([&] { return !rig.worker.Lost("02"); }));
    ASSERT_TRUE(WaitFor([&] {
        const auto f = rig.provider.Line().Frames();
        return std::count(f.begin(), f.end(), "(02$0300001)") == 1;
    })) << "its kept frame follows its return";

    // "B" to one of two: it leaves the line, the other stays polled.
    rig.queue.PostCommand("(02B)");
    ASSERT_TRUE(WaitFor([&] { return rig.worker.Addresses() == std::vector<std::string>{"01"}; }));
    const std::size_t at = rig.provider.Line().Frames().size();
    ASSERT_TRUE(WaitFor([&] { return rig.provider.Line().Frames().size() > at + 5; }));
    frames = rig.provider.Line().Frames();
    for (std::size_t i = at; i < frames.size(); ++i) EXPECT_EQ(frames[i].substr(1, 2), "01") << frames[i];
    EXPECT_TRUE(rig.worker.Running());
}
