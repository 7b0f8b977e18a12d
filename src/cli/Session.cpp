#include "cli/Session.h"

#include "cli/Commands.h"
#include "cli/Dump.h"
#include "edit/SettingWords.h"
#include "dsp/Scales.h"
#include "edit/Generator.h"
#include "edit/PanelLock.h"
#include "edit/ProgramExchange.h"
#include "edit/ProgramList.h"
#include "link/Exchange.h"
#include "link/PortCatalog.h"
#include "link/WholeState.h"
#include "model/InputFile.h"
#include "model/ParameterFile.h"
#include "edit/FilterImport.h"
#include "edit/RecordDiff.h"

#include <cctype>
#include <filesystem>
#include <future>
#include <iterator>
#include <nlohmann/json.hpp>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

namespace quellmarin::cli {

namespace {

constexpr std::string_view kEditsUnconfirmed =
    "The device did not confirm the changes; its settings may differ from what was set.";

CommandResult Fail(int code, std::string message) {
    return {code, std::move(message)};
}

// "4" or "04" as a program slot; nothing outside 1..40.
std::optional<int> SlotOf(const std::string& word) {
    int slot = 0;
    for (char c : word) {
        if (c < '0' || c > '9' || slot > kProgramSlots) return std::nullopt;
        slot = slot * 10 + (c - '0');
    }
    if (word.empty() || slot < 1 || slot > kProgramSlots) return std::nullopt;
    return slot;
}

} // namespace

DeviceSession::DeviceSession(const Options& o, const Environment& env, std::ostream& err)
    : options_(o), env_(env), err_(err), provider_(env.provider ? *env.provider : systemProvider_),
      link_(provider_, o.model, env.timings) {
    link_.SetCatalog(BuildPortCatalog(o.ports, env.virtualPorts, env.includeHardware));
    if (o.verbose) {
        // Frames as they went, one line each way: "/dev/ttyUSB0 > (05$0280181)", "/dev/ttyUSB0 < (05J001)".
        link_.SetTap([this](std::string_view port, bool sent, std::string_view text) {
            std::lock_guard lock(printMutex_);
            err_ << port << (sent ? " > " : " < ") << text << '\n';
        });
    }
}

std::vector<FoundDevice> DeviceSession::Scan() {
    const bool showProgress = env_.progressOnTerminal && isatty(2);
    IdRange ids;
    if (options_.id) ids = {*options_.id, *options_.id};
    // A named device is asked again when its hello or the reply got lost (a probe only reads); a scan
    // of every ID is not repeated, it lists what answered.
    const int attempts = options_.id ? kReadAttempts : 1;
    std::vector<FoundDevice> devices;
    for (int attempt = 0; attempt < attempts && devices.empty(); ++attempt) {
        devices = link_.Scan(
            [&](int done, int planned) {
                if (!showProgress) return;
                std::lock_guard lock(printMutex_);
                err_ << "\rscanning " << done << "/" << planned << std::flush;
            },
            nullptr, ids);
        if (link_.PortProblems().size() == link_.Catalog().size()) break; // no port to ask again
    }
    if (showProgress) err_ << "\r" << std::string(30, ' ') << "\r" << std::flush;
    for (const std::string& problem : link_.PortProblems()) err_ << problem << '\n';
    return devices;
}

bool DeviceSession::SelectDevice() {
    for (const FoundDevice& d : Scan()) {
        if (options_.id && d.id != *options_.id) continue;
        link_.Select(SelectionOf(d, link_.Catalog()));
        return true;
    }
    err_ << kNoDeviceLine << '\n';
    return false;
}

template <class F>
auto DeviceSession::OnWorker(F f) -> std::optional<decltype(f(std::declval<CSerialPort&>()))> {
    auto job = link_.Worker().Submit(std::move(f));
    try {
        return job.get();
    } catch (const std::future_error&) {
        return std::nullopt; // the connection ended before the job ran
    }
}

bool DeviceSession::SendUntilHeld(const SystemParameters& wanted) {
    // Settings are values, not steps: sending one the device already holds changes nothing.
    const std::string address = link_.Address();
    for (int round = 0; round < kReadAttempts; ++round) {
        link_.Worker().FlushPending(env_.timings.cycle * 100);
        const auto now = OnWorker([&](CSerialPort& port) { return UploadParameters(port, address, env_.timings); });
        if (!now || !*now) return false; // the connection ended, or three reads went unanswered
        const SystemParameters device = ParametersFromBytes(**now);
        if (SameSettings(device, wanted)) return true;
        for (const std::string& frame : DiffFrames(device, wanted, address, options_.model).frames) link_.Post(frame);
    }
    return false;
}

std::vector<std::string> DeviceSession::SendUntilInfoHeld(const DeviceInfoRecord& wanted) {
    const std::string address = link_.Address();
    std::vector<std::string> missing;
    for (int round = 0; round <= kReadAttempts; ++round) {
        link_.Worker().FlushPending(env_.timings.cycle * 100);
        const auto now = OnWorker([&](CSerialPort& port) { return UploadDeviceInfo(port, address, env_.timings); });
        if (!now || !*now) // could not be read: neither is confirmed
            return {std::string(kPanelLockSetting), std::string(kGeneratorSetting)};
        const DeviceSettingsDiff diff = DiffDeviceSettings(DeviceInfoFromBytes(**now), wanted, address);
        missing = diff.names;
        if (diff.Empty() || round == kReadAttempts) break;
        for (const std::string& frame : diff.frames) {
            if (IsPanelLockFrame(frame)) {
                // The lock is an exchange: the device answers it.
                const auto wait = env_.timings.settingReplyWait;
                OnWorker([&frame, wait](CSerialPort& port) { return ExchangeFrame(port, frame, wait); });
            } else {
                link_.Post(frame);
            }
        }
    }
    return missing;
}

bool DeviceSession::Connect(bool download, const ParameterBytes& record, ConnectOutcome& outcome,
                            bool readState) {
    outcome = link_.Connect(download, record, readState);
    if (!outcome.connected) {
        err_ << outcome.message << '\n';
        return false;
    }
    return true;
}

EditSession::EditSession(const Options& o, const Environment& env, std::ostream& out, std::ostream& err)
    : options_(o), env_(env), out_(out), err_(err), session_(o.model) {}

EditSession::~EditSession() {
    if (device_) device_->Link().Disconnect();
}

template <class F>
auto EditSession::OnWorker(F f) -> std::optional<decltype(f(std::declval<CSerialPort&>()))> {
    return device_->OnWorker(std::move(f));
}

CommandResult EditSession::Open() {
    if (opened_) return {};
    if (options_.file) {
        const LoadResult loaded = session_.Load(*options_.file, "Load");
        if (!loaded.ok()) return Fail(kExitFile, loaded.Text());
        session_.SetPost([](std::string) {}); // a file has no device to tell
    } else {
        device_ = std::make_unique<DeviceSession>(options_, env_, err_);
        if (!device_->SelectDevice()) {
            device_.reset();
            return Fail(kExitFailed, {}); // the reason was said
        }
        ConnectOutcome c;
        if (!device_->Connect(false, {}, c)) {
            device_.reset();
            return Fail(kExitFailed, {});
        }
        DeviceLink& link = device_->Link();
        // Nobody looks at the meters here; the worker only carries the edits.
        link.Worker().SetMeterPoll(false);
        session_.ReplaceRecords(c.params, c.info);
        session_.SetAddress(link.Address());
        session_.SetPort(link.PortPath());
        session_.SetPost([&link](std::string frame) { link.Post(std::move(frame)); });
    }
    opened_ = true;
    return {};
}

CommandResult EditSession::Run(const std::vector<std::string>& words) {
    if (words.empty()) return {};
    const std::string& command = words[0];
    const std::vector<std::string> rest(words.begin() + 1, words.end());
    const CommandDef* def = FindCommandDef(command);
    if (!def || !def->edit) return Fail(kExitUsage, "not an editing command: " + command);
    if (command == "program" && options_.file)
        return Fail(kExitUsage, "program works on a device, not on a file");
    if (CommandResult r = Open(); r.code != kExitOk) return r;
    return (this->*def->edit)(rest);
}

CommandResult EditSession::Set(const std::vector<std::string>& words) {
    const EditOutcome o = ApplySet(session_.Context(), words);
    for (const std::string& note : o.notes) err_ << note << '\n';
    if (!o.ok) return Fail(kExitUsage, o.message);
    changed_ = true;
    if (!words.empty() && words[0] == "lock") lockSet_ = true;
    if (device_) {
        // Alias names and the panel lock are exchanges: the device answers each.
        for (const std::string& frame : o.replied) {
            const auto wait = env_.timings.settingReplyWait;
            OnWorker([&frame, wait](CSerialPort& port) { return ExchangeFrame(port, frame, wait); });
        }
    }
    return {};
}

CommandResult EditSession::Get(const std::vector<std::string>& words) {
    std::string error;
    const auto entries = GetEntries(session_.Params(), session_.Info(), options_.model, words, error);
    if (!entries) return Fail(kExitUsage, error);
    if (options_.json)
        PrintDumpJson(*entries, options_.model, out_);
    else
        PrintDumpText(*entries, out_);
    return {};
}

CommandResult EditSession::Program(const std::vector<std::string>& words) {
    const std::string what = words.empty() ? "" : words[0];
    const std::string address = device_->Link().Address();
    const LinkTimings& t = env_.timings;
    ProgramList list(session_.Context());
    if (what == "list" && words.size() == 1) {
        list.Refresh();
        while (const auto slot = list.NextQuery()) {
            const auto reply =
                OnWorker([&](CSerialPort& port) { return QuerySlot(port, address, *slot, t); });
            if (!reply) return Fail(kExitFailed, std::string(kLostDevice));
            list.TakeReply(*slot, *reply);
        }
        nlohmann::ordered_json rows = nlohmann::ordered_json::array();
        for (int slot = 1; slot <= kProgramSlots; ++slot) {
            const auto& row = list.Row(slot);
            const bool current = slot == list.Current();
            if (options_.json) {
                rows.push_back({{"slot", slot},
                                {"name", row ? nlohmann::ordered_json(*row) : nullptr},
                                {"empty", row && *row == kEmptySlotName},
                                {"current", current}});
            } else {
                out_ << TwoDigitText(slot) << (current ? " * " : "   ") << (row ? *row : "(no reply)")
                     << '\n';
            }
        }
        if (options_.json)
            out_ << rows.dump(2, ' ', true, nlohmann::ordered_json::error_handler_t::replace) << '\n';
        return {};
    }
    if ((what == "recall" || what == "delete") && words.size() == 2) {
        const auto slot = SlotOf(words[1]);
        if (!slot) return Fail(kExitUsage, "a program number is 1..40");
        if (what == "recall") {
            const auto state =
                OnWorker([&](CSerialPort& port) { return RecallSlot(port, address, *slot, t, {}); });
            if (!state || !*state) return Fail(kExitFailed, "the device did not recall program " + words[1]);
            list.Recalled(**state);
            out_ << "recalled program " << TwoDigitText(*slot) << ": " << list.CurrentName() << '\n';
            return {};
        }
        list.Select(*slot);
        if (const std::string_view refused = list.CheckDelete(); !refused.empty())
            return Fail(kExitFailed, std::string(refused));
        const auto reply = OnWorker([&](CSerialPort& port) { return DeleteSlot(port, address, *slot, t); });
        if (!reply || reply->kind != SlotReply::Empty)
            return Fail(kExitFailed, "the device did not confirm the delete of program " + words[1]);
        list.Deleted(*slot, *reply);
        out_ << "deleted program " << TwoDigitText(*slot) << '\n';
        return {};
    }
    const auto rename = [&](int slot, const std::string& name) -> CommandResult {
        if (const std::string refused = NameRefusal(name); !refused.empty()) return Fail(kExitUsage, refused);
        const std::string wire = WireName(name);
        const auto reply =
            OnWorker([&](CSerialPort& port) { return RenameSlot(port, address, slot, wire, t); });
        if (!reply || !list.Renamed(slot, *reply, wire))
            return Fail(kExitFailed, "the device did not confirm the name of program " + TwoDigitText(slot));
        return {};
    };
    if (what == "save" && (words.size() == 2 || words.size() == 3)) {
        const auto slot = SlotOf(words[1]);
        if (!slot) return Fail(kExitUsage, "a program number is 1..40");
        if (words.size() == 3)
            if (const std::string refused = NameRefusal(words[2]); !refused.empty())
                return Fail(kExitUsage, refused);
        const auto stored = OnWorker([&](CSerialPort& port) { return StoreSlot(port, address, *slot, t); });
        if (!stored || !*stored)
            return Fail(kExitFailed, "the device did not confirm the save as program " + words[1]);
        list.Stored(*slot);
        if (words.size() == 3)
            if (CommandResult r = rename(*slot, words[2]); r.code != kExitOk) return r;
        out_ << "saved program " << TwoDigitText(*slot) << ": " << list.CurrentName() << '\n';
        return {};
    }
    if (what == "rename" && words.size() == 2) {
        if (CommandResult r = rename(list.Current(), words[1]); r.code != kExitOk) return r;
        out_ << "renamed program " << list.CurrentNumberText() << ": " << list.CurrentName() << '\n';
        return {};
    }
    return Fail(kExitUsage, "program list | recall N | save N [NAME] | rename NAME | delete N");
}

CommandResult EditSession::Generator(const std::vector<std::string>& words) {
    quellmarin::Generator gen(session_.Context());
    if (words.size() == 3 && words[0] == "on") {
        // Typed values are whole numbers with their units ("1k", "1,000Hz", "-20dB"); the window's
        // fields read more loosely, which the command line does not need.
        std::string frequency = words[1];
        for (std::size_t i = 1; i + 1 < frequency.size(); ++i)
            if (frequency[i] == ',' && std::isdigit(static_cast<unsigned char>(frequency[i - 1])) &&
                std::isdigit(static_cast<unsigned char>(frequency[i + 1])))
                frequency.erase(i, 1);
        if (!ParseTypedNumber(frequency, kFrequencyUnits))
            return Fail(kExitUsage, std::string(quellmarin::Generator::kFrequencyRange));
        if (!ParseTypedNumber(words[2], kDecibelUnits))
            return Fail(kExitUsage, std::string(quellmarin::Generator::kLevelRange));
        // Started with these values, which the record then keeps (the same frame twice goes out once).
        if (!gen.Running()) {
            const quellmarin::Generator::Outcome started = gen.Toggle(words[1], words[2]);
            if (!started.sent) return Fail(kExitUsage, started.message);
        }
        const quellmarin::Generator::Outcome o = gen.Apply(words[1], words[2]);
        if (!o.sent) return Fail(kExitUsage, o.message);
        changed_ = generatorSet_ = true;
        out_ << "generator on: " << o.frequencyText << " " << gen.LevelText() << '\n';
        return {};
    }
    if (words.size() == 1 && words[0] == "off") {
        if (gen.Running()) {
            const quellmarin::Generator::Outcome o = gen.Toggle(gen.FrequencyText(), gen.LevelText());
            if (!o.sent) return Fail(kExitFailed, o.message);
            changed_ = generatorSet_ = true;
        }
        out_ << "generator off\n";
        return {};
    }
    return Fail(kExitUsage, "generator on FREQUENCY LEVEL (generator on 1k -20) | generator off");
}

CommandResult EditSession::ImportFilters(const std::vector<std::string>& words) {
    if (words.size() != 3) return Fail(kExitUsage, "peq-import in|out CHANNEL FILTERS.txt");
    std::string error;
    const auto channel = ParseChannel(words[0], words[1], options_.model, error);
    if (!channel) return Fail(kExitUsage, error);
    const FileRead read = ReadInputFile(words[2]);
    if (!read.bytes) return Fail(kExitFile, "cannot read the filter file: " + read.problem);
    const FilterFile file = ParseFilterText(*read.bytes);
    const ImportPlan plan = session_.PlanFilterImport(file, *channel);
    if (plan.placed.empty() && !plan.gainCode)
        return Fail(kExitFile, "the file holds no filter the device can use");
    for (const std::string& line : DescribePlan(plan, options_.model)) out_ << line << '\n';
    if (plan.NeedsConsent() && !options_.force)
        return Fail(kExitFailed, "nothing was changed; add --force to import what the device can do");
    if (const int master = channel->Master(session_.Params()); master != channel->index)
        err_ << ChannelText(*channel, options_.model) << " is linked to "
             << ChannelText({channel->section, master}, options_.model) << ": editing "
             << ChannelText({channel->section, master}, options_.model) << '\n';
    session_.ImportFilters(plan, "Import filters");
    changed_ = true;
    return {};
}

CommandResult EditSession::ExportFilters(const std::vector<std::string>& words) {
    if (words.size() != 2 && words.size() != 3)
        return Fail(kExitUsage, "peq-export in|out CHANNEL [OUT.txt]");
    std::string error;
    const auto channel = ParseChannel(words[0], words[1], options_.model, error);
    if (!channel) return Fail(kExitUsage, error);
    const std::string text = session_.ExportFilters(*channel);
    if (words.size() == 2) {
        out_ << text;
        return {};
    }
    // Through a temporary file: a write that fails leaves a filter file that was there as it was.
    if (!WriteFileAtomically(words[2], text)) {
        std::error_code ec;
        const bool folder = std::filesystem::is_directory(words[2], ec);
        return Fail(kExitFile, "cannot write the filter file " + words[2] +
                                   (folder ? " (it is a folder)" : "; nothing was changed there"));
    }
    out_ << "wrote " << ChannelText(*channel, options_.model) << "'s filters to " << words[2] << '\n';
    return {};
}

CommandResult EditSession::Finish(bool keep) {
    if (!opened_) return {};
    if (!device_) {
        if (!changed_ || !keep) return {};
        const std::string_view message = session_.Save(*options_.file);
        if (!message.empty()) return Fail(kExitFile, SaveProblemText(*options_.file, message));
        return {};
    }
    DeviceLink& link = device_->Link();
    CommandResult result;
    if (changed_) {
        // Every change must have left, and the device must hold what the records hold.
        const bool confirmed = device_->SendUntilHeld(session_.Params());
        if (!confirmed) result = Fail(kExitFailed, std::string(kEditsUnconfirmed));
    }
    if (lockSet_ || generatorSet_) {
        // The panel lock and the generator live in the device information, which the record above
        // does not hold.
        for (const std::string& name : device_->SendUntilInfoHeld(session_.Info())) {
            const bool lock = name == kPanelLockSetting;
            const std::string_view says = lock ? PanelLock::kUnconfirmed : quellmarin::Generator::kUnconfirmed;
            if (!(lock ? lockSet_ : generatorSet_)) continue;
            result.code = kExitFailed;
            result.message += (result.message.empty() ? "" : "\n") + std::string(says);
        }
    }
    link.Disconnect();
    device_.reset();
    return result;
}

} // namespace quellmarin::cli
