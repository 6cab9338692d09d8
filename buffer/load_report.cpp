#include "buffer/load_report.hpp"

namespace tessaline {

std::string kibText(std::int32_t loadedFlashTop) {
    // n / 1024 has at most ten decimal places, all exact: 10^10 / 1024 = 5^10.
    const std::int64_t whole = loadedFlashTop / 1024;
    const std::int64_t remainder = loadedFlashTop % 1024;
    std::string text = whole == 0 && remainder != 0 ? std::string() : std::to_string(whole);
    if (remainder != 0) {
        std::string fraction = std::to_string(remainder * 9765625);
        fraction.insert(0, 10 - fraction.size(), '0');
        while (fraction.back() == '0')
            fraction.pop_back();
        text += "." + fraction;
    }
    return text.substr(0, 4);
}

std::string loadReport(std::int32_t loadedFlashTop) {
    return "Operation completed.\r\nTotal " + std::to_string(loadedFlashTop) + " (" +
           kibText(loadedFlashTop) + "K) program bytes loaded.";
}

} // namespace tessaline
