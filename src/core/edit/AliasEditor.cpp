#include "edit/AliasEditor.h"

#include "protocol/Frames.h"

#include <algorithm>

namespace quellmarin {

namespace {
std::string Stored(const SystemParameters& p, int index) {
    return std::string(p.ChName[index], p.ChName[index] + kAliasLength);
}
std::string TrimRight(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
    return s;
}
} // namespace

std::string AliasEditor::FieldText(int index) const {
    return TrimRight(Stored(ctx_.params, std::clamp(index, 0, kNames - 1)));
}

std::optional<std::string> AliasEditor::Leave(int index, std::string_view text) {
    if (index < 0 || index >= kNames) return std::nullopt;
    std::string name;
    for (const char c : text)
        if (c >= 0x20 && c < 0x7F && c != '(' && c != ')' && name.size() < kAliasLength) name += c;
    name.resize(kAliasLength, ' ');
    std::copy(name.begin(), name.end(), ctx_.params.ChName[index]);
    const std::string frame = BuildFrame(*FindCommand("E"), ctx_.Address(), ctx_.params, ctx_.info, index, 0, ctx_.model);
    if (frame.size() != kAliasFrameLength) return std::nullopt;
    return frame;
}

} // namespace quellmarin
