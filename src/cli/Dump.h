// The fields of the two records printed as text or JSON.
#pragma once

#include "modules/RecordText.h"

#include <ostream>
#include <vector>

namespace quellmarin::cli {

// One line a field: "name: text (key value ...)", and "  [out of range: ...]" where that applies.
void PrintDumpText(const std::vector<DumpEntry>& entries, std::ostream& out);
void PrintDumpJson(const std::vector<DumpEntry>& entries, DeviceModel model, std::ostream& out);

} // namespace quellmarin::cli
