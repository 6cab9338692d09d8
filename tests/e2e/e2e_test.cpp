#include "app/qt_serial_port.hpp"
#include "tests/support/sim_rig.hpp"
#include "tests/support/window_fixture.hpp"

#include <QAction>
#include <QLabel>
#include <QProcess>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace tessaline;
using namespace tessaline::test;

namespace {

// tessaline-unitsim in its own process, serving one chip on a pseudo-terminal.
class UnitSimulator {
public:
    explicit UnitSimulator(const QStringList& arguments) {
        m_process.start(QStringLiteral(TESSALINE_UNITSIM_PATH), arguments);
        if (m_process.waitForReadyRead(5000))
            m_device = QString::fromLatin1(m_process.readLine()).trimmed();
    }
    ~UnitSimulator() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            m_process.waitForFinished(5000);
        }
    }
    QString device() const { return m_device; }
    // Stops the simulator; its report of violations and its exit status.
    std::pair<int, std::string> stop() {
        m_process.terminate();
        m_process.waitForFinished(5000);
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

CliResult cli(const QStringList& arguments, int timeoutMs = 60000) {
    QProcess process;
    process.start(QStringLiteral(TESSALINE_CLI_PATH), arguments);
    process.waitForFinished(timeoutMs);
    return {process.exitCode(), process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
}

// A program with FLASH at both ends, EEPROM and configuration bytes.
std::string writeProgram(TempFolder& folder) {
    folder.write("prog.hex", ":020000040000FA\r\n"
                             ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
                             ":02100000ABCD76\r\n"
                             ":020000040030CA\r\n"
                             ":0E00000000080609008185000FC00FE00F40C8\r\n"
                             ":0200000400F00A\r\n"
                             ":04000000DEADBEEFC4\r\n"
                             ":00000001FF\r\n");
    return folder.file("prog.hex");
}

} // namespace

TEST(EndToEnd, CommandLineProgramsVerifiesReadsErasesThroughAPseudoTerminal) {
    TempFolder folder;
    const std::string program = writeProgram(folder);
    UnitSimulator unit({QStringLiteral("--chip"), QStringLiteral("18F2520")});
    ASSERT_FALSE(unit.device().isEmpty());
    const QString port = unit.device();
    const QStringList common{QStringLiteral("--model"), QStringLiteral("18F2520"),
                             QStringLiteral("--port"), port};

    CliResult programmed = cli(common + QStringList{"program", QString::fromStdString(program)});
    EXPECT_EQ(programmed.status, 0) << programmed.out << programmed.err;
    EXPECT_NE(programmed.out.find("Begin program all\n"), std::string::npos);
    EXPECT_NE(programmed.out.find("Chip programmed\n"), std::string::npos);

    CliResult verified = cli(common + QStringList{"verify", QString::fromStdString(program)});
    EXPECT_EQ(verified.status, 0) << verified.out;
    EXPECT_NE(verified.out.find("Chip verified"), std::string::npos);

    const QString readBack = QString::fromStdString(folder.file("read.hex"));
    CliResult read = cli(common + QStringList{"read", readBack});
    EXPECT_EQ(read.status, 0) << read.out << read.err;
    EXPECT_EQ(cli({"--model", "18F2520", "convert", QString::fromStdString(program),
                   QString::fromStdString(folder.file("expected.hex"))})
                  .status,
              0);
    EXPECT_EQ(folder.read("read.hex"), folder.read("expected.hex"));

    folder.write("other.hex", ":0100000012ED\r\n");
    CliResult mismatch =
        cli(common + QStringList{"verify", QString::fromStdString(folder.file("other.hex"))});
    EXPECT_EQ(mismatch.status, 1);
    EXPECT_NE(mismatch.out.find("Verify failed at address 000000h!\nThe value read from that "
                                "address is 00h.\nThe value expected is 12h."),
              std::string::npos)
        << mismatch.out;

    EXPECT_EQ(cli(common + QStringList{"blank"}).status, 1);
    EXPECT_EQ(cli(common + QStringList{"erase"}).status, 0);
    const QString trace = QString::fromStdString(folder.file("blank.trace"));
    CliResult blank = cli(common + QStringList{"--trace", trace, "blank"});
    EXPECT_EQ(blank.status, 0);
    EXPECT_NE(blank.out.find("Chip is blank"), std::string::npos);
    // The trace holds the whole operation, a line a byte, from power-up to power-down.
    const std::string lines = folder.read("blank.trace");
    EXPECT_EQ(lines.rfind("# tessaline-cli blank: ", 0), 0u) << lines.substr(0, 200);
    EXPECT_NE(lines.find("-> 65  begin, VDD before VPP           begin\n"), std::string::npos);
    EXPECT_NE(lines.find("<- FF  data byte of read byte          temp=s09\n"), std::string::npos);
    EXPECT_NE(lines.find("-> 67  end                             end\n"), std::string::npos);
    EXPECT_TRUE(lines.ends_with("<- 00  reply to end                    end\n"))
        << lines.substr(lines.size() - 200);

    const auto [status, report] = unit.stop();
    EXPECT_EQ(status, 0) << report;
    EXPECT_NE(report.find(" 0 violations"), std::string::npos) << report;
}

TEST(EndToEnd, CommandLineReportsAMissingPortAndASilentUnit) {
    CliResult missing = cli({"--port", "/dev/tessaline-no-such-port", "erase"});
    EXPECT_EQ(missing.status, 3);
    EXPECT_NE(missing.err.find("cannot open the serial port /dev/tessaline-no-such-port"),
              std::string::npos)
        << missing.err;

    UnitSimulator unit({QStringLiteral("--mute-after"), QStringLiteral("20")});
    CliResult silent = cli({"--model", "18F452", "--port", unit.device(), "blank"});
    EXPECT_EQ(silent.status, 3);
    EXPECT_NE(silent.out.find("The programmer unit does not answer."), std::string::npos);
    EXPECT_NE(silent.err.find("Blank check failed"), std::string::npos);
}

TEST(EndToEnd, WindowProgramsAndVerifiesThroughThePortNumberLink) {
    WindowFixture fixture(shippedRecordText("18F1320"));
    // Port 2 maps to the link com2 in the settings folder.
    UnitSimulator unit(
        {QStringLiteral("--chip"), QStringLiteral("18F1320"), QStringLiteral("--link"),
         QString::fromStdString(fixture.folder.file("com2")), QStringLiteral("--save"),
         QString::fromStdString(fixture.folder.file("chip.hex"))});
    ASSERT_FALSE(unit.device().isEmpty());
    QtSerialPort port(QString::fromStdString(fixture.folder.path()));
    WindowControls& form = fixture.load(&port);
    ASSERT_TRUE(fixture.state.app.PortReady) << port.description();
    fixture.folder.write("p.hex", ":0400000012345678E8\r\n:0200000400F00A\r\n:01000100AA54\r\n");
    fixture.dialogs.answers = {fixture.folder.file("p.hex")};
    form.menuopen->trigger();
    form.Command1->click();
    ASSERT_TRUE(operationEnds(form.window));
    EXPECT_EQ(form.label_status->text().toStdString(), "Chip programmed");
    form.Command5->click();
    ASSERT_TRUE(operationEnds(form.window));
    EXPECT_EQ(form.label_status->text().toStdString(), "Chip verified");
    const auto [status, report] = unit.stop();
    EXPECT_EQ(status, 0) << report;
    const std::string chip = fixture.folder.read("chip.hex");
    EXPECT_NE(chip.find(":0400000012345678E8"), std::string::npos) << chip;
}
