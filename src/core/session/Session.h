// One processor as the program holds it: its two records, model, address and port, its edit history
// and the editing context its editors work in. The window's application object, the command-line
// tool and the remote front ends all work on sessions; the records are the program's truth about that
// one processor, and nothing here assumes there is only one.
#pragma once

#include "edit/EditContext.h"
#include "edit/EditHistory.h"
#include "edit/FilterImport.h"
#include "edit/RecordDiff.h"
#include "model/ParameterFile.h"
#include "panel/SetupReport.h"
#include "protocol/Frames.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quellmarin {

class Session {
  public:
    explicit Session(DeviceModel model = kBuildModel);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    DeviceModel Model() const { return model_; }
    SystemParameters& Params() { return params_; }
    const SystemParameters& Params() const { return params_; }
    DeviceInfoRecord& Info() { return info_; }
    const DeviceInfoRecord& Info() const { return info_; }
    // The context every editor of this processor works in.
    EditContext& Context() { return ctx_; }

    // The address text of the processor's frames ("00" before one is selected) and its port.
    const std::string& Address() const { return address_; }
    void SetAddress(std::string address) { address_ = std::move(address); }
    const std::string& Port() const { return port_; }
    void SetPort(std::string port) { port_ = std::move(port); }

    // Where the frames of edits go (the link's queue); without it they go nowhere (a file).
    void SetPost(std::function<void(std::string)> post) { ctx_.post = std::move(post); }
    // Told whenever the history gained, lost or moved a step, and when the settings become unsaved.
    void SetHistoryListener(std::function<void()> changed) { historyChanged_ = std::move(changed); }
    // Told of every edit made through this session's editors, after its step was taken: what it set,
    // the record before it, and whether it began a step of its own (or joined the one before).
    using EditListener = std::function<void(const CommandSpec&, int unit, int band, const SystemParameters& before,
                                            bool newStep)>;
    void SetEditListener(EditListener listener) { editListener_ = std::move(listener); }

    // Exchanges what this session holds of its processor with another session: model, records,
    // history, address and port. The editing contexts, the post functions and the listeners stay where they are,
    // so that editors bound to this session's context now edit the other processor.
    void SwapState(Session& other);

    // ---- The history ------------------------------------------------------------------------------
    const EditHistory& History() const { return history_; }
    // The record goes back (or forward) a step and the frames of the difference go to the processor;
    // false when there was no step.
    bool Undo();
    bool Redo();
    // A change of the whole record that is one step (a file load, the device's values taken).
    void RecordStep(const std::string& name);
    // The next edit is a step of its own, never joined to the one before.
    void BreakStep() { history_.Break(); }
    // Several edits as one step of the history; their frames go to the processor as usual.
    void EditAsOneStep(const std::string& name, const std::function<void(EditContext&)>& edit);
    // The records changed in a way that is no edit (a save into the processor's programs, a rename).
    void Follow();
    // The processor's whole state was read: its records become this session's, with a new history.
    void ReplaceRecords(const std::optional<ParameterBytes>& params, const std::optional<DeviceInfoBytes>& info);
    void ResetHistory();

    // ---- The processor's own record ---------------------------------------------------------------
    // The frames that carry the processor from its record `device` to this session's.
    RecordDiff DifferenceFrom(const SystemParameters& device) const;
    // Posts those frames.
    void SendDifference(const SystemParameters& device);
    // The session takes the processor's record, as one step of the history.
    void TakeDeviceRecord(const SystemParameters& device);

    // ---- Files, filters, the report ---------------------------------------------------------------
    // Loads a parameter file as one step named `stepName`; the records stay as they were when it fails.
    LoadResult Load(const std::filesystem::path& path, const std::string& stepName);
    // Saves the records as a parameter file (through a temporary file); empty, or the message to show.
    std::string_view Save(const std::filesystem::path& path);
    // Whether the settings were edited since they were last loaded from a file, saved, or read from
    // the processor (which then holds them): what quitting would lose.
    bool Unsaved() const { return !(params_ == savedParams_); }
    void MarkSaved() { savedParams_ = params_; }
    // The equaliser filters of a channel as text, and a plan to place a filter file's on a channel.
    std::string ExportFilters(ChannelRef channel) const;
    ImportPlan PlanFilterImport(const FilterFile& file, ChannelRef channel) const;
    // Places a plan's filters through the editors, as one step of the history.
    void ImportFilters(const ImportPlan& plan, const std::string& stepName);
    SetupReport Report() const;

  private:
    void Edited(const CommandSpec& entry, int unit, int band);
    void Changed();
    void PostAll(std::vector<std::string> frames) const;

    DeviceModel model_;
    SystemParameters params_;
    SystemParameters savedParams_;
    DeviceInfoRecord info_;
    std::string address_ = std::string(kNoAddress);
    std::string port_;
    EditHistory history_;
    EditContext ctx_;
    std::function<void()> historyChanged_;
    EditListener editListener_;
};

} // namespace quellmarin
