#include "link/WholeState.h"

#include "link/Exchange.h"
#include "protocol/Frames.h"
#include "protocol/HexCodec.h"

#include <algorithm>
#include <array>

namespace quellmarin {

namespace {
template <std::size_t N>
std::optional<std::array<std::uint8_t, N>> DecodeReply(std::string_view reply, std::size_t skip) {
    const auto bytes = DecodeRecordReply(reply, skip, N);
    if (!bytes) return std::nullopt;
    std::array<std::uint8_t, N> out{};
    std::copy(bytes->begin(), bytes->end(), out.begin());
    return out;
}
} // namespace

std::optional<ParameterBytes> DecodeParameterReply(std::string_view reply) {
    return DecodeReply<kSystemParametersSize>(reply, kParameterReplySkip);
}

std::optional<DeviceInfoBytes> DecodeDeviceInfoReply(std::string_view reply) {
    return DecodeReply<kDeviceInfoSize>(reply, kDeviceInfoReplySkip);
}

std::optional<ParameterBytes> UploadParameters(CSerialPort& port, std::string_view address,
                                               const LinkTimings& timings) {
    return DecodeParameterReply(
        RequestReply(port, address, "Q000)", timings.parameterWait, kParameterReplyLength));
}

std::optional<DeviceInfoBytes> UploadDeviceInfo(CSerialPort& port, std::string_view address,
                                                const LinkTimings& timings) {
    return DecodeDeviceInfoReply(RequestReply(port, address, "I)", timings.infoWait, kDeviceInfoReplyLength));
}

bool ConfirmDownload(CSerialPort& port, std::string_view address, const ParameterBytes& sent,
                     const LinkTimings& timings) {
    const auto back = UploadParameters(port, address, timings);
    return back && *back == sent;
}

bool ResendDownload(CSerialPort& port, std::string_view address, const ParameterBytes& record,
                    const LinkTimings& timings) {
    const std::string frame = FrameDownload(address, HexEncode(record));
    if (frame.size() != kDownloadFrameLength) return false;
    port.PurgeAll();
    if (!port.WriteTextAlways(frame)) return false;
    timings.clock->SleepFor(timings.downloadSettle);
    port.ReadTextAlways(); // whatever the device said to the frame
    timings.clock->SleepFor(timings.downloadSettle);
    return ConfirmDownload(port, address, record, timings);
}

std::optional<UploadedState> UploadAll(CSerialPort& port, std::string_view address,
                                       const LinkTimings& timings) {
    const auto params = UploadParameters(port, address, timings);
    if (!params) return std::nullopt;
    const auto info = UploadDeviceInfo(port, address, timings);
    if (!info) return std::nullopt;
    return UploadedState{*params, *info};
}

} // namespace quellmarin
