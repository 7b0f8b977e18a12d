// The mute buttons of the channel strip. Unlike the other editors, a mute acts on the clicked channel
// itself, not on its link master.
#pragma once

#include "edit/EditContext.h"

namespace quellmarin {

class MuteEditor {
  public:
    explicit MuteEditor(EditContext& ctx) : ctx_(ctx) {}

    bool Muted(ChannelRef c) const;
    // Flips the channel's mute in the record and posts "$030"/"$037" when the frame has 12 characters.
    void Toggle(ChannelRef c);
    void Set(ChannelRef c, bool muted);

  private:
    EditContext& ctx_;
};

} // namespace quellmarin
