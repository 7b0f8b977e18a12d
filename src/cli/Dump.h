// The fields of the two records printed as text or JSON.
#pragma once

#include "edit/RecordText.h"

#include <nlohmann/json.hpp>
#include <ostream>
#include <vector>

namespace quellmarin::cli {

// One line a field: "name: text (key value ...)", and "  [out of range: ...]" where that applies.
void PrintDumpText(const std::vector<DumpEntry>& entries, std::ostream& out);
void PrintDumpJson(const std::vector<DumpEntry>& entries, DeviceModel model, std::ostream& out);
// JSON as the tool prints it: indented, ASCII only (bytes that are not UTF-8 become U+FFFD).
std::string JsonText(const nlohmann::ordered_json& value);

} // namespace quellmarin::cli
