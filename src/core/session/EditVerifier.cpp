#include "session/EditVerifier.h"

#include "edit/EditHistory.h"
#include "edit/RecordDiff.h"
#include "protocol/CommandTable.h"

#include <algorithm>

namespace quellmarin {

EditVerifier::EditVerifier() : settings_() {}
EditVerifier::EditVerifier(Settings settings) : settings_(settings) {}

void EditVerifier::SetEnabled(bool on) {
    enabled_ = on;
    if (!on) {
        params_ = {};
        missing_ = info_.missing;
    }
}

bool EditVerifier::KeptInDeviceInfo(std::string_view frame) {
    const FrameUnit unit = ReadFrameUnit(frame);
    return unit.entry && (unit.entry->code == "J" || unit.entry->code == "$001");
}

void EditVerifier::Sent(std::string_view frame, Clock::time_point now) {
    const FrameUnit unit = ReadFrameUnit(frame);
    if (!unit.entry || !unit.entry->apply) return; // a request or an operation, not a setting
    Track& track = KeptInDeviceInfo(frame) ? info_ : params_;
    if (&track == &params_ && !enabled_) return;
    track.dirty = true;
    track.exhausted = false;
    track.rounds = 0;
    ++sent_;
    lastSent_ = now;
}

std::optional<EditVerifier::Clock::time_point> EditVerifier::NextDue() const {
    if (reading_) return std::nullopt;
    if (!(enabled_ && Wanted(params_)) && !Wanted(info_)) return std::nullopt;
    Clock::time_point at = lastSent_ + settings_.settle;
    if (everRead_) at = std::max(at, lastRead_ + settings_.spacing);
    return at;
}

std::optional<EditVerifier::ReadPlan> EditVerifier::Due(Clock::time_point now) const {
    const auto at = NextDue();
    if (!at || now < *at) return std::nullopt;
    return ReadPlan{enabled_ && Wanted(params_), Wanted(info_)};
}

void EditVerifier::Started(Clock::time_point now) {
    if (const auto plan = Due(now)) readingPlan_ = *plan;
    reading_ = true;
    everRead_ = true;
    lastRead_ = now;
    sentAtStart_ = sent_;
}

void EditVerifier::Postponed(Clock::time_point now) {
    reading_ = false;
    lastSent_ = std::max(lastSent_, now);
}

EditVerifier::Outcome EditVerifier::Finished(Clock::time_point now, const std::optional<SystemParameters>& device,
                                             const std::optional<DeviceInfoRecord>& deviceInfo,
                                             const SystemParameters& wanted, const DeviceInfoRecord& wantedInfo,
                                             std::string_view address, DeviceModel model) {
    Outcome out;
    reading_ = false;
    if (sent_ != sentAtStart_) {
        // An edit went out while the record was read: the device may not have had it yet.
        out.kind = Outcome::Undecided;
        return out;
    }
    bool named = false, undecided = false;
    // One track: agreed, sent again, or named after its last round.
    const auto judge = [&](Track& track, bool read, std::vector<std::string> frames,
                           std::vector<std::string> names) {
        if (read && frames.empty()) {
            track = {};
            return;
        }
        ++track.rounds;
        if (track.rounds <= settings_.resends && read) {
            out.frames.insert(out.frames.end(), frames.begin(), frames.end());
            return;
        }
        if (track.rounds <= settings_.resends) {
            undecided = true; // could not be read: read again
            return;
        }
        track.exhausted = true;
        track.missing = read ? std::move(names) : std::vector<std::string>{};
        out.unread = out.unread || !read;
        named = true;
    };
    if (readingPlan_.params && params_.dirty) {
        std::vector<std::string> frames, names;
        if (device) {
            frames = DiffFrames(*device, wanted, address, model).frames;
            for (const std::string& frame : frames) {
                std::string name = EditHistory::StepName(frame, model);
                if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(std::move(name));
            }
        }
        judge(params_, device.has_value(), std::move(frames), std::move(names));
    }
    if (readingPlan_.info && info_.dirty) {
        DeviceSettingsDiff diff;
        if (deviceInfo) diff = DiffDeviceSettings(*deviceInfo, wantedInfo, address);
        judge(info_, deviceInfo.has_value(), std::move(diff.frames), std::move(diff.names));
    }
    missing_ = params_.missing;
    missing_.insert(missing_.end(), info_.missing.begin(), info_.missing.end());
    if (!out.frames.empty()) {
        out.kind = Outcome::Resent;
        lastSent_ = now; // they need their time to go before the next read
    } else if (named) {
        out.kind = Outcome::GaveUp;
        out.missing = missing_;
    } else if (undecided) {
        out.kind = Outcome::Undecided;
    } else {
        out.kind = Outcome::Agreed;
    }
    return out;
}

void EditVerifier::Reset() {
    params_ = {};
    info_ = {};
    missing_.clear();
    reading_ = false;
}

} // namespace quellmarin
