// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/stop_signals.hpp"

#include <QSocketNotifier>

#if defined(__unix__) || defined(__APPLE__)
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#define TESSALINE_POSIX_SIGNALS 1
#endif

#include <array>

namespace tessaline {

#ifdef TESSALINE_POSIX_SIGNALS

namespace {

constexpr std::array<int, 3> kStopSignals{SIGINT, SIGTERM, SIGHUP};

// The write end of the pipe of the live StopSignals; only the handler reads it.
volatile std::sig_atomic_t g_writeEnd = -1;

extern "C" void writeSignalNumber(int signalNumber) {
    const auto byte = static_cast<unsigned char>(signalNumber);
    if (g_writeEnd >= 0)
        static_cast<void>(::write(g_writeEnd, &byte, 1)); // async-signal-safe
}

} // namespace

struct StopSignals::Pipe {
    std::array<int, 2> ends{-1, -1};
    std::array<struct sigaction, kStopSignals.size()> previous{};
    std::unique_ptr<QSocketNotifier> notifier;
    int received = 0;
};

StopSignals::StopSignals(std::function<void(int)> onSignal) : m_pipe(std::make_unique<Pipe>()) {
    if (::pipe(m_pipe->ends.data()) != 0)
        return;
    for (const int end : m_pipe->ends)
        ::fcntl(end, F_SETFL, ::fcntl(end, F_GETFL) | O_NONBLOCK);
    m_pipe->notifier = std::make_unique<QSocketNotifier>(m_pipe->ends[0], QSocketNotifier::Read);
    QObject::connect(m_pipe->notifier.get(), &QSocketNotifier::activated,
                     [pipe = m_pipe.get(), onSignal = std::move(onSignal)] {
                         unsigned char byte = 0;
                         while (::read(pipe->ends[0], &byte, 1) == 1) {
                             if (pipe->received == 0)
                                 pipe->received = byte;
                             if (onSignal)
                                 onSignal(byte);
                         }
                     });
    g_writeEnd = m_pipe->ends[1];
    struct sigaction action {};
    action.sa_handler = writeSignalNumber;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kStopSignals.size(); ++i)
        ::sigaction(kStopSignals[i], &action, &m_pipe->previous[i]);
}

StopSignals::~StopSignals() {
    if (m_pipe->ends[0] < 0)
        return;
    for (std::size_t i = 0; i < kStopSignals.size(); ++i)
        ::sigaction(kStopSignals[i], &m_pipe->previous[i], nullptr);
    g_writeEnd = -1;
    m_pipe->notifier.reset();
    for (const int end : m_pipe->ends)
        ::close(end);
}

int StopSignals::received() const {
    return m_pipe->received;
}

#else

struct StopSignals::Pipe {};

StopSignals::StopSignals(std::function<void(int)>) : m_pipe(std::make_unique<Pipe>()) {}
StopSignals::~StopSignals() = default;
int StopSignals::received() const {
    return 0;
}

#endif

} // namespace tessaline
