#include "tools/ScreenBitmap.h"

namespace kvd {

namespace {

constexpr std::uint32_t Headers = 62;

void PutLittleEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

} // namespace

std::string ScreenBitmap(std::string_view rows, std::uint32_t colour0, std::uint32_t colour1) {
    constexpr std::uint32_t pixelBytes = ScreenRowBytes * ScreenHeight;
    std::string file = "BM";
    PutLittleEndian(file, Headers + pixelBytes, 4); // file size: 2750
    PutLittleEndian(file, 0, 4);                    // reserved
    PutLittleEndian(file, Headers, 4);              // offset of the pixels
    PutLittleEndian(file, 40, 4);                   // info header size
    PutLittleEndian(file, ScreenWidth, 4);
    PutLittleEndian(file, ScreenHeight, 4);
    PutLittleEndian(file, 1, 2); // planes
    PutLittleEndian(file, 1, 2); // bits per pixel
    PutLittleEndian(file, 0, 4); // no compression
    PutLittleEndian(file, pixelBytes, 4);
    PutLittleEndian(file, 2835, 4); // 72 dpi, both ways
    PutLittleEndian(file, 2835, 4);
    PutLittleEndian(file, 2, 4); // colours used
    PutLittleEndian(file, 2, 4);
    PutLittleEndian(file, colour0, 4);
    PutLittleEndian(file, colour1, 4);
    file += rows.substr(0, pixelBytes);
    file.resize(Headers + pixelBytes, '\0');
    return file;
}

} // namespace kvd
