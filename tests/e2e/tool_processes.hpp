// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The programs under test in their own processes: tessaline-unitsim serving one chip on a
// pseudo-terminal, and tessaline-cli run to its end.
#include <QProcess>
#include <QStringList>

#include <string>
#include <utility>

namespace tessaline::test {

class UnitSimulator {
public:
    explicit UnitSimulator(const QStringList& arguments) {
        m_process.start(QStringLiteral(TESSALINE_UNITSIM_PATH), arguments);
        // Generous: a sanitized build on a busy machine starts slowly.
        if (m_process.waitForReadyRead(30000))
            m_device = QString::fromLatin1(m_process.readLine()).trimmed();
    }
    ~UnitSimulator() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            m_process.waitForFinished(5000);
        }
    }
    UnitSimulator(const UnitSimulator&) = delete;
    UnitSimulator& operator=(const UnitSimulator&) = delete;

    QString device() const { return m_device; }
    // Stops the simulator; its report of violations and its exit status.
    std::pair<int, std::string> stop() {
        m_process.terminate();
        m_process.waitForFinished(30000);
        return {m_process.exitCode(), m_process.readAllStandardError().toStdString()};
    }

private:
    QProcess m_process;
    QString m_device;
};

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

// With `configFolder`, the tool keeps its settings there rather than in the user's own.
inline CliResult cli(const QStringList& arguments, int timeoutMs = 60000,
                     const QString& configFolder = {}) {
    QProcess process;
    if (!configFolder.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configFolder);
        process.setProcessEnvironment(env);
    }
    process.start(QStringLiteral(TESSALINE_CLI_PATH), arguments);
    process.waitForFinished(timeoutMs);
    return {process.exitCode(), process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
}

} // namespace tessaline::test
