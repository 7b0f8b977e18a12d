#include "edit/SaveProgram.h"

#include "edit/LinkEditor.h"
#include "protocol/Frames.h"

#include <algorithm>

namespace quellmarin {

int SaveProgram::Slot() const {
    return std::clamp(static_cast<int>(ctx_.info.ProgramNo), 0, kProgramSlots);
}

std::string SaveProgram::SaveText(Mark m) {
    static constexpr std::string_view kMarks[] = {"[.]", "[..]", "[...]", "[....]", "  [OK]", "  [FAIL]"};
    return std::string(kSave) + std::string(kMarks[static_cast<int>(m)]);
}

std::string SaveProgram::ModifyText(Mark m) {
    static constexpr std::string_view kMarks[] = {" [.]", " [..]", " [...]", " [....]", " [OK]", " [FAIL]"};
    return std::string(kModify) + std::string(kMarks[static_cast<int>(m)]);
}

void SaveProgram::Renamed(std::string_view name) {
    SetProgramName(ctx_.params, PaddedProgramName(name));
    LinkEditor::LinkCopy(ctx_.params, Section::Input);
    LinkEditor::LinkCopy(ctx_.params, Section::Output);
}

bool SaveProgram::RenameOffline(std::string_view field) {
    const std::string_view trimmed = TrimBlanks(field);
    if (trimmed.empty()) return false;
    SetProgramName(ctx_.params, (std::string(field) + std::string(22, '.')).substr(0, 20));
    return true;
}

} // namespace quellmarin
