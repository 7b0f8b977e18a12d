// The parameter file (*.asc): a raw image of the two records, 1105 bytes, or the older 831-byte layout
// that lacks the compressors and alias names. Loading and saving never touch the caller's records: a
// load returns new records (or the message to show) and the caller replaces its own.
#pragma once

#include "model/Records.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quellmarin {

inline constexpr std::size_t kParameterFileSize = kSystemParametersSize + kDeviceInfoSize; // 1105
inline constexpr std::size_t kOldRecordPart = 662;
inline constexpr std::size_t kOldParameterFileSize = kOldRecordPart + kDeviceInfoSize; // 831

inline constexpr std::string_view kFileReadFailed = "File read Failed...!";
inline constexpr std::string_view kFileIncompatible = "Import file error,it is incompatible with device";
inline constexpr std::string_view kFileExtError = "File ext error...!";
inline constexpr std::string_view kFileOpenError = "File Open Error...!";
inline constexpr std::string_view kFileSaveFailed = "File save failed!";

struct LoadedParameters {
    SystemParameters params;
    DeviceInfoRecord info;
    bool oldLayout = false;
};

struct LoadResult {
    std::optional<LoadedParameters> records;
    std::string_view message; // what to show when records is empty
    std::string reason;       // why the file could not be read at all, naming it, when known
    bool ok() const { return records.has_value(); }
    // The message with its reason: "File read Failed...! (show.asc is a directory)".
    std::string Text() const { return reason.empty() ? std::string(message) : std::string(message) + " (" + reason + ")"; }
};

// currentChannelConfig is the ChannelConfig of the device information in force; a file of another
// configuration is refused.
LoadResult LoadParameterFile(std::span<const std::uint8_t> bytes, std::uint8_t currentChannelConfig);
LoadResult LoadParameterFile(const std::filesystem::path& path, std::uint8_t currentChannelConfig);

std::vector<std::uint8_t> ParameterFileBytes(const SystemParameters& params, const DeviceInfoRecord& info);

// True when the name's extension is "asc" in any case.
bool HasParameterFileExtension(const std::filesystem::path& path);

// Writes the bytes through a temporary file beside `path`, renamed over it once complete: a failed
// write never leaves a cut file in place of a good one. False when it could not.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// Writes the 1105-byte file through a temporary file in the same folder that is renamed over the
// target, so a failed save leaves what was there before. Returns an empty text on success, else the
// message to show.
std::string_view SaveParameterFile(const std::filesystem::path& path, const SystemParameters& params,
                                   const DeviceInfoRecord& info);
// Whether a save to this path could go ahead (the extension, a target that may be written, a folder
// that takes a new file), checked before the state is fetched from a device. Empty when it can,
// else the message a save would give.
std::string_view CheckParameterFileTarget(const std::filesystem::path& path);
// A save's message with the reason it failed, where one can be named: "File ext error...! (/tmp is a
// folder, not a file)", "File ext error...! (a parameter file's name ends in .asc)".
std::string SaveProblemText(const std::filesystem::path& path, std::string_view message);

} // namespace quellmarin
