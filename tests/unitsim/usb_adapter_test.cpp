// SPDX-License-Identifier: GPL-3.0-or-later
// When each simulated USB serial adapter hands the unit's bytes to the program, and the
// program's to the unit.
#include "unitsim/usb_adapter.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tessaline::unitsim;

namespace {

// `count` bytes from the unit, one every `gapUs` from `firstUs`; the time each reaches
// the program.
std::vector<std::uint64_t> releaseTimes(UsbAdapter adapter, std::uint64_t firstUs, int count,
                                        std::uint64_t gapUs) {
    UsbAdapterModel model(adapter);
    std::vector<std::uint64_t> times;
    int sent = 0;
    for (std::uint64_t now = 0; now < 40000 && static_cast<int>(times.size()) < count; ++now) {
        while (sent < count && firstUs + static_cast<std::uint64_t>(sent) * gapUs == now) {
            model.fromUnit(static_cast<std::uint8_t>(sent), now);
            ++sent;
        }
        for (std::size_t i = 0, n = model.release(now).size(); i < n; ++i)
            times.push_back(now);
    }
    return times;
}

} // namespace

TEST(UsbAdapter, EachReleasesTheUnitsBytesByItsOwnRule) {
    struct Row {
        const char* adapter;
        std::uint64_t firstUs;
        int count;
        std::uint64_t gapUs;
        // The release times of the first and the last byte.
        std::uint64_t first;
        std::uint64_t last;
    };
    const Row rows[] = {
        {"none", 1234, 3, 10, 1234, 1254},
        {"uno", 100, 3, 10, 5000, 5000},  // its timer 0 overflow at 4096, then a USB frame
        {"uno", 100, 97, 10, 2000, 2000}, // more than 96 wait (at 1060): the next frame
        {"uno", 4100, 1, 10, 9000, 9000}, // the overflow after the byte came
        {"ch340", 1500, 2, 10, 2000, 2000},
        {"cp2102", 2000, 1, 10, 2000, 2000},
        {"ftdi16", 1000, 3, 10, 16000, 16000}, // its latency timer
        {"ftdi16", 100, 62, 10, 1000, 1000},   // a full packet of 62
        {"ftdi16", 100, 63, 10, 1000, 17000},  // the 63rd waits for the timer, restarted
        {"ftdi1", 1500, 1, 10, 2000, 2000},
    };
    for (const Row& row : rows) {
        UsbAdapter adapter = UsbAdapter::None;
        ASSERT_TRUE(parseUsbAdapter(row.adapter, adapter)) << row.adapter;
        const std::vector<std::uint64_t> times =
            releaseTimes(adapter, row.firstUs, row.count, row.gapUs);
        ASSERT_EQ(times.size(), static_cast<std::size_t>(row.count)) << row.adapter;
        EXPECT_EQ(times.front(), row.first) << row.adapter << " " << row.count;
        EXPECT_EQ(times.back(), row.last) << row.adapter << " " << row.count;
    }
    UsbAdapter adapter = UsbAdapter::None;
    EXPECT_FALSE(parseUsbAdapter("ftdi", adapter));
    // Toward the unit: the next 1 ms USB frame, except with no adapter.
    EXPECT_EQ(UsbAdapterModel(UsbAdapter::None).towardUnit(1234), 1234u);
    EXPECT_EQ(UsbAdapterModel(UsbAdapter::Uno).towardUnit(1234), 2000u);
}
