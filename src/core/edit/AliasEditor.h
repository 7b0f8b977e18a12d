// The sixteen channel alias names (inputs A..H, then outputs 1..8), 15 characters each, padded with
// spaces. A field left sends its name to the device as an "E" exchange.
#pragma once

#include "edit/EditContext.h"

#include <optional>
#include <string>
#include <string_view>

namespace quellmarin {

class AliasEditor {
  public:
    static constexpr int kNames = 16;

    explicit AliasEditor(EditContext& ctx) : ctx_(ctx) {}

    // The index of a channel's name: inputs 0..7, outputs 8..15.
    static int IndexOf(ChannelRef c) { return (IsOutput(c.section) ? 8 : 0) + c.index; }
    // What a field shows: the stored 15 characters without the spaces that pad them.
    std::string FieldText(int index) const;
    // A field left with this text: stored padded with spaces (only printable characters other than
    // the parentheses of a frame are kept). The "E" frame to send, when it has its 22 characters.
    std::optional<std::string> Leave(int index, std::string_view text);

  private:
    EditContext& ctx_;
};

} // namespace quellmarin
