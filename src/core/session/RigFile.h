// The show file: a whole rig of processors in one JSON document, so that a set-up of several units is
// saved, opened and edited offline as one. Per processor it keeps the name the user gave it, the port
// and device ID it answers on, its model and the image of its two records (the 1105 bytes of a
// parameter file, as hexadecimal text like the wire's):
//
//   { "format": "quellmarin-rig", "version": 1,
//     "processors": [ { "name": "Sub left", "port": "/dev/ttyUSB0", "id": 1, "model": "Mivon",
//                       "image": "0A1B..." }, ... ] }
//
// Opening checks everything before anything is taken: a damaged or truncated file is refused whole,
// with the reason, and the caller's rig stays as it was.
#pragma once

#include "model/DeviceModel.h"
#include "model/Records.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quellmarin {

inline constexpr std::string_view kRigFormat = "quellmarin-rig";
inline constexpr int kRigVersion = 1;
inline constexpr std::size_t kRigMaxProcessors = 64;
inline constexpr std::size_t kRigNameLimit = 64;
inline constexpr std::size_t kRigPortLimit = 256;

struct RigMember {
    std::string name; // what the user calls the unit ("Sub left"); may be empty
    std::string port; // the port it answers on ("/dev/ttyUSB0", "tcp://10.0.0.5:4001")
    int id = 1;       // its device ID, 1 to 50
    DeviceModel model = kBuildModel;
    SystemParameters params;
    DeviceInfoRecord info;
    bool operator==(const RigMember&) const = default;
};

struct RigRead {
    std::optional<std::vector<RigMember>> members;
    std::string problem; // why the file was refused, when members is empty
    bool ok() const { return members.has_value(); }
};

// The document for a rig; members keep their order.
std::string RigFileText(const std::vector<RigMember>& members);
RigRead ParseRigFile(std::string_view text);
// Reads a file the user named (bounded, a regular file only) and parses it.
RigRead OpenRigFile(const std::filesystem::path& path);
// Writes through a temporary file renamed over the target; empty on success, else why not.
std::string SaveRigFile(const std::filesystem::path& path, const std::vector<RigMember>& members);

// The parameter file a rig's export writes for its member `index` (from 0): "1-Sub_left.asc", or
// "2-ID03.asc" for a unit without a name; a name's letters, digits, '-' and '_' are kept, the rest '_'.
std::string RigExportName(std::size_t index, const RigMember& m);

// "Sub left (ID 1 on /dev/ttyUSB0)", or "ID 1 on /dev/ttyUSB0" for a unit without a name.
std::string RigMemberLabel(const RigMember& m);

} // namespace quellmarin
