// Confirms that the processor holds what was edited. The device answers no setting frame, so a frame
// lost on the line would otherwise go unnoticed while the program shows the setting as made. Once the
// edits have settled (nothing sent for a while), the processor's record is read, compared with the
// program's, and what differs is sent again, for a few rounds; what still differs after them is named.
// The panel lock and the generator live in the device information record, which is read for them.
// This class decides when to read and what a read means; its owner runs the read on the link and
// sends the frames it returns. Time is passed in, so that tests run on a clock of their own.
#pragma once

#include "model/Records.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quellmarin {

class EditVerifier {
  public:
    using Clock = std::chrono::steady_clock;
    struct Settings {
        // Nothing sent for this long: the edits have settled.
        std::chrono::milliseconds settle{1000};
        // At most one read in this time.
        std::chrono::milliseconds spacing{2000};
        // Rounds of sending again what differs before it is named.
        int resends = 3;
    };
    EditVerifier();
    explicit EditVerifier(Settings settings);

    // Whether edits of the settings record are verified (a setting; off for a clean line). The panel
    // lock and the generator are always confirmed.
    void SetEnabled(bool on);
    bool Enabled() const { return enabled_; }
    const Settings& Timing() const { return settings_; }

    // A frame left for the processor as an edit (posted, or sent as an exchange).
    void Sent(std::string_view frame, Clock::time_point now);

    // What a read due now has to read; nothing when none is due.
    struct ReadPlan {
        bool params = false; // the settings record
        bool info = false;   // the device information record
    };
    std::optional<ReadPlan> Due(Clock::time_point now) const;
    // When the next read falls due, if one is waiting.
    std::optional<Clock::time_point> NextDue() const;
    // The owner started the read Due() asked for.
    void Started(Clock::time_point now);
    // The read could not run now (frames were still waiting to go, the device is lost): it is tried
    // again after the settling time.
    void Postponed(Clock::time_point now);

    struct Outcome {
        enum Kind {
            Agreed,  // the processor holds every edit
            Resent,  // `frames` go again; another read follows
            GaveUp,  // `missing` did not reach the processor after every round
            Undecided, // edits were sent while it read, or it could not read: another read follows
        };
        Kind kind = Agreed;
        std::vector<std::string> frames;  // to send again (a "J" frame as an exchange)
        std::vector<std::string> missing; // "Output 3 mute", "Panel lock"
        bool unread = false;              // GaveUp because the records could not be read
    };
    // The read ended; `device`/`deviceInfo` are what came (nothing when a read that was planned could
    // not be made), `wanted`/`wantedInfo` the program's records now.
    Outcome Finished(Clock::time_point now, const std::optional<SystemParameters>& device,
                     const std::optional<DeviceInfoRecord>& deviceInfo, const SystemParameters& wanted,
                     const DeviceInfoRecord& wantedInfo, std::string_view address, DeviceModel model);

    // The connection ended or the records were replaced by the device's own: nothing is owed.
    void Reset();

    // Whether edits wait for a read to confirm them.
    bool Unconfirmed() const { return params_.dirty || info_.dirty; }
    // What the last completed round named as not reaching the processor, until a read agrees.
    const std::vector<std::string>& Missing() const { return missing_; }

    // Whether a frame sets something the device information record holds (the lock, the generator).
    static bool KeptInDeviceInfo(std::string_view frame);

  private:
    struct Track {
        bool dirty = false;
        bool exhausted = false; // named after the last round: no more reads until the next edit
        int rounds = 0;         // reads made for the present edits
        std::vector<std::string> missing; // named after the last round, until a read agrees
    };
    bool Wanted(const Track& t) const { return t.dirty && !t.exhausted; }

    Settings settings_;
    bool enabled_ = true;
    Track params_, info_;
    bool reading_ = false;
    ReadPlan readingPlan_;
    unsigned sent_ = 0, sentAtStart_ = 0;
    Clock::time_point lastSent_{}, lastRead_{};
    bool everRead_ = false;
    std::vector<std::string> missing_; // both tracks' names, params first
};

} // namespace quellmarin
