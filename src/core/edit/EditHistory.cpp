#include "edit/EditHistory.h"

#include <utility>

#include "protocol/CommandTable.h"
#include "edit/EditContext.h"


namespace quellmarin {

std::string EditHistory::StepName(std::string_view frame, DeviceModel model) {
    const FrameUnit u = ReadFrameUnit(frame);
    return u.entry ? StepName(*u.entry, u.unit, u.band, model) : "Edit";
}

std::string EditHistory::StepName(const CommandSpec& entry, std::optional<int> unit, std::optional<int> band,
                                  DeviceModel model) {
    if (entry.name.empty()) return "Edit";
    switch (entry.scope) {
    case Scope::Device:
        return std::string(entry.name);
    case Scope::Input:
    case Scope::Output: {
        if (!unit || *unit > 7) return "Edit";
        const Section section = entry.scope == Scope::Output ? Section::Output : Section::Input;
        std::string name = ChannelName(section, *unit, model) + " " + std::string(entry.name);
        if (entry.bands > 0) name += " " + std::to_string(band.value_or(0) + 1);
        return name;
    }
    case Scope::Alias:
        if (!unit) return "Channel name";
        return ChannelName(*unit < 8 ? Section::Input : Section::Output, *unit % 8, model) + " name";
    default:
        return "Edit";
    }
}

void EditHistory::Edited(const SystemParameters& record, const CommandSpec& entry, int unit, int band,
                          DeviceModel model, Clock::time_point now) {
    if (record == current_) return;
    const std::string key = entry.key == KeyKind::None ? std::string()
                                                      : std::string(entry.code) + "/" + std::to_string(unit) + "/" +
                                                            std::to_string(entry.key == KeyKind::ChannelBand ? band : 0);
    // The same setting again within half a second, with nothing undone meanwhile: the same step.
    const bool mayJoin = !std::exchange(broken_, false);
    if (mayJoin && !key.empty() && position_ == steps_.size() && !steps_.empty() && steps_.back().key == key &&
        now - steps_.back().at <= kJoin) {
        steps_.back().after = record;
        steps_.back().at = now;
        current_ = record;
        return;
    }
    Push({StepName(entry, unit, band, model), key, record, now});
}

void EditHistory::Record(const SystemParameters& record, std::string name) {
    if (record == current_) return;
    Push({std::move(name), {}, record, Clock::now()});
}

void EditHistory::Push(Step step) {
    // A new edit after an undo drops what was undone.
    steps_.erase(steps_.begin() + static_cast<std::ptrdiff_t>(position_), steps_.end());
    current_ = step.after;
    steps_.push_back(std::move(step));
    ++taken_;
    if (steps_.size() > kSteps) {
        base_ = steps_.front().after;
        steps_.pop_front();
    }
    position_ = steps_.size();
}

void EditHistory::Follow(const SystemParameters& record) {
    current_ = record;
    if (position_ > 0)
        steps_[position_ - 1].after = record;
    else
        base_ = record;
}

void EditHistory::Reset(const SystemParameters& record) {
    steps_.clear();
    position_ = 0;
    base_ = record;
    current_ = record;
}

const SystemParameters& EditHistory::StateAt(std::size_t position) const {
    return position == 0 ? base_ : steps_[position - 1].after;
}

std::string EditHistory::UndoName() const {
    return CanUndo() ? steps_[position_ - 1].name : std::string();
}

std::string EditHistory::RedoName() const {
    return CanRedo() ? steps_[position_].name : std::string();
}

std::optional<SystemParameters> EditHistory::Undo() {
    if (!CanUndo()) return std::nullopt;
    --position_;
    current_ = StateAt(position_);
    return current_;
}

std::optional<SystemParameters> EditHistory::Redo() {
    if (!CanRedo()) return std::nullopt;
    ++position_;
    current_ = StateAt(position_);
    return current_;
}

} // namespace quellmarin
