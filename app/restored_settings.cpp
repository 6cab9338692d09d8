// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/restored_settings.hpp"

#include "app/settings_store.hpp"
#include "options/option_rules.hpp"

namespace tessaline {

RestoredSettings restoreSettings(const SettingsStore* store, std::int32_t modelCount,
                                 const std::string& defaultLastPath, StoreRepair repair) {
    const bool writeBack = repair == StoreRepair::WriteBack && store;
    const auto read = [&](const char* name, const std::string& defaultValue) {
        if (!store)
            return defaultValue;
        return writeBack ? store->ReadSetting(name, defaultValue)
                         : store->storedSetting(name).value_or(defaultValue);
    };
    RestoredSettings restored;
    restored.lastPath = read(kSettingLastPath, defaultLastPath);
    const std::optional<std::int32_t> model =
        storedModel(read(kSettingModel, kDefaultModel), modelCount);
    restored.model = model.value_or(1);
    if (!model && writeBack)
        store->WriteSetting(kSettingModel, "1");
    restored.portNumber = storedPortNumber(read(kSettingPortNumber, kDefaultPortNumber));
    restored.baudRate = read(kSettingBaudRate, kDefaultBaudRate);
    restored.verifyAfterProgram =
        read(kSettingVerifyAfterProgram, kDefaultVerifyAfterProgram) != "0";
    restored.unitDelayMs = storedUnitDelay(read(kSettingUnitDelay, kDefaultUnitDelay));
    return restored;
}

CommandSet restoreUnitType(const SettingsStore* store, const std::string& device,
                           StoreRepair repair) {
    if (!store)
        return CommandSet::Original;
    const std::string name = unitTypeSettingName(device);
    return storedUnitType(repair == StoreRepair::WriteBack
                              ? store->ReadSetting(name, kDefaultUnitType)
                              : store->storedSetting(name).value_or(kDefaultUnitType));
}

std::int32_t restoreFastBaud(const SettingsStore* store, const std::string& device,
                             StoreRepair repair) {
    if (!store)
        return storedFastBaud(kDefaultFastBaud);
    const std::string name = fastBaudSettingName(device);
    return storedFastBaud(repair == StoreRepair::WriteBack
                              ? store->ReadSetting(name, kDefaultFastBaud)
                              : store->storedSetting(name).value_or(kDefaultFastBaud));
}

} // namespace tessaline
