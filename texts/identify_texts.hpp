// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/chip_identity.hpp"

#include <string>

namespace tessaline {

// What the device ID read from the socket tells the user.

// "0420h (revision 3)": the bits that name the part, then the silicon revision when it is
// not 0.
std::string deviceIdText(const ChipIdentity& chip);

// "No chip answers in the socket: its device ID reads 0000h."
std::string noChipText(const ChipIdentity& chip);

// Why an operation was refused before anything was written: "The chip in the socket
// reports device ID 0420h (revision 3): it is a 18F452, not the selected 18F4520. Nothing
// was written.", or that no chip answers.
std::string wrongChipMessage(const ChipIdentity& chip);

// What Identify Chip found in the window, when a chip answers: its ID and the model it
// belongs to, which is the selected model, or another that the user may select ("...
// not the selected 18F4520." LF "Select 18F452 as the microcontroller model?"), or no
// model of the device file.
std::string identifiedText(const ChipIdentity& chip, bool selectedModel);

} // namespace tessaline
