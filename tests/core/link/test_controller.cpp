// The link controller: one thread runs every request in turn; posted edits reach the device with the
// newest value of each parameter and none lost; the connection state follows the device.
#include "link/LinkController.h"

#include "LinkTestSupport.h"
#include "link/Exchange.h"
#include "link/PortCatalog.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace quellmarin;
using namespace quellmarin::test;

namespace {

// A controller over the in-memory line to a virtual processor, with short waits.
struct Rig {
    Rig()
        : hub(LoopbackHub::Create()), device(1, DeviceModel::Mivon), server(device, hub->DeviceEnd()),
          link(provider, DeviceModel::Mivon, LinkTimings::Fast()) {
        provider.RegisterVirtualPort("virtual", hub);
        link.SetCatalog({"virtual"});
        server.Start();
        LinkController::Events ev;
        ev.stateChanged = [this](LinkState s) {
            std::lock_guard lock(mutex);
            states.push_back(s);
        };
        ev.lostDevice = [this] { ++lost; };
        controller = std::make_unique<LinkController>(link, ev);
    }
    ~Rig() { controller->Shutdown(); }

    bool Connect() {
        controller->RequestScan();
        controller->RequestSelect(SelectionOf({1, "virtual"}, {"virtual"}));
        controller->RequestConnect(false, {});
        controller->Drain();
        return controller->State() == LinkState::Connected;
    }
    // Indices of the frames the device received, in arrival order.
    std::vector<std::string> Received() const { return device.FramesReceived(); }

    std::shared_ptr<LoopbackHub> hub;
    sim::VirtualProcessor device;
    sim::SimServer server;
    SystemPortProvider provider;
    DeviceLink link;
    std::unique_ptr<LinkController> controller;
    std::mutex mutex;
    std::vector<LinkState> states;
    std::atomic<int> lost{0};
};

std::ptrdiff_t IndexOf(const std::vector<std::string>& frames, const std::string& f) {
    const auto it = std::find(frames.begin(), frames.end(), f);
    return it == frames.end() ? -1 : it - frames.begin();
}

} // namespace

TEST(LinkController, EightMutesPostedAtOnceAllArriveInOrder) {
    Rig r;
    ASSERT_TRUE(r.Connect());
    for (int k = 0; k < 8; ++k) r.controller->Post(FrameOutputMute("01", k, true));
    ASSERT_TRUE(WaitFor([&] { return r.device.Parameters().OutCH[7].Mute == 1; }));
    // The poll after the last mute may still be on its way.
    ASSERT_TRUE(WaitFor([&] {
        const auto f = r.Received();
        const std::ptrdiff_t i = IndexOf(f, "(01$0370001)");
        return i >= 0 && static_cast<std::ptrdiff_t>(f.size()) >= i + 16;
    }));
    const auto frames = r.Received();
    const std::ptrdiff_t first = IndexOf(frames, "(01$0370001)");
    ASSERT_GE(first, 0);
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(frames.at(first + 2 * k), FrameOutputMute("01", k, true)) << "in the order posted";
        EXPECT_EQ(frames.at(first + 2 * k + 1), "(01L)") << "each followed by the poll that confirms it";
    }
    for (int k = 0; k < 8; ++k) EXPECT_EQ(r.device.Parameters().OutCH[k].Mute, 1);
}

TEST(LinkController, ADragArrivesAsAFewFramesEndingWithItsLastValueAndOtherEditsAreKept) {
    Rig r;
    ASSERT_TRUE(r.Connect());
    const std::size_t before = r.Received().size();
    for (int i = 0; i < 300; ++i) {
        r.controller->Post(FrameInputPeqBand("01", 2, 1, 1, 20 + i % 100, 24 + i % 20, 40 + i / 100));
        if (i == 150) r.controller->Post(FrameInputMute("01", 5, true));
    }
    const std::string last = FrameInputPeqBand("01", 2, 1, 1, 20 + 299 % 100, 24 + 299 % 20, 42);
    ASSERT_TRUE(WaitFor([&] {
        const auto f = r.Received();
        return IndexOf(f, last) >= 0 && IndexOf(f, "(01$0305001)") >= 0;
    }));
    const auto frames = r.Received();
    std::vector<int> moves; // which of the 300 moves reached the device, in arrival order
    long answeredPolls = 0;
    for (auto f = frames.begin() + static_cast<std::ptrdiff_t>(before); f != frames.end(); ++f) {
        if (*f == "(01L)") ++answeredPolls;
        for (int i = 0; f->rfind("(01$0272", 0) == 0 && i < 300; ++i)
            if (*f == FrameInputPeqBand("01", 2, 1, 1, 20 + i % 100, 24 + i % 20, 40 + i / 100)) {
                moves.push_back(i);
                break;
            }
    }
    ASSERT_FALSE(moves.empty());
    EXPECT_LT(moves.size(), 300u) << "the drag coalesces";
    EXPECT_LE(static_cast<long>(moves.size()), answeredPolls + 1) << "at most a frame per answered poll";
    EXPECT_TRUE(std::is_sorted(moves.begin(), moves.end())) << "never an older value after a newer one";
    EXPECT_EQ(moves.back(), 299) << "the last value last";
    EXPECT_EQ(r.device.Parameters().InCH[2].Peq[1].Freq, 20 + 299 % 100);
    EXPECT_EQ(r.device.Parameters().InCH[5].Mute, 1) << "the mute posted in the middle of the drag";
}

TEST(LinkController, StateFollowsTheDeviceAndRequestsRunInTurn) {
    Rig r;
    r.controller->RequestConnect(false, {}); // nothing selected: the port "" does not open
    r.controller->Drain();
    EXPECT_EQ(r.controller->State(), LinkState::NotConnected);
    ASSERT_TRUE(r.Connect());
    // The device stops answering: lost from the 21st empty reply, then back when it answers again.
    sim::SimFaults mute;
    mute.muteAfter = 1;
    r.server.SetFaults(mute);
    ASSERT_TRUE(WaitFor([&] { return r.controller->State() == LinkState::Lost; }));
    // The state turns first and its event follows from the worker's thread.
    EXPECT_TRUE(WaitFor([&] { return r.lost >= 1; }));
    r.server.SetFaults({});
    ASSERT_TRUE(WaitFor([&] { return r.controller->State() == LinkState::Connected; }));
    // The device's port going away is a lost device at once.
    r.controller->RequestCall([&](DeviceLink&) { r.controller->MarkLost(); });
    r.controller->Drain();
    EXPECT_TRUE(r.controller->State() == LinkState::Lost || r.controller->State() == LinkState::Connected);
    r.controller->RequestDisconnect();
    r.controller->Drain();
    EXPECT_EQ(r.controller->State(), LinkState::NotConnected);
    ASSERT_TRUE(WaitFor([&] { return !r.Received().empty() && r.Received().back() == "(01B)"; }));
    std::lock_guard lock(r.mutex);
    ASSERT_GE(r.states.size(), 4u);
    EXPECT_EQ(r.states[0], LinkState::Connecting) << "the connection that could not open its port";
    EXPECT_EQ(r.states[1], LinkState::NotConnected);
    EXPECT_EQ(r.states[2], LinkState::Scanning);
    EXPECT_EQ(r.states.back(), LinkState::NotConnected);
    EXPECT_NE(std::find(r.states.begin(), r.states.end(), LinkState::Lost), r.states.end());
}

TEST(LinkController, PollSuspensionStopsTheWorkersOwnFramesButNotJobs) {
    Rig r;
    ASSERT_TRUE(r.Connect());
    {
        auto hold = r.controller->SuspendPoll();
        auto second = r.controller->SuspendPoll();
        EXPECT_TRUE(r.controller->PollSuspended());
        second.Release();
        EXPECT_TRUE(r.controller->PollSuspended()) << "suspensions count";
        std::promise<std::string> reply;
        r.controller->RequestJob([&](CSerialPort* port) {
            reply.set_value(port ? ExchangeFrame(*port, "(01T001)", 200ms, 51) : std::string("no port"));
        });
        EXPECT_EQ(reply.get_future().get().size(), 51u) << "the job's exchange is answered";
        const std::size_t count = r.device.FrameCount();
        r.controller->Post(FrameInputMute("01", 0, true));
        // A whole cycle and more without anything from the worker.
        std::this_thread::sleep_for(LinkTimings::Fast().cycle * 4);
        EXPECT_EQ(r.device.FrameCount(), count);
    }
    EXPECT_FALSE(r.controller->PollSuspended());
    ASSERT_TRUE(WaitFor([&] { return r.device.Parameters().InCH[0].Mute == 1; }));
}

TEST(LinkController, ShutdownCutsAScanShortAndEndsTheConnection) {
    Rig r;
    ASSERT_TRUE(r.Connect());
    r.controller->Shutdown();
    EXPECT_EQ(r.controller->State(), LinkState::NotConnected);
    ASSERT_TRUE(WaitFor([&] { return !r.Received().empty() && r.Received().back() == "(01B)"; }))
        << "last heard " << (r.Received().empty() ? std::string("nothing") : r.Received().back());

    Rig scanning;
    scanning.link.SetCatalog({"virtual"});
    scanning.controller->RequestScan(); // 50 probes take far longer than the shutdown may
    ASSERT_TRUE(WaitFor([&] { return scanning.controller->State() == LinkState::Scanning; }));
    scanning.controller->Shutdown();
    EXPECT_EQ(scanning.controller->State(), LinkState::NotConnected);
}

TEST(LinkController, SelectionsAndPortChangesDuringAScanOrADisconnectionWaitTheirTurn) {
    // What the windows ask while the link is busy: device-list clicks and the virtual processor
    // switched off and on. Each runs on the controller's thread in turn; run under ThreadSanitizer,
    // this shows that nothing of the link is touched from two threads.
    Rig r;
    std::atomic<bool> stop{false};
    const auto pester = [&] {
        for (int i = 0; !stop; ++i) {
            r.controller->RequestSelect(SelectionOf({1, "virtual"}, {"virtual"}));
            r.controller->RequestCall([&, i](DeviceLink& link) {
                if (i % 2) {
                    r.provider.UnregisterVirtualPort("virtual");
                    link.SetCatalog({});
                } else {
                    r.provider.RegisterVirtualPort("virtual", r.hub);
                    link.SetCatalog({"virtual"});
                }
            });
            std::this_thread::sleep_for(2ms);
        }
    };
    std::thread clicks(pester);
    r.controller->RequestScan();
    // The scan may be over at once (the pestering may have emptied the catalog): its states tell.
    const auto scanned = [&] {
        std::lock_guard lock(r.mutex);
        const auto it = std::find(r.states.begin(), r.states.end(), LinkState::Scanning);
        return it != r.states.end() &&
               std::find(it, r.states.end(), LinkState::NotConnected) != r.states.end();
    };
    ASSERT_TRUE(WaitFor(scanned, 10s));
    stop = true;
    clicks.join();
    r.controller->RequestCall([&](DeviceLink& link) {
        r.provider.RegisterVirtualPort("virtual", r.hub);
        link.SetCatalog({"virtual"});
    });
    ASSERT_TRUE(r.Connect());

    stop = false;
    std::thread more(pester);
    r.controller->RequestDisconnect();
    ASSERT_TRUE(WaitFor([&] { return r.controller->State() == LinkState::NotConnected; }));
    stop = true;
    more.join();
    r.controller->Drain();
    EXPECT_FALSE(r.link.Connected());
}

TEST(PortCatalog, TheVirtualProcessorStartsUnlessAnAdapterIsAttached) {
    EXPECT_TRUE(WantVirtualProcessor(false, {}, {}));
    EXPECT_TRUE(WantVirtualProcessor(false, {}, {"/dev/ttyS0"})) << "an on-board UART is no processor";
    EXPECT_FALSE(WantVirtualProcessor(false, {}, {"/dev/ttyS0", "/dev/ttyUSB0"}));
    EXPECT_FALSE(WantVirtualProcessor(false, {}, {"/dev/ttyACM1"}));
    EXPECT_FALSE(WantVirtualProcessor(false, {"/dev/pts/4"}, {}));
    EXPECT_TRUE(WantVirtualProcessor(true, {}, {"/dev/ttyUSB0"}));
}

TEST(LinkController, AnAdapterPulledOutAndPutBackIsFoundAgainOnItsPath) {
    // The port is a stable name (as the system's by-id links are) pointing at a pseudo-terminal;
    // pulling the adapter out ends the terminal and the name, putting it back makes both anew.
    char dir[] = "/tmp/quellmarin-replugXXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string name = std::string(dir) + "/usb-adapter";
    auto adapter = std::make_unique<PtyProcessor>(1);
    ASSERT_EQ(::symlink(adapter->Path().c_str(), name.c_str()), 0);

    SystemPortProvider provider;
    DeviceLink link(provider, kBuildModel, LinkTimings::Fast());
    link.SetCatalog({name});
    std::atomic<int> lost{0};
    LinkController::Events ev;
    ev.lostDevice = [&] { ++lost; };
    LinkController controller(link, ev);
    controller.RequestSelect(SelectionOf({1, name}, {name}));
    controller.RequestConnect(false, {});
    controller.Drain();
    ASSERT_EQ(controller.State(), LinkState::Connected);

    adapter.reset();
    ::unlink(name.c_str());
    ASSERT_TRUE(WaitFor([&] { return controller.State() == LinkState::Lost; }));
    // Probes of a port that is not there fail on their own; an edit made meanwhile is kept.
    ASSERT_TRUE(WaitFor([&] { return lost >= 5; }));
    link.Post(FrameInputMute(link.Address(), 2, true));

    adapter = std::make_unique<PtyProcessor>(1);
    ASSERT_EQ(::symlink(adapter->Path().c_str(), name.c_str()), 0);
    ASSERT_TRUE(WaitFor([&] { return controller.State() == LinkState::Connected; }));
    ASSERT_TRUE(WaitFor([&] { return adapter->device.Parameters().InCH[2].Mute == 1; }))
        << "the kept edit reaches the device on the port opened anew";
    const auto frames = adapter->device.FramesReceived();
    EXPECT_EQ(frames.front(), "(01hello)") << "the return starts with the probe";

    controller.RequestDisconnect();
    controller.Drain();
    EXPECT_EQ(controller.State(), LinkState::NotConnected);
    ASSERT_TRUE(WaitFor([&] { return adapter->device.FramesReceived().back() == "(01B)"; }));
    controller.Shutdown();
    ::unlink(name.c_str());
    ::rmdir(dir);
}
