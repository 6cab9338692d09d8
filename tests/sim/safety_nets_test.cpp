// SPDX-License-Identifier: GPL-3.0-or-later
// The safety nets of the shipped records against the strict simulated chip: the device ID
// check, configuration masks, code-protected images and the verify after programming.
#include "buffer/hex_text.hpp"
#include "tests/support/sim_rig.hpp"

#include <gtest/gtest.h>

#include <random>

using namespace tessaline;
using namespace tessaline::test;

namespace {

struct SafetyRig : SimRig {
    SafetyRig(const std::string& selected, const std::string& chipName)
        : SimRig(shippedRecord(selected), *sim::findChipModel(chipName)) {
        control.setModelIdentities(&identities);
    }
    const ModelIdentities identities = modelIdentities(shippedDevices());
    // A program in the first half of FLASH and in the EEPROM.
    void fillProgram(unsigned seed) {
        std::mt19937 random(seed);
        for (std::size_t i = 0; i < buffer.Flash.size() / 2; ++i)
            buffer.Flash[i] = static_cast<std::uint8_t>(random());
        for (std::uint8_t& byte : buffer.Eeprom)
            byte = static_cast<std::uint8_t>(random());
    }
    Outcome lastOutcome() const { return host.ends.back().outcome; }
};

const char* const kOneOfEachFamily[] = {"18F452", "18F2320", "18F4520"};

} // namespace

TEST(SafetyNets, AWrongChipIsRefusedBeforeAnythingIsWritten) {
    const struct {
        const char* selected;
        const char* inSocket;
    } rows[] = {{"18F4520", "18F452"}, {"18F452", "18F2320"}, {"18F2320", "18F4520"}};
    for (const auto& row : rows) {
        SafetyRig rig(row.selected, row.inSocket);
        rig.chip.fillWithPattern(0x21);
        const auto flash = rig.chip.flash;
        const auto config = rig.chip.config;
        rig.fillProgram(1);
        for (const OperationKind kind : {OperationKind::Program, OperationKind::Erase}) {
            rig.run(kind);
            ASSERT_EQ(rig.lastOutcome(), Outcome::WrongDevice) << row.selected;
            EXPECT_EQ(rig.chip.flash, flash) << row.selected;
            EXPECT_EQ(rig.chip.config, config) << row.selected;
            EXPECT_FALSE(rig.chip.powered()) << row.selected;
        }
        EXPECT_EQ(rig.unit.allViolations(), std::vector<std::string>{}) << row.selected;
    }
    SafetyRig rig("18F4520", "18F452");
    rig.run(OperationKind::Verify);
    EXPECT_EQ(rig.host.status(), "Verify failed");
    EXPECT_EQ(rig.host.messages.back(),
              "The chip in the socket reports device ID 0420h (revision 3): it is a 18F452, "
              "not the selected 18F4520. Nothing was written.");

    SafetyRig empty("18F452", "18F452");
    empty.unit.emptySocket = true;
    empty.run(OperationKind::Program);
    EXPECT_EQ(empty.host.messages.back(),
              "No chip answers in the socket: its device ID reads 0000h. Nothing was written.");
}

TEST(SafetyNets, IdentifyReportsTheIdWithItsRevision) {
    SafetyRig rig("18F4520", "18F4523");
    ASSERT_TRUE(rig.run(OperationKind::Identify));
    EXPECT_EQ(rig.host.ends.back(),
              (OperationEnd{OperationKind::Identify, Outcome::Done, {}, 0x1093}));
}

// Configuration data with every unimplemented bit set, as toolchains write it, and images
// that code-protect everything they can: both program, verify after programming, and
// verify again on their own.
TEST(SafetyNets, MaskedConfigurationAndProtectedImagesProgramAndVerify) {
    for (const char* model : kOneOfEachFamily) {
        for (const bool protect : {false, true}) {
            SafetyRig rig(model, model);
            rig.chip.fillWithPattern(0x33);
            rig.fillProgram(7);
            rig.buffer.Config.fill(0xFF);
            if (protect) {
                rig.buffer.Config[8] = 0x00; // CONFIG5L: CP0 .. CP3
                rig.buffer.Config[9] = 0x00; // CONFIG5H: CPB, CPD
            }
            ASSERT_TRUE(rig.run(OperationKind::Program)) << model;
            EXPECT_EQ(rig.host.status(), "Chip programmed") << model << " " << protect;
            EXPECT_TRUE(rig.host.messages.empty()) << model << ": " << rig.host.messages.front();
            ASSERT_TRUE(rig.run(OperationKind::Verify)) << model;
            EXPECT_EQ(rig.host.status(), "Chip verified") << model << " " << protect;
            EXPECT_EQ(rig.chip.flash[0x100], rig.buffer.Flash[0x100]) << model;
            EXPECT_EQ(rig.unit.allViolations(), std::vector<std::string>{}) << model;
        }
    }
}

// Program All tells where its read-back begins and ends, so that the front ends can say
// what the progress counts: inside the program script ("ifverify" blocks around the
// configuration bytes), or as the verify script after it.
TEST(SafetyNets, ProgramAllMarksItsReadBack) {
    DeviceModel separate = shippedRecord("18F4520");
    for (std::size_t at; (at = separate.program.find(",ifverify,")) != std::string::npos;)
        separate.program.erase(at, separate.program.find(",endverify", at) + 10 - at);
    using Marks = std::vector<bool>;
    const struct {
        const DeviceModel& record;
        Marks marks;
    } rows[] = {{shippedRecord("18F4520"), {true, false, true, false}}, {separate, {true}}};
    for (const auto& row : rows) {
        SimRig rig(row.record, *sim::findChipModel("18F4520"));
        rig.buffer.Flash[0] = 0x12;
        ASSERT_TRUE(rig.run(OperationKind::Program));
        EXPECT_EQ(rig.host.status(), "Chip programmed");
        Marks marks;
        for (const auto& [begins, at] : rig.host.readBacks)
            marks.push_back(begins);
        EXPECT_EQ(marks, row.marks);
        // The read-back counts from the first byte again.
        ASSERT_FALSE(rig.host.readBacks.empty());
        EXPECT_EQ(rig.host.statuses.at(rig.host.readBacks.front().second), "F:1/1");
    }
}

// Program All checks what it wrote before the configuration bytes; without the erase the
// FLASH keeps bits the program needs, and the verify says so.
TEST(SafetyNets, VerifyAfterProgrammingCatchesWhatDidNotTake) {
    DeviceModel record = shippedRecord("18F4520");
    const std::size_t erase = record.program.find(",s00-0e3c,");
    record.program.erase(erase, record.program.find(",w10,") + 4 - erase);
    SimRig rig(record, *sim::findChipModel("18F4520"));
    rig.chip.fillWithPattern(0x5C);
    rig.buffer.Flash[0] = 0xFF;
    rig.buffer.Flash[1] = 0x5C | 0x01;
    ASSERT_TRUE(rig.run(OperationKind::Program));
    EXPECT_EQ(rig.host.status(), "Chip verify failed");
    ASSERT_EQ(rig.host.messages.size(), 1u);
    EXPECT_EQ(rig.host.messages[0].rfind("Verify failed at address 000000h!", 0), 0u);
    EXPECT_EQ(rig.chip.config[11], 0xE0); // the configuration bytes were not written

    rig.control.setVerifyAfterProgram(false);
    rig.host.messages.clear();
    ASSERT_TRUE(rig.run(OperationKind::Program));
    EXPECT_EQ(rig.host.status(), "Chip programmed");
    EXPECT_TRUE(rig.host.messages.empty());
}

// A stop at any point of Program All ends where the chip is idle (after a loop's pass,
// or between two scripts), or lets the last steps run to the end: the unit removes the
// voltages, the chip saw no broken sequence, and the next operations start cleanly.
TEST(SafetyNets, AStopAtAnyPointPowersTheChipDownCleanly) {
    for (const char* model : kOneOfEachFamily) {
        const auto image = [](SafetyRig& rig) {
            for (std::size_t i = 0; i < 40; ++i)
                rig.buffer.Flash[i] = static_cast<std::uint8_t>(i * 7);
            for (std::size_t i = 0; i < 3 && i < rig.buffer.Eeprom.size(); ++i)
                rig.buffer.Eeprom[i] = static_cast<std::uint8_t>(i + 1);
        };
        SafetyRig whole(model, model);
        image(whole);
        ASSERT_TRUE(whole.run(OperationKind::Program));
        const std::int64_t total = whole.unit.commandCount();
        const std::int64_t stride = total / 120 + 1;
        int stops = 0;
        for (std::int64_t at = 1; at < total - 2; at += stride) {
            SafetyRig rig(model, model);
            image(rig);
            std::int64_t sent = 0;
            rig.host.onCommand = [&] {
                if (++sent == at)
                    rig.control.requestStop();
            };
            rig.run(OperationKind::Program);
            stops += rig.lastOutcome() == Outcome::Stopped;
            ASSERT_EQ(rig.host.status(), rig.lastOutcome() == Outcome::Stopped
                                             ? "Program all stopped"
                                             : "Chip programmed")
                << model << " at " << at;
            EXPECT_FALSE(rig.chip.powered()) << model << " at " << at;
            EXPECT_TRUE(rig.control.unitIdle());
            EXPECT_EQ(rig.unit.allViolations(), std::vector<std::string>{})
                << model << " at " << at;
            if ((at / stride) % 40 != 0)
                continue;
            rig.host.onCommand = nullptr;
            ASSERT_TRUE(rig.run(OperationKind::Erase));
            ASSERT_TRUE(rig.run(OperationKind::Program));
            EXPECT_EQ(rig.host.status(), "Chip programmed") << model << " at " << at;
        }
        EXPECT_GT(stops, 100) << model;
    }
}
