// Reading a processor's whole state: the system parameter record ("Q000") and the device information
// record ("I"). A reply is used only when it holds the whole record in upper-case hexadecimal digits;
// anything shorter or garbled leaves the caller's records as they were.
#pragma once

#include "link/SerialPort.h"
#include "link/Timings.h"
#include "model/Records.h"

#include <optional>
#include <string_view>

namespace quellmarin {

inline constexpr std::size_t kParameterReplySkip = 9;  // data from character 11
inline constexpr std::size_t kDeviceInfoReplySkip = 6; // data from character 8
inline constexpr std::size_t kParameterReplyLength = 11 + 2 * kSystemParametersSize;
inline constexpr std::size_t kDeviceInfoReplyLength = 8 + 2 * kDeviceInfoSize;
inline constexpr std::string_view kUploadFailed =
    "Upload failed: the device's reply was incomplete or garbled.";
inline constexpr std::string_view kDownloadUnconfirmed =
    "The device did not confirm the download; its settings may be the old ones.";
inline constexpr std::string_view kDownloadReadBackFailed =
    "The download was sent, but the device's record could not be read back to confirm it; its settings may "
    "be the old ones.";
// A read only asks, so one that fails to arrive or decode is asked again, so many times in all.
inline constexpr int kReadAttempts = 3;

std::optional<ParameterBytes> DecodeParameterReply(std::string_view reply);
std::optional<DeviceInfoBytes> DecodeDeviceInfoReply(std::string_view reply);

// Each record read is asked up to kReadAttempts times.
std::optional<ParameterBytes> UploadParameters(CSerialPort& port, std::string_view address,
                                               const LinkTimings& timings);
std::optional<DeviceInfoBytes> UploadDeviceInfo(CSerialPort& port, std::string_view address,
                                                const LinkTimings& timings);

// Both records, or nothing when either read failed.
struct UploadedState {
    ParameterBytes params;
    DeviceInfoBytes info;
};
// What the read-back after a download showed: the record sent, another one, or nothing readable.
enum class ReadBack { Confirmed, Differs, Failed };
// The message of a read-back that did not confirm (empty for Confirmed).
std::string_view ReadBackMessage(ReadBack r);
// A download is confirmed when the device's record, read back, is the record sent.
ReadBack ConfirmDownload(CSerialPort& port, std::string_view address, const ParameterBytes& sent,
                         const LinkTimings& timings);
// Sends the record again over the open primary port, with the download's pauses around the frame (the
// device stores the record meanwhile), then reads it back.
ReadBack ResendDownload(CSerialPort& port, std::string_view address, const ParameterBytes& record,
                        const LinkTimings& timings);

std::optional<UploadedState> UploadAll(CSerialPort& port, std::string_view address,
                                       const LinkTimings& timings);

} // namespace quellmarin
