#include "tests/support/sim_rig.hpp"

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
    if (control.StartOperation(kind, true, 1) != OperationControl::StartResult::Started)
        return false;
    port.deliver();
    return !control.running() && !control.lastCompletion().empty();
}

const DeviceTable& shippedDevices() {
    static const DeviceTable table = [] {
        auto loaded = LoadDeviceTable(TESSALINE_SOURCE_DIR "/devices.cfg");
        return loaded ? *loaded : DeviceTable{};
    }();
    return table;
}

} // namespace tessaline::test
