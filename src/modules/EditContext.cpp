#include "modules/EditContext.h"

#include <algorithm>

namespace quellmarin {

int ChannelRef::Master(const SystemParameters& p) const {
    const int i = std::clamp(index, 0, 7);
    const std::uint8_t link = IsOutput(section) ? p.OutCH[i].LinkIndex : p.InCH[i].LinkIndex;
    return std::min<int>(link, 7);
}

namespace {
std::string LetterOrNumber(Section section, int channel, DeviceModel model) {
    // Ketra's four inputs are A..D in slots 4..7.
    if (!IsOutput(section) && model == DeviceModel::Ketra && channel >= 4)
        return std::string(1, static_cast<char>('A' + channel - 4));
    return std::to_string(channel + 1);
}
} // namespace

std::string ChannelTag(Section section, int channel, DeviceModel model) {
    return "CH[" + LetterOrNumber(section, channel, model) + "]";
}

std::string ChannelName(Section section, int channel, DeviceModel model) {
    return (IsOutput(section) ? "Output " : "Input ") + LetterOrNumber(section, channel, model);
}

std::string LinkedTitleSuffix(const SystemParameters& p, ChannelRef c, DeviceModel model) {
    const int master = c.Master(p);
    if (master == c.index) return {};
    return " (editing " + ChannelTag(c.section, master, model) + ")";
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
