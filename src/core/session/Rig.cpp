#include "session/Rig.h"

#include "edit/DelayEditor.h"
#include "edit/GainEditor.h"

#include <algorithm>
#include <charconv>
#include <utility>

namespace quellmarin {

std::unique_ptr<Session> Rig::MakeSession(DeviceModel model) {
    auto session = std::make_unique<Session>(model);
    session->SetPost([this, s = session.get()](std::string frame) {
        if (memberPost_) memberPost_(*s, std::move(frame));
    });
    return session;
}

std::size_t Rig::Add(std::string name, std::string port, int id, DeviceModel model) {
    Unit u;
    u.name = std::move(name);
    u.session = MakeSession(model);
    u.session->SetAddress(TwoDigitText(id));
    u.session->SetPort(std::move(port));
    units_.push_back(std::move(u));
    // The first processor of a rig with a front is the selected one: its state goes to the front.
    if (front_ && units_.size() == 1) {
        selected_ = 0;
        front_->SwapState(*units_[0].session);
    }
    return units_.size() - 1;
}


Session& Rig::At(std::size_t i) {
    return front_ && i == selected_ && i < units_.size() ? *front_ : *units_.at(i).session;
}

const Session& Rig::At(std::size_t i) const {
    return front_ && i == selected_ && i < units_.size() ? *front_ : *units_.at(i).session;
}

std::optional<std::size_t> Rig::Find(const std::string& port, int id) const {
    for (std::size_t i = 0; i < units_.size(); ++i)
        if (At(i).Port() == port && Id(i) == id) return i;
    return std::nullopt;
}

std::optional<std::size_t> Rig::AddFront(std::string name) {
    if (!front_ || !units_.empty()) return std::nullopt;
    // The unit's own slot stays a placeholder while it is selected: the front holds its state.
    Unit u;
    u.name = std::move(name);
    u.session = MakeSession(front_->Model());
    units_.push_back(std::move(u));
    selected_ = 0;
    return 0;
}

int Rig::Id(std::size_t i) const {
    const std::string& address = At(i).Address();
    int id = 0;
    std::from_chars(address.data(), address.data() + address.size(), id);
    return id;
}

std::string Rig::Label(std::size_t i) const {
    RigMember m;
    m.name = units_.at(i).name;
    m.port = At(i).Port();
    m.id = Id(i);
    return RigMemberLabel(m);
}

void Rig::Select(std::size_t i) {
    if (i >= units_.size() || i == selected_) return;
    if (front_) {
        front_->SwapState(*units_[selected_].session); // the selected one goes back to its slot
        front_->SwapState(*units_[i].session);         // and the new one comes to the front
    }
    selected_ = i;
}

void Rig::SelectNext() {
    if (!units_.empty()) Select((selected_ + 1) % units_.size());
}

void Rig::SelectPrevious() {
    if (!units_.empty()) Select((selected_ + units_.size() - 1) % units_.size());
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
    following_ = true; // each member is edited here; a front's edit listener must not follow it again
    for (std::size_t m : targets) {
        std::string note;
        At(m).EditAsOneStep(stepName, [&](EditContext& ctx) { note = edit(ctx, m); });
        if (!note.empty()) notes.push_back(Label(m) + ": " + note);
    }
    following_ = false;
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
        const EditHistory& h = At(m).History();
        if ((undo ? h.UndoName() : h.RedoName()) != step.name)
            return Label(m) + " was edited since \"" + step.name + "\"" + (undo ? "; undo that there first" : " was undone");
    }
    for (std::size_t m : step.members) undo ? At(m).Undo() : At(m).Redo();
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
        m.port = At(i).Port();
        m.id = Id(i);
        m.model = At(i).Model();
        m.params = At(i).Params();
        m.info = At(i).Info();
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
    Session* const front = std::exchange(front_, nullptr); // every state into its slot first
    for (const RigMember& m : members) {
        const std::size_t i = Add(m.name, m.port, m.id, m.model);
        Session& s = *units_[i].session;
        s.ReplaceRecords(ToBytes(m.params), ToBytes(m.info));
        s.MarkSaved();
    }
    front_ = front;
    // The first processor goes to the front; what the front held before is dropped with the old rig.
    if (front_ && !units_.empty()) front_->SwapState(*units_[0].session);
}

std::size_t Rig::GroupStepMembers(bool redo) const {
    const std::vector<GroupStep>& steps = redo ? redo_ : undo_;
    return steps.empty() ? 0 : steps.back().members.size();
}

bool Rig::GroupStepIsNextRedo() const {
    if (redo_.empty() || units_.empty()) return false;
    const GroupStep& step = redo_.back();
    return std::find(step.members.begin(), step.members.end(), selected_) != step.members.end() &&
           At(selected_).History().RedoName() == step.name;
}

bool Rig::GroupStepIsNewest() const {
    if (undo_.empty() || units_.empty()) return false;
    const GroupStep& step = undo_.back();
    return std::find(step.members.begin(), step.members.end(), selected_) != step.members.end() &&
           At(selected_).History().UndoName() == step.name;
}

std::vector<std::string> Rig::Follow(const CommandSpec& entry, int unit, int band, const SystemParameters& before,
                                     bool newStep) {
    std::vector<std::string> notes;
    if (following_ || !GroupActive() || std::find(group_.begin(), group_.end(), selected_) == group_.end())
        return notes;
    following_ = true; // the members' own edits are not followed again
    std::vector<std::size_t> stepped{selected_};
    for (std::size_t m : group_) {
        if (m == selected_) continue;
        Session& member = At(m);
        const std::uint64_t taken = member.History().Taken();
        if (newStep) member.BreakStep(); // the group's step, not the member's own edit before it
        const std::string note = FollowOn(member, entry, unit, band, before);
        if (!note.empty()) notes.push_back(Label(m) + ": " + note);
        if (member.History().Taken() != taken) stepped.push_back(m);
    }
    following_ = false;
    if (newStep && stepped.size() >= 2) {
        undo_.push_back({At(selected_).History().UndoName(), stepped});
        redo_.clear();
    }
    return notes;
}

namespace {
// The selected processor's records before and after its edit, as contexts its editors can read.
struct BeforeAndAfter {
    SystemParameters was, now;
    DeviceInfoRecord info;
    EditContext then{was, info}, after{now, info};
    BeforeAndAfter(const SystemParameters& before, const Session& front)
        : was(before), now(front.Params()), info(front.Info()) {
        then.model = after.model = front.Model();
    }
};
} // namespace

std::string Rig::FollowOn(Session& member, const CommandSpec& entry, int unit, int band,
                          const SystemParameters& before) {
    const Session& front = At(selected_);
    EditContext& ctx = member.Context();
    const std::string_view code = entry.code;
    // Gain and delay: the same step from the member's own value.
    if (code == "$028" || code == "$035") {
        const Section section = code == "$028" ? Section::Input : Section::Output;
        BeforeAndAfter f(before, front);
        const int delta = GainEditor(f.after, section).Db(unit) - GainEditor(f.then, section).Db(unit);
        const GainEditor::Step s = GainEditor(ctx, section).StepDb(unit, delta);
        return s.atLimit ? GainEditor::HeldNote(ChannelName(section, unit, member.Model()), s.db) : std::string();
    }
    if (code == "$029" || code == "$032") {
        const Section section = code == "$029" ? Section::Input : Section::Output;
        BeforeAndAfter f(before, front);
        DelayEditor a(f.after, section), b(f.then, section);
        a.Load(unit);
        b.Load(unit);
        const DelayEditor::Step s = DelayEditor(ctx, section).StepMilliseconds(unit, (a.Samples() - b.Samples()) / 48.0);
        return s.atLimit ? DelayEditor::HeldNote(ChannelName(section, unit, member.Model()), s.samples) : std::string();
    }
    // Anything else takes the same value: the frame of the selected processor's record, as the member's.
    if (!entry.apply || !entry.build) return {};
    const std::string frame = BuildFrame(entry, member.Address(), front.Params(), front.Info(), unit, band, front.Model());
    if (frame.empty() || !ApplyFrame(frame, DeviceRecords{member.Params(), member.Info()}, member.Model())) return {};
    ctx.Send(code, unit, band);
    return {};
}

} // namespace quellmarin
