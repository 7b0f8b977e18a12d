#include "edit/EditContext.h"

#include <algorithm>

namespace quellmarin {

int ChannelRef::Master(const SystemParameters& p) const {
    const int i = std::clamp(index, 0, 7);
    const std::uint8_t link = IsOutput(section) ? p.OutCH[i].LinkIndex : p.InCH[i].LinkIndex;
    return std::min<int>(link, 7);
}

std::string ChannelLabel(Section section, int channel, DeviceModel model) {
    // Ketra's four inputs are A..D in slots 4..7.
    if (!IsOutput(section) && model == DeviceModel::Ketra && channel >= 4)
        return std::string(1, static_cast<char>('A' + channel - 4));
    return std::to_string(channel + 1);
}

std::string ChannelTag(Section section, int channel, DeviceModel model) {
    return "CH[" + ChannelLabel(section, channel, model) + "]";
}

std::string ChannelName(Section section, int channel, DeviceModel model) {
    return (IsOutput(section) ? "Output " : "Input ") + ChannelLabel(section, channel, model);
}

std::string DisplayName(const SystemParameters& p, ChannelRef c) {
    // Stored as 15 characters padded with spaces; "*" all through when never set.
    const char* stored = p.ChName[(IsOutput(c.section) ? 8 : 0) + std::clamp(c.index, 0, 7)];
    std::string name(stored, stored + kAliasLength);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.pop_back();
    if (name.find_first_not_of('*') == std::string::npos) return {};
    return name;
}

std::string EditorTitle(std::string_view head, const SystemParameters& p, ChannelRef c, DeviceModel model) {
    const std::string name = DisplayName(p, c);
    std::string title = std::string(head) + "CH[" + std::to_string(c.index + 1) + "]";
    if (!name.empty()) title += " " + name;
    const int master = c.Master(p);
    if (master != c.index) title += " (editing " + ChannelTag(c.section, master, model) + ")";
    return title;
}

namespace {

std::string FrameOf(const EditContext& ctx, const CommandSpec*& entry, std::string_view code, int unit, int band) {
    entry = FindCommand(code);
    if (!entry) return {};
    std::string frame = BuildFrame(*entry, ctx.Address(), ctx.params, ctx.info, unit, band, ctx.model);
    if (entry->lengthChecked && frame.size() != entry->length) return {};
    return frame;
}

} // namespace

bool EditContext::CanSend(std::string_view code, int unit, int band) const {
    const CommandSpec* entry = nullptr;
    return !FrameOf(*this, entry, code, unit, band).empty();
}

bool EditContext::Send(std::string_view code, int unit, int band) const {
    const CommandSpec* entry = nullptr;
    std::string frame = FrameOf(*this, entry, code, unit, band);
    if (frame.empty()) return false;
    if (edited) edited(*entry, unit, band);
    Post(std::move(frame));
    return true;
}

bool EditContext::PostFixed(std::string frame, std::size_t length) const {
    if (frame.size() != length) return false;
    Post(std::move(frame));
    return true;
}

void EditContext::Post(std::string frame) const {
    if (post) post(std::move(frame));
}

} // namespace quellmarin
