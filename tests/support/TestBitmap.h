#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "tools/ScreenBitmap.h"
#include "tools/SimulatedScreen.h"

namespace kvd::test {

// A real black-and-white bitmap file of 192 x 112 pixels, exactly a screenshot's
// size: 62 bytes of headers and palette, then 112 rows of 24 bytes. The pixels
// follow a pattern drawn from `seed`, so different seeds give different pictures.
inline std::string TwoColourBitmap(std::uint32_t seed = 1) {
    std::mt19937 generator(seed);
    std::string rows;
    for (int i = 0; i < ScreenRowBytes * ScreenHeight; ++i)
        rows += static_cast<char>(generator() & 0xFF);
    return ScreenBitmap(rows, 0x00000000, 0x00FFFFFF);
}

// Three screenshots that differ, for every test that needs a few.
inline const std::string First = TwoColourBitmap(101);
inline const std::string Second = TwoColourBitmap(202);
inline const std::string Third = TwoColourBitmap(303);

} // namespace kvd::test
