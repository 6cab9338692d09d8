// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: any text as devices.cfg; each record's five operations run against the
// in-process programmer unit and a strict chip, with nothing but the engine's own nets to
// end them. Every operation must end (completed, refused or stopped) within a step budget,
// and nothing may trip a sanitizer.
#include "devices/device_table.hpp"
#include "devices/selected_model.hpp"
#include "engine/operation_control.hpp"
#include "sim/loopback_port.hpp"
#include "sim/pic18_chip.hpp"
#include "sim/programmer_unit.hpp"

#include <cstdlib>
#include <string_view>

using namespace tessaline;

namespace {

// Records with small memories keep every run short; the engine's command bound grows with
// the memories, and the budget lies above the bound of the largest record that runs.
constexpr std::int32_t kLargestFlash = 32;
constexpr std::int32_t kLargestEeprom = 8;
constexpr std::int64_t kStepBudget = 30000;
constexpr int kRecordsPerInput = 4;

// The front end of the run: waits move the simulated clock, nothing is shown.
class SilentHost : public OperationHost {
public:
    explicit SilentHost(sim::ManualClock& clock) : m_clock(clock) {}
    void disable() override {}
    void updatedisplay() override {}
    void letPendingEventsRun() override {}
    void operationBegins(OperationKind) override {}
    void showProgress(Memory, std::int32_t, std::int32_t) override {}
    void showConfigByte(std::int32_t) override {}
    void checkFailed(const CheckFailure&) override {}
    void waitMilliseconds(int milliseconds) override {
        m_clock.advance(static_cast<std::int64_t>(milliseconds) * 1000);
    }
    void startReplyTimer(int) override {}
    void stopReplyTimer() override {}
    void operationEnded(const OperationEnd&) override {}

private:
    sim::ManualClock& m_clock;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const sim::ChipModel& chipModel = *sim::findChipModel("18F452");
    int records = 0;
    for (const DeviceModel& record : parseDeviceTable(text, "devices.cfg")) {
        if (++records > kRecordsPerInput)
            break;
        SelectedModelValues model;
        ApplySelectedModel(record, model);
        if (model.FlashSize < 0 || model.FlashSize > kLargestFlash || model.EepromSize < 0 ||
            model.EepromSize > kLargestEeprom)
            continue;
        sim::ManualClock clock;
        sim::Pic18Chip chip(chipModel, clock);
        sim::ProgrammerUnit unit(chip, clock);
        sim::LoopbackPort port(unit, clock);
        ProgramBuffer buffer;
        ResetBuffer(buffer, model.FlashSize, model.EepromSize, model.ConfigErased);
        SilentHost host(clock);
        OperationControl control(buffer, model, port, host);
        port.setReceiveHandler([&control] { control.MSComm1_OnComm(); });
        for (const OperationKind kind :
             {OperationKind::Program, OperationKind::Verify, OperationKind::Read,
              OperationKind::Blank, OperationKind::Erase}) {
            control.StartOperation(kind, true);
            port.deliver(kStepBudget);
            // The unit answers every command, so only the engine can end an operation.
            if (control.running())
                std::abort();
        }
    }
    return 0;
}
