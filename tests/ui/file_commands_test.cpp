// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/file_size_limit.hpp"
#include "tests/support/window_fixture.hpp"

#include "ui/clickable_label.hpp"
#include "ui/qt_dialogs.hpp"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace tessaline;
using namespace tessaline::test;

namespace {

const char* const kProgram = ":020000040000FA\r\n"
                             ":04000000123456FF61\r\n"
                             ":020000040030CA\r\n"
                             ":0E000000112233445566778899AABBCCDDEEF9\r\n"
                             ":0200000400F00A\r\n"
                             ":01000000AB54\r\n"
                             ":00000001FF\r\n";

std::string label(const QLabel* widget) {
    return widget->text().toStdString();
}

bool runningAsRoot() {
    return geteuid() == 0;
}

// Ends the test program when the event loop stays frozen past the time: a dialog that
// blocks in a read never returns, and a hang would tell nobody which test it was.
class Watchdog {
public:
    explicit Watchdog(const char* what, std::chrono::seconds limit)
        : m_thread([this, what, limit] {
              std::unique_lock lock(m_mutex);
              if (!m_done.wait_for(lock, limit, [this] { return m_finished; })) {
                  std::fprintf(stderr, "frozen: %s\n", what);
                  std::_Exit(EXIT_FAILURE);
              }
          }) {}
    ~Watchdog() {
        {
            const std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_one();
        m_thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_thread;
};

std::string homeFolder() {
    return QDir::toNativeSeparators(QDir::homePath() + QLatin1Char('/')).toStdString();
}

} // namespace

TEST(FileCommands, OpenLoadsReportsAndRemembersTheFolder) {
    WindowFixture fixture(kTwoModels);
    WindowControls& form = fixture.load();
    fixture.folder.write("prog.hex", kProgram);
    fixture.dialogs.answers = {fixture.folder.file("prog.hex")};
    form.menuopen->trigger();
    ASSERT_EQ(fixture.dialogs.shown.size(), 2u);
    EXPECT_EQ(fixture.dialogs.shown[0].kind, "open");
    EXPECT_EQ(fixture.dialogs.shown[0].text, "Select HEX File To Open");
    EXPECT_EQ(fixture.dialogs.shown[0].detail,
              "Intel HEX files (*.hex)|*.hex|All files (*.*)|*.*|" + fixture.folder.path());
    EXPECT_EQ(fixture.dialogs.messages().back(),
              "Operation completed.\r\nTotal 4 (.003K) program bytes loaded.");
    EXPECT_EQ(label(form.label_hex), "prog.hex");
    EXPECT_EQ(fixture.state.buffer.Flash[2], 0x56);
    EXPECT_EQ(fixture.state.buffer.Config[13], 0xEE);
    EXPECT_EQ(label(form.configLabels[0]), "11");
    EXPECT_TRUE(form.tabla_flash->toPlainText().startsWith(QStringLiteral("000000: 12 34 56 FF")));
    EXPECT_EQ(fixture.settings->ReadSetting("Last Path", "x"), fixture.folder.path());
    EXPECT_TRUE(form.menu1->menuAction()->isEnabled());
}

TEST(FileCommands, FaultyFileLeavesTheErasedBufferAndNoName) {
    WindowFixture fixture(kTwoModels);
    WindowControls& form = fixture.load();
    fixture.folder.write("bad.hex", ":01000000AB54\r\n; note\r\n:01000000zz00\r\n");
    fixture.dialogs.answers = {fixture.folder.file("bad.hex")};
    form.menuopen->trigger();
    EXPECT_EQ(fixture.dialogs.messages().back(),
              "Input program file in Intel Hex Format contains errors.\r\n"
              "Line number 3: Invalid data byte in the record.");
    EXPECT_EQ(fixture.state.buffer.Flash[0], 0xFF);
    EXPECT_EQ(label(form.label_hex), "");
    fixture.dialogs.shown.clear();
    emit form.label_hex->clicked();
    EXPECT_TRUE(fixture.dialogs.shown.empty());
}

TEST(FileCommands, UnreadableFileIsNamedAndTheWindowStaysUsable) {
    WindowFixture fixture(kTwoModels);
    WindowControls& form = fixture.load();
    fixture.folder.write("prog.hex", kProgram);
    fixture.dialogs.answers = {fixture.folder.file("prog.hex")};
    form.menuopen->trigger();
    QFile::remove(QString::fromStdString(fixture.folder.file("prog.hex")));
    emit form.label_hex->clicked();
    const std::string message = fixture.dialogs.messages().back();
    EXPECT_EQ(
        message.rfind("The file " + fixture.folder.file("prog.hex") + " cannot be opened: ", 0), 0u)
        << message;
    EXPECT_EQ(fixture.state.buffer.Flash[0], 0xFF);
    EXPECT_EQ(label(form.label_hex), "");
    EXPECT_TRUE(form.Command1->isEnabled());
}

TEST(FileCommands, ClickOnEitherLoadedFileLabelReloadsTheFile) {
    WindowFixture fixture(kTwoModels);
    WindowControls& form = fixture.load();
    fixture.folder.write("prog.hex", kProgram);
    fixture.dialogs.answers = {fixture.folder.file("prog.hex")};
    form.menuopen->trigger();
    fixture.state.buffer.Flash[0] = 0x00;
    emit form.Label7->clicked();
    EXPECT_EQ(fixture.state.buffer.Flash[0], 0x12);
    fixture.state.buffer.Flash[0] = 0x00;
    emit form.label_hex->clicked();
    EXPECT_EQ(fixture.state.buffer.Flash[0], 0x12);
    EXPECT_EQ(fixture.dialogs.messages().size(), 3u);
}

TEST(FileCommands, SaveWritesTheBufferAndNamesTheFile) {
    WindowFixture fixture(kTwoModels);
    WindowControls& form = fixture.load();
    fixture.state.buffer.Flash[0] = 0x12;
    fixture.dialogs.answers = {fixture.folder.file("out.hex")};
    form.menusave->trigger();
    EXPECT_EQ(fixture.dialogs.shown[0].text, "Save Buffer As");
    EXPECT_EQ(fixture.folder.read("out.hex").substr(0, 37),
              ":020000040000FA\r\n:0200000012FFED\r\n:02");
    EXPECT_EQ(label(form.label_hex), "out.hex");
    EXPECT_TRUE(fixture.dialogs.messages().empty());
}

TEST(FileCommands, OverwriteQuestionDecidesAndNoKeepsEverything) {
    WindowFixture fixture(kTwoModels);
    WindowControls& form = fixture.load();
    fixture.folder.write("out.hex", "old content");
    form.label_hex->setText(QStringLiteral("before.hex"));
    fixture.dialogs.answers = {fixture.folder.file("out.hex")};
    fixture.dialogs.yesNoAnswers = {false};
    form.menusave->trigger();
    EXPECT_EQ(fixture.dialogs.shown[1].text,
              "Do you want to overwrite file " + fixture.folder.file("out.hex") + "?");
    EXPECT_EQ(fixture.folder.read("out.hex"), "old content");
    EXPECT_EQ(label(form.label_hex), "before.hex");
    fixture.dialogs.answers = {fixture.folder.file("out.hex")};
    fixture.dialogs.yesNoAnswers = {true};
    form.menusave->trigger();
    EXPECT_EQ(fixture.folder.read("out.hex").substr(0, 16), ":020000040030CA\r");
    EXPECT_EQ(label(form.label_hex), "out.hex");
}

TEST(FileCommands, FailedWriteKeepsTheOldFileAndTheLoadedName) {
    WindowFixture fixture(kTwoModels);
    WindowControls& form = fixture.load();
    fixture.folder.write("keep.hex", "old content");
    const std::string path = fixture.folder.file("keep.hex");
    for (std::uint8_t& byte : fixture.state.buffer.Flash)
        byte = 0x00;
    form.label_hex->setText(QStringLiteral("before.hex"));
    fixture.dialogs.answers = {path};
    fixture.dialogs.yesNoAnswers = {true};
    {
        // A disk that fills up half-way: files of this process may not grow past 100
        // bytes, which holds for root too.
        FileSizeLimit limit(100);
        form.menusave->trigger();
    }
    EXPECT_EQ(fixture.folder.read("keep.hex"), "old content");
    EXPECT_EQ(label(form.label_hex), "before.hex");
    // The system's reason, which the file itself does not report for a write cut short.
    EXPECT_EQ(
        fixture.dialogs.messages(),
        std::vector<std::string>{"The file " + path + " could not be written: File too large."});
    EXPECT_TRUE(form.menu1->menuAction()->isEnabled());
    EXPECT_TRUE(form.Command1->isEnabled());
}

TEST(FileCommands, ReadOnlyFolderKeepsTheOldFile) {
    if (runningAsRoot())
        GTEST_SKIP() << "root writes into read-only folders; run as a normal user for this case";
    WindowFixture fixture(kTwoModels);
    WindowControls& form = fixture.load();
    const std::string locked = fixture.folder.file("locked");
    ASSERT_EQ(mkdir(locked.c_str(), 0755), 0);
    fixture.folder.write("locked/keep.hex", "old content");
    ASSERT_EQ(chmod(locked.c_str(), 0555), 0);
    fixture.dialogs.answers = {locked + "/keep.hex"};
    fixture.dialogs.yesNoAnswers = {true};
    form.menusave->trigger();
    chmod(locked.c_str(), 0755);
    EXPECT_EQ(fixture.folder.read("locked/keep.hex"), "old content");
    ASSERT_EQ(fixture.dialogs.messages().size(), 1u);
}

TEST(FileCommands, WriteProtectedFileIsNotReplaced) {
    WindowFixture fixture(kTwoModels);
    WindowControls& form = fixture.load();
    fixture.folder.write("keep.hex", "old content");
    const std::string path = fixture.folder.file("keep.hex");
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    if (runningAsRoot()) {
        // Root can write a 0444 file: make the name a folder instead, which no write
        // replaces.
        chmod(path.c_str(), 0644);
        QFile::remove(QString::fromStdString(path));
        ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
    }
    fixture.dialogs.answers = {path};
    fixture.dialogs.yesNoAnswers = {true};
    form.menusave->trigger();
    ASSERT_EQ(fixture.dialogs.messages().size(), 1u);
    EXPECT_EQ(
        fixture.dialogs.messages()[0].rfind("The file " + path + " could not be written: ", 0), 0u);
    if (!runningAsRoot()) {
        EXPECT_EQ(fixture.folder.read("keep.hex"), "old content");
    }
    EXPECT_EQ(label(form.label_hex), "");
}

TEST(FileCommands, SpecialFilesAreRefusedAtOnceByName) {
    WindowFixture fixture(kTwoModels);
    WindowControls& form = fixture.load();
    const std::string fifo = fixture.folder.file("pipe.hex");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/zero")}) {
        fixture.dialogs.answers = {path};
        form.menuopen->trigger();
        EXPECT_EQ(fixture.dialogs.messages().back(),
                  "The file " + path + " cannot be opened: Not a regular file.");
        EXPECT_TRUE(form.menu1->menuAction()->isEnabled());
    }
}

TEST(FileCommands, DialogsStartInOrdinaryFoldersOnlyAndAFailedSaveIsNotRemembered) {
    WindowFixture fixture(kTwoModels);
    WindowControls& form = fixture.load();
    const std::string start = fixture.folder.path();
    fixture.dialogs.answers = {"/proc/x.hex"};
    form.menusave->trigger();
    ASSERT_EQ(fixture.dialogs.messages().size(), 1u);
    EXPECT_EQ(fixture.state.app.LastPath, start);
    EXPECT_EQ(fixture.settings->ReadSetting("Last Path", "x"), start);

    // A folder holding a FIFO is an ordinary one; /proc, a file and a folder that is gone
    // are not.
    std::filesystem::create_directory(fixture.folder.file("fifo"));
    ASSERT_EQ(mkfifo(fixture.folder.file("fifo/pipe").c_str(), 0600), 0);
    const std::pair<std::string, std::string> rows[] = {
        {fixture.folder.file("fifo") + "/", fixture.folder.file("fifo") + "/"},
        {"/proc/", homeFolder()},
        {"/proc/self/", homeFolder()},
        {fixture.folder.file("gone") + "/", homeFolder()},
    };
    for (const auto& [remembered, offered] : rows) {
        fixture.state.app.LastPath = remembered;
        fixture.dialogs.answers = {"", ""};
        fixture.dialogs.shown.clear();
        form.menuopen->trigger();
        form.menusave->trigger();
        ASSERT_EQ(fixture.dialogs.shown.size(), 2u);
        for (const auto& shown : fixture.dialogs.shown)
            EXPECT_EQ(shown.detail.substr(shown.detail.rfind('|') + 1), offered) << remembered;
    }
}

// The file dialogs list a folder without reading its files: a FIFO, or /proc/kmsg, would
// block the read and the window with it.
TEST(QtDialogs, FileDialogsListFoldersWithoutReadingTheirFiles) {
    test::TempFolder folder;
    ASSERT_EQ(mkfifo(folder.file("pipe.hex").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(folder.file("pipe").c_str(), 0600), 0);
    QtDialogs dialogs(QStringLiteral("Quenvar Tessaline"));
    for (const std::string& shown : {folder.path(), std::string("/proc/")}) {
        for (bool save : {false, true}) {
            const Watchdog watchdog("a file dialog on a folder with a FIFO or on /proc",
                                    std::chrono::seconds(20));
            QTimer closer;
            QObject::connect(&closer, &QTimer::timeout, [] {
                if (QWidget* dialog = QApplication::activeModalWidget())
                    dialog->close();
            });
            // Long enough for the dialog to have looked at every file.
            closer.start(500);
            const std::string filter = "Intel HEX files (*.hex)|*.hex|All files (*.*)|*.*";
            EXPECT_EQ(save ? dialogs.saveFileName("Save Buffer As", filter, shown)
                           : dialogs.openFileName("Select HEX File To Open", filter, shown),
                      "");
        }
    }
}
