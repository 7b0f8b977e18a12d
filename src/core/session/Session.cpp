#include "session/Session.h"



#include <chrono>

namespace quellmarin {

Session::Session(DeviceModel model)
    : model_(model), params_(DefaultSystemParameters(model)), savedParams_(params_), info_(DefaultDeviceInfo(model)),
      history_(params_),
      ctx_{params_, info_, model, [this] { return address_; }, {},
           [this](const CommandSpec& entry, int unit, int band) { Edited(entry, unit, band); }} {}

void Session::Edited(const CommandSpec& entry, int unit, int band) {
    // The step is taken where the edit is made, named after what it set.
    const bool couldUndo = history_.CanUndo(), couldRedo = history_.CanRedo(), wasUnsaved = Unsaved();
    const std::string before = history_.UndoName();
    const std::uint64_t taken = history_.Taken();
    const SystemParameters recordBefore = editListener_ ? history_.Current() : SystemParameters{};
    history_.Edited(params_, entry, unit, band, model_, std::chrono::steady_clock::now());
    if (couldUndo != history_.CanUndo() || couldRedo != history_.CanRedo() || before != history_.UndoName() ||
        wasUnsaved != Unsaved())
        Changed();
    if (editListener_) editListener_(entry, unit, band, recordBefore, history_.Taken() != taken);
}

void Session::SwapState(Session& other) {
    if (&other == this) return;
    std::swap(model_, other.model_);
    std::swap(ctx_.model, other.ctx_.model);
    std::swap(params_, other.params_);
    std::swap(savedParams_, other.savedParams_);
    std::swap(info_, other.info_);
    std::swap(address_, other.address_);
    std::swap(port_, other.port_);
    std::swap(history_, other.history_);
    Changed();
    other.Changed();
}

void Session::Changed() {
    if (historyChanged_) historyChanged_();
}

void Session::PostAll(std::vector<std::string> frames) const {
    for (std::string& frame : frames) ctx_.Post(std::move(frame));
}

bool Session::Undo() {
    const SystemParameters before = params_;
    const auto target = history_.Undo();
    if (!target) return false;
    params_ = *target;
    PostAll(DiffFrames(before, params_, address_, model_).frames);
    Changed();
    return true;
}

bool Session::Redo() {
    const SystemParameters before = params_;
    const auto target = history_.Redo();
    if (!target) return false;
    params_ = *target;
    PostAll(DiffFrames(before, params_, address_, model_).frames);
    Changed();
    return true;
}

void Session::RecordStep(const std::string& name) {
    history_.Record(params_, name);
    Changed();
}

void Session::EditAsOneStep(const std::string& name, const std::function<void(EditContext&)>& edit) {
    std::vector<std::string> frames;
    EditContext quiet{params_, info_, model_, ctx_.address,
                      [&frames](std::string frame) { frames.push_back(std::move(frame)); }, {}};
    edit(quiet);
    RecordStep(name);
    PostAll(std::move(frames));
}

void Session::Follow() {
    history_.Follow(params_);
}

void Session::ResetHistory() {
    history_.Reset(params_);
    Changed();
}

void Session::ReplaceRecords(const std::optional<ParameterBytes>& params,
                             const std::optional<DeviceInfoBytes>& info) {
    if (params) {
        params_ = ParametersFromBytes(*params);
        MarkSaved(); // the processor holds them
        ResetHistory();
    }
    if (info) info_ = DeviceInfoFromBytes(*info);
}

RecordDiff Session::DifferenceFrom(const SystemParameters& device) const {
    return DiffFrames(device, params_, address_, model_);
}

void Session::SendDifference(const SystemParameters& device) {
    PostAll(DifferenceFrom(device).frames);
}

void Session::TakeDeviceRecord(const SystemParameters& device) {
    params_ = device;
    MarkSaved();
    RecordStep("Take the device's values");
}

LoadResult Session::Load(const std::filesystem::path& path, const std::string& stepName) {
    LoadResult r = LoadParameterFile(path, info_.ChannelConfig);
    if (!r.ok()) return r;
    params_ = r.records->params;
    info_ = r.records->info;
    MarkSaved();
    RecordStep(stepName);
    return r;
}

std::string_view Session::Save(const std::filesystem::path& path) {
    const std::string_view message = SaveParameterFile(path, params_, info_);
    if (message.empty()) MarkSaved();
    return message;
}

std::string Session::ExportFilters(ChannelRef channel) const {
    return quellmarin::ExportFilters(params_, channel, model_);
}

ImportPlan Session::PlanFilterImport(const FilterFile& file, ChannelRef channel) const {
    return PlanImport(file, channel, model_);
}

void Session::ImportFilters(const ImportPlan& plan, const std::string& stepName) {
    EditAsOneStep(stepName, [&plan](EditContext& ctx) { ApplyImport(ctx, plan); });
}

SetupReport Session::Report() const {
    return BuildSetupReport(params_, info_, model_);
}

} // namespace quellmarin
