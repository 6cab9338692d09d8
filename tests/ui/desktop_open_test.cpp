// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/sim_serial_port.hpp"
#include "tests/support/window_fixture.hpp"

#include "ui/clickable_label.hpp"

#include <QDropEvent>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>

using namespace tessaline;
using namespace tessaline::test;

// Files that the desktop hands the window: its command line (the desktop entry's %f), a
// second start, and a file dropped on it.

namespace {

const char* const kProgram = ":04000000123456FF61\r\n:00000001FF\r\n";

// Drops the files on a widget as the desktop does: a drag that enters, then the drop.
// True when the window took the drag.
bool drop(QWidget* target, const QStringList& files) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& file : files)
        urls << QUrl::fromLocalFile(file);
    data.setUrls(urls);
    const QPoint middle = target->rect().center();
    QDragEnterEvent enter(middle, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent dropped(middle, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &dropped);
    QCoreApplication::processEvents();
    return dropped.isAccepted();
}

// Runs the event loop until the window has opened what it was handed: every opening
// ends in a message, the load report or the reason it failed.
void settle(const ScriptedDialogs& dialogs, std::size_t messagesBefore) {
    EXPECT_TRUE(runUntil([&] { return dialogs.messages().size() > messagesBefore; }));
}

} // namespace

TEST(DesktopOpen, FileArgumentOpensAsOpenHexFileDoes) {
    WindowFixture fixture(kTwoModels);
    WindowControls& form = fixture.load();
    std::filesystem::create_directory(fixture.folder.file("sub"));
    fixture.folder.write("sub/prog.hex", kProgram);
    const std::size_t before = fixture.dialogs.messages().size();
    form.window.openFromDesktop(QString::fromStdString(fixture.folder.file("sub/prog.hex")));
    settle(fixture.dialogs, before);
    EXPECT_EQ(
        fixture.dialogs.messages(),
        std::vector<std::string>{"Operation completed.\r\nTotal 4 (.003K) program bytes loaded."});
    EXPECT_EQ(form.label_hex->text().toStdString(), "prog.hex");
    EXPECT_EQ(fixture.state.buffer.Flash[1], 0x34);
    EXPECT_EQ(fixture.settings->ReadSetting("Last Path", "x"), fixture.folder.file("sub") + "/");

    // A file that cannot be opened: the message of Open HEX File, and the window works on.
    const std::string missing = fixture.folder.file("missing.hex");
    const std::size_t beforeMissing = fixture.dialogs.messages().size();
    form.window.openFromDesktop(QString::fromStdString(missing));
    settle(fixture.dialogs, beforeMissing);
    EXPECT_EQ(fixture.dialogs.messages().back(),
              "The file " + missing + " cannot be opened: No such file or directory.");
    EXPECT_EQ(form.label_hex->text().toStdString(), "");
    EXPECT_TRUE(form.Command1->isEnabled());
}

TEST(DesktopOpen, FileHandedOverDuringAnOperationWaitsForItsEnd) {
    WindowFixture fixture(shippedRecordText("18F1220"));
    SimSerialPort port("18F1220");
    WindowControls& form = fixture.load(&port);
    fixture.folder.write("prog.hex", kProgram);
    form.Command4->click();
    ASSERT_TRUE(form.window.operationRunning());
    form.window.openFromDesktop(QString::fromStdString(fixture.folder.file("prog.hex")));
    // Not taken while the operation runs, nor dropped.
    EXPECT_FALSE(drop(form.tabla_flash->viewport(),
                      {QString::fromStdString(fixture.folder.file("prog.hex"))}));
    bool openedWhileRunning = false;
    ASSERT_TRUE(runUntil([&] {
        if (!form.window.operationRunning())
            return true;
        openedWhileRunning |= fixture.state.buffer.Flash[0] != 0xFF;
        return false;
    }));
    EXPECT_FALSE(openedWhileRunning);
    EXPECT_TRUE(runUntil([&] { return !fixture.dialogs.messages().empty(); }));
    EXPECT_EQ(form.label_hex->text().toStdString(), "prog.hex");
    EXPECT_EQ(fixture.state.buffer.Flash[0], 0x12);
}

TEST(DesktopOpen, DroppedHexFileOpensAndAnythingElseChangesNothing) {
    WindowFixture fixture(kTwoModels);
    WindowControls& form = fixture.load();
    for (const char* sub : {"drop", "other", "other/folder.hex"})
        std::filesystem::create_directory(fixture.folder.file(sub));
    fixture.folder.write("drop/prog.hex", kProgram);
    const QString program = QString::fromStdString(fixture.folder.file("drop/prog.hex"));
    const std::size_t before = fixture.dialogs.messages().size();
    ASSERT_TRUE(drop(form.tabla_flash->viewport(), {program}));
    settle(fixture.dialogs, before);
    EXPECT_EQ(form.label_hex->text().toStdString(), "prog.hex");
    EXPECT_EQ(fixture.state.buffer.Flash[0], 0x12);
    EXPECT_EQ(fixture.state.app.LastPath, fixture.folder.file("drop") + "/");
    EXPECT_EQ(fixture.dialogs.messages().size(), 1u);

    fixture.folder.write("other/notes.txt", "not a program\r\n");
    const struct {
        std::string file;
        std::string message;
    } refused[] = {
        {fixture.folder.file("other/notes.txt"),
         "Input program file in Intel Hex Format contains errors.\r\n"
         "Line number 1: The record does not begin with ':' simbol."},
        {fixture.folder.file("other/folder.hex"), "The file " +
                                                      fixture.folder.file("other/folder.hex") +
                                                      " cannot be opened: Not a regular file."},
    };
    for (const auto& row : refused) {
        const std::size_t beforeRow = fixture.dialogs.messages().size();
        ASSERT_TRUE(drop(form.window.centralWidget(), {QString::fromStdString(row.file)}));
        settle(fixture.dialogs, beforeRow);
        EXPECT_EQ(fixture.dialogs.messages().back(), row.message);
        EXPECT_EQ(form.label_hex->text().toStdString(), "prog.hex") << row.file;
        EXPECT_EQ(fixture.state.buffer.Flash[0], 0x12) << row.file;
        EXPECT_EQ(fixture.state.app.LastPath, fixture.folder.file("drop") + "/") << row.file;
    }
    // Two files at once, or text, are no file to open.
    EXPECT_FALSE(drop(form.window.centralWidget(), {program, program}));
}
