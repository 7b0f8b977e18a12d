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
    for (int attempt = 0; attempt < kReadAttempts; ++attempt)
        if (auto r = DecodeParameterReply(
                RequestReply(port, address, "Q000)", timings.parameterWait, kParameterReplyLength)))
            return r;
    return std::nullopt;
}

std::optional<DeviceInfoBytes> UploadDeviceInfo(CSerialPort& port, std::string_view address,
                                                const LinkTimings& timings) {
    for (int attempt = 0; attempt < kReadAttempts; ++attempt)
        if (auto r = DecodeDeviceInfoReply(
                RequestReply(port, address, "I)", timings.infoWait, kDeviceInfoReplyLength)))
            return r;
    return std::nullopt;
}

std::string_view ReadBackMessage(ReadBack r) {
    switch (r) {
    case ReadBack::Confirmed:
        break;
    case ReadBack::Differs:
        return kDownloadUnconfirmed;
    case ReadBack::Failed:
        return kDownloadReadBackFailed;
    }
    return {};
}

ReadBack ConfirmDownload(CSerialPort& port, std::string_view address, const ParameterBytes& sent,
                         const LinkTimings& timings) {
    const auto back = UploadParameters(port, address, timings);
    if (!back) return ReadBack::Failed;
    return *back == sent ? ReadBack::Confirmed : ReadBack::Differs;
}

ReadBack ResendDownload(CSerialPort& port, std::string_view address, const ParameterBytes& record,
                        const LinkTimings& timings) {
    const std::string frame = FrameDownload(address, HexEncode(record));
    if (frame.size() != kDownloadFrameLength) return ReadBack::Failed;
    port.PurgeAll();
    if (!port.WriteTextAlways(frame)) return ReadBack::Failed;
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
