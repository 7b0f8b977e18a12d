// quellmarin-server: the remote-control server without a window, next to the rack.
//   quellmarin-server [--config FILE] [--state-dir DIR] [--port PATH]... [--id N]... [--show-file F]
//                     [--listen ADDR:PORT] [--tls-cert F --tls-key F] [--insecure] [--virtual]
//                     [--mqtt URL [--mqtt-user U --mqtt-password-file F] [--mqtt-prefix P]
//                      [--mqtt-role R] [--mqtt-levels N]]
//   quellmarin-server token add NAME --role viewer|operator|installer [--state-dir DIR]
//   quellmarin-server token list [--state-dir DIR]
//   quellmarin-server token revoke NAME [--state-dir DIR]
// It scans the ports, connects the processors (every one found, those of --id, or those of a show
// file, which names each one's port, ID and name), keeps them connected (the link reconnects a lost
// one by itself) and logs to standard error. A processor of a show file keeps its own settings when
// they differ from the file's, and the log says how many differ. The state
// directory holds the token hashes (tokens.json) and the audit log (audit.jsonl). With --mqtt it
// also publishes into a broker and takes commands from it.
#include "model/InputFile.h"
#include "remote/ServerConfig.h"
#include "session/RigFile.h"
#include "remote/Tokens.h"
#include "server/MqttBridge.h"
#include "server/RemoteServer.h"
#include "shell/QuellmarinApp.h"

#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>
#include <QSysInfo>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <iostream>
#include <set>
#include <unistd.h>

using namespace quellmarin;

namespace {

constexpr const char* kUsage =
    "usage: quellmarin-server [--config FILE] [--state-dir DIR] [--port PATH]... [--id N]... [--show-file FILE]\n"
    "                         [--listen ADDR:PORT] [--tls-cert FILE --tls-key FILE] [--insecure] [--virtual]\n"
    "                         [--mqtt mqtt://HOST[:PORT] | mqtts://HOST[:PORT] [--mqtt-user USER]\n"
    "                          [--mqtt-password-file FILE] [--mqtt-prefix PREFIX] [--mqtt-role ROLE] [--mqtt-levels N]]\n"
    "       quellmarin-server token add NAME --role viewer|operator|installer [--state-dir DIR]\n"
    "       quellmarin-server token list [--state-dir DIR]\n"
    "       quellmarin-server token revoke NAME [--state-dir DIR]\n";

int signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &c, 1);
}

void Log(const std::string& line) { std::fprintf(stderr, "quellmarin-server: %s\n", line.c_str()); }

std::filesystem::path DefaultStateDir() {
    if (const char* systemd = std::getenv("STATE_DIRECTORY"); systemd && *systemd) return systemd;
    if (const char* home = std::getenv("HOME"); home && *home) return std::filesystem::path(home) / ".local/state/quellmarin";
    return "quellmarin-state";
}

int Tokens(const std::vector<std::string>& args, const std::filesystem::path& stateDir) {
    remote::TokenStore store(stateDir / "tokens.json");
    if (const std::string problem = store.Load(); !problem.empty()) {
        Log(problem);
        return 1;
    }
    std::string error;
    if (args.size() >= 2 && args[0] == "add") {
        std::optional<remote::Role> role;
        for (std::size_t i = 2; i + 1 < args.size(); ++i)
            if (args[i] == "--role") role = remote::ParseRole(args[i + 1]);
        if (!role) {
            std::fputs("token add takes --role viewer, operator or installer\n", stderr);
            return 2;
        }
        const auto secret = store.Add(args[1], *role, error);
        if (!secret) {
            Log(error);
            return 1;
        }
        std::printf("token %s (%s) added; its secret is shown this once:\n%s\n", args[1].c_str(),
                    std::string(remote::RoleName(*role)).c_str(), secret->c_str());
        return 0;
    }
    if (args.size() == 1 && args[0] == "list") {
        for (const remote::TokenInfo& t : store.List())
            std::printf("%s\t%s\t%s\n", t.name.c_str(), std::string(remote::RoleName(t.role)).c_str(), t.created.c_str());
        return 0;
    }
    if (args.size() == 2 && args[0] == "revoke") {
        if (!store.Revoke(args[1], error)) {
            Log(error);
            return 1;
        }
        std::printf("token %s revoked\n", args[1].c_str());
        return 0;
    }
    std::fputs(kUsage, stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    // The token commands and the options, read before Qt sees them.
    std::vector<std::string> args(argv + 1, argv + argc);
    remote::ServerConfig config;
    std::vector<std::string> ports;
    std::vector<int> ids;
    std::string stateDir, listen, cert, key, configFile, showFile;
    bool insecure = false, wantVirtual = false;
    remote::MqttConfig mqtt;
    std::optional<remote::Role> mqttRole;
    std::optional<int> mqttLevels;
    std::vector<std::string> tokenArgs;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "token" && tokenArgs.empty()) {
            for (std::size_t j = i + 1; j < args.size(); ++j) {
                if (args[j] == "--state-dir" && j + 1 < args.size()) {
                    stateDir = args[++j];
                    continue;
                }
                tokenArgs.push_back(args[j]);
            }
            if (tokenArgs.empty()) tokenArgs.push_back("?");
            break;
        }
        if (a == "--config" && hasValue) configFile = args[++i];
        else if (a == "--state-dir" && hasValue) stateDir = args[++i];
        else if (a == "--port" && hasValue) ports.push_back(args[++i]);
        else if (a == "--id" && hasValue) {
            const std::string& v = args[++i];
            if (v.empty() || v.size() > 2 || !std::all_of(v.begin(), v.end(), ::isdigit) || std::stoi(v) < 1) {
                std::fprintf(stderr, "an id is 1 to 99, not %s\n", v.c_str());
                return 2;
            }
            ids.push_back(std::stoi(v));
        } else if (a == "--listen" && hasValue) listen = args[++i];
        else if (a == "--show-file" && hasValue) showFile = args[++i];
        else if (a == "--tls-cert" && hasValue) cert = args[++i];
        else if (a == "--tls-key" && hasValue) key = args[++i];
        else if (a == "--mqtt" && hasValue) mqtt.url = args[++i];
        else if (a == "--mqtt-user" && hasValue) mqtt.user = args[++i];
        else if (a == "--mqtt-password-file" && hasValue) mqtt.passwordFile = args[++i];
        else if (a == "--mqtt-prefix" && hasValue) mqtt.prefix = args[++i];
        else if (a == "--mqtt-role" && hasValue) {
            const auto role = remote::ParseRole(args[++i]);
            if (!role) {
                std::fprintf(stderr, "--mqtt-role is viewer, operator or installer, not %s\n", args[i].c_str());
                return 2;
            }
            mqttRole = *role;
        } else if (a == "--mqtt-levels" && hasValue) {
            const std::string& v = args[++i];
            if (v.empty() || v.size() > 2 || !std::all_of(v.begin(), v.end(), ::isdigit) || std::stoi(v) > 10) {
                std::fprintf(stderr, "--mqtt-levels is 0 to 10 a second, not %s\n", v.c_str());
                return 2;
            }
            mqttLevels = std::stoi(v);
        }
        else if (a == "--insecure") insecure = true;
        else if (a == "--virtual") wantVirtual = true;
        else {
            std::fputs(kUsage, stderr);
            return a == "--help" || a == "-h" ? 0 : 2;
        }
    }
    if (!configFile.empty()) {
        const FileRead read = ReadInputFile(configFile);
        std::string error;
        if (!read.bytes) {
            Log(read.problem);
            return 1;
        }
        if (!remote::ReadServerConfig(*read.bytes, config, error)) {
            Log(configFile + ", " + error);
            return 1;
        }
    }
    // What the command line names replaces what the file says.
    if (!ports.empty()) config.ports = ports;
    if (!ids.empty()) config.ids = ids;
    if (!stateDir.empty()) config.stateDir = stateDir;
    if (!listen.empty()) config.listen = listen;
    if (!cert.empty()) config.tlsCert = cert;
    if (!key.empty()) config.tlsKey = key;
    if (!showFile.empty()) config.showFile = showFile;
    config.insecure = config.insecure || insecure;
    if (!mqtt.url.empty()) config.mqtt.url = mqtt.url;
    if (!mqtt.user.empty()) config.mqtt.user = mqtt.user;
    if (!mqtt.passwordFile.empty()) config.mqtt.passwordFile = mqtt.passwordFile;
    if (!mqtt.prefix.empty()) config.mqtt.prefix = mqtt.prefix;
    if (mqttRole) config.mqtt.role = *mqttRole;
    if (mqttLevels) config.mqtt.levelsPerSecond = *mqttLevels;
    config.virtualProcessor = config.virtualProcessor || wantVirtual;
    const std::filesystem::path state = config.stateDir.empty() ? DefaultStateDir() : std::filesystem::path(config.stateDir);
    if (!tokenArgs.empty()) return Tokens(tokenArgs, state);

    std::string address, why;
    int apiPort = 0;
    if (!remote::SplitListen(config.listen, address, apiPort, why)) {
        Log(why);
        return 2;
    }
    QCoreApplication qapp(argc, argv);
    QCoreApplication::setApplicationName("quellmarin-server");
    QCoreApplication::setApplicationVersion(QUELLMARIN_VERSION);

    std::error_code ec;
    std::filesystem::create_directories(state, ec);
    std::filesystem::permissions(state, std::filesystem::perms::owner_all, std::filesystem::perm_options::replace, ec);
    remote::TokenStore tokens(state / "tokens.json");
    if (const std::string problem = tokens.Load(); !problem.empty()) {
        Log(problem);
        return 1;
    }
    if (tokens.List().empty())
        Log("no tokens yet: every request will be refused; add one with: quellmarin-server token add NAME --role operator --state-dir " +
            state.string());
    remote::AuditLog audit(state / "audit.jsonl");

    ui::CQuellmarinApp app;
    app.SetLocalSource("processor");
    // A show file names its processors' ports: those are scanned, with any the configuration adds.
    std::vector<std::string> scanned = config.ports;
    if (!config.showFile.empty()) {
        const RigRead read = OpenRigFile(config.showFile);
        if (!read.ok()) {
            Log("the show file cannot be opened: " + read.problem);
            return 1;
        }
        app.OpenRig(*read.members);
        for (const RigMember& m : *read.members)
            if (std::find(scanned.begin(), scanned.end(), m.port) == scanned.end()) scanned.push_back(m.port);
        Log("show file " + config.showFile + ": " + std::to_string(read.members->size()) + " processor(s)");
    }
    app.SetIncludeHardware(scanned.empty());
    app.SetUserPorts(scanned);
    if (config.virtualProcessor) app.StartVirtualProcessor();

    ui::RemoteServer server(app, tokens, audit);
    QObject::connect(&server, &ui::RemoteServer::logLine, [](const QString& line) { Log(line.toStdString()); });
    QObject::connect(&server, &ui::RemoteServer::auditLine, [](const QString& line) { Log("audit " + line.toStdString()); });
    ui::RemoteSettings settings;
    settings.address = QHostAddress(QString::fromStdString(address));
    if (settings.address.isNull()) {
        Log("the listen address " + address + " is not an IP address");
        return 2;
    }
    settings.port = static_cast<quint16>(apiPort);
    settings.certFile = QString::fromStdString(config.tlsCert);
    settings.keyFile = QString::fromStdString(config.tlsKey);
    settings.insecure = config.insecure;
    for (const std::string& h : config.hostNames) settings.hostNames << QString::fromStdString(h);
    settings.connectionsPerAddress = config.connectionsPerAddress;
    settings.requestsPerSecond = config.requestsPerSecond;
    settings.requestBurst = 2.0 * config.requestsPerSecond;
    QString error;
    if (!server.Start(settings, error)) {
        Log(error.toStdString());
        return 1;
    }

    // The broker, when one is named: its connection comes and goes by itself.
    ui::MqttBridge bridge(app, server.Api());
    QObject::connect(&bridge, &ui::MqttBridge::logLine, [](const QString& line) { Log(line.toStdString()); });
    QObject::connect(&app, &ui::CQuellmarinApp::edited, &bridge, &ui::MqttBridge::Nudge);
    QObject::connect(&app, &ui::CQuellmarinApp::recordsReplaced, &bridge, &ui::MqttBridge::Nudge);
    if (!config.mqtt.url.empty() && !bridge.Start(config.mqtt, QSysInfo::machineHostName().toStdString(), error)) {
        Log(error.toStdString());
        return 1;
    }

    // Scan, then connect the processors wanted one after another; a scan that finds none is tried
    // again every five seconds. A processor lost later is reconnected by its line.
    std::deque<std::string> toConnect;
    std::deque<std::size_t> unitsToConnect; // processors of the show file
    QTimer rescan;
    rescan.setSingleShot(true);
    rescan.setInterval(5000);
    const auto connectNext = [&] {
        if (!unitsToConnect.empty()) {
            const std::size_t unit = unitsToConnect.front();
            unitsToConnect.pop_front();
            Log("connecting " + app.GetRig().Label(unit));
            app.ConnectUnit(unit);
            return;
        }
        while (!toConnect.empty()) {
            const std::string line = toConnect.front();
            toConnect.pop_front();
            if (const std::string_view message = app.Select(line); !message.empty()) {
                Log(line + ": " + std::string(message));
                continue;
            }
            Log("connecting " + line);
            app.StartConnect(false);
            return;
        }
        if (!app.AnyConnected()) rescan.start();
    };
    QObject::connect(&rescan, &QTimer::timeout, [&] { app.StartScan(); });
    QObject::connect(&app, &ui::CQuellmarinApp::scanFinished, [&](const QStringList&) {
        const ScanReport& report = app.LastScan();
        std::set<int> found;
        for (std::size_t i = 0; i < report.devices.size() && i < report.lines.size(); ++i) {
            const FoundDevice& d = report.devices[i];
            found.insert(d.id);
            if (!config.showFile.empty()) {
                // The show file's processors, each where the file says it is.
                if (const auto unit = app.GetRig().Find(d.port, d.id); unit && !app.UnitConnected(*unit))
                    unitsToConnect.push_back(*unit);
            } else if (config.ids.empty() || std::find(config.ids.begin(), config.ids.end(), d.id) != config.ids.end()) {
                toConnect.push_back(report.lines[i]);
            }
        }
        Log("scan found " + std::to_string(report.devices.size()) + " processor(s)");
        for (int id : config.ids)
            if (!found.count(id)) Log("no processor with ID " + std::to_string(id) + " answered");
        connectNext();
    });
    // The next processor once this one's outcome has been taken (its comparison among it) and the line
    // is no longer busy connecting.
    QTimer next;
    next.setSingleShot(true);
    next.setInterval(50);
    QObject::connect(&next, &QTimer::timeout, [&] {
        if (app.Busy() || app.Joining()) return next.start();
        connectNext();
    });
    QObject::connect(&app, &ui::CQuellmarinApp::connectFinished, [&](bool ok, const QString& message, const QString&) {
        Log(ok ? "connected" : "connection failed: " + message.toStdString());
        next.start();
    });
    // Without a window to ask, a processor of the show file keeps what it holds: the running show.
    QObject::connect(&app, &ui::CQuellmarinApp::deviceDiffers, [&](const SystemParameters& device) {
        const std::size_t differences = app.Selected().DifferenceFrom(device).frames.size();
        Log(app.GetRig().Label(app.GetRig().Selected()) + " holds other settings than the show file (" +
            std::to_string(differences) + " frame(s) apart): its own are kept");
        app.TakeDeviceRecord(device);
    });
    QObject::connect(&app, &ui::CQuellmarinApp::unitsChanged, [&] {
        static std::map<std::string, std::string> said;
        for (const remote::UnitView& u : app.Units()) {
            std::string& was = said[u.port + "|" + std::to_string(u.id)];
            if (was != u.state) Log(u.name + " (ID " + std::to_string(u.id) + " on " + u.port + "): " + u.state);
            was = u.state;
        }
    });

    if (::pipe(signalPipe) != 0) return 1;
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    QSocketNotifier stop(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, [&] {
        char c;
        [[maybe_unused]] const auto n = ::read(signalPipe[0], &c, 1);
        Log("stopping");
        bridge.Stop();
        server.Stop();
        app.Shutdown();
        qapp.quit();
    });
    app.StartScan();
    return qapp.exec();
}
