// The short way to store the current settings under the current program number and to rename the
// current program: the texts of the Save window's buttons and what a confirmed save or rename changes.
#pragma once

#include "edit/ProgramExchange.h"
#include "edit/EditContext.h"

#include <string>
#include <string_view>

namespace quellmarin {

class SaveProgram {
  public:
    static constexpr std::string_view kTitle = "Save  ";
    static constexpr std::string_view kSave = "Save current program to DEVICE";
    static constexpr std::string_view kModify = "Modify";
    static constexpr std::string_view kGroup = "Modify ";
    static constexpr std::string_view kNameLabel = "Program name:";

    // Progress of the save: the marks "[.]" .. "[....]" follow the title without a space; the end is
    // "  [OK]" or "  [FAIL]".
    enum class Mark { One, Two, Three, Four, Ok, Fail };

    explicit SaveProgram(EditContext& ctx) : ctx_(ctx) {}

    std::string Name() const { return ProgramName(ctx_.params); }
    // The slot of the current program, kept within 0..40.
    int Slot() const;

    static std::string SaveText(Mark m);
    static std::string ModifyText(Mark m); // "Modify [.]" .. "Modify [OK]", "Modify [FAIL]"

    // A rename the device confirmed: the padded name goes into the record, and the linked channels take
    // their masters' settings again.
    void Renamed(std::string_view name);
    // A rename without a device: a name that is not blank, padded with dots, becomes the record's name.
    // True when it changed anything.
    bool RenameOffline(std::string_view field);

  private:
    EditContext& ctx_;
};

} // namespace quellmarin
