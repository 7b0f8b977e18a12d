// Which inputs feed each output: one level byte per (output, input), 0 not routed, 181 unity. A
// toggle writes 0 or 181 and sends the output's "$031"; Reset sends "K" and restores the model's
// default routing. Routing is the one setting that never goes through the link master.
#pragma once

#include "edit/EditContext.h"

#include <string>
#include <string_view>
#include <vector>

namespace quellmarin {

class RouteEditor {
  public:
    static constexpr std::uint8_t kUnity = 181;
    static constexpr std::string_view kResetQuestion = "Are you sure reset route setting ?";
    static constexpr std::string_view kResetCaption = "TIP:";

    explicit RouteEditor(EditContext& ctx) : ctx_(ctx) {}

    // The record slots of the inputs the user sees, in column order (A, B, ...), and their letters.
    std::vector<int> InputSlots() const;
    std::string ColumnLabel(int slot) const;

    // Any level other than 0 shows as routed.
    bool Routed(int output, int slot) const;
    void Toggle(int output, int slot);
    // After the user confirmed: "K", then the default routing of the model in the record.
    void Reset();

    std::string Summary(int output) const; // "From A, B" or "From no input"

  private:
    EditContext& ctx_;
};

} // namespace quellmarin
