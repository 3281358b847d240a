#include "tools/SimulatedScreen.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <random>

#include "tools/ScreenBitmap.h"

namespace kvd {

namespace {

constexpr int Width = ScreenWidth, Height = ScreenHeight, RowBytes = ScreenRowBytes;

// Digits 0-9 on a 5 x 7 grid, a row of five bits per line, top line first.
constexpr std::array<std::array<std::uint8_t, 7>, 10> Digits{{
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E},
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F},
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02},
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E},
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E},
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
}};

// Pixels, top row first; true is dark.
using Screen = std::array<std::array<bool, Width>, Height>;

void Dot(Screen& screen, int x, int y) {
    if (x >= 0 && x < Width && y >= 0 && y < Height)
        screen[std::size_t(y)][std::size_t(x)] = true;
}

void DrawNumber(Screen& screen, int number, int left, int top, int scale) {
    const std::string text = std::to_string(number);
    for (std::size_t i = 0; i < text.size(); ++i)
        for (int row = 0; row < 7; ++row)
            for (int column = 0; column < 5; ++column)
                if (Digits[std::size_t(text[i] - '0')][std::size_t(row)] & (0x10 >> column))
                    for (int dy = 0; dy < scale; ++dy)
                        for (int dx = 0; dx < scale; ++dx)
                            Dot(screen, left + (int(i) * 6 + column) * scale + dx,
                                top + row * scale + dy);
}

void DrawWaveform(Screen& screen, int number) {
    const double amplitude = 12 + number % 5 * 4;
    const double phase = number * 0.7;
    int previous = -1;
    for (int x = 4; x < Width - 4; ++x) {
        const int y = 78 - int(std::lround(amplitude * std::sin(x / 12.0 + phase)));
        // Joined to the last point, so that steep parts stay one line.
        for (int fill = previous < 0 ? y : std::min(y, previous); fill <= std::max(y, previous);
             ++fill)
            Dot(screen, x, fill);
        previous = y;
    }
}

// The screen as bitmap rows: bottom row first, as bitmap files keep them; a set
// bit is the dark colour.
std::string BitmapFile(const Screen& screen) {
    std::string rows;
    for (int y = Height - 1; y >= 0; --y)
        for (int byte = 0; byte < RowBytes; ++byte) {
            std::uint8_t bits = 0;
            for (int bit = 0; bit < 8; ++bit)
                if (screen[std::size_t(y)][std::size_t(byte * 8 + bit)])
                    bits |= std::uint8_t(0x80 >> bit);
            rows += char(bits);
        }
    // Light: the display's background; dark: its ink.
    return ScreenBitmap(rows, 0x00C8E6C8, 0x00202020);
}

} // namespace

std::string SimulatedScreenshot(int number) {
    Screen screen{};
    for (int x = 0; x < Width; ++x) {
        Dot(screen, x, 0);
        Dot(screen, x, Height - 1);
    }
    for (int y = 0; y < Height; ++y) {
        Dot(screen, 0, y);
        Dot(screen, Width - 1, y);
    }
    DrawNumber(screen, number, 8, 8, 3);
    DrawWaveform(screen, number);
    return BitmapFile(screen);
}

std::string PlainFrame(char filler) {
    return "BM" + std::string(2748, filler);
}

std::string LineNoise(std::size_t length, unsigned seed) {
    std::mt19937 generator(seed);
    std::string noise;
    while (noise.size() < length) {
        const char byte = char(generator() & 0xFF);
        const bool last = noise.size() + 1 == length;
        if ((!noise.empty() && noise.back() == 'B' && byte == 'M') || (last && byte == 'B'))
            continue;
        noise += byte;
    }
    return noise;
}

} // namespace kvd
