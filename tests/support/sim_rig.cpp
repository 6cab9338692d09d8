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
    host.ends.clear();
    control.StartOperation(kind, true);
    port.deliver();
    return !control.running() && host.ends.size() == 1 &&
           (host.ends[0].outcome == Outcome::Done || host.ends[0].outcome == Outcome::CheckFailed);
}

const DeviceTable& shippedDevices() {
    static const DeviceTable table = [] {
        auto loaded = LoadDeviceTable(TESSALINE_SOURCE_DIR "/devices.cfg");
        return loaded ? *loaded : DeviceTable{};
    }();
    return table;
}

} // namespace tessaline::test
