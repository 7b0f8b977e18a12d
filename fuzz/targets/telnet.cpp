// The Telnet codec, both roles, on any bytes fed in pieces: what a line holds after taking them (a purge
// the client asks for drops what came before it) may not depend on where the reads split.
#include "link/Telnet.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace quellmarin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t piece = 1 + data[0] % 13;
    for (const auto role : {TelnetCodec::Role::Client, TelnetCodec::Role::Server}) {
        TelnetCodec whole(role), split(role);
        std::string wholeAnswers, splitAnswers, wholeData, splitData;
        const auto take = [](TelnetCodec& codec, std::string_view in, std::string& held, std::string& answers) {
            const int purges = codec.PurgesAsked();
            std::string data = codec.Take(in, answers);
            if (codec.PurgesAsked() != purges) held.clear();
            held += data;
        };
        take(whole, bytes, wholeData, wholeAnswers);
        for (std::size_t at = 0; at < bytes.size(); at += piece)
            take(split, bytes.substr(at, piece), splitData, splitAnswers);
        if (wholeData != splitData || wholeAnswers != splitAnswers || wholeData.size() > bytes.size()) std::abort();
    }
    return 0;
}
