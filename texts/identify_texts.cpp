// SPDX-License-Identifier: GPL-3.0-or-later
#include "texts/identify_texts.hpp"

#include "buffer/hex_text.hpp"

namespace tessaline {

namespace {

// "The chip in the socket reports device ID 0420h (revision 3): it is a 18F452"
std::string reportsText(const ChipIdentity& chip) {
    std::string text = "The chip in the socket reports device ID " + deviceIdText(chip);
    if (chip.model)
        text += ": it is a " + chip.modelName;
    return text;
}

std::string notSelectedText(const ChipIdentity& chip) {
    return reportsText(chip) + ", not the selected " + chip.selectedModelName + ".";
}

} // namespace

std::string deviceIdText(const ChipIdentity& chip) {
    const auto revision = static_cast<std::uint16_t>(chip.read & ~chip.partMask);
    return Hex4(chip.read & chip.partMask) + "h" +
           (revision != 0 ? " (revision " + std::to_string(revision) + ")" : std::string());
}

std::string noChipText(const ChipIdentity& chip) {
    return "No chip answers in the socket: its device ID reads " + Hex4(chip.read) + "h.";
}

std::string wrongChipMessage(const ChipIdentity& chip) {
    return (chip.noChip() ? noChipText(chip) : notSelectedText(chip)) + " Nothing was written.";
}

std::string identifiedText(const ChipIdentity& chip, bool selectedModel) {
    if (!chip.model)
        return reportsText(chip) + ", which no model of the device file has.";
    if (selectedModel)
        return reportsText(chip) + ", the selected model.";
    return notSelectedText(chip) + "\nSelect " + chip.modelName + " as the microcontroller model?";
}

} // namespace tessaline
