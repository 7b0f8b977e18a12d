#include "cli/Cli.h"

#include "cli/Commands.h"
#include "cli/Remote.h"
#include "cli/Dump.h"
#include "edit/SettingWords.h"
#include "cli/Session.h"
#include "cli/Several.h"
#include "panel/SetupReport.h"
#include "link/DeviceLink.h"
#include "link/Exchange.h"
#include "link/PortCatalog.h"
#include "link/WholeState.h"
#include "model/InputFile.h"
#include "model/ParameterFile.h"
#include "model/Records.h"
#include "protocol/CommandTable.h"
#include "model/ValueRanges.h"
#include "edit/RecordDiff.h"
#include "session/RigFile.h"

#ifdef QUELLMARIN_HAS_PDF
#include "graph/ReportPdf.h"
#endif

#include <CLI/CLI.hpp>
#include <condition_variable>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <future>
#include <iostream>
#include <mutex>
#include <nlohmann/json.hpp>

namespace quellmarin::cli {

namespace {

// Whole numbers typed as options are plain decimal digits: CLI11 alone would also take "0x10", "0b1"
// and a sign.
const CLI::Validator& Decimal() {
    static const CLI::Validator v(
        [](std::string& text) -> std::string {
            if (!text.empty() && text.size() <= 9 &&
                std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
                return {};
            return "Value " + text + " is not a whole number written in decimal digits";
        },
        "");
    return v;
}

int UsageError(std::ostream& err, const std::string& why) {
    err << why << "\nRun with --help for the commands and options.\n";
    return kExitUsage;
}

int Defaults(const Options& o, std::ostream& out, std::ostream& err) {
    if (o.words.size() != 2) return UsageError(err, "defaults takes one FILE");
    const std::string_view message =
        SaveParameterFile(o.words[1], DefaultSystemParameters(o.model), DefaultDeviceInfo(o.model));
    if (!message.empty()) {
        err << SaveProblemText(o.words[1], message) << '\n';
        return kExitFile;
    }
    out << "wrote the " << ModelName(o.model) << " defaults to " << o.words[1] << '\n';
    return kExitOk;
}

int Dump(const Options& o, std::ostream& out, std::ostream& err) {
    if (o.words.size() != 2) return UsageError(err, "dump takes one FILE");
    const LoadResult loaded = LoadParameterFile(o.words[1], ChannelConfigOf(o.model));
    if (!loaded.ok()) {
        err << loaded.Text() << '\n';
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
        err << loaded.Text() << '\n';
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

int Scan(const Options& o, const Environment& env, std::ostream& out, std::ostream& err) {
    if (o.words.size() != 1) return UsageError(err, "scan takes no operand");
    DeviceSession session(o, env, err);
    const auto devices = session.Scan();
    if (devices.empty()) {
        out << kNoDeviceLine << '\n';
        return kExitFailed;
    }
    const auto lines = DeviceListLines(devices);
    if (o.json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (std::size_t i = 0; i < devices.size(); ++i)
            list.push_back({{"id", devices[i].id}, {"port", devices[i].port}, {"line", lines[i]}});
        out << JsonText(list) << '\n';
        return kExitOk;
    }
    for (std::size_t i = 0; i < devices.size(); ++i) out << lines[i] << '\t' << devices[i].port << '\n';
    return kExitOk;
}

// Connects, reads the processor's whole state and disconnects; nothing when it could not (said).
std::optional<ConnectOutcome> ReadState(const Options& o, const Environment& env, std::ostream& err, int& id);

int Upload(const Options& o, const Environment& env, std::ostream& out, std::ostream& err) {
    if (o.words.size() != 2) return UsageError(err, "upload takes one FILE");
    // A target that cannot be written is said before the device is read, not after.
    if (const std::string_view problem = CheckParameterFileTarget(o.words[1]); !problem.empty()) {
        err << SaveProblemText(o.words[1], problem) << '\n';
        return kExitFile;
    }
    int id = 0;
    const auto c = ReadState(o, env, err, id);
    if (!c) return kExitFailed;
    const SystemParameters params = ParametersFromBytes(*c->params);
    const DeviceInfoRecord info = DeviceInfoFromBytes(*c->info);
    const std::string_view message = SaveParameterFile(o.words[1], params, info);
    if (!message.empty()) {
        err << SaveProblemText(o.words[1], message) << '\n';
        return kExitFile;
    }
    out << "uploaded device " << TwoDigitText(id) << " to " << o.words[1] << '\n';
    return kExitOk;
}

std::optional<ConnectOutcome> ReadState(const Options& o, const Environment& env, std::ostream& err, int& id) {
    DeviceSession session(o, env, err);
    if (!session.SelectDevice()) return std::nullopt;
    ConnectOutcome c;
    if (!session.Connect(false, {}, c)) return std::nullopt;
    session.Link().Disconnect();
    id = session.Link().SelectedId();
    return c;
}

// Connects with a download of `record`, sends it again up to --retry times until the record read back
// confirms it, and disconnects; nothing when no connection was made (said on `err`).
std::optional<ReadBack> SendRecord(const Options& o, const Environment& env, const ParameterBytes& record,
                                   std::ostream& err, int& id);

int Download(const Options& o, const Environment& env, std::ostream& out, std::ostream& err) {
    if (o.words.size() != 2) return UsageError(err, "download takes one FILE");
    const LoadResult loaded = LoadParameterFile(o.words[1], ChannelConfigOf(o.model));
    if (!loaded.ok()) {
        err << loaded.Text() << '\n';
        return kExitFile;
    }
    if (!MaySend(loaded.records->params, o, err)) return kExitFile;
    int id = 0;
    const auto back = SendRecord(o, env, ToBytes(loaded.records->params), err, id);
    if (!back) return kExitFailed;
    if (*back != ReadBack::Confirmed) {
        err << ReadBackMessage(*back) << '\n';
        return kExitFailed;
    }
    out << "downloaded " << o.words[1] << " to device " << TwoDigitText(id) << '\n';
    return kExitOk;
}

std::optional<ReadBack> SendRecord(const Options& o, const Environment& env, const ParameterBytes& record,
                                   std::ostream& err, int& id) {
    DeviceSession session(o, env, err);
    if (!session.SelectDevice()) return std::nullopt;
    ConnectOutcome c;
    if (!session.Connect(true, record, c)) return std::nullopt;
    DeviceLink& link = session.Link();
    id = link.SelectedId();
    // Unconfirmed: the record read back differed, or could not be read at all (both are sent again).
    ReadBack back = c.readBack;
    for (int attempt = 1; attempt <= o.retry && back != ReadBack::Confirmed; ++attempt) {
        err << (back == ReadBack::Failed ? "the download could not be read back; sending again ("
                                         : "the device did not confirm the download; sending again (")
            << attempt << " of " << o.retry << ")\n";
        auto resent = link.Worker().Submit(
            [&](CSerialPort& port) { return ResendDownload(port, link.Address(), record, env.timings); });
        try {
            back = resent.get();
        } catch (const std::future_error&) {
            break; // the connection ended before the job ran
        }
    }
    link.Disconnect();
    return back;
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
    const bool held = session.SendUntilHeld(file->params);
    link.Disconnect();
    for (const std::string& field : diff.unsettable) err << "not sent, no frame sets it: " << field << '\n';
    if (!held) {
        err << kApplyUnconfirmed << '\n';
        return kExitFailed;
    }
    out << "sent " << diff.frames.size() << " change(s) to device " << TwoDigitText(link.SelectedId())
        << '\n';
    return kExitOk;
}

// "rig save FILE": every processor the options name (all that answer, without --id) read into one
// show file, which is written only when all were read; the names of a show file already there are
// kept for the processors at the same port and ID.
int RigSave(const Options& o, const Environment& env, std::ostream& out, std::ostream& err) {
    const std::string& path = o.words[2];
    std::vector<RigMember> known;
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        if (const RigRead old = OpenRigFile(path); old.ok()) known = *old.members;
    }
    Options which = o;
    if (which.id) which.ids = {*which.id};
    which.all = which.ids.empty();
    std::vector<int> missing;
    const std::vector<Target> targets = FindTargets(which, env, err, missing);
    if (targets.empty()) {
        err << kNoDeviceLine << "\nnothing was written to " << path << '\n';
        return kExitFailed;
    }
    std::vector<RigMember> members;
    std::vector<std::string> notRead;
    for (int id : missing) notRead.push_back("ID " + std::to_string(id));
    for (const Target& t : targets) {
        std::ostringstream terr;
        int id = 0;
        const auto c = ReadState(OptionsFor(o, t), EnvironmentFor(env), terr, id);
        SayLines(err, TargetText(t) + ": ", terr.str());
        if (!c) {
            notRead.push_back(TargetText(t));
            continue;
        }
        RigMember m;
        m.port = t.port;
        m.id = t.id;
        m.model = o.model;
        m.params = ParametersFromBytes(*c->params);
        m.info = DeviceInfoFromBytes(*c->info);
        for (const RigMember& k : known)
            if (k.port == m.port && k.id == m.id) m.name = k.name;
        members.push_back(std::move(m));
    }
    if (!notRead.empty()) {
        SayList(err, "not read: ", notRead);
        err << "nothing was written to " << path << '\n';
        return kExitFailed;
    }
    if (const std::string_view problem = SaveRigFile(path, members); !problem.empty()) {
        err << SaveProblemText(path, problem) << '\n';
        return kExitFile;
    }
    for (const RigMember& m : members) out << "read " << RigMemberLabel(m) << '\n';
    out << "wrote " << members.size() << (members.size() == 1 ? " processor" : " processors") << " to " << path
        << '\n';
    return kExitOk;
}

// "rig send FILE": each processor of the show file gets its part, confirmed by reading it back.
int RigSend(const Options& o, const Environment& env, const std::vector<RigMember>& members, std::ostream& out,
            std::ostream& err) {
    std::vector<std::string> notConfirmed;
    for (const RigMember& m : members) {
        Options one = OptionsFor(o, {m.port, m.id});
        one.model = m.model;
        std::ostringstream terr;
        int id = 0;
        std::optional<ReadBack> back;
        if (MaySend(m.params, one, terr)) back = SendRecord(one, EnvironmentFor(env), ToBytes(m.params), terr, id);
        if (back && *back != ReadBack::Confirmed) terr << ReadBackMessage(*back) << '\n';
        SayLines(err, RigMemberLabel(m) + ": ", terr.str());
        if (back == ReadBack::Confirmed)
            out << "sent and confirmed " << RigMemberLabel(m) << '\n';
        else
            notConfirmed.push_back(RigMemberLabel(m));
    }
    SayList(err, "not confirmed: ", notConfirmed);
    return notConfirmed.empty() ? kExitOk : kExitFailed;
}

// The show file of a rig: "rig open FILE" prints what it holds, "rig export FILE DIR" writes each
// processor's part as a parameter file of its own, "rig save FILE" reads the processors into one and
// "rig send FILE" writes each processor's part into it.
int Rig(const Options& o, const Environment& env, std::ostream& out, std::ostream& err) {
    const std::string verb = o.words.size() >= 2 ? o.words[1] : std::string();
    const bool three = o.words.size() == 3;
    if (!((verb == "open" || verb == "save" || verb == "send") && three) && !(verb == "export" && o.words.size() == 4))
        return UsageError(err, "rig takes open FILE, save FILE, send FILE or export FILE DIR");
    if (verb == "save") return RigSave(o, env, out, err);
    const RigRead rig = OpenRigFile(o.words[2]);
    if (!rig.ok()) {
        err << "cannot open the show file " << rig.problem << '\n';
        return kExitFile;
    }
    const std::vector<RigMember>& members = *rig.members;
    if (verb == "send") return RigSend(o, env, members, out, err);
    if (verb == "open") {
        out << o.words[2] << ": " << members.size() << (members.size() == 1 ? " processor" : " processors") << '\n';
        for (std::size_t i = 0; i < members.size(); ++i) {
            const RigMember& m = members[i];
            const std::string program = Unpadded(ProgramName(m.params));
            out << i + 1 << ". " << RigMemberLabel(m) << ", " << ModelName(m.model) << ", program "
                << ProgramNoText(m.info) << (program.empty() ? "" : " " + program) << '\n';
        }
        return kExitOk;
    }
    const std::filesystem::path dir(o.words[3]);
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) {
        err << "cannot export to " << dir.string() << ": it is not a folder\n";
        return kExitFile;
    }
    for (std::size_t i = 0; i < members.size(); ++i) {
        const RigMember& m = members[i];
        const std::filesystem::path target = dir / RigExportName(i, m);
        if (const std::string_view problem = SaveParameterFile(target, m.params, m.info); !problem.empty()) {
            err << SaveProblemText(target, problem) << '\n';
            return kExitFile;
        }
        out << "wrote " << RigMemberLabel(m) << " to " << target.string() << '\n';
    }
    return kExitOk;
}

int Report(const Options& o, std::ostream& out, std::ostream& err) {
    if (o.words.size() != 3) return UsageError(err, "report takes FILE and OUT");
    const auto file = LoadOrSay(o.words[1], o.model, err);
    if (!file) return kExitFile;
    const std::string& target = o.words[2];
    const std::string suffix = target.size() >= 5 ? target.substr(target.size() - 5) : target;
    const bool pdf = target.size() >= 4 && (target.ends_with(".pdf") || target.ends_with(".PDF"));
    const bool html = suffix == ".html" || suffix == ".HTML" || target.ends_with(".htm");
    if (!pdf && !html) return UsageError(err, "the report is written as OUT.html or OUT.pdf");
    const SetupReport report = BuildSetupReport(file->params, file->info, o.model);
    if (html) {
        if (!WriteFileAtomically(target, SetupReportHtml(report))) {
            err << "cannot write " << target << '\n';
            return kExitFile;
        }
        out << "wrote the report of " << o.words[1] << " to " << target << '\n';
        return kExitOk;
    }
#ifdef QUELLMARIN_HAS_PDF
    EnsureGuiForReports();
    const int pages = WriteReportPdf(report, target);
    if (pages == 0) {
        err << "cannot write " << target << '\n';
        return kExitFile;
    }
    out << "wrote the report of " << o.words[1] << " to " << target << " (" << pages << " pages)\n";
    return kExitOk;
#else
    return UsageError(err, "this build writes HTML reports only");
#endif
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
    callbacks.lostDevice = [&](const std::string&) {
        std::lock_guard lock(mutex);
        lost = true;
        changed.notify_all();
    };
    session.Link().SetCallbacks(callbacks);
    // The meters need no settings: the state is not read, so a garbled record costs nothing here.
    ConnectOutcome c;
    if (!session.Connect(false, {}, c, false)) return kExitFailed;
    {
        std::unique_lock lock(mutex);
        const auto perFrame = env.timings.cycle * 5 + std::chrono::milliseconds(100);
        changed.wait_for(lock, perFrame * o.count,
                         [&] { return lost || static_cast<int>(frames.size()) >= o.count; });
    }
    session.Link().Disconnect();
    std::lock_guard lock(mutex);
    if (o.json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const LevelFrame& f : frames)
            list.push_back(
                {{"in", f.in}, {"out", f.out}, {"inStatus", f.inStatus}, {"outStatus", f.outStatus}});
        out << JsonText(list) << '\n';
    }
    for (const LevelFrame& f : frames) {
        if (o.json) break;
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

const std::vector<CommandDef>& Commands() {
    using R = const Options&;
    using E = const Environment&;
    using O = std::ostream&;
    const auto noEnv = [](int (*f)(R, O, O)) { return [f](R o, E, O out, O err) { return f(o, out, err); }; };
    const auto force = [](const char* what) {
        return [what](CLI::App& sub, Options& o) { sub.add_flag("--force", o.force, what); };
    };
    static const std::vector<CommandDef> commands = {
        {"scan", "list the processors that answer on the ports", {}, Scan, nullptr, {}},
        {"upload", "read the processor's whole state into a parameter file", {"FILE"}, Upload, nullptr, {}},
        {"download",
         "write a parameter file's state into the processor and read it back to\n"
         "confirm it; values no editor sets go out only with --force",
         {"FILE"}, Download, nullptr,
         [](CLI::App& sub, Options& o) {
             sub.add_option("--retry", o.retry, "send again up to N times when not confirmed")
                 ->check(Decimal())
                 ->check(CLI::Range(0, 100))
                 ->type_name("N");
             sub.add_flag("--force", o.force, "send values no editor sets as they are");
         }},
        {"levels", "poll the level meters", {}, Levels, nullptr,
         [](CLI::App& sub, Options& o) {
             sub.add_option("--count", o.count, "how many polls (10)")->check(Decimal())->check(CLI::Range(1, 100000))->type_name("K");
         }},
        {"send", "send one frame and print the reply", {"FRAME"}, Send, nullptr, {}},
        {"defaults", "write the default state as a parameter file", {"FILE"}, noEnv(Defaults), nullptr, {}},
        {"dump", "print every field of a parameter file", {"FILE"}, noEnv(Dump), nullptr, {}},
        {"diff", "print the settings in which two parameter files differ", {"A", "B"}, noEnv(Diff), nullptr, {}},
        {"report", "write the set-up report of a parameter file as HTML or PDF", {"FILE", "OUT"}, noEnv(Report),
         nullptr, {}},
        {"rig",
         "a show file of several processors: rig open FILE (print it) | rig save FILE (read\n"
         "them into it) | rig send FILE (write each its part) | rig export FILE DIR (one .asc each)",
         {"open|save|send|export", "FILE", "[DIR]"}, Rig, nullptr,
         [](CLI::App& sub, Options& o) {
             sub.add_flag("--force", o.force, "send values no editor sets as they are");
         }},
        {"apply", "send the processor only the settings in which it differs from FILE", {"FILE"}, Apply, nullptr,
         force("send values no editor sets as they are")},
        // The editing commands: they work on the records of a device or a file, alone or in a script.
        {"set",
         "change a setting: set in 2 gain -6 | set out 3 gain step -3 | set out 3 mute on |\n"
         "set out 3 polarity inverted | set in 1 delay 12.5ms (or 4.25m) | set in 1 delay step +1ms |\n"
         "set out 1 peq 3 peaking 1k -3 1.4 | set out 1 peq on |\n"
         "set out 1 xover hp lr24 80 | set out 1 xover lp off | set out 2 limit 10 |\n"
         "set in 1 comp threshold -10 attack 5 release 330 ratio 4 | set route out 3 in A,B |\n"
         "set link in A,A,C,C,E,F,G,H | set name out 3 \"Stage left\" | set lock on",
         {}, nullptr, &EditSession::Set, {}},
        {"get", "print a channel's settings or all of them: get in 2 | get all", {}, nullptr, &EditSession::Get, {}},
        {"program", "the stored programs: list | recall N | save N [NAME] | rename NAME | delete N", {}, nullptr,
         &EditSession::Program, {}},
        {"generator", "the signal generator: generator on 1k -20 | generator off", {}, nullptr,
         &EditSession::Generator, {}},
        {"peq-import",
         "put the filters of a measurement program's filter file on a channel's equaliser:\n"
         "peq-import out 2 FILTERS.txt (--force when some filters cannot be placed)",
         {}, nullptr, &EditSession::ImportFilters,
         force("import what the device can do when not all of it fits")},
        {"peq-export", "write a channel's equaliser as a filter file: peq-export out 2 [OUT.txt]", {}, nullptr,
         &EditSession::ExportFilters, {}},
    };
    return commands;
}

const CommandDef* FindCommandDef(std::string_view name) {
    for (const CommandDef& c : Commands())
        if (c.name == name) return &c;
    return nullptr;
}

namespace {
// "scan, upload, ..., and report".
std::string CommandNames() {
    std::string names;
    const auto& all = Commands();
    for (std::size_t i = 0; i < all.size(); ++i)
        names += (i == 0 ? "" : i + 1 == all.size() ? " and " : ", ") + all[i].name;
    return names;
}
} // namespace

bool IsEditCommand(std::string_view word) {
    const CommandDef* c = FindCommandDef(word);
    return c && c->edit;
}

namespace {

// The tool's options and the registry's commands, bound to `o`.
struct Parser {
    explicit Parser(Options& o)
        : app("Control program of the loudspeaker processor, for scripts and shells.", "quellmarin-cli") {
        app.fallthrough();
        // What no option takes is kept, for an editing command's words ("-Stage" as a name); any other
        // command refuses it.
        app.allow_extras();
        app.set_help_flag("-h,--help", "print this help");
        app.add_flag("--version", version, "print the version");
        app.add_option("--port", o.ports, "a serial port to scan, or a network serial server's tcp://HOST:PORT or rfc2217://HOST:PORT (again for more ports)")->type_name("PATH");
        app.add_option("--id", idText, "the device ID to use, or several (1,2,3) for set, get, levels, program, apply and rig save")
            ->type_name("N[,N..]");
        app.add_flag("--all", o.all, "set, get, levels, program and apply on every processor the scan finds");
        app.add_option("--model", modelName, "Mivon (8 inputs) or Ketra (4 inputs)")
            ->type_name("MODEL")
            ->check([](const std::string& v) {
                return ParseModelName(v) ? std::string() : std::string("--model takes Mivon or Ketra");
            });
        app.add_option("--file", o.file, "set/get/generator on a parameter file instead of a device")
            ->type_name("F.asc");
        app.add_option("-f,--script", o.script, "run the commands of a file, one a line (- for stdin)")
            ->type_name("FILE");
        app.add_flag("--json", o.json, "JSON output of get, dump, levels, scan and program list");
        app.add_option("--server", o.server, "run set and get through a running quellmarin-server (or the window's remote control)")
            ->type_name("http://HOST:PORT");
        app.add_option("--token-file", o.tokenFile, "the file holding the server's token (with --server)")->type_name("FILE");
        app.add_flag("-v,--verbose", o.verbose, "print every frame sent (>) and received (<)");
        app.add_option("--pacing", pacing,
                       "answered (each frame once the device has answered the one before) or fixed (one "
                       "frame every 200 ms, for a device that misses frames)")
            ->type_name("HOW")
            ->check(CLI::IsMember({"answered", "fixed"}))
            ->each([&o](const std::string& v) { o.pacing = v == "fixed" ? Pacing::Fixed : Pacing::Answered; });
        for (const CommandDef& c : Commands()) {
            CLI::App* sub = app.add_subcommand(c.name, c.help);
            sub->callback([this, name = c.name] { command = name; });
            if (c.edit) {
                // An editing command's words, as many as are given; a word that starts with "-" and is
                // no number follows "--".
                sub->add_option("words", operands, "the command's words")->allow_extra_args();
            } else if (!c.operands.empty()) {
                // The operands are required words, as many as named; those named "[IN BRACKETS]" may
                // be left out at the end.
                std::string shown;
                int optional = 0;
                for (const std::string& n : c.operands) {
                    shown += (shown.empty() ? "" : " ") + n;
                    if (n.starts_with("[")) ++optional;
                }
                const int all = static_cast<int>(c.operands.size());
                sub->add_option(c.operands.front(), operands, shown)
                    ->required()
                    ->expected(all - optional, all)
                    ->type_name(shown);
            }
            if (c.options) c.options(*sub, o);
        }
    }

    CLI::App app;
    bool version = false;
    std::string modelName;
    std::string idText;
    std::string pacing;
    std::string command;
    std::vector<std::string> operands;
};

} // namespace

std::string HelpText() {
    Options o;
    Parser parser(o);
    return parser.app.help();
}

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error) {
    Options o;
    Parser parser(o);
    // Parsed as a command line, so that "--" ends the options as in any shell tool.
    std::vector<const char*> argv{"quellmarin-cli"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    try {
        parser.app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ParseError& e) {
        error = e.get_name() == "CallForHelp" ? "help" : e.what();
        return std::nullopt;
    }
    if (parser.version) {
        o.words = {"--version"};
        return o;
    }
    const CommandDef* command = FindCommandDef(parser.command);
    const std::vector<std::string> extras = parser.app.remaining(true);
    if (parser.command.empty() && !extras.empty() && !extras.front().starts_with("-")) {
        error = "unknown command " + extras.front() + " (the commands are " + CommandNames() + ")";
        return std::nullopt;
    }
    for (const std::string& extra : extras) {
        if (command && command->edit) {
            if (extra != "--") parser.operands.push_back(extra);
        } else {
            error = "The following argument was not expected: " + extra;
            return std::nullopt;
        }
    }
    if (!parser.modelName.empty()) o.model = *ParseModelName(parser.modelName);
    if (!parser.idText.empty()) {
        const auto ids = ParseIdList(parser.idText, error);
        if (!ids) return std::nullopt;
        if (ids->size() == 1)
            o.id = ids->front();
        else
            o.ids = *ids;
    }
    if (o.all && (o.id || !o.ids.empty())) {
        error = "--all takes every processor; leave out --id";
        return std::nullopt;
    }
    if (parser.command.empty() && !o.script) {
        error = "no command given";
        return std::nullopt;
    }
    if (!parser.command.empty()) {
        o.words.push_back(parser.command);
        o.words.insert(o.words.end(), parser.operands.begin(), parser.operands.end());
    }
    return o;
}

namespace {

void SayFailure(const CommandResult& r, std::ostream& err, const std::string& where = {}) {
    if (r.message.empty()) return;
    err << where << r.message << '\n';
}

// One editing command, from the command line.
int Edit(const Options& o, const Environment& env, std::ostream& out, std::ostream& err) {
    EditSession session(o, env, out, err);
    const CommandResult r = session.Run(o.words);
    const CommandResult end = session.Finish(r.code == kExitOk);
    SayFailure(r, err);
    SayFailure(end, err);
    return r.code != kExitOk ? r.code : end.code;
}

// The commands of a script, one a line, in one session; the first failure ends it with its line number.
int Script(const Options& o, const Environment& env, std::ostream& out, std::ostream& err) {
    std::istringstream file;
    std::istream* in = env.in ? env.in : &std::cin;
    if (*o.script != "-") {
        const FileRead read = ReadInputFile(*o.script);
        if (!read.bytes) {
            err << "cannot read the script: " << read.problem << '\n';
            return kExitFile;
        }
        file.str(*read.bytes);
        in = &file;
    }
    EditSession session(o, env, out, err);
    std::string line, tooLong;
    std::size_t total = 0;
    CommandResult failed;
    std::string where;
    for (int number = 1;; ++number) {
        where = "line " + std::to_string(number) + ": ";
        // Standard input may never end (or be one endless line): it is read within the limits.
        if (!ReadBoundedLine(*in, line, total, tooLong)) {
            if (!tooLong.empty()) failed = {kExitFile, "the script stops here: " + tooLong};
            break;
        }
        // A script saved by an editor that marks its text as UTF-8 starts with the invisible mark.
        if (number == 1 && line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);
        std::string error;
        const auto words = SplitLine(line, error);
        if (!words) {
            failed = {kExitUsage, error};
            break;
        }
        if (words->empty()) continue;
        if (!IsEditCommand((*words)[0])) {
            failed = {kExitUsage,
                      "a script holds set, get, program and generator commands, not " + (*words)[0]};
            break;
        }
        failed = session.Run(*words);
        if (failed.code != kExitOk) {
            if (failed.message.empty()) failed.message = "failed";
            break;
        }
    }
    const bool written = session.FileChanged();
    const CommandResult end = session.Finish(failed.code == kExitOk);
    if (failed.code != kExitOk) {
        err << where << failed.message << '\n';
        // A file is changed by a whole script or not at all.
        if (written) err << "nothing was written to " << *o.file << '\n';
    }
    SayFailure(end, err);
    return failed.code != kExitOk ? failed.code : end.code;
}

} // namespace

namespace {

int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Environment& env) {
    std::string error;
    const auto options = ParseOptions(args, error);
    if (!options) {
        if (error == "help") {
            out << HelpText();
            return kExitOk;
        }
        return UsageError(err, error);
    }
    if (options->words.size() == 1 && options->words[0] == "--version") {
        out << "quellmarin-cli " << QUELLMARIN_VERSION << '\n';
        return kExitOk;
    }
    Environment paced = env;
    paced.timings.pacing = options->pacing;
    if (options->script) {
        if (!options->words.empty()) return UsageError(err, "a script (-f) takes no command of its own");
        if (options->all || !options->ids.empty())
            return UsageError(err, "a script (-f) runs on one processor; give one --id");
        return Script(*options, paced, out, err);
    }
    if (options->server) {
        if (options->script) return UsageError(err, "--server runs one set or get, not a script");
        if (options->file || !options->ports.empty())
            return UsageError(err, "--server edits the server's processors, not a file or a port");
        return RunOnServer(*options, out, err);
    }
    const CommandDef* command = FindCommandDef(options->words[0]);
    if (!command) return UsageError(err, "unknown command " + options->words[0]);
    if (options->all || !options->ids.empty()) {
        const std::string& name = command->name;
        const bool rigSave = name == "rig" && options->words.size() >= 2 && options->words[1] == "save";
        if (rigSave) return command->run(*options, paced, out, err);
        if (name != "set" && name != "get" && name != "levels" && name != "program" && name != "apply")
            return UsageError(err, "several processors (--all, --id 1,2,3) are for set, get, levels, program, apply "
                                   "and rig save");
        if (options->file) return UsageError(err, "--file edits one parameter file, not several processors");
        if (command->edit) return RunOnEach(*options, paced, out, err, Edit);
        return RunOnEach(*options, paced, out, err, command->run);
    }
    if (command->edit) return Edit(*options, paced, out, err);
    if (options->file) return UsageError(err, "--file is for set, get, generator and the peq commands");
    return command->run(*options, paced, out, err);
}

} // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Environment& env) {
    // Whatever goes wrong inside ends as a message and a failure, never as an abort.
    try {
        return RunCommand(args, out, err, env);
    } catch (const std::exception& e) {
        err << "quellmarin-cli: " << e.what() << '\n';
    } catch (...) {
        err << "quellmarin-cli: an unexpected error ended the command\n";
    }
    return kExitFailed;
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return Run(args, out, err, Environment{});
}

} // namespace quellmarin::cli
