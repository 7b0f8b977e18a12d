// Every decoder of what a processor sends: the first byte picks the decoder, the rest is the reply.
#include "edit/ProgramExchange.h"
#include "link/Discovery.h"
#include "link/WholeState.h"
#include "protocol/Frames.h"
#include "protocol/HexCodec.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace quellmarin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view reply(reinterpret_cast<const char*>(data + 1), size - 1);
    const DeviceModel model = data[0] & 0x80 ? DeviceModel::Ketra : DeviceModel::Mivon;
    switch (data[0] % 6) {
    case 0:
        if (const auto id = HelloReplyId(reply, model); id && (*id < 0 || *id > 99)) std::abort();
        break;
    case 1:
        (void)DecodeLevelFrame(reply, model);
        break;
    case 2:
        if (const auto p = DecodeParameterReply(reply); p && reply.size() < kParameterReplyLength) std::abort();
        break;
    case 3:
        (void)DecodeDeviceInfoReply(reply);
        break;
    case 4:
        (void)ParseSlotReply(reply);
        break;
    default:
        if (const auto bytes = HexDecode(reply, data[0] % 16); bytes.size() > reply.size()) std::abort();
        break;
    }
    return 0;
}
