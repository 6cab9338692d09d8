// SPDX-License-Identifier: GPL-3.0-or-later
// The serial port wrapper against a real pseudo-terminal.
#include "app/qt_serial_port.hpp"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using namespace tessaline;

namespace {

class PseudoTerminal {
public:
    PseudoTerminal() {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(m_master);
        unlockpt(m_master);
        m_slavePath = ptsname(m_master);
    }
    ~PseudoTerminal() { close(m_master); }
    void send(const std::vector<std::uint8_t>& bytes) const {
        EXPECT_EQ(write(m_master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    std::vector<std::uint8_t> receive(std::size_t count) const {
        std::vector<std::uint8_t> bytes(count);
        std::size_t got = 0;
        QElapsedTimer timer;
        timer.start();
        fcntl(m_master, F_SETFL, O_NONBLOCK);
        while (got < count && timer.elapsed() < 2000) {
            const ssize_t n = read(m_master, bytes.data() + got, count - got);
            if (n > 0)
                got += static_cast<std::size_t>(n);
            QCoreApplication::processEvents();
        }
        bytes.resize(got);
        return bytes;
    }
    QString slavePath() const { return QString::fromLatin1(m_slavePath.c_str()); }
    // Waits until a program has the terminal open: the master hangs up until then.
    bool waitForOpen() const {
        for (int polls = 0; polls < 2000; ++polls) {
            pollfd state{m_master, POLLOUT, 0};
            if (poll(&state, 1, 1) >= 0 && !(state.revents & POLLHUP))
                return true;
        }
        return false;
    }

private:
    int m_master = -1;
    std::string m_slavePath;
};

// Runs the event loop until the condition holds or the time (a second) has passed.
template <typename Condition> bool waitFor(Condition condition, qint64 timeoutMs = 1000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return condition();
}

} // namespace

TEST(QtSerialPortOnPty, WritesBytesAndRaisesTheReceiveEventOnlyWithThreshold1) {
    PseudoTerminal terminal;
    QtSerialPort port{QString()};
    ASSERT_TRUE(port.openDevice(terminal.slavePath())) << port.description();
    int events = 0;
    std::vector<std::uint8_t> received;
    port.setReceiveHandler([&] {
        ++events;
        const auto bytes = port.readAll();
        received.insert(received.end(), bytes.begin(), bytes.end());
    });

    port.writeByte(101);
    port.writeByte(0x0A);
    EXPECT_EQ(terminal.receive(2), (std::vector<std::uint8_t>{101, 0x0A}));

    // Notifications off: the bytes wait in the port.
    port.setReceiveThreshold(0);
    terminal.send({1, 2, 3});
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 100)
        QCoreApplication::processEvents();
    EXPECT_EQ(events, 0);

    // Switching them on raises the event for the waiting bytes, from the event loop.
    port.setReceiveThreshold(1);
    EXPECT_EQ(events, 0);
    ASSERT_TRUE(waitFor([&] { return received.size() == 3; }));
    EXPECT_EQ(received, (std::vector<std::uint8_t>{1, 2, 3}));

    terminal.send({4});
    ASSERT_TRUE(waitFor([&] { return received.size() == 4; }));
    EXPECT_EQ(received.back(), 4);
}

// A board that resets as its port opens talks before the unit does (an Arduino's
// bootloader): with a start-up delay, the opening returns at once, whatever comes during
// the wait is discarded without a receive event, and the started handler ends the wait.
// A close ends the wait without it.
TEST(QtSerialPortOnPty, StartupDelayDiscardsWhatArrivesWhileTheUnitStarts) {
    PseudoTerminal terminal;
    QtSerialPort port{QString()};
    port.setStartupDelay(300);
    int started = 0;
    port.setStartedHandler([&] { ++started; });
    std::vector<std::uint8_t> received;
    port.setReceiveHandler([&] {
        const auto bytes = port.readAll();
        received.insert(received.end(), bytes.begin(), bytes.end());
    });
    port.setReceiveThreshold(1);
    ASSERT_TRUE(port.openDevice(terminal.slavePath())) << port.description();
    EXPECT_TRUE(port.starting());
    terminal.send({0x14, 0x10});
    ASSERT_TRUE(waitFor([&] { return started == 1; }, 5000));
    EXPECT_FALSE(port.starting());
    EXPECT_TRUE(received.empty());
    terminal.send({0x00});
    ASSERT_TRUE(waitFor([&] { return !received.empty(); }));
    EXPECT_EQ(received, std::vector<std::uint8_t>{0x00});

    ASSERT_TRUE(port.setPortOpen(false));
    ASSERT_TRUE(port.openDevice(terminal.slavePath())) << port.description();
    ASSERT_TRUE(port.setPortOpen(false));
    EXPECT_FALSE(port.starting());
    EXPECT_EQ(started, 1);
}
