// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/sim_rig.hpp"

#include <array>
#include <random>
#include <stdexcept>

namespace tessaline::test {

SimRig::SimRig(const DeviceModel& record, const sim::ChipModel& chipModel)
    : chip(chipModel, clock), unit(chip, clock), port(unit, clock),
      control(buffer, model, probe, host) {
    ApplySelectedModel(record, model);
    ResetBuffer(buffer, model.FlashSize, model.EepromSize, model.ConfigErased);
    host.onWait = [this](int ms) { clock.advance(static_cast<std::int64_t>(ms) * 1000); };
    port.setReceiveHandler([this] { control.MSComm1_OnComm(); });
}

bool SimRig::run(OperationKind kind) {
    host.ends.clear();
    control.StartOperation(kind, true);
    port.deliver();
    return !control.running() && host.ends.size() == 1 &&
           (host.ends[0].outcome == Outcome::Done || host.ends[0].outcome == Outcome::CheckFailed);
}

void fillMemories(ProgramBuffer& buffer, unsigned seed) {
    std::mt19937 random(seed);
    for (std::uint8_t& byte : buffer.Flash)
        byte = static_cast<std::uint8_t>(random());
    buffer.Flash.back() = 0x00;
    for (std::uint8_t& byte : buffer.Eeprom)
        byte = static_cast<std::uint8_t>(random());
    if (!buffer.Eeprom.empty())
        buffer.Eeprom.back() = 0x00;
}

void fillUnprotectedConfig(ProgramBuffer& buffer, const sim::ChipModel& chip, unsigned seed) {
    // The bytes that hold the CP, WRT and EBTR bits.
    constexpr std::array<std::uint8_t, 14> protectionBits{0, 0,    0,    0,    0,    0,    0,
                                                          0, 0xFF, 0xC0, 0xFF, 0xE0, 0xFF, 0x40};
    std::mt19937 random(seed);
    for (std::size_t k = 0; k < buffer.Config.size(); ++k)
        buffer.Config[k] =
            static_cast<std::int32_t>((random() | protectionBits[k]) & chip.configMask[k]);
}

const DeviceTable& shippedDevices() {
    static const DeviceTable table = [] {
        auto loaded = LoadDeviceTable(TESSALINE_SOURCE_DIR "/devices.cfg");
        return loaded ? *loaded : DeviceTable{};
    }();
    return table;
}

const DeviceModel& shippedRecord(const std::string& model) {
    for (const DeviceModel& record : shippedDevices())
        if (record.model == model)
            return record;
    throw std::runtime_error("the shipped device file has no model " + model);
}

} // namespace tessaline::test
