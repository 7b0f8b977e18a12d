// The parameter file loader on any bytes: a file of the right size loads, saves and loads again the
// same; any other is refused.
#include "model/ParameterFile.h"

#include <cstdint>
#include <cstdlib>
#include <span>

using namespace quellmarin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    for (const std::uint8_t config : {std::uint8_t(0x88), std::uint8_t(0x48)}) {
        const LoadResult r = LoadParameterFile(bytes, config);
        if (!r.ok()) continue;
        if (size != kParameterFileSize && size != kOldParameterFileSize) std::abort();
        const auto again = ParameterFileBytes(r.records->params, r.records->info);
        const LoadResult back = LoadParameterFile(again, config);
        if (!back.ok() || ParameterFileBytes(back.records->params, back.records->info) != again) std::abort();
    }
    return 0;
}
