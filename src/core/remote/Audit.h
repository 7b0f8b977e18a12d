// The audit log of the remote-control server: one JSON line for every change a client made (who,
// from where, which processor and setting, the value before and after) and for every attempt that
// was refused. Kept in a file (appended, never rewritten) and the newest lines in memory, for the
// window that shows them.
#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace quellmarin::remote {

class AuditLog {
  public:
    // An empty path keeps the lines in memory only.
    explicit AuditLog(std::filesystem::path file = {}, std::size_t keep = 500);

    // Adds "time" to the entry and appends it as one line. Empty, or why the file could not be written
    // (the line is still kept in memory).
    std::string Append(nlohmann::ordered_json entry);
    std::vector<std::string> Recent() const;
    // Told of every line, on the thread that appended it.
    void SetListener(std::function<void(const std::string& line)> listener) { listener_ = std::move(listener); }
    const std::filesystem::path& File() const { return file_; }

  private:
    std::filesystem::path file_;
    std::size_t keep_;
    mutable std::mutex mutex_;
    std::deque<std::string> recent_;
    std::function<void(const std::string&)> listener_;
};

// A bucket of `rate` requests a second, holding up to `burst`: whether one more may go now.
class RateLimiter {
  public:
    RateLimiter(double rate, double burst) : rate_(rate), burst_(burst), tokens_(burst) {}
    bool Take(double nowSeconds);

  private:
    double rate_, burst_, tokens_;
    double last_ = -1;
};

} // namespace quellmarin::remote
