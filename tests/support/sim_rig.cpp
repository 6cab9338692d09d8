// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/sim_rig.hpp"

#include <random>
#include <stdexcept>

namespace tessaline::test {

SimRig::SimRig(const DeviceModel& record, const sim::ChipModel& chipModel)
    : chip(chipModel, clock), unit(chip, clock), port(unit, clock),
      control(buffer, model, port, host) {
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
