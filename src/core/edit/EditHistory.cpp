#include "edit/EditHistory.h"

#include "protocol/Frames.h"
#include "edit/EditContext.h"

#include <charconv>

namespace quellmarin {

namespace {

std::optional<int> Digits(std::string_view s) {
    int v = 0;
    const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size()) return std::nullopt;
    return v;
}

} // namespace

std::string EditHistory::StepName(std::string_view frame, DeviceModel model) {
    if (frame.size() < 5 || frame.front() != '(') return "Edit";
    const std::string_view body = frame.substr(3, frame.size() - 4);
    if (body == "K") return "Routing reset";
    if (body.size() >= 3 && body[0] == 'E') {
        const auto kind = Digits(body.substr(1, 1)), ch = Digits(body.substr(2, 1));
        if (kind && ch && *kind <= 1 && *ch <= 7)
            return ChannelName(*kind ? Section::Output : Section::Input, *ch, model) + " name";
        return "Channel name";
    }
    if (body.size() < 5 || body[0] != '$') return "Edit";
    const auto code = Digits(body.substr(1, 3));
    if (!code) return "Edit";
    if (*code == 40) return "Links of the inputs";
    if (*code == 41) return "Links of the outputs";
    const auto ch = Digits(body.substr(4, 1));
    if (!ch || *ch > 7) return "Edit";
    const bool output = *code >= 31 && *code <= 39;
    const std::string channel = ChannelName(output ? Section::Output : Section::Input, *ch, model);
    const auto band = body.size() >= 7 ? Digits(body.substr(5, 2)) : std::nullopt;
    switch (*code) {
    case 26:
    case 38:
        return channel + " PEQ on/off";
    case 27:
    case 34:
        return channel + " PEQ band " + std::to_string(band.value_or(0) + 1);
    case 28:
    case 35:
        return channel + " gain";
    case 29:
    case 32:
        return channel + " delay";
    case 30:
    case 37:
        return channel + " mute";
    case 31:
        return channel + " routing";
    case 33:
        return channel + " crossover";
    case 36:
        return channel + " limiter";
    case 39:
        return channel + " polarity";
    case 44:
        return channel + " compressor";
    default:
        return "Edit";
    }
}

void EditHistory::Posted(const SystemParameters& record, std::string_view frame, DeviceModel model,
                         Clock::time_point now) {
    if (record == current_) return;
    const std::string key = ParameterKey(frame);
    // The same parameter again within half a second, with nothing undone meanwhile: the same step.
    if (!key.empty() && position_ == steps_.size() && !steps_.empty() && steps_.back().key == key &&
        now - steps_.back().at <= kJoin) {
        steps_.back().after = record;
        steps_.back().at = now;
        current_ = record;
        return;
    }
    Push({StepName(frame, model), key, record, now});
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
