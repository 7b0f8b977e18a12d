#include "edit/ProgramExchange.h"

#include "link/Exchange.h"
#include "protocol/Frames.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace quellmarin {

std::string UnwireableCharacters(std::string_view utf8) {
    std::vector<std::string> seen;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        std::size_t length = 1;
        if (c >= 0xC2 && c <= 0xF4) length = c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        bool whole = i + length <= utf8.size();
        for (std::size_t k = 1; whole && k < length; ++k)
            whole = (static_cast<unsigned char>(utf8[i + k]) & 0xC0) == 0x80;
        if (!whole) length = 1;
        std::string one;
        if (c >= 0x20 && c < 0x7F) {
            ++i;
            continue;
        }
        if (length > 1) {
            one = std::string(utf8.substr(i, length));
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            one = hex;
        }
        if (std::find(seen.begin(), seen.end(), one) == seen.end()) seen.push_back(one);
        i += length;
    }
    std::string out;
    for (const std::string& one : seen) out += (out.empty() ? "" : " ") + one;
    return out;
}

std::string NameRefusal(std::string_view utf8) {
    const std::string bad = UnwireableCharacters(utf8);
    if (bad.empty()) return {};
    return "the processor takes names in plain ASCII letters, digits and signs only; not " + bad;
}

std::string WireName(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else if (c >= 0xC0) {
            out += '?'; // the lead byte of a character; its continuation bytes are skipped
        } else if (c < 0x80) {
            out += '?';
        }
    }
    return out;
}

std::string PaddedProgramName(std::string_view name) {
    return (std::string(name) + std::string(20, '.')).substr(0, 20);
}

SlotReply ParseSlotReply(std::string_view reply) {
    reply = TrimBlanks(reply);
    if (reply.size() == 51) {
        if (const auto name = DecodeProgramName(reply)) return {SlotReply::Name, *name};
        return {};
    }
    if (reply.size() == kEmptyProgramReply.size()) {
        if (reply == kEmptyProgramReply) return {SlotReply::Empty, std::string(kEmptySlotName)};
        return {SlotReply::Other, std::string(reply)};
    }
    return {};
}

SlotReply QuerySlot(CSerialPort& port, std::string_view address, int slot, const LinkTimings& timings) {
    const std::string frame = FrameProgramQuery(address, slot);
    if (frame.size() != kProgramFrameLength) return {};
    LinkClock& clock = *timings.clock;
    const auto deadline = clock.Now() + timings.programReplyWait;
    port.BeginExclusive();
    port.WriteTextAlways(frame);
    // The short "empty slot" reply or the long one with a name: wait for the short length first (the
    // wait goes on while more keeps arriving), then for the rest of a long one.
    port.WaitForReply(kEmptyProgramReply.size(), timings.programReplyWait);
    std::string reply = port.ReadTextAlways();
    if (reply.size() < 51 && TrimBlanks(reply) != kEmptyProgramReply) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock.Now());
        if (left.count() > 0) {
            port.WaitForReply(51 - reply.size(), left);
            reply += port.ReadTextAlways();
        }
    }
    port.EndExclusive();
    return ParseSlotReply(reply);
}

std::optional<UploadedState> RecallSlot(CSerialPort& port, std::string_view address, int slot,
                                        const LinkTimings& timings,
                                        const std::function<void(int)>& progress) {
    const std::string frame = FrameRecallProgram(address, slot);
    if (frame.size() != kProgramFrameLength) return std::nullopt;
    const std::string reply(TrimBlanks(ExchangeFrame(port, frame, timings.recallWait, kProgramFrameLength)));
    if (reply.size() != kProgramFrameLength) return std::nullopt;
    if (progress) progress(1);
    auto state = UploadAll(port, address, timings);
    if (state && progress) progress(2);
    return state;
}

bool StoreSlot(CSerialPort& port, std::string_view address, int slot, const LinkTimings& timings) {
    const std::string frame = FrameStoreProgram(address, slot);
    if (frame.size() != kProgramFrameLength) return false;
    return ExchangeFrame(port, frame, timings.storeWait, frame.size()) == frame;
}

SlotReply DeleteSlot(CSerialPort& port, std::string_view address, int slot, const LinkTimings& timings) {
    const std::string frame = FrameDeleteProgram(address, slot);
    if (frame.size() != kProgramFrameLength) return {};
    ExchangeFrame(port, frame, timings.programReplyWait, frame.size());
    SlotReply reply;
    for (int attempt = 0; attempt < 2 && !reply.Usable(); ++attempt)
        reply = QuerySlot(port, address, slot, timings);
    return reply;
}

SlotReply RenameSlot(CSerialPort& port, std::string_view address, int slot, std::string_view name,
                     const LinkTimings& timings) {
    const std::string frame = FrameRenameProgram(address, slot, EncodeProgramName(name));
    if (frame.size() != kNameFrameLength) return {};
    // The device answers the rename too; that reply is awaited so that it does not mix with the
    // read-back.
    ExchangeFrame(port, frame, timings.programReplyWait, kProgramFrameLength);
    SlotReply reply;
    for (int attempt = 0; attempt < 4; ++attempt) {
        reply = QuerySlot(port, address, slot, timings);
        if (reply.kind == SlotReply::Name || reply.kind == SlotReply::Empty || reply.kind == SlotReply::Other)
            break;
    }
    return reply;
}

bool RenameCurrent(CSerialPort& port, std::string_view address, int slot, std::string_view name,
                   const LinkTimings& timings) {
    const std::string frame = FrameRenameProgram(address, slot, EncodeProgramName(name));
    if (frame.size() != kNameFrameLength) return false;
    const std::string expected = FrameNameReply(address, slot);
    return TrimBlanks(ExchangeFrame(port, frame, timings.renameEchoWait, expected.size())) == expected;
}

} // namespace quellmarin
