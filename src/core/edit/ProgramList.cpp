#include "edit/ProgramList.h"

#include "edit/LinkEditor.h"

#include <algorithm>
#include <cstdio>

namespace quellmarin {

namespace {

constexpr int kTriesPerSlot = 4;
constexpr std::string_view kMarks[] = {" [.]", " [..]", " [...]", " [....]", " [OK]", " [FAIL..]"};

std::string NumberedTitle(const char* head, int number) {
    if (number < 0) return std::string(head) + ":";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s\t%.2d", head, number);
    return buf;
}

} // namespace

ProgramList::ProgramList(EditContext& ctx) : ctx_(ctx), selected_(ctx.info.ProgramNo) {
    Refresh();
}

int ProgramList::Current() const {
    return ctx_.info.ProgramNo;
}

std::string ProgramList::CurrentNumberText() const {
    return TwoDigitText(Current());
}

std::string ProgramList::CurrentName() const {
    return ProgramName(ctx_.params);
}

const std::optional<std::string>& ProgramList::Row(int slot) const {
    static const std::optional<std::string> none;
    if (slot < 1 || slot > kProgramSlots) return none;
    return rows_[static_cast<std::size_t>(slot - 1)];
}

void ProgramList::SetRow(int slot, std::string name) {
    if (slot < 1 || slot > kProgramSlots) return;
    rows_[static_cast<std::size_t>(slot - 1)] = std::move(name);
}

void ProgramList::Refresh() {
    rows_.fill(std::nullopt);
    queue_.clear();
    for (int slot = kProgramSlots; slot >= 1; --slot) queue_.push_back(slot);
    failures_ = 0;
    reading_ = true;
}

void ProgramList::Continue() {
    if (!queue_.empty()) reading_ = true;
}

std::optional<int> ProgramList::NextQuery() const {
    if (!reading_ || queue_.empty()) return std::nullopt;
    return queue_.back();
}

bool ProgramList::TakeReply(int slot, const SlotReply& reply) {
    if (queue_.empty() || queue_.back() != slot) return false;
    const bool set = reply.Usable();
    if (set) SetRow(slot, reply.text);
    if (set || ++failures_ >= kTriesPerSlot) {
        queue_.pop_back();
        failures_ = 0;
    }
    if (queue_.empty()) {
        reading_ = false;
        if (selected_ < 1) Select(Current()); // a row the user chose meanwhile stays chosen
    }
    return set;
}

void ProgramList::Select(int slot) {
    selected_ = slot >= 1 && slot <= kProgramSlots ? slot : -1;
}

std::string ProgramList::Title(Button b) const {
    switch (b) {
    case Button::SaveAs:
        return NumberedTitle("Save as No.", selected_);
    case Button::Delete:
        return NumberedTitle("Delete No.", selected_);
    case Button::Recall:
        return NumberedTitle("Recall No.", selected_);
    case Button::Modify:
        break;
    }
    return std::string(kModify);
}

bool ProgramList::Enabled(Button b) const {
    if (b == Button::Modify) return true;
    if (selected_ < 0) return false;
    if (b == Button::SaveAs) return true;
    // An empty slot (its row says "not set...") has nothing to recall or delete.
    const auto& row = Row(selected_);
    return !(row && row->rfind("not", 0) == 0);
}

std::string ProgramList::Progress(Button b, Mark m) const {
    std::size_t keep = 6;
    if (b == Button::Recall || b == Button::Delete) keep = 13;
    if (b == Button::SaveAs) keep = 14;
    return Title(b).substr(0, keep) + std::string(kMarks[static_cast<int>(m)]);
}

bool ProgramList::Begin(Button b) {
    bool& busy = busy_[static_cast<std::size_t>(b)];
    if (busy) return false;
    busy = true;
    return true;
}

void ProgramList::End(Button b) {
    busy_[static_cast<std::size_t>(b)] = false;
}

bool ProgramList::Busy(Button b) const {
    return busy_[static_cast<std::size_t>(b)];
}

std::string_view ProgramList::CheckDelete() const {
    if (selected_ == Current()) return kCannotDeleteCurrent;
    return {};
}

namespace {
// "No. 03 Monitor mix": the slot as the list shows it, with the name the device gave (dots trimmed).
std::string SlotText(int slot, const std::optional<std::string>& row) {
    std::string text = "No. " + TwoDigitText(slot);
    if (!row) return text;
    std::string name = *row;
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    return name.empty() ? text : text + " " + name;
}
} // namespace

std::string ProgramList::DeleteQuestion() const {
    return "Delete " + SlotText(selected_, Row(selected_)) + "? The program cannot be brought back.";
}

std::optional<std::string> ProgramList::ReplaceQuestion() const {
    const auto& row = Row(selected_);
    if (!row || *row == kEmptySlotName) return std::nullopt;
    return "Replace " + SlotText(selected_, row) + "? The program stored there is lost.";
}

void ProgramList::Recalled(const UploadedState& state) {
    ctx_.params = ParametersFromBytes(state.params);
    ctx_.info = DeviceInfoFromBytes(state.info);
}

void ProgramList::Stored(int slot) {
    SetProgramNo(ctx_.info, slot);
    // The device stores the linked channels with their masters' settings; the record follows.
    LinkEditor::LinkCopy(ctx_.params, Section::Input);
    LinkEditor::LinkCopy(ctx_.params, Section::Output);
    SetRow(slot, CurrentName());
}

void ProgramList::Deleted(int slot, const SlotReply& reply) {
    if (reply.Usable()) SetRow(slot, reply.text);
}

bool ProgramList::Renamed(int slot, const SlotReply& reply, std::string_view sent) {
    if (!reply.Usable()) return false;
    SetRow(slot, reply.text);
    if (reply.kind != SlotReply::Name) return false;
    if (slot == Current()) SetProgramName(ctx_.params, reply.text);
    return reply.text == PaddedProgramName(sent);
}

} // namespace quellmarin
