#include "sim/chip_models.hpp"

#include <cctype>
#include <string>

namespace tessaline::sim {

namespace {

using Bytes = std::array<std::uint8_t, 14>;

// Erased values and implemented bits of CONFIG1L .. CONFIG7H. On the FXX2 and X220 parts
// every implemented bit erases to 1, so the erased value is the mask.
constexpr Bytes kFxx2Large{0x00, 0x27, 0x0F, 0x0F, 0x00, 0x01, 0x85,
                           0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};
constexpr Bytes kFxx2Small{0x00, 0x27, 0x0F, 0x0F, 0x00, 0x01, 0x85,
                           0x00, 0x03, 0xC0, 0x03, 0xE0, 0x03, 0x40};
constexpr Bytes kFxx8Large{0x00, 0x27, 0x0F, 0x0F, 0x00, 0x00, 0x85,
                           0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};
constexpr Bytes kFxx8Small{0x00, 0x27, 0x0F, 0x0F, 0x00, 0x00, 0x85,
                           0x00, 0x03, 0xC0, 0x03, 0xE0, 0x03, 0x40};
constexpr Bytes kX1x20{0x00, 0xCF, 0x0F, 0x1F, 0x00, 0x80, 0x85,
                       0x00, 0x03, 0xC0, 0x03, 0xE0, 0x03, 0x40};
constexpr Bytes kX220Small{0x00, 0xCF, 0x0F, 0x1F, 0x00, 0x83, 0x85,
                           0x00, 0x03, 0xC0, 0x03, 0xE0, 0x03, 0x40};
constexpr Bytes kX320Large{0x00, 0xCF, 0x0F, 0x1F, 0x00, 0x83, 0x85,
                           0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};

constexpr Bytes k2520Erased{0x00, 0x07, 0x1F, 0x1F, 0x00, 0x83, 0x85,
                            0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};
constexpr Bytes k2520Mask{0x00, 0xCF, 0x1F, 0x1F, 0x00, 0x87, 0xC5,
                          0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};
constexpr Bytes k2420Erased{0x00, 0x07, 0x1F, 0x1F, 0x00, 0x83, 0x85,
                            0x00, 0x03, 0xC0, 0x03, 0xE0, 0x03, 0x40};
constexpr Bytes k2420Mask{0x00, 0xCF, 0x1F, 0x1F, 0x00, 0x87, 0xC5,
                          0x00, 0x03, 0xC0, 0x03, 0xE0, 0x03, 0x40};
constexpr Bytes k2550Erased{0x00, 0x05, 0x1F, 0x1F, 0x00, 0x83, 0x85,
                            0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};
constexpr Bytes k2550Mask{0x3F, 0xCF, 0x3F, 0x1F, 0x00, 0x87, 0xE5,
                          0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};
constexpr Bytes k2455Erased{0x00, 0x05, 0x1F, 0x1F, 0x00, 0x83, 0x85,
                            0x00, 0x07, 0xC0, 0x07, 0xE0, 0x07, 0x40};
constexpr Bytes k2455Mask{0x3F, 0xCF, 0x3F, 0x1F, 0x00, 0x87, 0xE5,
                          0x00, 0x07, 0xC0, 0x07, 0xE0, 0x07, 0x40};

constexpr Bytes kK20LargeErased{0x00, 0x07, 0x1F, 0x1F, 0x00, 0x8B, 0x85,
                                0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};
constexpr Bytes kK20LargeMask{0x00, 0xCF, 0x1F, 0x1F, 0x00, 0x8F, 0xC5,
                              0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};
constexpr Bytes kK20SmallErased{0x00, 0x07, 0x1F, 0x1F, 0x00, 0x8B, 0x85,
                                0x00, 0x03, 0xC0, 0x03, 0xE0, 0x03, 0x40};
constexpr Bytes kK20SmallMask{0x00, 0xCF, 0x1F, 0x1F, 0x00, 0x8F, 0xC5,
                              0x00, 0x03, 0xC0, 0x03, 0xE0, 0x03, 0x40};
constexpr Bytes kK22LargeErased{0x00, 0x25, 0x1F, 0x3F, 0x00, 0xBF, 0x85,
                                0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};
constexpr Bytes kK22LargeMask{0x00, 0xFF, 0x1F, 0x3F, 0x00, 0xBF, 0xC5,
                              0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40};
constexpr Bytes kK22SmallErased{0x00, 0x25, 0x1F, 0x3F, 0x00, 0xBF, 0x85,
                                0x00, 0x03, 0xC0, 0x03, 0xE0, 0x03, 0x40};
constexpr Bytes kK22SmallMask{0x00, 0xFF, 0x1F, 0x3F, 0x00, 0xBF, 0xC5,
                              0x00, 0x03, 0xC0, 0x03, 0xE0, 0x03, 0x40};

constexpr ChipModel kModels[] = {
    {"18F242", Family::FXX2, 16384, 256, 8, 0x0480, kFxx2Small, kFxx2Small},
    {"18F252", Family::FXX2, 32768, 256, 8, 0x0400, kFxx2Large, kFxx2Large},
    {"18F442", Family::FXX2, 16384, 256, 8, 0x04A0, kFxx2Small, kFxx2Small},
    {"18F452", Family::FXX2, 32768, 256, 8, 0x0420, kFxx2Large, kFxx2Large},
    {"18F248", Family::FXX2, 16384, 256, 8, 0x0800, kFxx8Small, kFxx8Small},
    {"18F258", Family::FXX2, 32768, 256, 8, 0x0840, kFxx8Large, kFxx8Large},
    {"18F448", Family::FXX2, 16384, 256, 8, 0x0820, kFxx8Small, kFxx8Small},
    {"18F458", Family::FXX2, 32768, 256, 8, 0x0860, kFxx8Large, kFxx8Large},
    {"18F1220", Family::X220, 4096, 256, 8, 0x07E0, kX1x20, kX1x20},
    {"18F1320", Family::X220, 8192, 256, 8, 0x07C0, kX1x20, kX1x20},
    {"18F2220", Family::X220, 4096, 256, 8, 0x0580, kX220Small, kX220Small},
    {"18F2320", Family::X220, 8192, 256, 8, 0x0500, kX320Large, kX320Large},
    {"18F4220", Family::X220, 4096, 256, 8, 0x05A0, kX220Small, kX220Small},
    {"18F4320", Family::X220, 8192, 256, 8, 0x0520, kX320Large, kX320Large},
    {"18F2420", Family::F2XXX, 16384, 256, 32, 0x1140, k2420Erased, k2420Mask},
    {"18F2520", Family::F2XXX, 32768, 256, 32, 0x1100, k2520Erased, k2520Mask},
    {"18F4420", Family::F2XXX, 16384, 256, 32, 0x10C0, k2420Erased, k2420Mask},
    {"18F4520", Family::F2XXX, 32768, 256, 32, 0x1080, k2520Erased, k2520Mask},
    {"18F2455", Family::F2XXX, 24576, 256, 32, 0x1260, k2455Erased, k2455Mask},
    {"18F2550", Family::F2XXX, 32768, 256, 32, 0x1240, k2550Erased, k2550Mask},
    {"18F4455", Family::F2XXX, 24576, 256, 32, 0x1220, k2455Erased, k2455Mask},
    {"18F4550", Family::F2XXX, 32768, 256, 32, 0x1200, k2550Erased, k2550Mask},
    {"18F2620", Family::F2XXX, 65536, 1024, 64, 0x0C80, k2520Erased, k2520Mask},
    {"18F4620", Family::F2XXX, 65536, 1024, 64, 0x0C00, k2520Erased, k2520Mask},
    {"18F23K20", Family::K20, 8192, 256, 8, 0x20E0, kK20SmallErased, kK20SmallMask},
    {"18F24K20", Family::K20, 16384, 256, 32, 0x20A0, kK20SmallErased, kK20SmallMask},
    {"18F25K20", Family::K20, 32768, 256, 32, 0x2060, kK20LargeErased, kK20LargeMask},
    {"18F26K20", Family::K20, 65536, 1024, 64, 0x2020, kK20LargeErased, kK20LargeMask},
    {"18F43K20", Family::K20, 8192, 256, 8, 0x20C0, kK20SmallErased, kK20SmallMask},
    {"18F44K20", Family::K20, 16384, 256, 32, 0x2080, kK20SmallErased, kK20SmallMask},
    {"18F45K20", Family::K20, 32768, 256, 32, 0x2040, kK20LargeErased, kK20LargeMask},
    {"18F46K20", Family::K20, 65536, 1024, 64, 0x2000, kK20LargeErased, kK20LargeMask},
    {"18F23K22", Family::K22, 8192, 256, 64, 0x5740, kK22SmallErased, kK22SmallMask},
    {"18F24K22", Family::K22, 16384, 256, 64, 0x5640, kK22SmallErased, kK22SmallMask},
    {"18F25K22", Family::K22, 32768, 256, 64, 0x5540, kK22LargeErased, kK22LargeMask},
    {"18F26K22", Family::K22, 65536, 1024, 64, 0x5440, kK22LargeErased, kK22LargeMask},
    {"18F43K22", Family::K22, 8192, 256, 64, 0x5700, kK22SmallErased, kK22SmallMask},
    {"18F44K22", Family::K22, 16384, 256, 64, 0x5600, kK22SmallErased, kK22SmallMask},
    {"18F45K22", Family::K22, 32768, 256, 64, 0x5500, kK22LargeErased, kK22LargeMask},
    {"18F46K22", Family::K22, 65536, 1024, 64, 0x5400, kK22LargeErased, kK22LargeMask},
};

} // namespace

FamilyTiming timingOf(Family family) {
    switch (family) {
    case Family::FXX2:
    case Family::X220:
        return {1000, 1000, 5000, 5000};
    case Family::F2XXX:
        return {1000, 1000, 5000, 4000};
    case Family::K20:
        return {1000, 5000, 5000, 4000};
    case Family::K22:
        return {1000, 5000, 15000, 4000};
    }
    return {1000, 1000, 5000, 5000};
}

std::string_view familyName(Family family) {
    switch (family) {
    case Family::FXX2:
        return "PIC18FXX2/XX8";
    case Family::X220:
        return "PIC18FX220/X320";
    case Family::F2XXX:
        return "PIC18F2XXX/4XXX";
    case Family::K20:
        return "PIC18F2XK20/4XK20";
    case Family::K22:
        return "PIC18F2XK22/4XK22";
    }
    return {};
}

const ChipModel* findChipModel(std::string_view name) {
    std::string wanted;
    for (char c : name)
        wanted.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    if (wanted.starts_with("PIC"))
        wanted.erase(0, 3);
    for (const ChipModel& model : kModels)
        if (model.name == wanted)
            return &model;
    return nullptr;
}

const ChipModel* chipModels(std::size_t& count) {
    count = std::size(kModels);
    return kModels;
}

} // namespace tessaline::sim
