#include "remote/Audit.h"

#include "remote/Tokens.h"

#include <algorithm>
#include <fstream>

namespace quellmarin::remote {

AuditLog::AuditLog(std::filesystem::path file, std::size_t keep) : file_(std::move(file)), keep_(keep) {}

std::string AuditLog::Append(nlohmann::ordered_json entry) {
    nlohmann::ordered_json line = {{"time", UtcNowText()}};
    for (auto& [key, value] : entry.items()) line[key] = value;
    const std::string text = line.dump(-1, ' ', true, nlohmann::ordered_json::error_handler_t::replace);
    std::string problem;
    {
        std::lock_guard lock(mutex_);
        recent_.push_back(text);
        while (recent_.size() > keep_) recent_.pop_front();
        if (!file_.empty()) {
            std::ofstream out(file_, std::ios::app | std::ios::binary);
            out << text << '\n';
            out.flush();
            if (!out) problem = "could not write the audit log " + file_.string();
        }
    }
    if (listener_) listener_(text);
    return problem;
}

std::vector<std::string> AuditLog::Recent() const {
    std::lock_guard lock(mutex_);
    return {recent_.begin(), recent_.end()};
}

bool RateLimiter::Take(double now) {
    if (last_ >= 0) tokens_ = std::min(burst_, tokens_ + (now - last_) * rate_);
    last_ = now;
    if (tokens_ < 1) return false;
    tokens_ -= 1;
    return true;
}

} // namespace quellmarin::remote
