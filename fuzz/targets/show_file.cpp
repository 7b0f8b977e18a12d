// The show file reader on any text: it refuses or takes, and what it takes writes back the same.
#include "session/RigFile.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace quellmarin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const RigRead read = ParseRigFile(text);
    if (read.ok()) {
        const RigRead again = ParseRigFile(RigFileText(*read.members));
        if (!again.ok() || !(*again.members == *read.members)) std::abort();
    }
    return 0;
}
