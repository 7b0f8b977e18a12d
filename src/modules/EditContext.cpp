#include "modules/EditContext.h"

#include <algorithm>

namespace quellmarin {

int ChannelRef::Master(const SystemParameters& p) const {
    const int i = std::clamp(index, 0, 7);
    const std::uint8_t link = IsOutput(section) ? p.OutCH[i].LinkIndex : p.InCH[i].LinkIndex;
    return std::min<int>(link, 7);
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
