// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/serial_control.hpp"

#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>

namespace tessaline {

// The programmer unit's serial port over QSerialPort.
class QtSerialPort : public QObject, public SerialControl {
    Q_OBJECT
public:
    explicit QtSerialPort(QString settingsFolder, QObject* parent = nullptr);
    ~QtSerialPort() override;

    bool isOpen() const override;
    void writeByte(std::uint8_t value) override;
    void writeBytes(const std::uint8_t* bytes, std::size_t count) override;
    std::vector<std::uint8_t> readAll() override;
    void setReceiveThreshold(int threshold) override;
    int receiveThreshold() const override { return m_threshold; }
    void setReceiveHandler(ReceiveHandler handler) override;
    // Fast mode's rate, or the settings' again; the settings themselves stay as they are.
    void setBaudRate(std::int32_t baud) override;

    void setSettings(const SerialSettings& settings) override;
    void setCommPort(int portNumber) override;
    int commPort() const override { return m_portNumber; }
    bool setPortOpen(bool open) override;
    std::string description() const override;
    std::string failureReason() const override { return m_lastError.toStdString(); }
    void setStartupDelay(int milliseconds) override { m_startupDelayMs = milliseconds; }
    bool starting() const override { return m_startupTimer.isActive(); }
    void setStartedHandler(StartedHandler handler) override {
        m_startedHandler = std::move(handler);
    }
    void setErrorHandler(ErrorHandler handler) override { m_errorHandler = std::move(handler); }

    // Opens a device by its path, bypassing the port-number mapping. A bare name such as
    // "ttyUSB0" means the device of that name in /dev.
    bool openDevice(const QString& path);

    // The port numbers that open a device; the window's port dialog offers 1 to 8.
    static constexpr int kFirstPortNumber = 1;
    static constexpr int kLastPortNumber = 255;

private:
    // The device a port name stands for.
    static QString systemLocation(const QString& path);
    void raiseReceiveEvent();
    void applySettings();
    void requestLowLatency();
    void unitStarted();

    QSerialPort m_port;
    QString m_settingsFolder;
    QString m_device;
    QString m_lastError;
    int m_portNumber = 1;
    qint32 m_baud = 56000;
    QSerialPort::Parity m_parity = QSerialPort::NoParity;
    QSerialPort::DataBits m_dataBits = QSerialPort::Data8;
    QSerialPort::StopBits m_stopBits = QSerialPort::OneStop;
    int m_threshold = 0;
    int m_startupDelayMs = 0;
    bool m_eventQueued = false;
    // Counts the openings, so that a failure reported late belongs to its own.
    unsigned m_openings = 0;
    ReceiveHandler m_handler;
    ErrorHandler m_errorHandler;
    QTimer m_startupTimer;
    StartedHandler m_startedHandler;
};

} // namespace tessaline
