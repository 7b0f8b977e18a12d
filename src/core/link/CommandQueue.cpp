#include "link/CommandQueue.h"

#include "protocol/CommandTable.h"
#include "protocol/Frames.h"

namespace quellmarin {

void CommandQueue::PostCommand(std::string frame) {
    std::string key = ParameterKey(frame);
    std::function<void()> listener;
    {
        std::lock_guard lock(mutex_);
        bool replaced = false;
        if (!key.empty()) {
            for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
                if (it->key.empty()) break; // never past a frame that keeps its place
                if (it->key == key) {
                    it->frame = std::move(frame);
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) entries_.push_back({std::move(key), std::move(frame)});
        listener = listener_;
    }
    if (listener) listener();
}

std::string CommandQueue::TakeCommand() {
    std::lock_guard lock(mutex_);
    if (entries_.empty()) return {};
    std::string frame = std::move(entries_.front().frame);
    entries_.pop_front();
    return frame;
}

std::string CommandQueue::TakeCommand(const std::function<bool(std::string_view)>& ready) {
    std::lock_guard lock(mutex_);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (!ready(it->frame)) continue;
        std::string frame = std::move(it->frame);
        entries_.erase(it);
        return frame;
    }
    return {};
}

void CommandQueue::Drop(const std::function<bool(std::string_view)>& which) {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [&](const Entry& e) { return which(e.frame); });
}

bool CommandQueue::Pending() const {
    std::lock_guard lock(mutex_);
    return !entries_.empty();
}

std::size_t CommandQueue::Size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

void CommandQueue::SetListener(std::function<void()> listener) {
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
}

} // namespace quellmarin
