#include "tests/support/TestBitmap.h"

#include <random>

#include "tools/ScreenBitmap.h"

namespace kvd::test {

std::string TwoColourBitmap(std::uint32_t seed) {
    std::mt19937 generator(seed);
    std::string rows;
    for (int i = 0; i < ScreenRowBytes * ScreenHeight; ++i)
        rows += static_cast<char>(generator() & 0xFF);
    return ScreenBitmap(rows, 0x00000000, 0x00FFFFFF); // black and white
}

} // namespace kvd::test
