#include "sim/VirtualProcessor.h"

#include "protocol/CommandTable.h"
#include "protocol/Frames.h"
#include "protocol/HexCodec.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace quellmarin::sim {

namespace {

// A run of exactly `len` decimal digits at `pos`.
std::optional<int> Num(std::string_view s, std::size_t pos, std::size_t len) {
    if (pos + len > s.size()) return std::nullopt;
    int v = 0;
    for (std::size_t i = pos; i < pos + len; ++i) {
        if (s[i] < '0' || s[i] > '9') return std::nullopt;
        v = v * 10 + (s[i] - '0');
    }
    return v;
}

std::string Fmt3(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.3d", v);
    return buf;
}

void SetName(char* field, std::string_view name) {
    std::memset(field, 0, kNameLength);
    std::memcpy(field, name.data(), std::min<std::size_t>(name.size(), kNameLength));
}

std::string Padded(std::string_view name) {
    return (std::string(name) + std::string(20, '.')).substr(0, 20);
}

constexpr char kStateMagic[] = "QMSIM1\n";

} // namespace

VirtualProcessor::VirtualProcessor(int deviceId, DeviceModel model)
    : id_(deviceId), model_(model), params_(DefaultSystemParameters(model)), info_(DefaultDeviceInfo(model)) {
    info_.DeviceId = static_cast<std::uint8_t>(deviceId);
    const char* seeds[] = {"Default", "Main PA", "Monitor mix"};
    for (int i = 0; i < 3; ++i) {
        Program p{};
        SetName(p.name, Padded(seeds[i]));
        p.state = params_;
        std::memcpy(p.state.Name, p.name, kNameLength);
        programs_[i] = p;
    }
    std::memcpy(params_.Name, programs_[0]->name, kNameLength);
}

std::string VirtualProcessor::Address() const {
    return AddressText(id_);
}

SystemParameters VirtualProcessor::Parameters() const {
    std::lock_guard lock(mutex_);
    return params_;
}

DeviceInfoRecord VirtualProcessor::Info() const {
    std::lock_guard lock(mutex_);
    return info_;
}

std::optional<Program> VirtualProcessor::ProgramAt(int number) const {
    std::lock_guard lock(mutex_);
    if (number < 1 || number > kPrograms) return std::nullopt;
    return programs_[number - 1];
}

std::vector<std::string> VirtualProcessor::FramesReceived() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::size_t VirtualProcessor::FrameCount() const {
    std::lock_guard lock(mutex_);
    return frameCount_;
}

void VirtualProcessor::SetParameters(const SystemParameters& p) {
    std::lock_guard lock(mutex_);
    params_ = p;
}

void VirtualProcessor::SetInfo(const DeviceInfoRecord& d) {
    std::lock_guard lock(mutex_);
    info_ = d;
}

std::vector<std::string> VirtualProcessor::TakeFrames(std::string_view bytes) {
    std::vector<std::string> frames;
    std::lock_guard lock(mutex_);
    pending_.append(bytes);
    for (;;) {
        const std::size_t open = pending_.find('(');
        if (open == std::string::npos) {
            pending_.clear();
            return frames;
        }
        pending_.erase(0, open);
        const std::size_t close = pending_.find(')');
        if (close == std::string::npos) {
            if (pending_.size() > 4096) pending_.clear();
            return frames;
        }
        // A frame that was cut off is dropped at the next opening parenthesis.
        const std::size_t reopen = pending_.rfind('(', close);
        frames.push_back(pending_.substr(reopen, close - reopen + 1));
        pending_.erase(0, close + 1);
    }
}

std::vector<std::string> VirtualProcessor::Receive(std::string_view bytes) {
    std::vector<std::string> replies;
    for (const std::string& frame : TakeFrames(bytes))
        if (auto reply = Handle(frame)) replies.push_back(std::move(*reply));
    return replies;
}

std::optional<std::string> VirtualProcessor::Handle(std::string_view frame) {
    std::lock_guard lock(mutex_);
    ++frameCount_;
    received_.push_back(std::string(frame));
    if (received_.size() > 10000) received_.erase(received_.begin(), received_.begin() + 5000);
    return HandleLocked(frame);
}

std::optional<std::string> VirtualProcessor::Refuse() {
    ++refused_;
    return std::nullopt;
}

std::size_t VirtualProcessor::RefusedCount() const {
    std::lock_guard lock(mutex_);
    return refused_;
}

std::optional<std::string> VirtualProcessor::HandleLocked(std::string_view frame) {
    if (frame.size() < 4 || frame.front() != '(' || frame.back() != ')') return Refuse();
    if (frame == FrameHello(id_)) return HelloReply(id_, model_);
    const std::string addr = AddressText(id_);
    if (frame.substr(1, 2) != addr) return Refuse();
    const std::string_view body = frame.substr(3, frame.size() - 4);
    if (body.empty()) return Refuse();
    const std::string head = "(" + addr;

    // Settings: the device takes the frame into its records. An alias name and the panel lock, which
    // the program sends as exchanges, are echoed; everything else is taken without an answer.
    if (const FrameUnit unit = ReadFrameUnit(frame); unit.entry && unit.entry->apply) {
        if (!ApplyFrame(frame, {params_, info_}, model_)) return Refuse();
        if (unit.entry->scope == Scope::Alias || unit.entry->code == "J") return std::string(frame);
        return std::nullopt;
    }
    const char letter = body[0];
    const int number = body.size() == 4 ? Num(body, 1, 3).value_or(-1) : -1;
    switch (letter) {
    case 'L':
        if (body.size() != 1) return Refuse();
        return LevelReply();
    case 'Q':
        if (body != "Q000") return Refuse();
        return head + "Q0001872" + HexEncode(ToBytes(params_)) + ")";
    case 'I':
        if (body.size() != 1) return Refuse();
        return head + "I0169" + HexEncode(ToBytes(info_)) + ")";
    case 'B':
        if (body.size() != 1) return Refuse();
        return std::string(frame);
    case 'T':
        if (number < 0) return Refuse();
        return ProgramNameReply(number);
    case 'R':
        if (number < 0) return Refuse();
        if (number < 1 || number > kPrograms || !programs_[number - 1])
            return std::string(kEmptyProgramReply);
        params_ = programs_[number - 1]->state;
        std::memcpy(params_.Name, programs_[number - 1]->name, kNameLength);
        info_.ProgramNo = static_cast<std::uint8_t>(number);
        return head + "R" + Fmt3(number) + ")";
    case 'S':
        if (number < 0) return Refuse();
        if (number < 1 || number > kPrograms) return Refuse();
        programs_[number - 1] = Program{};
        std::memcpy(programs_[number - 1]->name, params_.Name, kNameLength);
        programs_[number - 1]->state = params_;
        info_.ProgramNo = static_cast<std::uint8_t>(number);
        return std::string(frame);
    case 'G':
        if (number < 0) return Refuse();
        if (number >= 1 && number <= kPrograms) programs_[number - 1].reset();
        return std::string(frame);
    case 'N': {
        const auto n = Num(body, 1, 3);
        if (!n || *n < 1 || *n > kPrograms) return Refuse();
        if (body.size() == 4) return ProgramNameReply(*n);
        const auto name = body.size() == 44 ? DecodeHex(body.substr(4)) : std::nullopt;
        if (!name) return Refuse();
        auto& slot = programs_[*n - 1];
        if (!slot) {
            slot = Program{};
            slot->state = params_;
        }
        std::memcpy(slot->name, name->data(), kNameLength);
        if (*n == info_.ProgramNo) std::memcpy(params_.Name, slot->name, kNameLength);
        return head + "N" + Fmt3(*n) + ")";
    }
    case 'P': {
        const auto length = Num(body, 1, 4);
        if (!length || body.size() < 5 + 2 * kSystemParametersSize) return Refuse();
        const auto bytes = DecodeHex(body.substr(5, 2 * kSystemParametersSize));
        if (!bytes) return Refuse();
        ParameterBytes record{};
        std::copy_n(bytes->begin(), kSystemParametersSize, record.begin());
        params_ = ParametersFromBytes(record);
        return head + "P)";
    }
    default:
        return Refuse();
    }
}

std::string VirtualProcessor::LevelReply() {
    ++tick_;
    // Levels that move like programme material: a slow envelope over a faster beat, per channel.
    double inLevel[8];
    for (int i = 0; i < 8; ++i) {
        const InputChannel& in = params_.InCH[i];
        const double env = 0.55 + 0.45 * std::sin(tick_ * 0.11 + i * 0.7);
        const double beat = std::fabs(std::sin(tick_ * 0.37 + i * 1.3));
        double level = 30 + 58 * env * beat + (in.Gain - 181) / 4.0;
        if (!InputSlotUsed(model_, i) || in.Mute) level = 0;
        inLevel[i] = std::clamp(level, 0.0, 96.0);
    }
    std::uint8_t raw[18];
    std::uint8_t inStatus = 0, outStatus = 0;
    const int ketraPos[4] = {0, 2, 5, 7};
    for (int i = 0; i < 8; ++i) raw[i] = 96;
    for (int i = 0; i < 8; ++i) {
        int pos = i, bit = i;
        if (model_ == DeviceModel::Ketra) {
            if (i < 4) continue;
            pos = bit = ketraPos[i - 4];
        }
        raw[pos] = static_cast<std::uint8_t>(96 - static_cast<int>(inLevel[i]));
        if (inLevel[i] > 88) inStatus |= static_cast<std::uint8_t>(1 << bit);
    }
    for (int o = 0; o < 8; ++o) {
        const OutputChannel& out = params_.OutCH[o];
        double level = 0;
        for (int i = 0; i < 8; ++i)
            if (out.Route[i]) level = std::max(level, inLevel[i] + (out.Route[i] - 181) / 4.0);
        if (level > 0) level += (out.Gain - 181) / 4.0;
        if (out.Mute) level = 0;
        level = std::clamp(level, 0.0, 96.0);
        raw[9 + o] = static_cast<std::uint8_t>(96 - static_cast<int>(level));
        if (level > 86) outStatus |= static_cast<std::uint8_t>(1 << o);
    }
    raw[8] = inStatus;
    raw[17] = outStatus;
    return "(" + AddressText(id_) + "L" + HexEncode(raw) + ")";
}

std::string VirtualProcessor::ProgramNameReply(int number) const {
    if (number < 1 || number > kPrograms || !programs_[number - 1]) return std::string(kEmptyProgramReply);
    const auto* name = reinterpret_cast<const std::uint8_t*>(programs_[number - 1]->name);
    return "(" + AddressText(id_) + "T" + Fmt3(number) + "000" + HexEncode({name, kNameLength}) + ")";
}

bool VirtualProcessor::LoadState(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string magic(sizeof kStateMagic - 1, '\0');
    in.read(magic.data(), static_cast<std::streamsize>(magic.size()));
    if (magic != kStateMagic) return false;
    SystemParameters p{};
    DeviceInfoRecord d{};
    std::array<std::optional<Program>, kPrograms> programs;
    in.read(reinterpret_cast<char*>(&p), sizeof p);
    in.read(reinterpret_cast<char*>(&d), sizeof d);
    for (auto& slot : programs) {
        char present = 0;
        in.read(&present, 1);
        Program prog{};
        in.read(reinterpret_cast<char*>(&prog), sizeof prog);
        if (present) slot = prog;
    }
    if (!in) return false;
    std::lock_guard lock(mutex_);
    params_ = p;
    info_ = d;
    info_.DeviceId = static_cast<std::uint8_t>(id_);
    programs_ = programs;
    return true;
}

bool VirtualProcessor::SaveState(const std::filesystem::path& path) const {
    std::lock_guard lock(mutex_);
    const std::filesystem::path temp = path.string() + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(kStateMagic, sizeof kStateMagic - 1);
        out.write(reinterpret_cast<const char*>(&params_), sizeof params_);
        out.write(reinterpret_cast<const char*>(&info_), sizeof info_);
        for (const auto& slot : programs_) {
            const char present = slot ? 1 : 0;
            const Program prog = slot.value_or(Program{});
            out.write(&present, 1);
            out.write(reinterpret_cast<const char*>(&prog), sizeof prog);
        }
        if (!out) return false;
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    return !ec;
}

} // namespace quellmarin::sim
