// A rig: several processors held at once, each its own session (records, history, address, port),
// with the name the user gives it, the one being edited, and a group that edits are made on together.
// A group edit is one step of every member's history, and one step of the rig's own group history, so
// a single undo takes it back on every member. Gain and delay move by relative steps from each
// member's own value (the editors' `StepDb` / `StepMilliseconds`), so offsets between units are kept.
#pragma once

#include "session/RigFile.h"
#include "session/Session.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quellmarin {

class Rig {
  public:
    struct Unit {
        std::string name;
        std::unique_ptr<Session> session;
    };

    // Adds a processor with default records; its frames carry its own address. Returns its index.
    std::size_t Add(std::string name, std::string port, int id, DeviceModel model = kBuildModel);
    std::size_t Size() const { return units_.size(); }
    bool Empty() const { return units_.empty(); }
    Session& At(std::size_t i);
    const Session& At(std::size_t i) const;
    // The index of the processor on `port` with device ID `id`, if it is in the rig.
    std::optional<std::size_t> Find(const std::string& port, int id) const;

    // ---- The front session -----------------------------------------------------------------------------
    // The session a window's editors are bound to. With one set, the selected processor's state lives
    // in it: selecting another one swaps the states (Session::SwapState), so the same editors follow
    // the selection, and At(selected) is the front. Set while the rig is empty.
    void SetFront(Session* front) { front_ = units_.empty() ? front : front_; }
    // Where the frames of the processors not at the front go, with the session that sent them (the
    // front's own post function stays its own).
    void SetMemberPost(std::function<void(const Session&, std::string)> post) { memberPost_ = std::move(post); }
    // The processor the front holds now becomes the rig's first unit (a rig grows from the one
    // processor a window was connected to). Only on an empty rig with a front; returns its index.
    std::optional<std::size_t> AddFront(std::string name);
    const std::string& Name(std::size_t i) const { return units_.at(i).name; }
    void Rename(std::size_t i, std::string name) { units_.at(i).name = std::move(name); }
    // Its device ID, from the address of its frames (0 before one is chosen).
    int Id(std::size_t i) const;
    // "Sub left (ID 1 on /dev/ttyUSB0)".
    std::string Label(std::size_t i) const;

    // The processor the front panel and the editors show; Ctrl+PageDown / Ctrl+PageUp go round.
    std::size_t Selected() const { return selected_; }
    void Select(std::size_t i);
    void SelectNext();
    void SelectPrevious();

    // ---- The group -----------------------------------------------------------------------------------
    // The members edits are made on together (indices; unknown and repeated ones are left out). Fewer
    // than two members is no group: edits go to the selected processor alone.
    void SetGroup(std::vector<std::size_t> members);
    const std::vector<std::size_t>& Group() const { return group_; }
    bool GroupActive() const { return group_.size() >= 2; }
    // An editor's title with the group said: "OUTPUT GAIN CH[3] (group of 4)".
    std::string GroupTitle(const std::string& title) const;

    // Makes an edit on every member of the group (or on the selected processor when there is none), as
    // one step of each member's history named `name`, and one group step. `edit` returns a note for
    // that member ("Output 3 gain held at +12 dB") or nothing; the notes come back with the unit's label.
    std::vector<std::string> Edit(const std::string& name,
                                  const std::function<std::string(EditContext&, std::size_t member)>& edit);
    // Takes the newest group step back on every member (or makes it again). Refused, with the reason,
    // when a member was edited on its own since: its newest step is no longer the group's.
    bool CanUndoGroup() const { return !undo_.empty(); }
    std::string UndoGroup() { return MoveGroupStep(true); }
    std::string RedoGroup() { return MoveGroupStep(false); }
    // Whether the newest step of the selected processor's history is a group step (so that undo there
    // means the group undo).
    bool GroupStepIsNewest() const;
    bool GroupStepIsNextRedo() const;
    // How many processors the newest group step (or the next to redo) was made on.
    std::size_t GroupStepMembers(bool redo = false) const;

    // An edit just made on the selected processor through its own editors (the session's edit
    // listener), made on the other members of the group too: absolute settings take the same value
    // (the frame of the selected processor's record, applied to the member's), gain and delay move by
    // the same amount from each member's own value. A new step becomes one group step. Returns the
    // notes of members held at a range's end, with their labels. Nothing when there is no group or the
    // selected processor is not in it.
    std::vector<std::string> Follow(const CommandSpec& entry, int unit, int band, const SystemParameters& before,
                                    bool newStep);

    // ---- The show file ---------------------------------------------------------------------------------
    std::vector<RigMember> Members() const;
    // Replaces the whole rig with the file's processors, offline: each is edited from its image.
    void Open(const std::vector<RigMember>& members);

  private:
    struct GroupStep {
        std::string name;
        std::vector<std::size_t> members;
    };
    std::vector<std::size_t> Targets() const;
    std::string MoveGroupStep(bool undo);

    // The member's part of Follow: its note, if it was held.
    std::string FollowOn(Session& member, const CommandSpec& entry, int unit, int band, const SystemParameters& before);

    std::unique_ptr<Session> MakeSession(DeviceModel model);

    Session* front_ = nullptr;
    std::function<void(const Session&, std::string)> memberPost_;
    bool following_ = false;
    std::vector<Unit> units_;
    std::size_t selected_ = 0;
    std::vector<std::size_t> group_;
    std::vector<GroupStep> undo_, redo_;
};

} // namespace quellmarin
