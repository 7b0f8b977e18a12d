// Channel links: every channel belongs to one of eight groups; its LinkIndex names the lowest channel
// of its group, whose settings every editor then shows and changes. A confirmed grouping first copies
// each member's settings from its present master, so that a channel leaving a group keeps them.
#pragma once

#include "edit/EditContext.h"

#include <array>
#include <string>
#include <vector>

namespace quellmarin {

class LinkEditor {
  public:
    explicit LinkEditor(EditContext& ctx) : ctx_(ctx) {}

    static std::string Title(Section section); // " Link Setting Input" / " Link Setting Output"
    // The channels shown as columns and the groups shown as rows: all eight, or on Ketra's inputs the
    // slots and groups 5..8.
    std::vector<int> Channels(Section section) const;
    std::vector<int> Groups(Section section) const;
    std::string ColumnLabel(Section section, int channel) const;

    // The group row of each channel as stored.
    std::array<int, 8> Rows(Section section) const;
    // OK: the link copy under the grouping in force, the new grouping made canonical, "$040"/"$041".
    void Confirm(Section section, const std::array<int, 8>& rows);

    // The lowest member of each group, from the group rows.
    static std::array<std::uint8_t, 8> Canonical(const std::array<int, 8>& rows);
    // Every member receives its master's shared settings (never Mute or LinkIndex).
    static void LinkCopy(SystemParameters& p, Section section);

  private:
    EditContext& ctx_;
};

} // namespace quellmarin
