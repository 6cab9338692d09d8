// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/scripted_dialogs.hpp"
#include "tests/support/temp_folder.hpp"

#include "ui/startup.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace tessaline;
using namespace tessaline::test;

// The device file at the window's start: beside the program, else where an installed
// program has it; a message naming the file, then the end, when it cannot serve.
TEST(Startup, DeviceFileBesideTheProgramOrInstalledElseAMessageAndTheEnd) {
    const char* const kModel = "model:18f452\r\nflash:64\r\n";
    enum class Beside { None, Model, Empty, Fifo };
    const struct {
        Beside beside;
        bool installed;
        std::string message; // with <folder> for the temporary folder
    } rows[] = {
        {Beside::Model, true, ""},
        {Beside::None, true, ""},
        {Beside::None, false,
         "The device file cannot be found at <folder>bin/devices.cfg or at "
         "<folder>share/tessaline/devices.cfg."},
        {Beside::Empty, true,
         "The device file <folder>bin/devices.cfg describes no microcontroller model."},
        {Beside::Fifo, true,
         "The device file <folder>bin/devices.cfg cannot be opened: Not a regular file."},
    };
    for (const auto& row : rows) {
        TempFolder folder;
        std::filesystem::create_directories(folder.file("bin"));
        std::filesystem::create_directories(folder.file("share/tessaline"));
        if (row.installed)
            folder.write("share/tessaline/devices.cfg", kModel);
        if (row.beside == Beside::Model)
            folder.write("bin/devices.cfg", kModel);
        else if (row.beside == Beside::Empty)
            folder.write("bin/devices.cfg", "; no model here\r\n");
        else if (row.beside == Beside::Fifo)
            mkfifo(folder.file("bin/devices.cfg").c_str(), 0600);
        ScriptedDialogs dialogs;
        const std::optional<DeviceTable> table =
            loadDeviceTableForWindow(folder.file("bin") + "/", dialogs);
        if (row.message.empty()) {
            ASSERT_TRUE(table.has_value());
            EXPECT_EQ(table->size(), 1u);
            EXPECT_TRUE(dialogs.shown.empty());
            continue;
        }
        EXPECT_FALSE(table.has_value());
        std::string expected = row.message + "\r\nThe program must end.";
        for (std::size_t at; (at = expected.find("<folder>")) != std::string::npos;)
            expected.replace(at, 8, folder.path());
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].text, expected);
        EXPECT_EQ(dialogs.shown[0].icon, Dialogs::Icon::Critical);
    }
}
