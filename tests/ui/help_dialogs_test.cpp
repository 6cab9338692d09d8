// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/window_fixture.hpp"

#include "ui/help_texts.hpp"
#include "ui/qt_dialogs.hpp"

#include "tessaline_version.hpp"

#include <QAction>

#include <gtest/gtest.h>

using namespace tessaline;
using namespace tessaline::test;

TEST(HelpTexts, PinoutHasFourteenLinesWithTabColumns) {
    const std::string text = pinoutText();
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "every line ends with CR LF";
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines[0], "Serial Port Pinout:");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "Pin\tSignal\tDirection");
    EXPECT_EQ(lines[3], "1\tDCD\tInput");
    EXPECT_EQ(lines[7], "5\tGND\t-");
    EXPECT_EQ(lines[11], "9\tRI\tInput");
    EXPECT_EQ(lines[13], "Directions are defined from the viewpoint of the PC.");
}

TEST(HelpTexts, AboutStartsWithTheTitleAndNamesWhereToReport) {
    const std::string text = aboutText("Quenvar Tessaline");
    EXPECT_EQ(text.rfind("Quenvar Tessaline\r\n\r\nThis software is supplied as is in goodwill "
                         "that it will\r\nsuccessfully serve its purpose, but without any "
                         "warranties.\r\n\r\nSend bug reports and suggestions to:\r\n",
                         0),
              0u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    // Seven lines; the contact line asks for the version.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 7);
    EXPECT_NE(text.find("version " + std::string(kVersion) + ".\r\n"), std::string::npos);
}

TEST(HelpDialogs, BothShowAnInformationBox) {
    WindowFixture fixture(kTwoModels);
    WindowControls& form = fixture.load();
    form.menuportinfo->trigger();
    form.menuabout->trigger();
    ASSERT_EQ(fixture.dialogs.shown.size(), 2u);
    EXPECT_EQ(fixture.dialogs.shown[0].text, pinoutText());
    EXPECT_EQ(fixture.dialogs.shown[1].text, aboutText("Quenvar Tessaline"));
    for (const auto& shown : fixture.dialogs.shown)
        EXPECT_EQ(shown.icon, Dialogs::Icon::Information);
}

TEST(QtDialogs, FilterAndLineEndsAreConvertedForQt) {
    EXPECT_EQ(qtFileFilter("Intel HEX files (*.hex)|*.hex|All files (*.*)|*.*").toStdString(),
              "Intel HEX files (*.hex);;All files (*.*)");
    EXPECT_EQ(qtFileFilter("Programs|*.hex;*.ihx").toStdString(), "Programs (*.hex *.ihx)");
    EXPECT_EQ(displayText("a\r\nb\rc\n").toStdString(), "a\nb\nc\n");
}
