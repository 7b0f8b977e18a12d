#include "cli/Cli.h"

#include "cli/Dump.h"
#include "link/DeviceLink.h"
#include "link/Exchange.h"
#include "link/PortCatalog.h"
#include "link/WholeState.h"
#include "model/ParameterFile.h"
#include "model/Records.h"
#include "model/ValueRanges.h"
#include "modules/RecordDiff.h"

#include <charconv>
#include <condition_variable>
#include <cstdio>
#include <future>
#include <mutex>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

namespace quellmarin::cli {

namespace {

constexpr const char* kUsage =
    "usage: quellmarin-cli [--port PATH]... [--id N] [--model Mivon|Ketra] COMMAND\n"
    "       quellmarin-cli --version\n"
    "commands:\n"
    "  scan                 list the processors that answer on the ports\n"
    "  upload FILE          read the processor's whole state into a parameter file\n"
    "  download FILE [--retry N] [--force]\n"
    "                       write a parameter file's state into the processor, read it back to\n"
    "                       confirm it, and send it again up to N times when it differs; a file\n"
    "                       with values no editor sets is sent only with --force\n"
    "  levels [--count K]   poll the level meters K times (default 10)\n"
    "  send FRAME           send one frame and print the reply\n"
    "  defaults FILE        write the default state as a parameter file\n"
    "  dump FILE [--json]   print every field of a parameter file\n"
    "  diff A B             print the settings in which two parameter files differ\n"
    "  apply FILE [--force] send the processor only the settings in which it differs from FILE,\n"
    "                       then read it back to confirm them\n";

int UsageError(std::ostream& err, const std::string& why) {
    err << why << '\n' << kUsage;
    return kExitUsage;
}

int Defaults(const Options& o, std::ostream& out, std::ostream& err) {
    if (o.words.size() != 2) return UsageError(err, "defaults takes one FILE");
    const std::string_view message =
        SaveParameterFile(o.words[1], DefaultSystemParameters(o.model), DefaultDeviceInfo(o.model));
    if (!message.empty()) {
        err << message << '\n';
        return kExitFile;
    }
    out << "wrote the " << ModelName(o.model) << " defaults to " << o.words[1] << '\n';
    return kExitOk;
}

int Dump(const Options& o, std::ostream& out, std::ostream& err) {
    if (o.words.size() != 2) return UsageError(err, "dump takes one FILE");
    const LoadResult loaded = LoadParameterFile(o.words[1], ChannelConfigOf(o.model));
    if (!loaded.ok()) {
        err << loaded.message << '\n';
        return kExitFile;
    }
    const auto entries = DumpRecords(loaded.records->params, loaded.records->info, o.model);
    if (o.json)
        PrintDumpJson(entries, o.model, out);
    else
        PrintDumpText(entries, out);
    return kExitOk;
}

// Loads a parameter file with the load checks; the message said when it cannot.
std::optional<LoadedParameters> LoadOrSay(const std::string& path, DeviceModel model, std::ostream& err) {
    LoadResult loaded = LoadParameterFile(path, ChannelConfigOf(model));
    if (!loaded.ok()) {
        err << loaded.message << '\n';
        return std::nullopt;
    }
    return std::move(loaded.records);
}

int Diff(const Options& o, std::ostream& out, std::ostream& err) {
    if (o.words.size() != 3) return UsageError(err, "diff takes two FILEs");
    const auto a = LoadOrSay(o.words[1], o.model, err);
    if (!a) return kExitFile;
    const auto b = LoadOrSay(o.words[2], o.model, err);
    if (!b) return kExitFile;
    const auto lines = DescribeDifferences(a->params, b->params, a->info, o.model);
    for (const std::string& l : lines) out << l << '\n';
    if (lines.empty()) out << "no differences\n";
    return kExitOk;
}

// Refuses a record with values that no editor sets, unless forced; true when it may be sent.
bool MaySend(const SystemParameters& p, const Options& o, std::ostream& err) {
    const auto odd = OutOfRangeValues(p, o.model);
    if (odd.empty() || o.force) return true;
    err << "the file holds values no editor sets: " << OutOfRangeSummary(odd)
        << "\nnothing was sent; add --force to send them as they are\n";
    return false;
}

// The device commands: a link over the catalog, and the device the options name.
class DeviceSession {
  public:
    DeviceSession(const Options& o, const Environment& env, std::ostream& err)
        : options_(o), env_(env), err_(err), provider_(env.provider ? *env.provider : systemProvider_),
          link_(provider_, o.model, env.timings) {
        link_.SetCatalog(BuildPortCatalog(o.ports, env.virtualPorts, env.includeHardware));
    }

    DeviceLink& Link() { return link_; }

    std::vector<FoundDevice> Scan() {
        const bool showProgress = env_.progressOnTerminal && isatty(2);
        IdRange ids;
        if (options_.id) ids = {*options_.id, *options_.id};
        auto devices = link_.Scan(
            [&](int done, int planned) {
                if (!showProgress) return;
                std::lock_guard lock(progressMutex_);
                err_ << "\rscanning " << done << "/" << planned << std::flush;
            },
            nullptr, ids);
        if (showProgress) err_ << "\r" << std::string(30, ' ') << "\r" << std::flush;
        for (const std::string& problem : link_.PortProblems()) err_ << problem << '\n';
        return devices;
    }

    // Scans and selects the first device (with the wanted ID); false with the message said.
    bool SelectDevice() {
        const auto devices = Scan();
        for (const FoundDevice& d : devices) {
            if (options_.id && d.id != *options_.id) continue;
            link_.Select(SelectionOf(d, link_.Catalog()));
            return true;
        }
        err_ << kNoDeviceLine << '\n';
        return false;
    }

    bool Connect(bool download, const ParameterBytes& record, ConnectOutcome& outcome) {
        outcome = link_.Connect(download, record);
        if (!outcome.connected) {
            err_ << outcome.message << '\n';
            return false;
        }
        return true;
    }

  private:
    const Options& options_;
    const Environment& env_;
    std::ostream& err_;
    SystemPortProvider systemProvider_;
    PortProvider& provider_;
    DeviceLink link_;
    std::mutex progressMutex_;
};

int Scan(const Options& o, const Environment& env, std::ostream& out, std::ostream& err) {
    if (o.words.size() != 1) return UsageError(err, "scan takes no operand");
    DeviceSession session(o, env, err);
    const auto devices = session.Scan();
    if (devices.empty()) {
        out << kNoDeviceLine << '\n';
        return kExitFailed;
    }
    const auto lines = DeviceListLines(devices);
    for (std::size_t i = 0; i < devices.size(); ++i) out << lines[i] << '\t' << devices[i].port << '\n';
    return kExitOk;
}

int Upload(const Options& o, const Environment& env, std::ostream& out, std::ostream& err) {
    if (o.words.size() != 2) return UsageError(err, "upload takes one FILE");
    // A target that cannot be written is said before the device is read, not after.
    if (const std::string_view problem = CheckParameterFileTarget(o.words[1]); !problem.empty()) {
        err << problem << '\n';
        return kExitFile;
    }
    DeviceSession session(o, env, err);
    if (!session.SelectDevice()) return kExitFailed;
    ConnectOutcome c;
    if (!session.Connect(false, {}, c)) return kExitFailed;
    session.Link().Disconnect();
    const SystemParameters params = ParametersFromBytes(*c.params);
    const DeviceInfoRecord info = DeviceInfoFromBytes(*c.info);
    const std::string_view message = SaveParameterFile(o.words[1], params, info);
    if (!message.empty()) {
        err << message << '\n';
        return kExitFile;
    }
    out << "uploaded device " << TwoDigitText(session.Link().SelectedId()) << " to " << o.words[1] << '\n';
    return kExitOk;
}

int Download(const Options& o, const Environment& env, std::ostream& out, std::ostream& err) {
    if (o.words.size() != 2) return UsageError(err, "download takes one FILE");
    const LoadResult loaded = LoadParameterFile(o.words[1], ChannelConfigOf(o.model));
    if (!loaded.ok()) {
        err << loaded.message << '\n';
        return kExitFile;
    }
    if (!MaySend(loaded.records->params, o, err)) return kExitFile;
    DeviceSession session(o, env, err);
    if (!session.SelectDevice()) return kExitFailed;
    const ParameterBytes record = ToBytes(loaded.records->params);
    ConnectOutcome c;
    if (!session.Connect(true, record, c)) return kExitFailed;
    DeviceLink& link = session.Link();
    bool confirmed = !c.unconfirmed;
    for (int attempt = 1; attempt <= o.retry && !confirmed; ++attempt) {
        err << "the device did not confirm the download; sending again (" << attempt << " of " << o.retry
            << ")\n";
        auto resent = link.Worker().Submit(
            [&](CSerialPort& port) { return ResendDownload(port, link.Address(), record, env.timings); });
        try {
            confirmed = resent.get();
        } catch (const std::future_error&) {
            break; // the connection ended before the job ran
        }
    }
    link.Disconnect();
    if (!confirmed) {
        err << kDownloadUnconfirmed << '\n';
        return kExitFailed;
    }
    out << "downloaded " << o.words[1] << " to device " << TwoDigitText(link.SelectedId()) << '\n';
    return kExitOk;
}

inline constexpr std::string_view kApplyUnconfirmed =
    "The device did not confirm the changes; its settings may differ from the file.";

int Apply(const Options& o, const Environment& env, std::ostream& out, std::ostream& err) {
    if (o.words.size() != 2) return UsageError(err, "apply takes one FILE");
    const auto file = LoadOrSay(o.words[1], o.model, err);
    if (!file) return kExitFile;
    if (!MaySend(file->params, o, err)) return kExitFile;
    DeviceSession session(o, env, err);
    if (!session.SelectDevice()) return kExitFailed;
    ConnectOutcome c;
    if (!session.Connect(false, {}, c)) return kExitFailed;
    DeviceLink& link = session.Link();
    const RecordDiff diff = DiffFrames(ParametersFromBytes(*c.params), file->params, link.Address(), o.model);
    for (const std::string& frame : diff.frames) link.Post(frame);
    link.Worker().FlushPending(env.timings.cycle * static_cast<int>(diff.frames.size() + 5));
    // What the device holds now.
    auto readBack = link.Worker().Submit(
        [&](CSerialPort& port) { return UploadParameters(port, link.Address(), env.timings); });
    std::optional<ParameterBytes> now;
    try {
        now = readBack.get();
    } catch (const std::future_error&) {
    }
    link.Disconnect();
    for (const std::string& field : diff.unsettable) err << "not sent, no frame sets it: " << field << '\n';
    if (!now || !SameSettings(ParametersFromBytes(*now), file->params)) {
        err << kApplyUnconfirmed << '\n';
        return kExitFailed;
    }
    out << "sent " << diff.frames.size() << " change(s) to device " << TwoDigitText(link.SelectedId())
        << '\n';
    return kExitOk;
}

int Levels(const Options& o, const Environment& env, std::ostream& out, std::ostream& err) {
    if (o.words.size() != 1) return UsageError(err, "levels takes no operand");
    DeviceSession session(o, env, err);
    if (!session.SelectDevice()) return kExitFailed;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<LevelFrame> frames;
    bool lost = false;
    WorkerCallbacks callbacks;
    callbacks.levels = [&](const LevelFrame& f) {
        std::lock_guard lock(mutex);
        if (static_cast<int>(frames.size()) < o.count) frames.push_back(f);
        changed.notify_all();
    };
    // The lost-device rule of the windows: more than 20 empty replies in a row end the command.
    callbacks.lostDevice = [&] {
        std::lock_guard lock(mutex);
        lost = true;
        changed.notify_all();
    };
    session.Link().SetCallbacks(callbacks);
    ConnectOutcome c;
    if (!session.Connect(false, {}, c)) return kExitFailed;
    {
        std::unique_lock lock(mutex);
        const auto perFrame = env.timings.cycle * 5 + std::chrono::milliseconds(100);
        changed.wait_for(lock, perFrame * o.count,
                         [&] { return lost || static_cast<int>(frames.size()) >= o.count; });
    }
    session.Link().Disconnect();
    std::lock_guard lock(mutex);
    for (const LevelFrame& f : frames) {
        out << "in";
        for (int v : f.in) out << ' ' << v;
        out << "  out";
        for (int v : f.out) out << ' ' << v;
        char status[48];
        std::snprintf(status, sizeof status, "  status %02X %02X", f.inStatus, f.outStatus);
        out << status << '\n';
    }
    if (lost) {
        err << kLostDevice << '\n';
        return kExitFailed;
    }
    if (static_cast<int>(frames.size()) < o.count) {
        err << "the device answered " << frames.size() << " of " << o.count << " level polls\n";
        return kExitFailed;
    }
    return kExitOk;
}

int Send(const Options& o, const Environment& env, std::ostream& out, std::ostream& err) {
    if (o.words.size() != 2) return UsageError(err, "send takes one FRAME");
    const std::string& frame = o.words[1];
    if (frame.size() >= kReadLimit) return UsageError(err, "a frame must be shorter than 2048 characters");
    for (char c : frame)
        if (c < 0x20 || c > 0x7E) return UsageError(err, "a frame holds printable ASCII only");
    DeviceSession session(o, env, err);
    if (!session.SelectDevice()) return kExitFailed;
    CSerialPort port(session.Link().Provider(), env.timings);
    port.SetDeviceLineSettings();
    port.SetPortName(session.Link().PortPath());
    if (port.Open() != CSerialPort::kOpened) {
        err << kOpenPortFail << '\n';
        return kExitFailed;
    }
    const std::string reply = ExchangeFrame(port, frame, env.timings.parameterWait, KnownReplyLength(frame));
    port.Close();
    if (reply.empty()) {
        err << "no reply\n";
        return kExitFailed;
    }
    out << reply << '\n';
    return kExitOk;
}

} // namespace

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error) {
    Options o;
    const auto number = [&](const std::string& text, int lo, int hi, int& out) {
        const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
        return ec == std::errc() && p == text.data() + text.size() && out >= lo && out <= hi;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value = [&](const char* name) -> const std::string* {
            if (i + 1 >= args.size()) {
                error = std::string(name) + " needs a value";
                return nullptr;
            }
            return &args[++i];
        };
        if (a == "--port") {
            const std::string* v = value("--port");
            if (!v) return std::nullopt;
            o.ports.push_back(*v);
        } else if (a == "--id") {
            const std::string* v = value("--id");
            if (!v) return std::nullopt;
            int id = 0;
            if (!number(*v, 1, 50, id)) {
                error = "--id takes a device ID from 1 to 50";
                return std::nullopt;
            }
            o.id = id;
        } else if (a == "--count") {
            const std::string* v = value("--count");
            if (!v) return std::nullopt;
            if (!number(*v, 1, 100000, o.count)) {
                error = "--count takes a number from 1 to 100000";
                return std::nullopt;
            }
        } else if (a == "--retry") {
            const std::string* v = value("--retry");
            if (!v) return std::nullopt;
            if (!number(*v, 0, 100, o.retry)) {
                error = "--retry takes a number from 0 to 100";
                return std::nullopt;
            }
        } else if (a == "--model") {
            const std::string* v = value("--model");
            if (!v) return std::nullopt;
            const auto model = ParseModelName(*v);
            if (!model) {
                error = "--model takes Mivon or Ketra";
                return std::nullopt;
            }
            o.model = *model;
        } else if (a == "--force") {
            o.force = true;
        } else if (a == "--json") {
            o.json = true;
        } else if (a.size() > 1 && a[0] == '-' && a != "-" &&
                   !(o.words.size() == 1 && o.words[0] == "send")) {
            error = "unknown option " + a;
            return std::nullopt;
        } else {
            o.words.push_back(a);
        }
    }
    if (o.words.empty()) {
        error = "no command given";
        return std::nullopt;
    }
    return o;
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Environment& env) {
    if (args.size() == 1 && args[0] == "--version") {
        out << "quellmarin-cli " << QUELLMARIN_VERSION << '\n';
        return kExitOk;
    }
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
        out << kUsage;
        return kExitOk;
    }
    std::string error;
    const auto options = ParseOptions(args, error);
    if (!options) return UsageError(err, error);
    const std::string& command = options->words[0];
    if (command == "defaults") return Defaults(*options, out, err);
    if (command == "dump") return Dump(*options, out, err);
    if (command == "diff") return Diff(*options, out, err);
    if (command == "apply") return Apply(*options, env, out, err);
    if (command == "scan") return Scan(*options, env, out, err);
    if (command == "upload") return Upload(*options, env, out, err);
    if (command == "download") return Download(*options, env, out, err);
    if (command == "levels") return Levels(*options, env, out, err);
    if (command == "send") return Send(*options, env, out, err);
    return UsageError(err, "unknown command " + command);
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return Run(args, out, err, Environment{});
}

} // namespace quellmarin::cli
