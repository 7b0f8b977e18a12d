#include "edit/RouteEditor.h"


namespace quellmarin {

std::vector<int> RouteEditor::InputSlots() const {
    std::vector<int> slots;
    for (int i = 0; i < kInputSlots; ++i)
        if (InputSlotUsed(ctx_.model, i)) slots.push_back(i);
    return slots;
}

std::string RouteEditor::ColumnLabel(int slot) const {
    const int first = ctx_.model == DeviceModel::Ketra ? 4 : 0;
    return std::string(1, static_cast<char>('A' + slot - first));
}

bool RouteEditor::Routed(int output, int slot) const {
    return ctx_.params.OutCH[output].Route[slot] != 0;
}

void RouteEditor::Toggle(int output, int slot) {
    std::uint8_t& level = ctx_.Out(output).Route[slot];
    level = level != 0 ? 0 : kUnity;
    ctx_.Send("$031", output);
}

void RouteEditor::Reset() {
    ResetRouting(ctx_.params, ctx_.model);
    ctx_.Send("K");
}

std::string RouteEditor::Summary(int output) const {
    std::string from;
    for (const int slot : InputSlots())
        if (Routed(output, slot)) from += (from.empty() ? "" : ", ") + ColumnLabel(slot);
    return from.empty() ? "From no input" : "From " + from;
}

} // namespace quellmarin
