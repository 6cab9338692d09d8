// SPDX-License-Identifier: GPL-3.0-or-later
#include "texts/identify_texts.hpp"

#include <gtest/gtest.h>

using namespace tessaline;

// The ID's part bits come from the model it belongs to, else from the selected model's
// ID, else all sixteen; every sentence names the ID so.
TEST(IdentifyTexts, EveryChipFoundReadsTheSameInEverySentence) {
    const DeviceTable table = parseDeviceTable("model:18f452\r\ndeviceid:0420 FFE0\r\n"
                                               "model:18f4520\r\ndeviceid:1080 FFE0\r\n");
    SelectedModelValues selected;
    selected.SelectedModelName = "18F4520";
    selected.Safety.deviceId = DeviceIdSpec{0x1080, 0xFFF0};
    struct Row {
        std::uint16_t read;
        const char* id;
        const char* identified; // "": no chip
        const char* refusal;    // "": the selected model's own ID
    };
    const Row rows[] = {
        {0x0433, "0420h (revision 19)",
         "The chip in the socket reports device ID 0420h (revision 19): it is a 18F452, not the "
         "selected 18F4520.\nSelect 18F452 as the microcontroller model?",
         "The chip in the socket reports device ID 0420h (revision 19): it is a 18F452, not the "
         "selected 18F4520. Nothing was written."},
        {0x1081, "1080h (revision 1)",
         "The chip in the socket reports device ID 1080h (revision 1): it is a 18F4520, the "
         "selected model.",
         ""},
        {0x2A47, "2A40h (revision 7)",
         "The chip in the socket reports device ID 2A40h (revision 7), which no model of the "
         "device file has.",
         "The chip in the socket reports device ID 2A40h (revision 7), not the selected "
         "18F4520. Nothing was written."},
        {0xFFFF, "FFF0h (revision 15)", "",
         "No chip answers in the socket: its device ID reads FFFFh. Nothing was written."},
    };
    for (const Row& row : rows) {
        const ChipIdentity chip = identifyChip(modelIdentities(table), row.read, selected);
        EXPECT_EQ(deviceIdText(chip), row.id);
        if (*row.identified != '\0') {
            EXPECT_EQ(identifiedText(chip, chip.model == std::size_t{1}), row.identified);
        }
        if (*row.refusal != '\0') {
            EXPECT_EQ(wrongChipMessage(chip), row.refusal);
        }
    }
    selected.Safety.deviceId.reset();
    EXPECT_EQ(deviceIdText(identifyChip(modelIdentities(table), 0x2A47, selected)), "2A47h");
    EXPECT_EQ(noChipText(identifyChip(modelIdentities(table), 0x0000, selected)),
              "No chip answers in the socket: its device ID reads 0000h.");
}
