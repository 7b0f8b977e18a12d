#include "link/Telnet.h"

namespace quellmarin {

namespace {

constexpr std::size_t kSubLimit = 256;

std::string Sequence(unsigned char a, unsigned char b, unsigned char c) {
    return std::string{static_cast<char>(a), static_cast<char>(b), static_cast<char>(c)};
}

unsigned char ParityCode(Parity p) {
    switch (p) {
    case Parity::Odd:
        return 2;
    case Parity::Even:
        return 3;
    case Parity::None:
        break;
    }
    return 1;
}

std::optional<Parity> ParityOfCode(unsigned char code) {
    switch (code) {
    case 1:
        return Parity::None;
    case 2:
        return Parity::Odd;
    case 3:
        return Parity::Even;
    default:
        return std::nullopt;
    }
}

} // namespace

TelnetCodec::TelnetCodec(Role role) : role_(role) {}

bool TelnetCodec::WeSupport(unsigned char option) const {
    if (option == kBinary || option == kSuppressGoAhead) return true;
    return option == kComPort && role_ == Role::Client;
}

bool TelnetCodec::TheySupport(unsigned char option) const {
    if (option == kBinary || option == kSuppressGoAhead) return true;
    return option == kComPort && role_ == Role::Server;
}

std::string TelnetCodec::Greeting() {
    std::string out;
    if (role_ != Role::Client) return out;
    for (const unsigned char option : {kBinary, kSuppressGoAhead, kComPort}) {
        out += Sequence(kIac, kWill, option);
        usAsked_[option] = true;
    }
    for (const unsigned char option : {kBinary, kSuppressGoAhead}) {
        out += Sequence(kIac, kDo, option);
        himAsked_[option] = true;
    }
    return out;
}

std::string TelnetCodec::Escape(std::string_view data) {
    std::string out;
    out.reserve(data.size());
    for (const char c : data) {
        out += c;
        if (static_cast<unsigned char>(c) == kIac) out += c;
    }
    return out;
}

std::string TelnetCodec::ComPortRequest(unsigned char command, std::string_view value) {
    std::string out = Sequence(kIac, kSb, kComPort);
    out += static_cast<char>(command);
    out += Escape(value);
    out += static_cast<char>(kIac);
    out += static_cast<char>(kSe);
    return out;
}

std::string TelnetCodec::SettingValue(unsigned char command, const LineConfig& line) {
    switch (command) {
    case kSetBaudRate: {
        const auto baud = static_cast<std::uint32_t>(line.baud);
        return std::string{static_cast<char>(baud >> 24), static_cast<char>(baud >> 16),
                           static_cast<char>(baud >> 8), static_cast<char>(baud)};
    }
    case kSetDataSize:
        return std::string(1, static_cast<char>(line.byteSize));
    case kSetParity:
        return std::string(1, static_cast<char>(ParityCode(line.parity)));
    case kSetStopSize:
        return std::string(1, static_cast<char>(line.stopBits == 2 ? 2 : 1));
    default:
        return {};
    }
}

std::string TelnetCodec::LineRequests(const LineConfig& line) {
    std::string out;
    for (const unsigned char c : {kSetBaudRate, kSetDataSize, kSetParity, kSetStopSize})
        out += ComPortRequest(c, SettingValue(c, line));
    return out;
}

std::optional<std::string> TelnetCodec::Answer(unsigned char command) const {
    if (command >= answers_.size()) return std::nullopt;
    return answers_[command];
}

void TelnetCodec::ForgetAnswers() {
    answers_.fill(std::nullopt);
}

void TelnetCodec::ForgetAnswer(unsigned char command) {
    if (command < answers_.size()) answers_[command].reset();
}

void TelnetCodec::Negotiate(unsigned char verb, unsigned char option, std::string& answers) {
    const auto say = [&](unsigned char v) { answers += Sequence(kIac, v, option); };
    switch (verb) {
    case kDo:
        if (usOn_[option]) break;
        if (WeSupport(option)) {
            usOn_[option] = true;
            if (!usAsked_[option]) say(kWill);
            usAsked_[option] = false;
            if (option == kComPort) comPort_ = ComPortState::Accepted;
        } else if (!declined_[option]) {
            declined_[option] = true;
            say(kWont);
        }
        break;
    case kDont:
        if (usOn_[option] || usAsked_[option]) {
            if (!usAsked_[option]) say(kWont);
            usOn_[option] = usAsked_[option] = false;
        }
        if (option == kComPort && role_ == Role::Client) comPort_ = ComPortState::Refused;
        break;
    case kWill:
        if (himOn_[option]) break;
        if (TheySupport(option)) {
            himOn_[option] = true;
            if (!himAsked_[option]) say(kDo);
            himAsked_[option] = false;
            if (option == kComPort) comPort_ = ComPortState::Accepted;
        } else if (!declined_[option]) {
            declined_[option] = true;
            say(kDont);
        }
        break;
    case kWont:
        if (himOn_[option] || himAsked_[option]) {
            if (!himAsked_[option]) say(kDont);
            himOn_[option] = himAsked_[option] = false;
        }
        break;
    default:
        break;
    }
}

void TelnetCodec::SubNegotiation(std::string& data, std::string& answers) {
    if (subOverflow_ || sub_.size() < 2 || static_cast<unsigned char>(sub_[0]) != kComPort) {
        if (subOverflow_) ++malformed_;
        return;
    }
    const auto command = static_cast<unsigned char>(sub_[1]);
    const std::string value = sub_.substr(2);
    if (role_ == Role::Client) {
        // The server's answers (command + 100) and its notifications; the latter are not needed.
        if (command >= kServerOffset && command - kServerOffset < static_cast<int>(answers_.size()))
            answers_[command - kServerOffset] = value;
        return;
    }
    if (command >= kServerOffset) return;
    std::string answer = value;
    switch (command) {
    case kSetBaudRate:
        if (value.size() == 4) {
            std::uint32_t baud = 0;
            for (const char c : value) baud = (baud << 8) | static_cast<unsigned char>(c);
            if (baud != 0) serverLine_.baud = static_cast<int>(baud);
        }
        answer = SettingValue(kSetBaudRate, serverLine_);
        break;
    case kSetDataSize:
        if (value.size() == 1 && value[0] >= 5 && value[0] <= 8) serverLine_.byteSize = value[0];
        answer = SettingValue(kSetDataSize, serverLine_);
        break;
    case kSetParity:
        if (value.size() == 1)
            if (const auto p = ParityOfCode(static_cast<unsigned char>(value[0]))) serverLine_.parity = *p;
        answer = SettingValue(kSetParity, serverLine_);
        break;
    case kSetStopSize:
        if (value.size() == 1 && (value[0] == 1 || value[0] == 2)) serverLine_.stopBits = value[0];
        answer = SettingValue(kSetStopSize, serverLine_);
        break;
    case kPurgeData:
        // What the client sent before the purge and the device has not yet taken is discarded; a purge
        // of the server's receive buffer alone leaves it (the device's replies go out at once).
        if (value.size() == 1 && (value[0] == kPurgeTransmit || value[0] == kPurgeBoth)) {
            ++purgesAsked_;
            data.clear();
        }
        break;
    case kSignature:
        answer = "virtual processor";
        break;
    default:
        return; // notifications and flow control: nothing to answer
    }
    answers += ComPortRequest(static_cast<unsigned char>(command + kServerOffset), answer);
}

std::string TelnetCodec::Take(std::string_view bytes, std::string& answers) {
    std::string data;
    data.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        switch (state_) {
        case State::Data:
            if (c == kIac)
                state_ = State::Iac;
            else
                data += ch;
            break;
        case State::Iac:
            state_ = State::Data;
            if (c == kIac) {
                data += ch;
            } else if (c == kDo || c == kDont || c == kWill || c == kWont) {
                verb_ = c;
                state_ = State::Verb;
            } else if (c == kSb) {
                sub_.clear();
                subOverflow_ = false;
                state_ = State::Sub;
            } else if (c < kSe) {
                ++malformed_; // not a Telnet command; the byte is dropped
            }
            // NOP, data mark, break, go ahead and the other commands carry nothing for the line.
            break;
        case State::Verb:
            Negotiate(verb_, c, answers);
            state_ = State::Data;
            break;
        case State::Sub:
            if (c == kIac) {
                state_ = State::SubIac;
            } else if (sub_.size() < kSubLimit) {
                sub_ += ch;
            } else {
                subOverflow_ = true;
            }
            break;
        case State::SubIac:
            if (c == kIac) {
                if (sub_.size() < kSubLimit)
                    sub_ += ch;
                else
                    subOverflow_ = true;
                state_ = State::Sub;
            } else if (c == kSe) {
                SubNegotiation(data, answers);
                state_ = State::Data;
            } else {
                // An IAC inside a subnegotiation that is neither a doubled byte nor its end: the
                // subnegotiation is abandoned and the byte read as a command.
                ++malformed_;
                state_ = State::Iac;
                const std::string rest = Take(std::string_view(&ch, 1), answers);
                data += rest;
            }
            break;
        }
    }
    return data;
}

} // namespace quellmarin
