// Ports behind network serial servers: the port names, the Telnet codec, the line on the wire against
// scripted servers, every way a connection can fail, the whole link against the virtual processor's
// own network port, and a real ser2net bridging to a virtual processor on a pseudo-terminal.
#include "link/DeviceLink.h"
#include "link/NetworkPort.h"
#include "link/NetworkSerialLine.h"
#include "link/PortCatalog.h"
#include "link/Telnet.h"
#include "link/WholeState.h"
#include "sim/NetworkSimServer.h"

#include "LinkTestSupport.h"
#include "NetworkTestSupport.h"
#include "TempDir.h"
#include "cli/Cli.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

using namespace quellmarin;
using namespace quellmarin::test;
using Clock = std::chrono::steady_clock;

namespace {

constexpr char kIac = '\xff';

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (const int v : values) s += static_cast<char>(v);
    return s;
}

std::chrono::milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

SystemParameters BusyState() {
    SystemParameters p = DefaultSystemParameters(DeviceModel::Mivon);
    SetProgramName(p, "Rack room B");
    p.InCH[2].Gain = 171;
    p.OutCH[5].HpfType = 11;
    p.OutCH[5].HpfFreq = 29;
    SetDelaySamples(p.OutCH[1], 480);
    return p;
}

// One connection's worth of use: scan, upload, a burst of edits, a download read back.
void DriveTheLink(const std::string& port, sim::VirtualProcessor& device, const std::string& address) {
    SystemPortProvider provider;
    DeviceLink link(provider, DeviceModel::Mivon, LinkTimings::Fast());
    link.SetCatalog(BuildPortCatalog({port}, {}, false));
    const int id = std::stoi(address);
    ASSERT_EQ(link.Scan(), (std::vector<FoundDevice>{{id, port}})) << port;
    EXPECT_TRUE(link.PortProblems().empty());
    device.SetParameters(BusyState());
    link.Select(SelectionOf({id, port}, link.Catalog()));
    ConnectOutcome up = link.Connect(false, {});
    ASSERT_TRUE(up.connected) << port << ": " << up.message;
    EXPECT_EQ(*up.params, ToBytes(BusyState()));
    for (int ch = 0; ch < kInputSlots; ++ch) link.Post(FrameInputMute(address, ch, true));
    for (int step = 150; step <= 170; ++step) link.Post(FrameOutputGain(address, 3, step));
    ASSERT_TRUE(WaitFor([&] {
        const SystemParameters p = device.Parameters();
        bool all = p.OutCH[3].Gain == 170;
        for (int ch = 0; ch < kInputSlots; ++ch) all = all && p.InCH[ch].Mute == 1;
        return all;
    })) << port;
    link.Disconnect();

    SystemParameters sent = BusyState();
    sent.OutCH[7].Gain = 100;
    SetProgramName(sent, "Written over TCP");
    ConnectOutcome down = link.Connect(true, ToBytes(sent));
    ASSERT_TRUE(down.connected) << port << ": " << down.message;
    EXPECT_FALSE(down.unconfirmed) << port;
    EXPECT_EQ(ToBytes(device.Parameters()), ToBytes(sent));
    link.Disconnect();
}

// A Telnet server scripted byte by byte: takes the client's greeting, accepts COM-port control,
// offers an option nobody wants, and answers line requests with `baudAnswer`.
struct ScriptedTelnet {
    std::string greeting, afterAccept, requests, data, purge;
    std::string baudAnswer = Bytes({0, 0, 0x96, 0});
    std::atomic<bool> done{false};

    void Serve(int fd) {
        greeting = ReadFor(fd, 300ms, 15);
        SendAll(fd, Bytes({255, 253, 44, 255, 251, 1})); // DO COM-PORT, WILL ECHO
        afterAccept = ReadFor(fd, 200ms, 3);
        requests = ReadFor(fd, 500ms, TelnetCodec::LineRequests(LineConfig{}).size());
        SendAll(fd, Bytes({255, 250, 44, 101}) + baudAnswer + Bytes({255, 240, 255, 250, 44, 102, 8, 255, 240,
                                                                     255, 250, 44, 103, 1, 255, 240, 255, 250,
                                                                     44, 104, 1, 255, 240}));
        data = ReadFor(fd, 500ms, 4);
        SendAll(fd, Bytes({'(', 255, 255, ')'}));
        purge = ReadFor(fd, 500ms, 7);
        done = true;
        ReadFor(fd, 300ms);
    }
};

} // namespace

TEST(NetworkPort, NamesAreReadInOneSpellingAndBadOnesSayWhy) {
    EXPECT_EQ(ParseNetworkPort("tcp://10.0.0.5:4001"), (NetworkAddress{NetworkKind::RawTcp, "10.0.0.5", 4001}));
    EXPECT_EQ(ParseNetworkPort("RFC2217://Rack-Room.local:2217/"),
              (NetworkAddress{NetworkKind::Rfc2217, "rack-room.local", 2217}));
    EXPECT_EQ(ParseNetworkPort("rfc2217://[::1]:7000"), (NetworkAddress{NetworkKind::Rfc2217, "::1", 7000}));
    EXPECT_EQ(NetworkPortName(*ParseNetworkPort("rfc2217://[::1]:7000")), "rfc2217://[::1]:7000");
    EXPECT_TRUE(IsNetworkPort("TCP://x:1"));
    EXPECT_FALSE(IsNetworkPort("/dev/ttyUSB0"));
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"tcp://host", "the port number is missing"},
        {"tcp://:4001", "the host is missing"},
        {"tcp://host:0", "the port number must be 1 to 65535"},
        {"tcp://host:65536", "the port number must be 1 to 65535"},
        {"tcp://host:40x1", "the port number must be 1 to 65535"},
        {"tcp://host:+4001", "the port number must be 1 to 65535"},
        {"tcp://::1:4001", "an IPv6 address goes in brackets"},
        {"rfc2217://[::1]4001", "an IPv6 address goes in brackets"},
        {"rfc2217://[fe80::1%eth0]:4001", "is not an IPv6 address"},
        {"tcp://rack room:4001", "is not a host name or address"},
        {"tcp://a/b:4001", "is not a host name or address"},
        {"udp://host:4001", "starts with tcp:// or rfc2217://"},
    };
    for (const auto& [name, why] : refused) {
        std::string reason;
        EXPECT_FALSE(ParseNetworkPort(name, &reason)) << name;
        EXPECT_NE(reason.find(why), std::string::npos) << name << ": " << reason;
    }
}

TEST(Telnet, ClientAndServerAgreeOnComPortControlAndTheLine) {
    TelnetCodec client(TelnetCodec::Role::Client), server(TelnetCodec::Role::Server);
    const std::string hello = client.Greeting();
    EXPECT_EQ(hello, Bytes({255, 251, 0, 255, 251, 3, 255, 251, 44, 255, 253, 0, 255, 253, 3}));
    std::string toClient, toServer;
    EXPECT_EQ(server.Take(hello, toClient), "");
    EXPECT_EQ(server.ComPort(), TelnetCodec::ComPortState::Accepted);
    EXPECT_EQ(client.Take(toClient, toServer), "");
    EXPECT_EQ(client.ComPort(), TelnetCodec::ComPortState::Accepted);
    EXPECT_EQ(toServer, "") << "answers to answers would loop";

    const LineConfig device{};
    const std::string requests = TelnetCodec::LineRequests(device);
    EXPECT_EQ(requests.substr(0, 10), Bytes({255, 250, 44, 1, 0, 0, 0x96, 0, 255, 240}));
    toClient.clear();
    EXPECT_EQ(server.Take(requests, toClient), "");
    EXPECT_EQ(server.ServerLine().baud, 38400);
    EXPECT_EQ(server.ServerLine().byteSize, 8);
    client.Take(toClient, toServer);
    for (const unsigned char c : {TelnetCodec::kSetBaudRate, TelnetCodec::kSetDataSize, TelnetCodec::kSetParity,
                                  TelnetCodec::kSetStopSize})
        EXPECT_EQ(client.Answer(c), TelnetCodec::SettingValue(c, device)) << int(c);

    // A purge drops what the device had not yet taken, and is confirmed.
    toClient.clear();
    const std::string got = server.Take("(01Q000)" + TelnetCodec::ComPortRequest(TelnetCodec::kPurgeData, "\x03") +
                                            "(01I)",
                                        toClient);
    EXPECT_EQ(got, "(01I)");
    EXPECT_EQ(server.PurgesAsked(), 1);
    EXPECT_EQ(toClient, Bytes({255, 250, 44, 112, 3, 255, 240}));
    // A purge of the server's receive buffer alone keeps what the device has not taken yet (a fuzz
    // finding: the line dropped it on any purge).
    toClient.clear();
    EXPECT_EQ(server.Take("(01L)" + TelnetCodec::ComPortRequest(TelnetCodec::kPurgeData, "\x01"), toClient), "(01L)");
    EXPECT_EQ(server.PurgesAsked(), 1);
    EXPECT_EQ(toClient, Bytes({255, 250, 44, 112, 1, 255, 240}));

    // A server that declines the option: the client knows at once.
    TelnetCodec refusing(TelnetCodec::Role::Client);
    refusing.Greeting();
    std::string answers;
    refusing.Take(Bytes({255, 254, 44}), answers);
    EXPECT_EQ(refusing.ComPort(), TelnetCodec::ComPortState::Refused);
    EXPECT_EQ(answers, "");
}

TEST(Telnet, Data255IsDoubledAndSequencesMaySplitAnywhere) {
    EXPECT_EQ(TelnetCodec::Escape(Bytes({'(', 255, 0, 255, ')'})), Bytes({'(', 255, 255, 0, 255, 255, ')'}));
    const std::string wire = Bytes({'(', 255, 255, 255, 250, 44, 101, 0, 0, 255, 255, 0, 255, 240, 'a', 255, 241,
                                    'b', 255, 255, ')'});
    TelnetCodec whole(TelnetCodec::Role::Client), split(TelnetCodec::Role::Client);
    std::string answers, data;
    EXPECT_EQ(whole.Take(wire, answers), Bytes({'(', 255, 'a', 'b', 255, ')'}));
    EXPECT_EQ(whole.Answer(TelnetCodec::kSetBaudRate), Bytes({0, 0, 255, 0}));
    for (const char c : wire) data += split.Take(std::string(1, c), answers);
    EXPECT_EQ(data, Bytes({'(', 255, 'a', 'b', 255, ')'}));
    EXPECT_EQ(split.Answer(TelnetCodec::kSetBaudRate), whole.Answer(TelnetCodec::kSetBaudRate));
    EXPECT_EQ(answers, "");
}

TEST(Telnet, UnknownOptionsAreDeclinedOnceAndJunkIsSkipped) {
    TelnetCodec client(TelnetCodec::Role::Client);
    std::string answers;
    client.Take(Bytes({255, 251, 1, 255, 253, 24, 255, 251, 1, 255, 253, 24}), answers);
    EXPECT_EQ(answers, Bytes({255, 254, 1, 255, 252, 24})) << "WILL ECHO and DO TERMINAL-TYPE declined, once";
    answers.clear();
    // An endless subnegotiation is cut at its limit; a stray command byte is dropped; data goes on.
    std::string flood = Bytes({255, 250, 44, 101}) + std::string(100000, 'x') + Bytes({255, 240});
    EXPECT_EQ(client.Take(flood + "(ok)" + Bytes({255, 7}) + "!", answers), "(ok)!");
    EXPECT_FALSE(client.Answer(TelnetCodec::kSetBaudRate));
    EXPECT_GE(client.Malformed(), 2);
    EXPECT_EQ(answers, "");
}

TEST(NetworkLine, Rfc2217NegotiatesSetsTheLineEscapesAndPurgesOnTheWire) {
    ScriptedTelnet script;
    TestListener server([&](int fd, const std::atomic<bool>&) { script.Serve(fd); });
    const std::string name = "rfc2217://127.0.0.1:" + std::to_string(server.Port());
    auto line = CreateNetworkLine();
    ASSERT_TRUE(line->Open(name)) << line->LastProblem().detail;
    ASSERT_TRUE(line->Configure(LineConfig{})) << line->LastProblem().detail;
    EXPECT_EQ(script.greeting, Bytes({255, 251, 0, 255, 251, 3, 255, 251, 44, 255, 253, 0, 255, 253, 3}));
    EXPECT_EQ(script.afterAccept, Bytes({255, 254, 1})) << "ECHO is declined";
    EXPECT_EQ(script.requests, TelnetCodec::LineRequests(LineConfig{}));
    ASSERT_EQ(line->Write(Bytes({'(', 255, ')'}), 1s), 3u);
    ASSERT_TRUE(line->WaitForBytes(3, 1s));
    EXPECT_EQ(script.data, Bytes({'(', 255, 255, ')'}));
    EXPECT_EQ(line->Read(10), Bytes({'(', 255, ')'}));
    line->Purge();
    ASSERT_TRUE(WaitFor([&] { return script.done.load(); }));
    EXPECT_EQ(script.purge, Bytes({255, 250, 44, 12, 3, 255, 240}));
    line->Close();

    // A server that keeps its own baud rate is told off, not trusted.
    ScriptedTelnet stubborn;
    stubborn.baudAnswer = Bytes({0, 0, 0x25, 0x80});
    TestListener other([&](int fd, const std::atomic<bool>&) { stubborn.Serve(fd); });
    auto second = CreateNetworkLine();
    ASSERT_TRUE(second->Open("rfc2217://127.0.0.1:" + std::to_string(other.Port())));
    EXPECT_FALSE(second->Configure(LineConfig{}));
    EXPECT_EQ(second->LastProblem().detail,
              "the server did not take the line settings 38400 baud 8N1 (the serial port behind it may not allow "
              "them)");
}

TEST(NetworkLine, TheVirtualProcessorsTelnetPortCarries255BothWaysAndPurges) {
    std::string heard;
    std::mutex mutex;
    TestListener server([&](int fd, const std::atomic<bool>& stop) {
        auto line = AdoptServerSocket(::dup(fd), true); // the line the virtual processor's port uses
        while (!stop && !line->Broken()) {
            if (line->WaitForBytes(1, 10ms)) {
                const std::string got = line->Read(100);
                std::lock_guard lock(mutex);
                heard += got;
                if (heard == Bytes({'(', 255, ')'})) line->Write(Bytes({'<', 255, '>'}), 1s);
            }
        }
    });
    auto client = CreateNetworkLine();
    ASSERT_TRUE(client->Open("rfc2217://127.0.0.1:" + std::to_string(server.Port()))) << client->LastProblem().detail;
    ASSERT_TRUE(client->Configure(LineConfig{})) << client->LastProblem().detail;
    client->Purge(); // confirmed by the server before it returns
    ASSERT_EQ(client->Write(Bytes({'(', 255, ')'}), 1s), 3u);
    ASSERT_TRUE(client->WaitForBytes(3, 2s));
    EXPECT_EQ(client->Read(10), Bytes({'<', 255, '>'}));
    std::lock_guard lock(mutex);
    EXPECT_EQ(heard, Bytes({'(', 255, ')'})) << "neither the negotiation nor the purge reached the device as data";
}

TEST(NetworkLine, EveryFailureNamesTheHostAndTheReasonWithinItsTimeOut) {
    const auto silent = [](int fd, const std::atomic<bool>& stop) { UntilClosed(fd, stop); };
    TestListener closesAtOnce([](int fd, const std::atomic<bool>&) { SendAll(fd, "Port already in use\r\n"); });
    TestListener speaksTelnet([](int fd, const std::atomic<bool>& stop) {
        SendAll(fd, Bytes({255, 251, 1, 255, 251, 3}));
        UntilClosed(fd, stop);
    });
    TestListener garbage([](int fd, const std::atomic<bool>& stop) {
        SendAll(fd, "\x01\x02login: ");
        UntilClosed(fd, stop);
    });
    TestListener neverNegotiates(silent);
    TestListener refusesComPort([](int fd, const std::atomic<bool>& stop) {
        ReadFor(fd, 200ms, 15);
        SendAll(fd, Bytes({255, 254, 44}));
        UntilClosed(fd, stop);
    });
    FullListener full;
    const std::string longLabel(64, 'a');
    const auto at = [](const char* scheme, int port) { return std::string(scheme) + "127.0.0.1:" + std::to_string(port); };
    const int nobody = FreePort();
    struct Case {
        std::string port;
        std::string message;
        std::chrono::milliseconds bound;
    };
    const std::vector<Case> cases = {
        {"tcp://" + longLabel + ".example:4001",
         "tcp://" + longLabel + ".example:4001: there is no host named \"" + longLabel + ".example\"", 2500ms},
        {at("tcp://", nobody),
         at("tcp://", nobody) + ": the connection to 127.0.0.1:" + std::to_string(nobody) +
             " was refused (is the serial server running, and is " + std::to_string(nobody) + " its port?)",
         500ms},
        {at("tcp://", full.Port()),
         at("tcp://", full.Port()) + ": no answer from 127.0.0.1:" + std::to_string(full.Port()) +
             " within 2 s (is the server on, and the address right?)",
         2600ms},
        {at("tcp://", closesAtOnce.Port()),
         at("tcp://", closesAtOnce.Port()) + ": the server closed the connection, saying \"Port already in use\"",
         500ms},
        {at("rfc2217://", closesAtOnce.Port()),
         at("rfc2217://", closesAtOnce.Port()) + ": the server closed the connection, saying \"Port already in use\"",
         2500ms},
        {at("tcp://", speaksTelnet.Port()),
         at("tcp://", speaksTelnet.Port()) + ": the server speaks Telnet on this port: name it " +
             at("rfc2217://", speaksTelnet.Port()),
         500ms},
        {at("tcp://", garbage.Port()),
         at("tcp://", garbage.Port()) +
             ": the server sent bytes before it was asked anything (is it the serial server's port?)",
         500ms},
        {at("rfc2217://", neverNegotiates.Port()),
         at("rfc2217://", neverNegotiates.Port()) +
             ": the server did not take up COM-port control (RFC 2217) within 2 s (is it a Telnet port?)",
         2600ms},
        {at("rfc2217://", refusesComPort.Port()),
         at("rfc2217://", refusesComPort.Port()) +
             ": the server does not offer COM-port control (RFC 2217) on this port; for a raw port name it " +
             at("tcp://", refusesComPort.Port()),
         1000ms},
        {"tcp://host", "tcp://host: the port number is missing: give it as HOST:PORT, for example tcp://192.168.1.20:4001",
         100ms},
    };
    SystemPortProvider provider;
    for (const Case& c : cases) {
        const auto start = Clock::now();
        const PortCheck check = CheckPorts(provider, {c.port});
        EXPECT_LE(Since(start), c.bound) << c.port;
        EXPECT_TRUE(check.usable.empty()) << c.port;
        ASSERT_EQ(check.problems.size(), 1u) << c.port;
        EXPECT_EQ(check.problems[0], c.message);
    }
    // All of them at once take as long as the slowest, not the sum.
    std::vector<std::string> all;
    for (const Case& c : cases) all.push_back(c.port);
    const auto start = Clock::now();
    const PortCheck together = CheckPorts(provider, all);
    ASSERT_EQ(together.problems.size(), cases.size()) << ::testing::PrintToString(together.usable);
    for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(together.problems[i], cases[i].message);
    EXPECT_LE(Since(start), 2800ms);
}

TEST(NetworkLine, AProgramUsesANetworkPortOnceAtATime) {
    sim::VirtualProcessor device(3, DeviceModel::Mivon);
    sim::NetworkSimServer server(device, false);
    std::string error;
    ASSERT_TRUE(server.Listen("127.0.0.1", 0, error)) << error;
    auto first = CreateNetworkLine();
    ASSERT_TRUE(first->Open(server.PortName()));
    auto second = CreateNetworkLine();
    EXPECT_FALSE(second->Open(server.PortName()));
    EXPECT_EQ(DescribePortProblem(server.PortName(), second->LastProblem()),
              server.PortName() + ": this program is already using the port");
    EXPECT_FALSE(second->Open("TCP://127.0.0.1:" + std::to_string(server.Port()))) << "one port, two spellings";
    first->Close();
    EXPECT_TRUE(second->Open(server.PortName()));
}

TEST(NetworkSim, ScanUploadEditsAndDownloadOverRawAndTelnetPorts) {
    for (const bool telnet : {false, true}) {
        sim::VirtualProcessor device(9, DeviceModel::Mivon);
        sim::NetworkSimServer server(device, telnet);
        std::string error;
        ASSERT_TRUE(server.Listen("127.0.0.1", 0, error)) << error;
        DriveTheLink(server.PortName(), device, "09");
    }
}

TEST(NetworkSim, TheSimulatorProgramServesANetworkPortItPicks) {
    SimProcess sim({"--id", "8", "--tcp", "127.0.0.1:0", "--rfc2217"});
    ASSERT_EQ(sim.Path().rfind("rfc2217://127.0.0.1:", 0), 0u) << sim.Path();
    SystemPortProvider provider;
    DeviceLink link(provider, DeviceModel::Mivon, LinkTimings::Fast());
    link.SetCatalog({sim.Path()});
    EXPECT_EQ(link.Scan(), (std::vector<FoundDevice>{{8, sim.Path()}}));
    SimProcess wrong({"--rfc2217"});
    EXPECT_EQ(wrong.Path(), "") << "--rfc2217 alone is a usage error, nothing is served";
}

TEST(NetworkSim, AServerClosingMidReplyFailsTheUploadAndWritesNothing) {
    sim::VirtualProcessor device(4, DeviceModel::Mivon);
    sim::SimFaults hangup;
    hangup.hangupQ = true;
    sim::NetworkSimServer server(device, true, hangup);
    std::string error;
    ASSERT_TRUE(server.Listen("127.0.0.1", 0, error)) << error;

    SystemPortProvider provider;
    DeviceLink link(provider, DeviceModel::Mivon, LinkTimings::Fast());
    link.SetCatalog({server.PortName()});
    link.Select(SelectionOf({4, server.PortName()}, link.Catalog()));
    const auto start = Clock::now();
    const ConnectOutcome c = link.Connect(false, {});
    EXPECT_FALSE(c.connected);
    EXPECT_EQ(c.message, kUploadFailed);
    EXPECT_LE(Since(start), 1500ms);

    TempDir dir;
    const std::string out = (dir / "hung-up.asc").string();
    cli::Environment env;
    env.provider = &provider;
    env.timings = LinkTimings::Fast();
    env.includeHardware = false;
    env.progressOnTerminal = false;
    std::ostringstream so, se;
    EXPECT_NE(cli::Run({"--port", server.PortName(), "--id", "4", "upload", out}, so, se, env), 0) << so.str();
    EXPECT_FALSE(std::filesystem::exists(out)) << se.str();
}

TEST(NetworkSim, AClosedConnectionIsALostDeviceAndARestartedServerIsFoundAgain) {
    sim::VirtualProcessor device(6, DeviceModel::Mivon);
    auto server = std::make_unique<sim::NetworkSimServer>(device, false);
    std::string error;
    ASSERT_TRUE(server->Listen("127.0.0.1", 0, error)) << error;
    const int port = server->Port();
    const std::string name = server->PortName();

    SystemPortProvider provider;
    DeviceLink link(provider, DeviceModel::Mivon, LinkTimings::Fast());
    std::atomic<int> lost{0}, answered{0};
    WorkerCallbacks cb;
    cb.lostDevice = [&](const std::string&) { ++lost; };
    cb.answered = [&](const std::string&) { ++answered; };
    link.SetCallbacks(cb);
    link.SetCatalog({name});
    link.Select(SelectionOf({6, name}, link.Catalog()));
    ASSERT_TRUE(link.Connect(false, {}).connected);
    link.Worker().SetMeterPoll(true);
    ASSERT_TRUE(WaitFor([&] { return answered > 0; }));

    const auto stopped = Clock::now();
    server.reset(); // the server goes away: its connections close
    ASSERT_TRUE(WaitFor([&] { return lost > 0; }, 2s));
    EXPECT_LE(Since(stopped), 500ms) << "a closed connection is not waited out like silence";

    link.Post(FrameOutputMute("06", 2, true)); // kept for the device's return
    server = std::make_unique<sim::NetworkSimServer>(device, false);
    ASSERT_TRUE(server->Listen("127.0.0.1", port, error)) << error;
    const int answeredBefore = answered;
    ASSERT_TRUE(WaitFor([&] { return answered > answeredBefore; }, 3s)) << "the reconnection probe connects anew";
    ASSERT_TRUE(WaitFor([&] { return device.Parameters().OutCH[2].Mute == 1; }));
    link.Disconnect();
}

TEST(NetworkSim, AServerThatGoesSilentIsALostDevice) {
    sim::VirtualProcessor device(2, DeviceModel::Mivon);
    sim::NetworkSimServer server(device, true);
    std::string error;
    ASSERT_TRUE(server.Listen("127.0.0.1", 0, error)) << error;
    SystemPortProvider provider;
    DeviceLink link(provider, DeviceModel::Mivon, LinkTimings::Fast());
    std::atomic<int> lost{0};
    WorkerCallbacks cb;
    cb.lostDevice = [&](const std::string&) { ++lost; };
    link.SetCallbacks(cb);
    link.SetCatalog({server.PortName()});
    link.Select(SelectionOf({2, server.PortName()}, link.Catalog()));
    ASSERT_TRUE(link.Connect(false, {}).connected);
    link.Worker().SetMeterPoll(true);
    // The connection stays up but nothing answers any more: a half-open line looks like this.
    sim::SimFaults mute;
    mute.muteAfter = 1;
    server.SetFaults(mute);
    const auto start = Clock::now();
    ASSERT_TRUE(WaitFor([&] { return lost > 0; }, 3s));
    EXPECT_LE(Since(start), 2s);
    link.Disconnect();
}

TEST(Ser2net, RawAndTelnetPortsCarryScanUploadEditsAndDownload) {
    ASSERT_TRUE(Ser2net::Installed()) << "ser2net is missing: scripts/install-deps --test installs it";
    PtyProcessor device(11);
    TempDir dir;
    const int raw = FreePort(), telnet = FreePort();
    // The Telnet port starts at another line setting, so that only the negotiation can bring it to
    // the device's.
    const std::string yaml = "%YAML 1.1\n---\n"
                             "connection: &raw\n"
                             "  accepter: tcp,127.0.0.1," + std::to_string(raw) + "\n"
                             "  connector: serialdev," + device.Path() + ",38400n81,local\n"
                             "  options:\n    kickolduser: true\n    mdns: false\n"
                             "connection: &telnet\n"
                             "  accepter: telnet(rfc2217),tcp,127.0.0.1," + std::to_string(telnet) + "\n"
                             "  connector: serialdev," + device.Path() + ",9600e71,local\n"
                             "  options:\n    kickolduser: true\n    mdns: false\n";
    Ser2net ser2net((dir / "ser2net.yaml").string(), yaml);
    const std::string rawName = "tcp://127.0.0.1:" + std::to_string(raw);
    const std::string telnetName = "rfc2217://127.0.0.1:" + std::to_string(telnet);
    SystemPortProvider provider;
    ASSERT_TRUE(WaitFor(
        [&] {
            auto probe = CreateNetworkLine();
            return probe->Open(rawName);
        },
        5s))
        << "ser2net did not start listening";
    ASSERT_TRUE(ser2net.Running());

    DriveTheLink(rawName, device.device, "11");

    // Over Telnet the line is set by the negotiation: 38400 8N1 on the port, read while connected.
    auto line = CreateNetworkLine();
    ASSERT_TRUE(line->Open(telnetName)) << line->LastProblem().detail;
    ASSERT_TRUE(line->Configure(LineConfig{})) << line->LastProblem().detail;
    ASSERT_TRUE(WaitFor([&] { return device.LineSettings().baud == 38400; }, 2s));
    const LineConfig set = device.LineSettings();
    EXPECT_EQ(set.byteSize, 8);
    EXPECT_EQ(set.parity, Parity::None);
    EXPECT_EQ(set.stopBits, 1);
    line->Close();

    DriveTheLink(telnetName, device.device, "11");
}
