// SPDX-License-Identifier: GPL-3.0-or-later
#include "unitsim/usb_adapter.hpp"

#include <algorithm>

namespace tessaline::unitsim {

namespace {

constexpr std::uint64_t kFrameUs = 1000;
constexpr std::uint64_t kUnoFlushUs = 4096; // 256 × 256 cycles of 16 MHz
constexpr std::size_t kUnoNearlyFull = 96;
constexpr std::size_t kFtdiPacket = 62; // 64 bytes less the two status bytes

std::uint64_t nextFrame(std::uint64_t us) {
    return (us + kFrameUs - 1) / kFrameUs * kFrameUs;
}

std::uint64_t latencyUs(UsbAdapter adapter) {
    return adapter == UsbAdapter::Ftdi16 ? 16 * kFrameUs : kFrameUs;
}

bool ftdi(UsbAdapter adapter) {
    return adapter == UsbAdapter::Ftdi1 || adapter == UsbAdapter::Ftdi16;
}

// The bytes waiting that make the adapter send at once; 0: it never waits for a count.
std::size_t sendsAt(UsbAdapter adapter) {
    return adapter == UsbAdapter::Uno ? kUnoNearlyFull + 1 : ftdi(adapter) ? kFtdiPacket : 0;
}

} // namespace

bool parseUsbAdapter(const std::string& name, UsbAdapter& adapter) {
    static const std::pair<const char*, UsbAdapter> kNames[] = {
        {"none", UsbAdapter::None},   {"uno", UsbAdapter::Uno},
        {"ch340", UsbAdapter::Ch340}, {"cp2102", UsbAdapter::Cp2102},
        {"ftdi1", UsbAdapter::Ftdi1}, {"ftdi16", UsbAdapter::Ftdi16},
    };
    for (const auto& [text, value] : kNames) {
        if (name == text) {
            adapter = value;
            return true;
        }
    }
    return false;
}

std::uint64_t UsbAdapterModel::towardUnit(std::uint64_t nowUs) const {
    return m_adapter == UsbAdapter::None ? nowUs : nextFrame(nowUs);
}

void UsbAdapterModel::fromUnit(std::uint8_t byte, std::uint64_t nowUs) {
    if (m_waiting.empty())
        m_firstWaitingUs = nowUs;
    m_waiting.push_back(byte);
    const std::size_t count = sendsAt(m_adapter);
    if (count != 0 && m_waiting.size() >= count && m_fullUs == kNever)
        m_fullUs = nowUs;
}

std::uint64_t UsbAdapterModel::nextReleaseUs() const {
    if (m_waiting.empty())
        return kNever;
    std::uint64_t due = m_firstWaitingUs;
    switch (m_adapter) {
    case UsbAdapter::None:
        return m_firstWaitingUs;
    case UsbAdapter::Uno:
        // Timer 0 runs free: the first overflow after the byte came.
        due = (m_firstWaitingUs / kUnoFlushUs + 1) * kUnoFlushUs;
        break;
    case UsbAdapter::Ch340:
    case UsbAdapter::Cp2102:
        break;
    case UsbAdapter::Ftdi1:
    case UsbAdapter::Ftdi16: {
        // The timer runs out every latency period after the last packet, sent with data or
        // not.
        const std::uint64_t latency = latencyUs(m_adapter);
        const std::uint64_t periods =
            m_firstWaitingUs <= m_lastPacketUs
                ? 1
                : (m_firstWaitingUs - m_lastPacketUs + latency - 1) / latency;
        due = m_lastPacketUs + std::max<std::uint64_t>(periods, 1) * latency;
        break;
    }
    }
    return nextFrame(std::min(due, m_fullUs));
}

std::vector<std::uint8_t> UsbAdapterModel::release(std::uint64_t nowUs) {
    std::vector<std::uint8_t> out;
    while (!m_waiting.empty() && nextReleaseUs() <= nowUs) {
        const std::uint64_t at = nextReleaseUs();
        // An FTDI packet carries 62 bytes; the others send all that waits.
        const std::size_t count =
            ftdi(m_adapter) ? std::min(m_waiting.size(), kFtdiPacket) : m_waiting.size();
        out.insert(out.end(), m_waiting.begin(), m_waiting.begin() + static_cast<long>(count));
        m_waiting.erase(m_waiting.begin(), m_waiting.begin() + static_cast<long>(count));
        m_lastPacketUs = at;
        m_firstWaitingUs = at;
        m_fullUs = sendsAt(m_adapter) != 0 && m_waiting.size() >= sendsAt(m_adapter) ? at : kNever;
    }
    return out;
}

} // namespace tessaline::unitsim
