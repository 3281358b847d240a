#include "tests/support/TestBitmap.h"

#include <random>

namespace kvd::test {

namespace {

void PutLittleEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

} // namespace

std::string TwoColourBitmap(std::uint32_t seed) {
    constexpr std::uint32_t width = 192, height = 112, rowBytes = 24, headers = 62;
    std::string file = "BM";
    PutLittleEndian(file, headers + rowBytes * height, 4); // file size: 2750
    PutLittleEndian(file, 0, 4);                           // reserved
    PutLittleEndian(file, headers, 4);                     // offset of the pixels
    PutLittleEndian(file, 40, 4);                          // info header size
    PutLittleEndian(file, width, 4);
    PutLittleEndian(file, height, 4);
    PutLittleEndian(file, 1, 2); // planes
    PutLittleEndian(file, 1, 2); // bits per pixel
    PutLittleEndian(file, 0, 4); // no compression
    PutLittleEndian(file, rowBytes * height, 4);
    PutLittleEndian(file, 2835, 4); // 72 dpi, both ways
    PutLittleEndian(file, 2835, 4);
    PutLittleEndian(file, 2, 4); // colours used
    PutLittleEndian(file, 2, 4);
    PutLittleEndian(file, 0x00000000, 4); // black
    PutLittleEndian(file, 0x00FFFFFF, 4); // white
    std::mt19937 generator(seed);
    for (std::uint32_t i = 0; i < rowBytes * height; ++i)
        file += static_cast<char>(generator() & 0xFF);
    return file;
}

std::string PlainFrame(char filler) {
    return "BM" + std::string(2748, filler);
}

} // namespace kvd::test
