// The program list: the names of the device's 40 program slots as they are read one by one, the
// selected slot, the titles, states and progress marks of the buttons, and what each operation
// changes in the records once the device has answered. The exchanges themselves are in
// ProgramExchange; the window runs them as jobs and hands their results here.
#pragma once

#include "edit/ProgramExchange.h"
#include "edit/EditContext.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quellmarin {

class ProgramList {
  public:
    static constexpr std::string_view kTitle = "Program List";
    static constexpr std::string_view kNotConnected = "Please connect to device first.";
    static constexpr std::string_view kNotConnectedCaption = "Has not connect to device ";
    static constexpr std::string_view kCannotDeleteCurrent = "Current program cannot be delete! ";
    static constexpr std::string_view kModify = "Modify";

    enum class Button { SaveAs, Delete, Recall, Modify };
    enum class Mark { One, Two, Three, Four, Ok, Fail };

    explicit ProgramList(EditContext& ctx);

    // The current program: its number (1..40 as the device information holds it) and name.
    int Current() const;
    std::string CurrentNumberText() const; // "%0.2d"
    std::string CurrentName() const;

    // Row texts by slot (1..40); nothing for a row not read yet.
    const std::optional<std::string>& Row(int slot) const;
    void SetRow(int slot, std::string name);

    // Reading the names: slot 1 is asked first, slot 40 last; Stop pauses after the slot in hand.
    void Refresh();
    void Stop() { reading_ = false; }
    void Continue();
    bool Reading() const { return reading_; }
    bool CanContinue() const { return !reading_ && !queue_.empty(); }
    // The slot to ask now, while reading.
    std::optional<int> NextQuery() const;
    // The reply for the slot asked. A usable reply sets the row; the fourth unusable one for the same
    // slot gives it up. True when a row was set. When the last slot is done, the reading ends and the
    // current program's row is selected.
    bool TakeReply(int slot, const SlotReply& reply);

    // The selected slot, -1 for none.
    void Select(int slot);
    int Selected() const { return selected_; }
    std::string Title(Button b) const;
    bool Enabled(Button b) const;
    // A button's title cut to its number (or the word Modify) with a progress mark.
    std::string Progress(Button b, Mark m) const;

    // One operation of each kind at a time.
    bool Begin(Button b);
    void End(Button b);
    bool Busy(Button b) const;

    // Delete: the message when the selected slot may not be deleted; empty when it may.
    std::string_view CheckDelete() const;
    // What to ask before Delete ("Delete No. 03 Monitor mix?") and before Save as over a stored
    // program ("Replace No. 01 Default?"); nothing when Save as goes into an empty slot or one whose name
    // was not read. Neither can be undone.
    std::string DeleteQuestion() const;
    std::optional<std::string> ReplaceQuestion() const;
    // After the device answered: the records and rows the operations change.
    void Recalled(const UploadedState& state);
    void Stored(int slot);
    void Deleted(int slot, const SlotReply& reply);
    // After a rename's read-back: the row and the record's name take what the device says; true when
    // that is the name sent.
    bool Renamed(int slot, const SlotReply& reply, std::string_view sent);

  private:
    EditContext& ctx_;
    std::array<std::optional<std::string>, kProgramSlots> rows_;
    std::vector<int> queue_; // asked from its end
    int failures_ = 0;
    bool reading_ = false;
    int selected_ = -1;
    std::array<bool, 4> busy_{};
};

} // namespace quellmarin
