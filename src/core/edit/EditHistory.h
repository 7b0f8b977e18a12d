// Undo and redo of edits. Each editor tells the history what it set as it sends it; when the record
// changed, the history keeps a step named after that setting ("Output 3 gain"). Posts of one parameter that follow each other within half a second
// (a drag, a held arrow, wheel turns) are one step. A step keeps the record after it, so the history
// costs one record a step; it holds the newest 200 steps.
#pragma once

#include "model/Records.h"
#include "protocol/CommandTable.h"

#include <cstdint>
#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace quellmarin {

class EditHistory {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kSteps = 200;
    static constexpr std::chrono::milliseconds kJoin{500};

    explicit EditHistory(const SystemParameters& start = {}) : base_(start), current_(start) {}

    // An editor changed unit `unit` (band `band`) of a command; `record` is the record after the edit.
    void Edited(const SystemParameters& record, const CommandSpec& entry, int unit, int band, DeviceModel model,
                Clock::time_point now);
    // The next edit starts a step of its own, whatever it sets (a group edit's part on a member must
    // not join the member's own edit before it).
    void Break() { broken_ = true; }
    // A change that is one step of its own (a file load).
    void Record(const SystemParameters& record, std::string name);
    // The record changed in a way that is no edit (a save into the device's programs, a rename): it
    // becomes the current state without a step.
    void Follow(const SystemParameters& record);
    // A new history from this record (after the device's whole state was read).
    void Reset(const SystemParameters& record);

    bool CanUndo() const { return position_ > 0; }
    bool CanRedo() const { return position_ < steps_.size(); }
    std::string UndoName() const; // "Output 3 gain"; empty when there is nothing to undo
    std::string RedoName() const;
    // The record to go back (or forward) to; nothing when there is no step.
    std::optional<SystemParameters> Undo();
    std::optional<SystemParameters> Redo();
    std::size_t Size() const { return steps_.size(); }
    // How many steps were ever taken (an edit that joined the step before takes none).
    std::uint64_t Taken() const { return taken_; }
    // The record as the history last saw it: before an edit, what it was before.
    const SystemParameters& Current() const { return current_; }

    // The name of the parameter a frame sets: "Output 3 gain", "Input 2 PEQ band 4", "Links of the outputs".
    static std::string StepName(std::string_view frame, DeviceModel model);
    // The same for one unit of a command: "Output 3 gain", "Input 2 PEQ band 4".
    static std::string StepName(const CommandSpec& entry, std::optional<int> unit, std::optional<int> band,
                                DeviceModel model);

  private:
    struct Step {
        std::string name;
        std::string key; // the setting it changed; empty for a step that never joins another
        SystemParameters after;
        Clock::time_point at;
    };
    void Push(Step step);
    const SystemParameters& StateAt(std::size_t position) const;

    SystemParameters base_;    // the record before the oldest step kept
    SystemParameters current_; // the record as the history last saw it
    std::deque<Step> steps_;
    std::uint64_t taken_ = 0;
    bool broken_ = false;
    std::size_t position_ = 0; // steps before it are done, the rest undone
};

} // namespace quellmarin
