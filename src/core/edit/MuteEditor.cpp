#include "edit/MuteEditor.h"


namespace quellmarin {

bool MuteEditor::Muted(ChannelRef c) const {
    return (IsOutput(c.section) ? ctx_.params.OutCH[c.index].Mute : ctx_.params.InCH[c.index].Mute) == 1;
}

void MuteEditor::Toggle(ChannelRef c) {
    Set(c, !Muted(c));
}

void MuteEditor::Set(ChannelRef c, bool muted) {
    const bool output = IsOutput(c.section);
    (output ? ctx_.Out(c.index).Mute : ctx_.In(c.index).Mute) = muted ? 1 : 0;
    ctx_.Send(output ? "$037" : "$030", c.index);
}

} // namespace quellmarin
