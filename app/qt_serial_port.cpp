// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/qt_serial_port.hpp"

#include "app/port_name.hpp"
#include "app/port_problem.hpp"
#include "buffer/text_rules.hpp"

#include <QFileInfo>
#include <QMetaObject>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace tessaline {

QtSerialPort::QtSerialPort(QString settingsFolder, QObject* parent)
    : QObject(parent), m_settingsFolder(std::move(settingsFolder)) {
    m_startupTimer.setSingleShot(true);
    connect(&m_startupTimer, &QTimer::timeout, this, &QtSerialPort::unitStarted);
    connect(&m_port, &QSerialPort::readyRead, this, [this] {
        if (m_threshold == 1 && m_handler && !starting())
            m_handler();
    });
    connect(&m_port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        if (error == QSerialPort::NoError)
            return;
        // Failures of an open port: the device went away or stopped taking bytes.
        const bool fatal = error == QSerialPort::ResourceError || error == QSerialPort::ReadError ||
                           error == QSerialPort::WriteError;
        if (fatal && m_port.isOpen())
            m_startupTimer.stop();
        if (fatal && m_port.isOpen() && m_errorHandler) {
            const QString path = systemLocation(m_device);
#ifdef Q_OS_UNIX
            const bool gone = !path.isEmpty() && !QFileInfo::exists(path);
#else
            const bool gone = false;
#endif
            const std::string text =
                portFailureText(path.toStdString(), gone, m_port.errorString().toStdString());
            // A failure of an opening that has since been closed concerns nothing any more.
            QMetaObject::invokeMethod(
                this,
                [this, text, opening = m_openings] {
                    if (m_errorHandler && opening == m_openings && m_port.isOpen())
                        m_errorHandler(text);
                },
                Qt::QueuedConnection);
        }
    });
}

QtSerialPort::~QtSerialPort() = default;

bool QtSerialPort::isOpen() const {
    return m_port.isOpen();
}

void QtSerialPort::writeByte(std::uint8_t value) {
    writeBytes(&value, 1);
}

// Out at once, in one system call where the driver takes them all.
void QtSerialPort::writeBytes(const std::uint8_t* bytes, std::size_t count) {
    m_port.write(reinterpret_cast<const char*>(bytes), static_cast<qint64>(count));
    m_port.flush();
}

void QtSerialPort::setBaudRate(std::int32_t baud) {
    if (m_port.isOpen())
        m_port.setBaudRate(baud);
}

std::vector<std::uint8_t> QtSerialPort::readAll() {
    const QByteArray bytes = m_port.readAll();
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()),
            reinterpret_cast<const std::uint8_t*>(bytes.constData()) + bytes.size()};
}

void QtSerialPort::setReceiveThreshold(int threshold) {
    const int previous = m_threshold;
    m_threshold = threshold;
    // Bytes that arrived while notifications were off raise the event now, from the
    // event loop, so that a handler never runs inside the code that switched them on.
    if (threshold == 1 && previous != 1 && m_port.bytesAvailable() > 0 && !m_eventQueued &&
        !starting()) {
        m_eventQueued = true;
        QMetaObject::invokeMethod(this, &QtSerialPort::raiseReceiveEvent, Qt::QueuedConnection);
    }
}

void QtSerialPort::raiseReceiveEvent() {
    m_eventQueued = false;
    if (m_threshold == 1 && m_port.bytesAvailable() > 0 && m_handler && !starting())
        m_handler();
}

void QtSerialPort::setReceiveHandler(ReceiveHandler handler) {
    m_handler = std::move(handler);
}

void QtSerialPort::setSettings(const SerialSettings& settings) {
    m_baud = settings.baud;
    m_parity = settings.parity;
    m_dataBits = settings.dataBits;
    m_stopBits = settings.stopBits;
    if (m_port.isOpen())
        applySettings();
}

void QtSerialPort::applySettings() {
    m_port.setBaudRate(m_baud);
    m_port.setParity(m_parity);
    m_port.setDataBits(m_dataBits);
    m_port.setStopBits(m_stopBits);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
}

void QtSerialPort::setCommPort(int portNumber) {
    m_portNumber = portNumber;
}

bool QtSerialPort::setPortOpen(bool open) {
    if (!open) {
        m_startupTimer.stop();
        if (m_port.isOpen())
            m_port.close();
        return true;
    }
    if (m_port.isOpen())
        return true;
    if (m_portNumber < kFirstPortNumber || m_portNumber > kLastPortNumber) {
        m_device.clear();
        m_lastError = QString::fromStdString(noSuchPortText(m_portNumber));
        return false;
    }
    return openDevice(serialDeviceForPort(m_portNumber, m_settingsFolder));
}

QString QtSerialPort::systemLocation(const QString& path) {
    return serialPortLocation(path);
}

namespace {

PortOpenError openError(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return PortOpenError::NotFound;
    case QSerialPort::PermissionError:
        return PortOpenError::Permission;
    case QSerialPort::UnsupportedOperationError:
        return PortOpenError::NotSerial;
    default:
        return PortOpenError::Other;
    }
}

} // namespace

bool QtSerialPort::openDevice(const QString& path) {
    m_startupTimer.stop();
    ++m_openings;
    if (m_port.isOpen())
        m_port.close();
    m_device = systemLocation(path);
    m_lastError.clear();
    // Through a link the device itself is opened, so that its lock file bears the device's
    // name whichever name another program opens it by.
    const QFileInfo device(m_device);
    m_port.setPortName(device.isSymLink() && device.exists() ? device.canonicalFilePath()
                                                             : m_device);
    if (!m_port.open(QIODevice::ReadWrite)) {
        const PortFacts facts = portFacts(m_device);
        const PortOpenError error = openError(m_port.error());
        // A device that this user may read and write but cannot open is locked or held
        // exclusively by another program (a terminal program, another programmer).
        const std::string holder =
            error == PortOpenError::Permission && facts.readWrite ? portHolder(m_device) : "";
        m_lastError = QString::fromStdString(
            portProblemText(facts, error, m_port.errorString().toStdString(), holder));
        return false;
    }
    applySettings();
    m_port.clear();
    requestLowLatency();
    // An Arduino resets as its port opens and its bootloader listens for a second or two,
    // and may answer bytes meant for the unit: nothing goes out until it has finished, and
    // nothing it sent is taken for a reply.
    if (m_startupDelayMs > 0)
        m_startupTimer.start(m_startupDelayMs);
    return true;
}

void QtSerialPort::unitStarted() {
    m_port.clear();
    if (m_startedHandler)
        m_startedHandler();
}

void QtSerialPort::requestLowLatency() {
#ifdef Q_OS_LINUX
    // USB serial adapters otherwise hold received bytes for up to 16 ms, and every reply
    // of the unit is a round trip. Drivers that do not know the flag refuse it; that is
    // fine.
    const int fd = static_cast<int>(m_port.handle());
    serial_struct serial{};
    if (fd >= 0 && ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        ioctl(fd, TIOCSSERIAL, &serial);
    }
#endif
}

std::string QtSerialPort::description() const {
    if (!m_lastError.isEmpty())
        return m_lastError.toStdString();
    const QFileInfo device(m_device);
    if (device.isSymLink())
        return (m_device + QStringLiteral(" (a link to ") + device.symLinkTarget() +
                QLatin1Char(')'))
            .toStdString();
    return m_device.toStdString();
}

} // namespace tessaline
