#include "link/PendingSlot.h"

namespace quellmarin {

void PendingSlot::PostCommand(std::string text) {
    std::function<void()> listener;
    {
        std::lock_guard lock(mutex_);
        pending_ = false;
        text_ = std::move(text);
        pending_ = true;
        listener = listener_;
    }
    if (listener) listener();
}

std::string PendingSlot::TakeCommand() {
    std::lock_guard lock(mutex_);
    if (!pending_) return {};
    pending_ = false;
    return std::move(text_);
}

bool PendingSlot::Pending() const {
    std::lock_guard lock(mutex_);
    return pending_;
}

void PendingSlot::SetListener(std::function<void()> listener) {
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
}

} // namespace quellmarin
