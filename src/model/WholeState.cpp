#include "model/WholeState.h"

#include "link/Exchange.h"
#include "link/HexCodec.h"

#include <algorithm>

namespace quellmarin {

std::optional<ParameterBytes> DecodeParameterReply(std::string_view reply) {
    const auto bytes = DecodeRecordReply(reply, kParameterReplySkip, kSystemParametersSize);
    if (!bytes) return std::nullopt;
    ParameterBytes out{};
    std::copy(bytes->begin(), bytes->end(), out.begin());
    return out;
}

std::optional<DeviceInfoBytes> DecodeDeviceInfoReply(std::string_view reply) {
    const auto bytes = DecodeRecordReply(reply, kDeviceInfoReplySkip, kDeviceInfoSize);
    if (!bytes) return std::nullopt;
    DeviceInfoBytes out{};
    std::copy(bytes->begin(), bytes->end(), out.begin());
    return out;
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

std::optional<UploadedState> UploadAll(CSerialPort& port, std::string_view address,
                                       const LinkTimings& timings) {
    const auto params = UploadParameters(port, address, timings);
    if (!params) return std::nullopt;
    const auto info = UploadDeviceInfo(port, address, timings);
    if (!info) return std::nullopt;
    return UploadedState{*params, *info};
}

} // namespace quellmarin
