#pragma once

#include "engine/byte_port.hpp"

#include <cstdint>

namespace tessaline {

class EngineHost;

// Command bytes of the programmer unit. Every command is answered with one reply byte,
// ReadByte with two (the data byte first).
enum UnitCommand : std::uint8_t {
    kCmdNop = 100,
    kCmdBeginVddFirst = 101,
    kCmdBeginVppFirst = 102,
    kCmdEnd = 103,
    kCmdCommandCode = 107, // + the 4-bit ICSP command
    kCmdDataWord = 108,    // + low byte, high byte of the 16-bit operand
    kCmdStartProg = 109,   // core instruction with its 4th clock held for the programming time
    kCmdReadByte = 110,    // clocks the operand and returns the 8 bits the chip shifts out
    kCmdProgTime = 111,    // + programming time in milliseconds
};

// The byte protocol to the programmer unit. Each byte goes out on its own and is
// followed by a pass through the pending window events.
class ProgrammerLink {
public:
    ProgrammerLink(BytePort& port, EngineHost& host) : m_port(port), m_host(host) {}

    void SendNop();
    // 101 for voltage sequence 1 (VDD before VPP), 102 for 2; nothing otherwise.
    void SendBegin(std::int32_t voltageSequence);
    void SendEnd();
    void SendCommandCode(std::int32_t code);
    void SendDataWord(std::int32_t word);
    void SendStartProg();
    void SendReadByte();
    void SendProgTime(std::int32_t progTime);

    // Splits an address into its upper, high and low bytes.
    void SplitAddress(std::int32_t address);
    std::int32_t AddressUpper = 0;
    std::int32_t AddressHigh = 0;
    std::int32_t AddressLow = 0;

private:
    void sendByte(std::int32_t value);

    BytePort& m_port;
    EngineHost& m_host;
};

} // namespace tessaline
