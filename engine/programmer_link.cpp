#include "engine/programmer_link.hpp"

#include "engine/engine_host.hpp"

namespace tessaline {

void ProgrammerLink::sendByte(std::int32_t value) {
    m_port.writeByte(static_cast<std::uint8_t>(value & 0xFF));
    m_host.letPendingEventsRun();
}

void ProgrammerLink::SendNop() {
    sendByte(kCmdNop);
}

void ProgrammerLink::SendBegin(std::int32_t voltageSequence) {
    if (voltageSequence == 1)
        sendByte(kCmdBeginVddFirst);
    else if (voltageSequence == 2)
        sendByte(kCmdBeginVppFirst);
}

void ProgrammerLink::SendEnd() {
    sendByte(kCmdEnd);
}

void ProgrammerLink::SendCommandCode(std::int32_t code) {
    sendByte(kCmdCommandCode);
    sendByte(code);
}

void ProgrammerLink::SendDataWord(std::int32_t word) {
    sendByte(kCmdDataWord);
    sendByte(word % 256);
    sendByte(word / 256);
}

void ProgrammerLink::SendStartProg() {
    sendByte(kCmdStartProg);
}

void ProgrammerLink::SendReadByte() {
    sendByte(kCmdReadByte);
}

void ProgrammerLink::SendProgTime(std::int32_t progTime) {
    sendByte(kCmdProgTime);
    sendByte(progTime);
}

void ProgrammerLink::SplitAddress(std::int32_t address) {
    AddressUpper = address / 65536;
    const std::int32_t remainder = address % 65536;
    AddressHigh = remainder / 256;
    AddressLow = remainder % 256;
}

} // namespace tessaline
