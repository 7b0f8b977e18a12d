// Telnet with the COM-port control option, as a codec over bytes with no socket: received bytes go
// in, the data bytes and the answers to send come out. The client side offers binary transmission,
// suppress-go-ahead and COM-port control, asks for line settings and purges, and reads the server's
// confirmations; the server side (the virtual processor's network port) answers all of that. Options
// neither side knows are declined, once each; malformed or oversized sequences are skipped.
#pragma once

#include "link/SerialLine.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quellmarin {

class TelnetCodec {
  public:
    enum class Role { Client, Server };
    enum class ComPortState { Unknown, Accepted, Refused };

    static constexpr unsigned char kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250,
                                   kSe = 240;
    static constexpr unsigned char kBinary = 0, kSuppressGoAhead = 3, kComPort = 44;
    // COM-port commands as the client sends them; the server answers each with the code plus 100.
    static constexpr unsigned char kSignature = 0, kSetBaudRate = 1, kSetDataSize = 2, kSetParity = 3,
                                   kSetStopSize = 4, kPurgeData = 12;
    static constexpr unsigned char kServerOffset = 100;
    // PURGE-DATA values: the server's receive buffer, its transmit buffer, both.
    static constexpr unsigned char kPurgeReceive = 1, kPurgeTransmit = 2, kPurgeBoth = 3;

    explicit TelnetCodec(Role role);

    // What a side says first: the client offers its options and asks for the server's.
    std::string Greeting();
    // Data for the wire: every 255 byte doubled.
    static std::string Escape(std::string_view data);
    // The data bytes of what arrived; answers to the peer's negotiation are appended to `answers`.
    std::string Take(std::string_view bytes, std::string& answers);

    // A COM-port request of the client (value bytes as the command takes them).
    static std::string ComPortRequest(unsigned char command, std::string_view value);
    // The four requests that set the line.
    static std::string LineRequests(const LineConfig& line);
    // The value bytes of a line setting (baud as four bytes in network order, the others as one).
    static std::string SettingValue(unsigned char command, const LineConfig& line);

    ComPortState ComPort() const { return comPort_; }
    // Client: the value of the server's latest answer to a command (nothing before one came).
    std::optional<std::string> Answer(unsigned char command) const;
    void ForgetAnswers();
    void ForgetAnswer(unsigned char command);
    // Server: the line as the client set it (9600 8N1 until it does); purges of the device's input
    // (transmit or both) asked for so far: each drops what the client had sent before it.
    const LineConfig& ServerLine() const { return serverLine_; }
    int PurgesAsked() const { return purgesAsked_; }
    // Bytes that were not Telnet the protocol allows (an IAC before an unknown command, a bare
    // subnegotiation end, an oversized subnegotiation), counted for the record.
    int Malformed() const { return malformed_; }

  private:
    enum class State { Data, Iac, Verb, Sub, SubIac };
    bool WeSupport(unsigned char option) const;
    bool TheySupport(unsigned char option) const;
    void Negotiate(unsigned char verb, unsigned char option, std::string& answers);
    void SubNegotiation(std::string& data, std::string& answers);

    Role role_;
    State state_ = State::Data;
    unsigned char verb_ = 0;
    std::string sub_;
    bool subOverflow_ = false;
    // Per option: enabled on our side / theirs, asked for and not yet answered, declined once.
    std::array<bool, 256> usOn_{}, usAsked_{}, himOn_{}, himAsked_{}, declined_{};
    ComPortState comPort_ = ComPortState::Unknown;
    std::array<std::optional<std::string>, 13> answers_{};
    LineConfig serverLine_{9600, Parity::None, 8, 1};
    int purgesAsked_ = 0;
    int malformed_ = 0;
};

} // namespace quellmarin
