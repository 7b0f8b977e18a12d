// The lock of the processor's own front panel, kept in the device information record and switched
// with the "J" exchange.
#pragma once

#include "edit/EditContext.h"

#include <string>
#include <string_view>

namespace quellmarin {

class PanelLock {
  public:
    static constexpr std::string_view kTitle = "Pannel Lock Setting";
    static constexpr std::string_view kGroup = "Pannel Lock Status";
    static constexpr std::string_view kLock = "Pannel Lock";
    static constexpr std::string_view kUnlock = "Pannel unLock";
    // The device answers the frame, but only its record read afterwards shows it took the setting.
    static constexpr std::string_view kUnconfirmed =
        "The processor did not confirm the panel lock; its front panel may be as it was.";

    explicit PanelLock(EditContext& ctx) : ctx_(ctx) {}
    bool Locked() const { return ctx_.info.PanelLock != 0; }
    // Stores the state and returns the "J" frame that tells the device.
    std::string Set(bool lock);

  private:
    EditContext& ctx_;
};

} // namespace quellmarin
