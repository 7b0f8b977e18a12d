#include "edit/LinkEditor.h"


#include <cstring>

namespace quellmarin {

// Bytes 1..25 of an input (equaliser, gain, delay) and 1..50 of an output (routing to limiter).
static_assert(offsetof(InputChannel, Mute) == 26);
static_assert(offsetof(OutputChannel, Mute) == 51);

std::string LinkEditor::Title(Section section) {
    return IsOutput(section) ? " Link Setting Output" : " Link Setting Input";
}

std::vector<int> LinkEditor::Channels(Section section) const {
    std::vector<int> out;
    for (int k = 0; k < 8; ++k)
        if (IsOutput(section) || InputSlotUsed(ctx_.model, k)) out.push_back(k);
    return out;
}

std::vector<int> LinkEditor::Groups(Section section) const {
    // Ketra's four inputs sit in slots 4..7 and form groups among those.
    return Channels(section);
}

std::string LinkEditor::ColumnLabel(Section section, int channel) const {
    if (IsOutput(section)) return std::to_string(channel + 1);
    const int first = ctx_.model == DeviceModel::Ketra ? 4 : 0;
    return std::string(1, static_cast<char>('A' + channel - first));
}

std::array<int, 8> LinkEditor::Rows(Section section) const {
    std::array<int, 8> rows{};
    for (int k = 0; k < 8; ++k)
        rows[k] = std::min<int>(
            IsOutput(section) ? ctx_.params.OutCH[k].LinkIndex : ctx_.params.InCH[k].LinkIndex, 7);
    return rows;
}

std::array<std::uint8_t, 8> LinkEditor::Canonical(const std::array<int, 8>& rows) {
    std::array<int, 8> mark{};
    for (int c = 0; c < 8; ++c) mark[c] = rows[c];
    std::array<bool, 8> done{};
    for (int c = 0; c < 8; ++c) {
        if (done[c]) continue;
        for (int k = c; k < 8; ++k)
            if (!done[k] && rows[k] == rows[c]) {
                mark[k] = c;
                done[k] = true;
            }
    }
    std::array<std::uint8_t, 8> out{};
    for (int c = 0; c < 8; ++c) out[c] = static_cast<std::uint8_t>(mark[c]);
    return out;
}

void LinkEditor::LinkCopy(SystemParameters& p, Section section) {
    for (int k = 7; k >= 0; --k) {
        if (IsOutput(section)) {
            const int L = std::min<int>(p.OutCH[k].LinkIndex, 7);
            if (L == k) continue;
            std::memcpy(reinterpret_cast<std::uint8_t*>(&p.OutCH[k]) + 1,
                        reinterpret_cast<const std::uint8_t*>(&p.OutCH[L]) + 1, 50);
        } else {
            const int L = std::min<int>(p.InCH[k].LinkIndex, 7);
            if (L == k) continue;
            std::memcpy(reinterpret_cast<std::uint8_t*>(&p.InCH[k]) + 1,
                        reinterpret_cast<const std::uint8_t*>(&p.InCH[L]) + 1, 25);
            p.Comp[k] = p.Comp[L];
        }
    }
}

void LinkEditor::Confirm(Section section, const std::array<int, 8>& rows) {
    LinkCopy(ctx_.params, section);
    const std::array<std::uint8_t, 8> links = Canonical(rows);
    for (int k = 0; k < 8; ++k) (IsOutput(section) ? ctx_.Out(k).LinkIndex : ctx_.In(k).LinkIndex) = links[k];
    ctx_.Send(IsOutput(section) ? "$041" : "$040");
}

} // namespace quellmarin
