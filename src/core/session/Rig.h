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
    Session& At(std::size_t i) { return *units_.at(i).session; }
    const Session& At(std::size_t i) const { return *units_.at(i).session; }
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

    std::vector<Unit> units_;
    std::size_t selected_ = 0;
    std::vector<std::size_t> group_;
    std::vector<GroupStep> undo_, redo_;
};

} // namespace quellmarin
