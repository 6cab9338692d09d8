// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/pinlevel/avr_rig.hpp"

namespace tessaline::test {

namespace {

pinlevel::AvrUnit::Setup setupFor(const DeviceModel& record, const AvrRigOptions& options) {
    pinlevel::AvrUnit::Setup setup;
    setup.firmware = options.firmware;
    setup.model = sim::findChipModel(options.chip ? options.chip : record.model);
    setup.supplies.lowVoltage = options.lowVoltage;
    setup.supplies.mclrFromFiveVolts = options.lowVoltage;
    setup.supplies.vddMillivolts = options.vddMillivolts;
    return setup;
}

} // namespace

std::string firmwarePath(const std::string& name) {
    return std::string(TESSALINE_FIRMWARE_DIR) + "/" + name + ".elf";
}

AvrRig::AvrRig(const DeviceModel& record, const AvrRigOptions& options)
    : unit(setupFor(record, options)), port(unit), control(buffer, model, port, host) {
    ApplySelectedModel(record, model);
    ResetBuffer(buffer, model.FlashSize, model.EepromSize, model.ConfigErased);
    host.onWait = [this](int ms) { port.waitMilliseconds(ms); };
    port.setReceiveHandler([this] { control.MSComm1_OnComm(); });
}

bool AvrRig::run(OperationKind kind) {
    host.ends.clear();
    control.StartOperation(kind, true);
    for (int turn = 0; turn < 10 && control.running(); ++turn) {
        port.deliver();
        if (control.running())
            control.replyTimedOut();
    }
    return !control.running() && host.ends.size() == 1 &&
           (host.ends[0].outcome == Outcome::Done || host.ends[0].outcome == Outcome::CheckFailed);
}

std::vector<std::string> AvrRig::finish(bool allowPowered) {
    unit.finish(allowPowered);
    return unit.violations();
}

} // namespace tessaline::test
