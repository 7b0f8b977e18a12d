#include "session/Rig.h"

#include <algorithm>
#include <charconv>

namespace quellmarin {

std::size_t Rig::Add(std::string name, std::string port, int id, DeviceModel model) {
    Unit u;
    u.name = std::move(name);
    u.session = std::make_unique<Session>(model);
    u.session->SetAddress(TwoDigitText(id));
    u.session->SetPort(std::move(port));
    units_.push_back(std::move(u));
    return units_.size() - 1;
}

int Rig::Id(std::size_t i) const {
    const std::string& address = units_.at(i).session->Address();
    int id = 0;
    std::from_chars(address.data(), address.data() + address.size(), id);
    return id;
}

std::string Rig::Label(std::size_t i) const {
    RigMember m;
    m.name = units_.at(i).name;
    m.port = units_.at(i).session->Port();
    m.id = Id(i);
    return RigMemberLabel(m);
}

void Rig::Select(std::size_t i) {
    if (i < units_.size()) selected_ = i;
}

void Rig::SelectNext() {
    if (!units_.empty()) selected_ = (selected_ + 1) % units_.size();
}

void Rig::SelectPrevious() {
    if (!units_.empty()) selected_ = (selected_ + units_.size() - 1) % units_.size();
}

void Rig::SetGroup(std::vector<std::size_t> members) {
    group_.clear();
    for (std::size_t m : members)
        if (m < units_.size() && std::find(group_.begin(), group_.end(), m) == group_.end()) group_.push_back(m);
}

std::string Rig::GroupTitle(const std::string& title) const {
    return GroupActive() ? title + " (group of " + std::to_string(group_.size()) + ")" : title;
}

std::vector<std::size_t> Rig::Targets() const {
    if (GroupActive()) return group_;
    if (units_.empty()) return {};
    return {selected_};
}

std::vector<std::string> Rig::Edit(const std::string& name,
                                   const std::function<std::string(EditContext&, std::size_t member)>& edit) {
    std::vector<std::string> notes;
    const std::vector<std::size_t> targets = Targets();
    if (targets.empty()) return notes;
    const std::string stepName = GroupActive() ? GroupTitle(name) : name;
    for (std::size_t m : targets) {
        std::string note;
        units_[m].session->EditAsOneStep(stepName, [&](EditContext& ctx) { note = edit(ctx, m); });
        if (!note.empty()) notes.push_back(Label(m) + ": " + note);
    }
    if (GroupActive()) {
        undo_.push_back({stepName, targets});
        redo_.clear();
    }
    return notes;
}

std::string Rig::MoveGroupStep(bool undo) {
    std::vector<GroupStep>& from = undo ? undo_ : redo_;
    std::vector<GroupStep>& to = undo ? redo_ : undo_;
    if (from.empty()) return undo ? "there is no group edit to undo" : "there is no group edit to redo";
    const GroupStep step = from.back();
    // Every member's own history must have the group step next, or the move would take another one.
    for (std::size_t m : step.members) {
        if (m >= units_.size()) return "a member of \"" + step.name + "\" is no longer in the rig";
        const EditHistory& h = units_[m].session->History();
        if ((undo ? h.UndoName() : h.RedoName()) != step.name)
            return Label(m) + " was edited since \"" + step.name + "\"" + (undo ? "; undo that there first" : " was undone");
    }
    for (std::size_t m : step.members) undo ? units_[m].session->Undo() : units_[m].session->Redo();
    from.pop_back();
    to.push_back(step);
    return {};
}

std::vector<RigMember> Rig::Members() const {
    std::vector<RigMember> members;
    for (std::size_t i = 0; i < units_.size(); ++i) {
        const Unit& u = units_[i];
        RigMember m;
        m.name = u.name;
        m.port = u.session->Port();
        m.id = Id(i);
        m.model = u.session->Model();
        m.params = u.session->Params();
        m.info = u.session->Info();
        members.push_back(std::move(m));
    }
    return members;
}

void Rig::Open(const std::vector<RigMember>& members) {
    units_.clear();
    group_.clear();
    undo_.clear();
    redo_.clear();
    selected_ = 0;
    for (const RigMember& m : members) {
        const std::size_t i = Add(m.name, m.port, m.id, m.model);
        Session& s = *units_[i].session;
        s.ReplaceRecords(ToBytes(m.params), ToBytes(m.info));
        s.MarkSaved();
    }
}

} // namespace quellmarin
