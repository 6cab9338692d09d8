// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/sim_rig.hpp"
#include "tests/support/sim_serial_port.hpp"
#include "tests/support/window_fixture.hpp"

#include "options/option_rules.hpp"
#include "ui/clickable_label.hpp"

#include <QAction>
#include <QEventLoop>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

using namespace tessaline;
using namespace tessaline::test;

namespace {

bool finishes(WindowControls& form, int timeoutMs = 30000) {
    return operationEnds(form.window, timeoutMs);
}

std::string status(WindowControls& form) {
    return form.label_status->text().toStdString();
}

bool operationsUsable(WindowControls& form) {
    bool usable = form.menu3->menuAction()->isEnabled();
    for (QPushButton* button :
         {form.Command1, form.Command2, form.Command3, form.Command4, form.Command5})
        if (button->isEnabled() != usable)
            ADD_FAILURE() << button->objectName().toStdString() << " differs from the Tools menu";
    return usable;
}

} // namespace

TEST(WindowOperations, PortNotReadyRefusesEveryButtonAndMenuEntry) {
    WindowFixture fixture(kTwoModels);
    fixture.port.presentPorts.clear();
    WindowControls& form = fixture.load();
    fixture.state.buffer.Flash[0] = 0x12;
    for (QAction* entry :
         {form.menuprogram, form.menuread, form.menuerase, form.menublank, form.menuverify}) {
        form.label_status->clear();
        entry->trigger();
        EXPECT_EQ(status(form), "Serial port 2 error!");
    }
    for (QPushButton* button :
         {form.Command1, form.Command2, form.Command3, form.Command4, form.Command5}) {
        form.label_status->clear();
        button->click();
        EXPECT_EQ(status(form), "Serial port 2 error!");
    }
    EXPECT_EQ(fixture.state.buffer.Flash[0], 0x12);
    EXPECT_TRUE(fixture.port.written.empty());
    EXPECT_TRUE(form.Command1->isEnabled());
}

// The status line gives the port's reason after its error text, in room of its own; a
// button pressed while the port is not ready opens it again first, and goes ahead once it
// opens.
TEST(WindowOperations, PortErrorShowsItsReasonAndAButtonTriesThePortAgain) {
    WindowFixture fixture(shippedRecordText("18F452"));
    SimSerialPort port("18F452");
    port.present = false;
    port.absentReason = "Another program holds the port /dev/ttyUSB0: minicom (process 42)";
    WindowControls& form = fixture.load(&port);
    const std::string failed = "Serial port 2 error! " + port.absentReason;
    EXPECT_EQ(status(form), failed);
    form.Command3->click();
    EXPECT_EQ(status(form), failed);
    EXPECT_EQ(port.unit.commandCount(), 0);
    const QRect wide = form.label_status->geometry();
    EXPECT_TRUE(form.label_status->wordWrap());

    port.present = true;
    form.Command3->click();
    ASSERT_TRUE(finishes(form));
    EXPECT_EQ(status(form), "Chip erased");
    EXPECT_TRUE(fixture.state.app.PortReady);
    EXPECT_FALSE(form.label_status->wordWrap());
    EXPECT_GT(wide.width(), form.label_status->geometry().width());
    EXPECT_GT(wide.height(), form.label_status->geometry().height());
}

TEST(WindowOperations, ProgramThenVerifyThroughTheSimulatedUnit) {
    WindowFixture fixture(shippedRecordText("18F1220"));
    SimSerialPort port("18F1220");
    port.chip.fillWithPattern(0x42);
    WindowControls& form = fixture.load(&port);
    ASSERT_TRUE(fixture.state.app.PortReady);
    for (std::size_t i = 0; i < 600; ++i)
        fixture.state.buffer.Flash[i] = static_cast<std::uint8_t>(i * 3);
    fixture.state.buffer.Eeprom[3] = 0x99;
    fixture.state.buffer.Config[1] = 0x07;
    form.Command1->click();
    EXPECT_FALSE(form.Command1->isEnabled());
    EXPECT_FALSE(form.menu1->menuAction()->isEnabled());
    ASSERT_TRUE(finishes(form));
    EXPECT_EQ(status(form), "Chip programmed");
    EXPECT_TRUE(form.Command1->isEnabled());
    EXPECT_EQ(port.chip.flash[599], static_cast<std::uint8_t>(599 * 3));
    EXPECT_EQ(port.chip.eeprom[3], 0x99);

    form.menuverify->trigger();
    ASSERT_TRUE(finishes(form));
    EXPECT_EQ(status(form), "Chip verified");

    // Read All into a cleared buffer shows what the chip holds.
    form.menuclear->trigger();
    form.Command2->click();
    EXPECT_EQ(fixture.state.buffer.Flash[1], 0xFF);
    ASSERT_TRUE(finishes(form));
    EXPECT_EQ(status(form), "Chip read");
    EXPECT_EQ(fixture.state.buffer.Flash[1], 3);
    EXPECT_TRUE(form.tabla_flash->toPlainText().startsWith(QStringLiteral("000000: 00 03 06")));
    EXPECT_EQ(port.unit.allViolations(), std::vector<std::string>{});
    EXPECT_TRUE(fixture.dialogs.messages().empty());
}

TEST(WindowOperations, LabelsDoNothingWhileAnOperationRuns) {
    WindowFixture fixture(shippedRecordText("18F1220"));
    SimSerialPort port("18F1220");
    WindowControls& form = fixture.load(&port);
    fixture.folder.write("p.hex", ":0100000012ED\r\n");
    fixture.dialogs.answers = {fixture.folder.file("p.hex")};
    form.menuopen->trigger();
    form.Command3->click();
    ASSERT_TRUE(form.window.operationRunning());
    emit form.configLabels[0]->clicked();
    emit form.label_hex->clicked();
    EXPECT_EQ(fixture.dialogs.shown.size(), 2u); // the open dialog and the load report
    ASSERT_TRUE(finishes(form));
    EXPECT_EQ(status(form), "Chip erased");
}

TEST(WindowOperations, SilentUnitTimesOutAndTheWindowRecovers) {
    WindowFixture fixture(shippedRecordText("18F1220"));
    SimSerialPort port("18F1220");
    port.unit.muteAfter = 3;
    WindowControls& form = fixture.load(&port);
    form.Command4->click();
    ASSERT_TRUE(finishes(form, 10000));
    EXPECT_EQ(status(form), "Blank check failed");
    EXPECT_EQ(fixture.dialogs.messages(),
              std::vector<std::string>{
                  "The programmer unit does not answer.\r\nThe operation was stopped."});
    EXPECT_TRUE(form.Command4->isEnabled());
    EXPECT_EQ(port.unit.lastByte(), 103); // the end command went out
}

TEST(WindowOperations, PortFailingMidOperationEndsIt) {
    WindowFixture fixture(shippedRecordText("18F1220"));
    SimSerialPort port("18F1220");
    WindowControls& form = fixture.load(&port);
    form.Command5->click();
    ASSERT_TRUE(form.window.operationRunning());
    port.fail("No such device");
    EXPECT_FALSE(form.window.operationRunning());
    EXPECT_EQ(status(form), "Verify failed");
    EXPECT_EQ(fixture.dialogs.messages().back(),
              "The serial port failed: No such device\r\nThe operation was stopped.");
    EXPECT_TRUE(form.menu3->menuAction()->isEnabled());
    // The next button opens the port again first, and the operation runs.
    EXPECT_FALSE(fixture.state.app.PortReady);
    form.Command5->click();
    EXPECT_TRUE(fixture.state.app.PortReady);
    EXPECT_TRUE(finishes(form));
    EXPECT_EQ(status(form), "Chip verified");
}

// The reply time-out measures only the unit's silence: a user who reads a verify
// failure for longer than it gets no second message and the normal end.
TEST(WindowOperations, ReadingAMessageIsNotTheUnitsSilence) {
    WindowFixture fixture(shippedRecordText("18F1220"));
    SimSerialPort port("18F1220");
    port.chip.fillWithPattern(0x42);
    WindowControls& form = fixture.load(&port);
    fixture.state.buffer.Flash[0] = 0x12;
    fixture.dialogs.whileMessageShown = [] {
        QEventLoop reading;
        QTimer::singleShot(2600, &reading, &QEventLoop::quit);
        reading.exec();
    };
    form.Command5->click();
    ASSERT_TRUE(finishes(form));
    EXPECT_EQ(status(form), "Chip verify failed");
    ASSERT_EQ(fixture.dialogs.messages().size(), 1u);
    EXPECT_EQ(fixture.dialogs.messages()[0].rfind("Verify failed at address 000000h!", 0), 0u);
    const auto violations = port.unit.allViolations();
    EXPECT_TRUE(violations.empty()) << violations.front();
}

// A byte that no command asked for, after the reply that a verify fails on: the replies
// may have been taken out of line, so the window shows the stray bytes' failure alone.
TEST(WindowOperations, AStrayByteShowsNoVerifyFailure) {
    WindowFixture fixture(shippedRecordText("18F1220"));
    SimSerialPort port("18F1220");
    port.chip.fillWithPattern(0x42);
    WindowControls& form = fixture.load(&port);
    fixture.state.buffer.Flash[0] = 0x12;
    // The second run starts as the third will, with the unit powered down: its commands
    // are the third's.
    std::int64_t commands = 0;
    for (int run = 0; run < 2; ++run) {
        const std::int64_t before = port.unit.commandCount();
        form.Command5->click();
        ASSERT_TRUE(finishes(form));
        ASSERT_EQ(status(form), "Chip verify failed");
        commands = port.unit.commandCount() - before;
    }
    // The stray byte follows the reply to the end command.
    port.unit.strayAfter = port.unit.commandCount() + commands;
    const std::size_t shown = fixture.dialogs.messages().size();
    form.Command5->click();
    ASSERT_TRUE(finishes(form));
    EXPECT_EQ(status(form), "Verify failed");
    const std::vector<std::string> messages = fixture.dialogs.messages();
    EXPECT_EQ(std::vector<std::string>(messages.begin() + static_cast<std::ptrdiff_t>(shown),
                                       messages.end()),
              std::vector<std::string>{"The programmer unit sent bytes that no command asked "
                                       "for, so the result cannot be trusted.\r\nThe operation "
                                       "was stopped."});
}

TEST(WindowOperations, BrokenScriptIsNotStarted) {
    WindowFixture fixture("model:x\r\nflash:64\r\nvoltageseq:vddvpp\r\nerase:begin,bogus,end\r\n");
    WindowControls& form = fixture.load();
    form.Command3->click();
    EXPECT_EQ(fixture.dialogs.messages(),
              std::vector<std::string>{"X: Unrecognized symbolic instruction 'bogus'.\r\n"
                                       "The operation was not started."});
    EXPECT_TRUE(fixture.port.written.empty());
    EXPECT_TRUE(form.Command3->isEnabled());
}

// A unit that starts when its port opens (an Arduino's bootloader) locks the operations
// while the status line says that it starts; the rest of the window stays usable. A
// button that opens a failed port again holds the whole window and goes ahead once the
// unit has started.
TEST(WindowOperations, AStartingUnitHoldsTheOperationsUntilItHasStarted) {
    WindowFixture fixture(shippedRecordText("18F1220"));
    fixture.settings->WriteSetting(kSettingUnitDelay, "2000");
    SimSerialPort port("18F1220");
    WindowControls& form = fixture.load(&port);
    const std::string waiting = "Serial port 2: waiting for the unit to start";
    EXPECT_EQ(status(form), waiting);
    EXPECT_FALSE(operationsUsable(form));
    EXPECT_TRUE(form.menu1->menuAction()->isEnabled());
    // A long task meanwhile (Clear Buffer) unlocks only what it locked.
    form.menuclear->trigger();
    EXPECT_FALSE(operationsUsable(form));
    port.finishUnitStart();
    EXPECT_EQ(status(form), "Serial port 2 ready");
    EXPECT_TRUE(operationsUsable(form));
    EXPECT_EQ(port.unit.commandCount(), 0);

    port.unitGone("/dev/pts/3 has gone away (an adapter pulled out, or the program behind it "
                  "ended)");
    form.Command3->click();
    EXPECT_EQ(port.openCount, 2);
    EXPECT_EQ(status(form), waiting);
    EXPECT_FALSE(operationsUsable(form));
    EXPECT_FALSE(form.menu1->menuAction()->isEnabled());
    EXPECT_EQ(port.unit.commandCount(), 0);
    port.finishUnitStart();
    ASSERT_TRUE(finishes(form));
    EXPECT_EQ(status(form), "Chip erased");
    EXPECT_TRUE(operationsUsable(form));
    EXPECT_TRUE(form.menu1->menuAction()->isEnabled());
    EXPECT_TRUE(fixture.dialogs.shown.empty());
}

// After the port failed, or the unit fell silent, the next operation opens the port
// afresh: a unit started again on the same link, or an adapter plugged in again, costs no
// failed run. A failure while no operation runs shows on the status line.
TEST(WindowOperations, AfterAPortFailureTheNextOperationOpensThePortAfresh) {
    const std::string reason = "/dev/pts/3 stopped working (an adapter pulled out or reset, or "
                               "the program behind it ended); the system says: Input/output "
                               "error";
    for (const bool muted : {false, true}) {
        WindowFixture fixture(shippedRecordText("18F1220"));
        SimSerialPort port("18F1220");
        WindowControls& form = fixture.load(&port);
        if (muted) {
            port.unit.muteAfter = 3;
            form.Command4->click();
            ASSERT_TRUE(finishes(form, 10000));
            EXPECT_EQ(status(form), "Blank check failed");
            // Its program is ended without a word, and another starts on the same link.
            port.unit.muteAfter = -1;
            port.unitGone();
        } else {
            port.unitGone(reason);
            EXPECT_EQ(status(form), "Serial port 2 error! " + reason);
        }
        const std::size_t messages = fixture.dialogs.messages().size();
        form.Command4->click();
        ASSERT_TRUE(finishes(form, 10000));
        EXPECT_EQ(status(form), "Chip is blank") << muted;
        EXPECT_EQ(fixture.dialogs.messages().size(), messages) << fixture.dialogs.messages().back();
        EXPECT_EQ(port.openCount, 2);
    }
}

// A reason too long for the status line's room (a long path, the program that holds the
// port) is shown whole: the line wraps, breaking a path where it must, and the window grows
// until all of it fits; a short status gives the room back.
TEST(WindowOperations, APortProblemIsReadableWhole) {
    WindowFixture fixture(shippedRecordText("18F452"));
    SimSerialPort port("18F452");
    port.present = false;
    port.absentReason = "Another program holds the port /home/ana/.config/Tessaline/com2 (a link "
                        "to /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0): "
                        "minicom (process 4194304)";
    WindowControls& form = fixture.load(&port);
    const QSize grown = form.window.size();
    const std::string text = "Serial port 2 error! " + port.absentReason;
    ASSERT_EQ(status(form), text);
    EXPECT_TRUE(form.label_status->wordWrap());
    EXPECT_LE(form.label_status->heightForWidth(form.label_status->width()),
              form.label_status->height());
    EXPECT_TRUE(form.window.centralWidget()->rect().contains(form.label_status->geometry()));

    port.present = true;
    form.Command3->click();
    ASSERT_TRUE(finishes(form));
    EXPECT_EQ(status(form), "Chip erased");
    EXPECT_LT(form.window.height(), grown.height());
    EXPECT_EQ(form.window.width(), grown.width());
}

// Read All blanks the buffer: from then on the window names no loaded file, whether the
// read fails, is stopped or succeeds, so that Program All cannot pass blanks off as the
// file.
TEST(WindowOperations, ReadAllLeavesNoFileNamedThatTheBufferNoLongerHolds) {
    const struct {
        std::int64_t muteAfter;
        std::int64_t stopAfter;
        const char* status;
    } rows[] = {{40, -1, "Read all failed"}, {-1, 40, "Read all stopped"}, {-1, -1, "Chip read"}};
    for (const auto& row : rows) {
        WindowFixture fixture(shippedRecordText("18F1220"));
        SimSerialPort port("18F1220");
        WindowControls& form = fixture.load(&port);
        fixture.folder.write("p.hex", ":0100000012ED\r\n:00000001FF\r\n");
        fixture.dialogs.answers = {fixture.folder.file("p.hex")};
        form.menuopen->trigger();
        ASSERT_EQ(form.label_hex->text().toStdString(), "p.hex");
        port.unit.muteAfter = row.muteAfter;
        port.onWrite = [&] {
            if (port.unit.commandCount() == row.stopAfter)
                form.window.findChild<QPushButton*>(QStringLiteral("CommandStop"))->click();
        };
        form.Command2->click();
        ASSERT_TRUE(finishes(form, 10000));
        EXPECT_EQ(status(form), row.status);
        EXPECT_EQ(form.label_hex->text().toStdString(), "") << row.status;
        EXPECT_EQ(fixture.state.buffer.Flash[0], 0xFF) << "the file's byte is gone";
    }
}
