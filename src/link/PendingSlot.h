// The one-slot mailbox between the user-interface thread and the link worker: posting replaces what is
// still pending (the newest command wins), taking empties it. Both are one step for each other.
#pragma once

#include <functional>
#include <mutex>
#include <string>

namespace quellmarin {

class PendingSlot {
  public:
    void PostCommand(std::string text);
    // The pending command, or an empty text when none is pending.
    std::string TakeCommand();
    bool Pending() const;
    // Called after every post (the worker uses it to wake up); may be called from any thread.
    void SetListener(std::function<void()> listener);

  private:
    mutable std::mutex mutex_;
    std::string text_;
    bool pending_ = false;
    std::function<void()> listener_;
};

} // namespace quellmarin
