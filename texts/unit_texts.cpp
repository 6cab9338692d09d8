// SPDX-License-Identifier: GPL-3.0-or-later
#include "texts/unit_texts.hpp"

#include "buffer/hex_text.hpp"

namespace tessaline {

namespace {

// Centivolts as volts with one decimal, or two where the second is not 0: "12.5", "4.6",
// "11.02".
std::string volts(std::uint16_t centivolts, bool twoDecimals = false) {
    const int tenths = centivolts % 100 / 10;
    const int hundredths = centivolts % 10;
    std::string text = std::to_string(centivolts / 100) + "." + std::to_string(tenths);
    if (twoDecimals || hundredths != 0)
        text += std::to_string(hundredths);
    return text;
}

std::string window(std::uint16_t low, std::uint16_t high) {
    return volts(low) + " to " + volts(high) + " V";
}

} // namespace

std::string unitStatusText(std::uint8_t status) {
    struct Bit {
        std::uint8_t mask;
        std::string text;
    };
    const Bit bits[] = {
        {kStatusVppOutOfRange,
         "The unit refused: VPP outside " + window(kVppMinCentivolts, kVppMaxCentivolts) + " (" +
             window(kMclrLowVoltageMinCentivolts, kMclrLowVoltageMaxCentivolts) +
             " for low-voltage entry)."},
        {kStatusVddOutOfRange, "The unit refused: the target's VDD outside " +
                                   window(kVddMinCentivolts, kVddMaxCentivolts) + "."},
        {kStatusJumpersDisagree,
         "The unit refused: J1 and J3 disagree (J1 must feed about 5 V with J3 closed for "
         "low-voltage entry, " +
             window(kVppMinCentivolts, kVppMaxCentivolts) + " with J3 open)."},
        {kStatusNoVppFirst, "The unit refused: it cannot apply VPP before VDD (command 102)."},
        {kStatusReceiveError, "The unit lost or could not read a byte from the program (a "
                              "receive error) and ran nothing more."},
        {kStatusRefused, "The unit refused a command and ran nothing more."},
        {kStatusSelfPowered, "Warning: the target has a supply of its own (self-powered)."},
    };
    std::string text;
    std::uint8_t rest = status;
    for (const Bit& bit : bits) {
        if ((status & bit.mask) != 0)
            text += bit.text + '\n';
        rest = static_cast<std::uint8_t>(rest & ~bit.mask);
    }
    if (rest != 0)
        text += "The unit set status bits that no unit defines: " + Hex2(rest) + "h.\n";
    return text;
}

std::string detectedUnitText(const OperationEnd& end) {
    if (end.unitType != CommandSet::Reference)
        return "original unit";
    return "reference unit, firmware " + std::to_string(end.report ? end.report->version : 0);
}

std::string unitReportText(const UnitReport& report) {
    std::string text = "Firmware version: " + std::to_string(report.version) + '\n';
    text += "Calibration: " +
            (report.calibrationMillivolts == 0
                 ? "not calibrated (the unit takes its ADC reference as " +
                       std::to_string(kNominalReferenceMillivolts) + " mV)"
                 : std::to_string(report.calibrationMillivolts) + " mV") +
            '\n';
    const std::uint16_t vpp = report.vppCentivolts;
    const std::uint16_t vdd = report.vddCentivolts;
    text += "VPP: " + volts(vpp, true) + " V\n";
    text += "VDD: " + volts(vdd, true) + " V" +
            (vdd >= kVddAbsentCentivolts
                 ? " (the target has a supply of its own)"
                 : " (no supply: the unit switches the target's VDD on at power-up)") +
            '\n';
    const bool lowVoltage = (report.jumpers & kJumperLowVoltage) != 0;
    text += lowVoltage ? "J3: closed, low-voltage entry (PGM)\n" : "J3: open, high-voltage entry\n";
    std::string feeds;
    if (vpp >= kVppMinCentivolts && vpp <= kVppMaxCentivolts)
        feeds =
            "the boost module (VPP within " + window(kVppMinCentivolts, kVppMaxCentivolts) + ")";
    else if (vpp >= kMclrLowVoltageMinCentivolts && vpp <= kMclrLowVoltageMaxCentivolts)
        feeds = "+5 V (VPP within " +
                window(kMclrLowVoltageMinCentivolts, kMclrLowVoltageMaxCentivolts) + ")";
    else if (vpp > kVppMaxCentivolts)
        feeds = "the boost module, set too high (VPP above " + volts(kVppMaxCentivolts) + " V)";
    else if (vpp > kMclrLowVoltageMaxCentivolts)
        feeds = "the boost module, set too low (VPP below " + volts(kVppMinCentivolts) + " V)";
    else
        feeds =
            "nothing the unit can use (VPP below " + volts(kMclrLowVoltageMinCentivolts) + " V)";
    text += "J1: " + feeds + '\n';
    const bool fiveVolts =
        vpp >= kMclrLowVoltageMinCentivolts && vpp <= kMclrLowVoltageMaxCentivolts;
    const bool boost = vpp > kMclrLowVoltageMaxCentivolts;
    if ((lowVoltage && boost) || (!lowVoltage && fiveVolts))
        text += "J1 and J3 disagree: the unit refuses to power up.\n";
    const auto status = static_cast<std::uint8_t>(report.status | report.powerDownStatus);
    if (status == 0)
        return text + "Status: none\n";
    text += "Status:\n";
    const std::string lines = unitStatusText(status);
    for (std::size_t start = 0; start < lines.size();) {
        const std::size_t end = lines.find('\n', start);
        text += "  " + lines.substr(start, end - start + 1);
        start = end + 1;
    }
    return text;
}

std::string needsReferenceUnitText(OperationKind kind) {
    return std::string(kind == OperationKind::Calibrate ? "The calibration" : "The unit report") +
           " is for a reference unit only; the unit type of the port is " +
           "original. Detect the unit first.";
}

} // namespace tessaline
