// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/operation_kind.hpp"

#include <cstdint>
#include <string>

namespace tessaline {

// What a reference unit says of itself, and why it refused, in words. Lines end with LF.

// One line per bit of a reference unit's status, the reasons first: "The unit refused: VPP
// outside 10.0 to 12.5 V (4.5 to 5.5 V for low-voltage entry).", then a receive error, a
// refused command, the self-powered warning and bits no unit defines. Empty for 00h.
std::string unitStatusText(std::uint8_t status);

// What the probe found: "reference unit, firmware 2" or "original unit".
std::string detectedUnitText(const OperationEnd& end);

// The unit report: the firmware's version, the calibration, VPP and VDD as measured while
// powered down, J3 as the unit reads it, what J1 feeds as VPP shows it, and the status.
std::string unitReportText(const UnitReport& report);

// An operation that only a reference unit takes, refused for a unit of another type.
std::string needsReferenceUnitText(OperationKind kind);

} // namespace tessaline
