// The mailbox between the user-interface thread and the link worker. The newest value wins per
// parameter: a posted frame replaces a pending frame that sets the same parameter, where it stands;
// any other frame joins the end. A frame that sets no single parameter (a link list, a routing reset,
// a program operation, the end of the connection) keeps its place in the order, and nothing posted
// after it replaces a frame before it, so the device always sees the edits in the order they were made.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace quellmarin {

class CommandQueue {
  public:
    void PostCommand(std::string frame);
    // The oldest pending frame, or an empty text when none is pending.
    std::string TakeCommand();
    // The oldest pending frame that `ready` accepts (the others keep their places), or an empty text.
    std::string TakeCommand(const std::function<bool(std::string_view)>& ready);
    // Removes every pending frame that `which` picks.
    void Drop(const std::function<bool(std::string_view)>& which);
    bool Pending() const;
    std::size_t Size() const;
    // Called after every post (the worker uses it to wake up); may be called from any thread.
    void SetListener(std::function<void()> listener);

  private:
    struct Entry {
        std::string key;
        std::string frame;
    };
    mutable std::mutex mutex_;
    std::deque<Entry> entries_;
    std::function<void()> listener_;
};

} // namespace quellmarin
