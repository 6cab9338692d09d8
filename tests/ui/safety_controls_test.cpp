// SPDX-License-Identifier: GPL-3.0-or-later
// The window's safety controls: the verify after Program All setting, Identify Chip, the
// Stop control and the question when the window closes mid-operation.
#include "app/qt_serial_port.hpp"
#include "app/settings_store.hpp"
#include "app/stop_signals.hpp"
#include "buffer/hex_text.hpp"
#include "options/option_rules.hpp"
#include "tests/support/sim_serial_port.hpp"
#include "tests/support/window_fixture.hpp"
#include "ui/clickable_label.hpp"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <unistd.h>
#include <utility>

using namespace tessaline;
using namespace tessaline::test;

namespace {

QAction* action(WindowControls& form, const char* name) {
    return form.window.findChild<QAction*>(QString::fromLatin1(name));
}

QPushButton* stopControl(WindowControls& form) {
    return form.window.findChild<QPushButton*>(QStringLiteral("CommandStop"));
}

std::string status(WindowControls& form) {
    return form.label_status->text().toStdString();
}

// A program in the first 2 KiB, so that Program All runs long enough to be stopped.
void fillProgram(ProgrammerState& state) {
    for (std::size_t i = 0; i < 2048; ++i)
        state.buffer.Flash[i] = static_cast<std::uint8_t>(i * 5 + 1);
}

} // namespace

TEST(WindowSafety, VerifyAfterProgramAllIsAStoredSettingOnByDefault) {
    std::int64_t commands[2] = {};
    for (const bool on : {true, false}) {
        WindowFixture fixture(shippedRecordText("18F1220"));
        SimSerialPort port("18F1220");
        if (!on)
            fixture.settings->WriteSetting(kSettingVerifyAfterProgram, "0");
        WindowControls& form = fixture.load(&port);
        QAction* setting = action(form, "menuverifyafter");
        ASSERT_NE(setting, nullptr);
        EXPECT_TRUE(setting->isCheckable());
        EXPECT_EQ(setting->isChecked(), on);
        fixture.state.buffer.Flash[0] = 0x12;
        form.Command1->click();
        ASSERT_TRUE(operationEnds(form.window));
        EXPECT_EQ(status(form), "Chip programmed");
        commands[on ? 0 : 1] = port.unit.commandCount();
        setting->trigger();
        EXPECT_EQ(fixture.settings->storedSetting(kSettingVerifyAfterProgram), on ? "0" : "1");
    }
    // The read-back costs commands; without it Program All sends fewer.
    EXPECT_LT(commands[1], commands[0]);
}

TEST(WindowSafety, IdentifyChipOffersTheModelItFinds) {
    const std::string devices = shippedRecordText("18F4520") + "\r\n" + shippedRecordText("18F452");
    for (const bool take : {false, true}) {
        WindowFixture fixture(devices);
        SimSerialPort port("18F452");
        WindowControls& form = fixture.load(&port);
        ASSERT_EQ(form.label_ime->text().toStdString(), "18F4520");
        fixture.dialogs.yesNoAnswers = {take};
        action(form, "menuidentify")->trigger();
        ASSERT_TRUE(operationEnds(form.window));
        ASSERT_EQ(fixture.dialogs.shown.size(), 1u);
        EXPECT_EQ(fixture.dialogs.shown[0].text,
                  "The chip in the socket reports device ID 0420h (revision 3): it is a 18F452, "
                  "not the "
                  "selected 18F4520.\r\nSelect 18F452 as the microcontroller model?");
        EXPECT_EQ(form.label_ime->text().toStdString(), take ? "18F452" : "18F4520");
        EXPECT_EQ(fixture.settings->storedSetting(kSettingModel), take ? "2" : "1");
    }
    WindowFixture fixture(devices);
    SimSerialPort port("18F452");
    port.unit.emptySocket = true;
    WindowControls& form = fixture.load(&port);
    action(form, "menuidentify")->trigger();
    ASSERT_TRUE(operationEnds(form.window));
    EXPECT_EQ(status(form), "Identify chip failed");
    EXPECT_EQ(
        fixture.dialogs.messages(),
        std::vector<std::string>{"No chip answers in the socket: its device ID reads 0000h."});
}

// The Stop control shows only while an operation runs; it and Escape stop the operation
// where the chip is idle, and the unit is powered down.
TEST(WindowSafety, StopAndEscapeEndTheOperationWithThePowerOff) {
    for (const bool escape : {false, true}) {
        WindowFixture fixture(shippedRecordText("18F4520"));
        SimSerialPort port("18F4520");
        WindowControls& form = fixture.load(&port);
        fillProgram(fixture.state);
        EXPECT_FALSE(stopControl(form)->isVisible());
        form.Command1->click();
        ASSERT_TRUE(form.window.operationRunning());
        EXPECT_TRUE(stopControl(form)->isVisible());
        EXPECT_TRUE(stopControl(form)->isEnabled());
        if (escape)
            QTest::keyClick(&form.window, Qt::Key_Escape);
        else
            stopControl(form)->click();
        ASSERT_TRUE(operationEnds(form.window));
        EXPECT_EQ(status(form), "Program all stopped");
        EXPECT_FALSE(stopControl(form)->isVisible());
        EXPECT_TRUE(form.Command1->isEnabled());
        EXPECT_FALSE(port.chip.powered()); // the end waited for the unit's power-down
        EXPECT_TRUE(fixture.dialogs.messages().empty());
        EXPECT_EQ(port.unit.allViolations(), std::vector<std::string>{});
    }
}

// A close while an operation runs asks first; the window then closes once the operation
// has stopped and the unit is powered down. The close may come from the top of the event
// loop, from inside a step that lets events run, or while the operation is starting.
TEST(WindowSafety, ClosingMidOperationAsksAndClosesOnceStopped) {
    enum class From { EventLoop, InsideAStep, InsideTheStart };
    for (const From from : {From::EventLoop, From::InsideAStep, From::InsideTheStart}) {
        WindowFixture fixture(shippedRecordText("18F4520"));
        SimSerialPort port("18F4520");
        WindowControls& form = fixture.load(&port);
        fillProgram(fixture.state);
        fixture.dialogs.yesNoAnswers = {false, true};
        bool starting = false;
        int closes = 0;
        // A close now, and one more after the first question was answered No.
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            const bool now = from == From::InsideTheStart ? starting
                             : from == From::InsideAStep  ? port.receiveThreshold() == 0
                                                          : true;
            if (closes < 2 && now && form.window.operationRunning()) {
                ++closes;
                form.window.close();
            }
        });
        closer.start(0);
        starting = true;
        form.Command1->click();
        starting = false;
        if (from == From::InsideTheStart)
            closer.stop();
        if (from != From::InsideTheStart) {
            EXPECT_TRUE(QTest::qWaitFor(
                [&] { return closes >= 2 || !form.window.operationRunning(); }, 20000))
                << "the window was not closed a second time, and the operation did not end";
        }
        if (from == From::InsideTheStart)
            form.window.close(); // the second close, after the start
        EXPECT_TRUE(QTest::qWaitFor([&] { return !form.window.isVisible(); }, 20000));
        closer.stop();
        EXPECT_EQ(fixture.dialogs.shown.size(), 2u);
        EXPECT_EQ(fixture.dialogs.shown.back().text,
                  "Program all is running. Stop it and quit?\r\nThe programmer unit removes the "
                  "voltages first.");
        EXPECT_FALSE(form.window.operationRunning());
        EXPECT_EQ(status(form), "Program all stopped");
        EXPECT_FALSE(port.chip.powered());
        EXPECT_EQ(port.unit.allViolations(), std::vector<std::string>{});
    }
}

namespace {

// Runs the event loop until the unit has taken `more` commands beyond those it had.
bool unitTakes(SimSerialPort& port, std::int64_t more) {
    const std::int64_t target = port.unit.commandCount() + more;
    return runUntil([&] { return port.unit.commandCount() >= target; });
}

} // namespace

// Every stop works, however many came before it, and after an operation that ended with
// a unit that stopped answering: the reply to each end command belongs to its own
// operation.
TEST(WindowSafety, EveryStopWorksAfterStopsAndAfterASilentUnit) {
    for (const bool silentFirst : {false, true}) {
        WindowFixture fixture(shippedRecordText("18F4520"));
        SimSerialPort port("18F4520");
        WindowControls& form = fixture.load(&port);
        fillProgram(fixture.state);
        if (silentFirst) {
            port.unit.muteAfter = port.unit.commandCount() + 30;
            form.Command4->click();
            ASSERT_TRUE(operationEnds(form.window));
            ASSERT_EQ(status(form), "Blank check failed");
            port.unit.muteAfter = -1;
        }
        for (int round = 0; round < 3; ++round) {
            form.Command1->click();
            ASSERT_TRUE(unitTakes(port, 400)) << round;
            ASSERT_TRUE(form.window.operationRunning()) << round;
            stopControl(form)->click();
            ASSERT_TRUE(operationEnds(form.window)) << round;
            EXPECT_EQ(status(form), "Program all stopped") << silentFirst << " " << round;
            EXPECT_FALSE(port.chip.powered()) << round;
        }
        EXPECT_EQ(port.unit.allViolations(), std::vector<std::string>{});
    }
}

// After a stop, a byte that no command asked for fails the next Read All: nothing that
// came out of line is shown as the chip's.
TEST(WindowSafety, AStrayByteAfterAStopFailsTheNextReadAll) {
    WindowFixture fixture(shippedRecordText("18F4520"));
    SimSerialPort port("18F4520");
    WindowControls& form = fixture.load(&port);
    port.chip.erase();
    form.Command2->click();
    ASSERT_TRUE(unitTakes(port, 300));
    stopControl(form)->click();
    ASSERT_TRUE(operationEnds(form.window));
    ASSERT_EQ(status(form), "Read all stopped");
    port.unit.strayAfter = port.unit.commandCount() + 100;
    form.Command2->click();
    ASSERT_TRUE(operationEnds(form.window));
    EXPECT_EQ(status(form), "Read all failed");
    EXPECT_NE(fixture.dialogs.messages().back().find("bytes that no command asked for"),
              std::string::npos);
    ProgramBuffer blank;
    ResetBuffer(blank, fixture.state.model.FlashSize, fixture.state.model.EepromSize,
                fixture.state.model.ConfigErased);
    EXPECT_EQ(fixture.state.buffer.Flash, blank.Flash);
    EXPECT_EQ(fixture.state.buffer.Eeprom, blank.Eeprom);
    EXPECT_EQ(fixture.state.buffer.Config, blank.Config);
    EXPECT_EQ(form.configLabels[1]->text().toStdString(), Hex2(blank.Config[1]));
}

// SIGTERM (a logout, a closed terminal, a kill) ends the window as a close does, without
// the question: the operation stops where the chip is idle, the unit powers down, and the
// program ends with 128 + the signal's number.
// A check that fails after the signal asks no one to read its message either.
TEST(WindowSafety, SigtermMidOperationPowersTheUnitDownAndEndsTheProgram) {
    for (const bool verifyDiffers : {false, true}) {
        WindowFixture fixture(shippedRecordText("18F4520"));
        SimSerialPort port("18F4520");
        WindowControls& form = fixture.load(&port);
        fillProgram(fixture.state);
        std::optional<int> exited;
        form.window.exitProgram = [&](int status) { exited = status; };
        const StopSignals stopSignals([&](int number) { form.window.quitOnSignal(number); });
        if (verifyDiffers) {
            // The signal comes as Verify sets up, before its first check finds a difference.
            port.onWrite = [&] {
                if (port.unit.commandCount() == 25 && !exited)
                    form.window.quitOnSignal(SIGTERM);
            };
            form.Command5->click();
        } else {
            form.Command1->click();
            ASSERT_TRUE(unitTakes(port, 400));
            std::raise(SIGTERM);
        }
        ASSERT_TRUE(runUntil([&] { return exited.has_value(); }));
        EXPECT_EQ(*exited, 128 + SIGTERM);
        EXPECT_EQ(status(form), verifyDiffers ? "Chip verify failed" : "Program all stopped");
        EXPECT_FALSE(port.chip.powered());
        EXPECT_TRUE(fixture.dialogs.shown.empty());
        EXPECT_EQ(port.unit.allViolations(), std::vector<std::string>{});
    }
}

// The close question does not hold the operation: it goes on while the question is open,
// and Yes ends it at its next idle point; the window goes as soon as the unit has
// confirmed the power-down.
TEST(WindowSafety, TheCloseQuestionLetsTheOperationGoOnAndYesQuitsPromptly) {
    WindowFixture fixture(shippedRecordText("18F4520"));
    SimSerialPort port("18F4520");
    WindowControls& form = fixture.load(&port);
    fillProgram(fixture.state);
    fixture.dialogs.holdQuestions = true;
    form.Command1->click();
    ASSERT_TRUE(unitTakes(port, 100));
    form.window.close();
    ASSERT_TRUE(static_cast<bool>(fixture.dialogs.heldQuestion));
    EXPECT_TRUE(unitTakes(port, 300)); // the question is open, the operation goes on
    EXPECT_TRUE(form.window.isVisible());
    const std::int64_t atYes = port.unit.commandCount();
    std::exchange(fixture.dialogs.heldQuestion, nullptr)(true);
    ASSERT_TRUE(runUntil([&] { return !form.window.isVisible(); }));
    // One pass of the FLASH loop at most (64 bytes), then the end command.
    EXPECT_LT(port.unit.commandCount() - atYes, 200);
    EXPECT_EQ(status(form), "Program all stopped");
    EXPECT_FALSE(port.chip.powered());
    EXPECT_EQ(port.unit.allViolations(), std::vector<std::string>{});
}

// The unit's start-up wait runs in the event loop: with a wait of ten seconds on a real
// serial port, a signal ends the program and a close closes the window while the wait
// still runs.
TEST(WindowSafety, ASignalOrACloseDuringTheUnitsStartUpWaitTakesEffectAtOnce) {
    for (const bool signal : {true, false}) {
        WindowFixture fixture(kTwoModels);
        fixture.settings->WriteSetting(kSettingUnitDelay, "10000");
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        ASSERT_TRUE(QFile::link(QString::fromLatin1(ptsname(master)),
                                QString::fromStdString(fixture.folder.file("com2"))));
        QtSerialPort port(QString::fromStdString(fixture.folder.path()));
        WindowControls& form = fixture.load(&port);
        EXPECT_EQ(status(form), "Serial port 2: waiting for the unit to start");
        EXPECT_FALSE(form.Command1->isEnabled());
        if (signal) {
            std::optional<int> exited;
            form.window.exitProgram = [&](int number) { exited = number; };
            const StopSignals stopSignals([&](int number) { form.window.quitOnSignal(number); });
            std::raise(SIGHUP);
            ASSERT_TRUE(runUntil([&] { return exited.has_value(); }, 5000));
            EXPECT_EQ(*exited, 128 + SIGHUP);
        } else {
            EXPECT_TRUE(form.window.close());
            EXPECT_FALSE(form.window.isVisible());
        }
        EXPECT_TRUE(port.starting()) << "the wait had ended first";
        ::close(master);
    }
}

// In fast mode the Stop control stops at the next packet boundary as often as it is
// clicked: the packets in flight are answered, the unit powered down and back in plain
// mode. The status line says the mode under the progress.
TEST(WindowSafety, StopThreeTimesInARowInFastMode) {
    WindowFixture fixture(shippedRecordText("18F4520"));
    SimSerialPort port("18F4520");
    port.unit.makeReference(sim::UnitSupplies{});
    fixture.settings->WriteSetting("Unit Type/dev/ttyS1", "reference");
    WindowControls& form = fixture.load(&port);
    fillProgram(fixture.state);
    for (int round = 0; round < 3; ++round) {
        form.Command1->click();
        ASSERT_TRUE(unitTakes(port, 400)) << round;
        ASSERT_TRUE(form.window.operationRunning()) << round;
        EXPECT_TRUE(port.unit.fastMode()) << round;
        EXPECT_NE(status(form).find("\nFast mode, 1000000 baud"), std::string::npos)
            << status(form);
        stopControl(form)->click();
        ASSERT_TRUE(operationEnds(form.window)) << round;
        EXPECT_EQ(status(form), "Program all stopped") << round;
        EXPECT_FALSE(port.chip.powered()) << round;
        EXPECT_FALSE(port.unit.fastMode()) << round;
    }
    form.Command1->click();
    ASSERT_TRUE(operationEnds(form.window));
    EXPECT_EQ(status(form), "Chip programmed");
    EXPECT_EQ(port.unit.allViolations(), std::vector<std::string>{});
}
