// What a user types: network port names and numbers with units, read the strict way and the windows'
// way.
#include "dsp/Scales.h"
#include "link/NetworkPort.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace quellmarin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto a = ParseNetworkPort(text)) {
        if (a->port < 1 || a->port > 65535 || ParseNetworkPort(NetworkPortName(*a)) != a) std::abort();
    }
    static constexpr std::string_view kUnits[] = {"", "db", "ms", "m", "k", "khz"};
    if (const auto v = ParseTypedNumber(text, kUnits); v && !std::isfinite(*v)) std::abort();
    (void)LeadingNumber(text);
    (void)ParseFrequencyText(text, size % 2 == 0);
    return 0;
}
