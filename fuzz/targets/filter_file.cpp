// The filter file reader and the import plan on any text.
#include "edit/FilterImport.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace quellmarin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const FilterFile file = ParseFilterText(text);
    for (const Section section : {Section::Input, Section::Output}) {
        const ImportPlan plan = PlanImport(file, {section, 0}, DeviceModel::Mivon);
        (void)plan.NeedsConsent();
    }
    return 0;
}
