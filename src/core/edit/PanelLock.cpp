#include "edit/PanelLock.h"

#include "protocol/Frames.h"

namespace quellmarin {

std::string PanelLock::Set(bool lock) {
    ctx_.info.PanelLock = lock ? 1 : 0;
    return FramePanelLock(ctx_.Address(), lock ? 1 : 0);
}

} // namespace quellmarin
