#include "platform/RunLengthBitmap.h"

#include <algorithm>
#include <cstdint>

#include "platform/Picture.h"

namespace kvd {

namespace {

constexpr std::size_t FileHeaderSize = 14;
constexpr std::size_t InfoHeaderSize = 40;
constexpr std::uint32_t RunLength8 = 1, RunLength4 = 2;

std::uint32_t Little(std::string_view bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | std::uint8_t(bytes[at + std::size_t(i)]);
    return value;
}

void PutLittle(std::string& bytes, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i, value >>= 8)
        bytes += char(value & 0xFF);
}

// What the header of a bitmap of 40 header bytes or more says of its pixels.
struct Header {
    std::int64_t width = 0, height = 0;
    std::uint32_t headerSize = 0, bits = 0, compression = 0, colours = 0, pixelsAt = 0;
    std::size_t paletteAt = 0;
};

Header ReadHeader(std::string_view bytes) {
    Header header;
    header.pixelsAt = Little(bytes, 10, 4);
    header.headerSize = Little(bytes, 14, 4);
    header.width = std::int32_t(Little(bytes, 18, 4));
    header.height = std::int32_t(Little(bytes, 22, 4));
    header.bits = Little(bytes, 28, 2);
    header.compression = Little(bytes, 30, 4);
    const std::uint32_t coloursUsed = Little(bytes, 46, 4);
    header.colours = coloursUsed != 0 ? coloursUsed : 1U << (header.bits & 15);
    header.paletteAt = FileHeaderSize + header.headerSize;
    return header;
}

// Why the pixels of a bitmap with this header cannot be expanded; empty when
// they can.
std::string WhyNotExpanded(const Header& header, std::size_t size) {
    const std::string damaged = "its bitmap header is damaged";
    if (header.bits != (header.compression == RunLength8 ? 8U : 4U))
        return damaged + " (run-length pixels of " + std::to_string(header.bits) + " bits)";
    if (header.width <= 0 || header.height == 0)
        return "its bitmap header claims no picture";
    if (header.height < 0) // rows from the top: for run lengths there is no such thing
        return damaged + " (run-length pixels stored from the top down)";
    if (header.width * header.height > MaxPicturePixels)
        return "the picture is too large (" + std::to_string(header.width) + " x " +
               std::to_string(header.height) + " pixels)";
    if (header.colours > 256)
        return damaged + " (a palette of " + std::to_string(header.colours) + " colours)";
    if (header.paletteAt + std::size_t(header.colours) * 4 >= size)
        return "the bitmap file is cut short: its palette is incomplete";
    return {};
}

// The compressed pixels, a byte at a time.
class Runs {
public:
    explicit Runs(std::string_view bytes) : bytes_(bytes) {}
    bool next(std::uint8_t& byte) {
        if (at_ >= bytes_.size())
            return false;
        byte = std::uint8_t(bytes_[at_++]);
        return true;
    }
    void skip() { ++at_; }

private:
    std::string_view bytes_;
    std::size_t at_ = 0;
};

// Where the next pixel goes, in rows counted from the bottom as the file keeps
// them. What falls outside the picture is dropped.
class Canvas {
public:
    Canvas(char* pixels, std::int64_t width, std::int64_t height)
        : pixels_(pixels), width_(width), height_(height), rowBytes_((width + 3) / 4 * 4) {}
    void put(std::uint8_t index) {
        if (x_ < width_ && y_ < height_)
            pixels_[y_ * rowBytes_ + x_] = char(index);
        ++x_;
    }
    void nextLine() {
        x_ = 0;
        ++y_;
    }
    void jump(std::uint8_t right, std::uint8_t up) {
        x_ += right;
        y_ += up;
    }
    bool full() const { return y_ >= height_; }

private:
    char* pixels_;
    std::int64_t width_, height_, rowBytes_;
    std::int64_t x_ = 0, y_ = 0;
};

// The `nth` pixel of a byte: itself, or of 4-bit pixels its high half first.
std::uint8_t Pixel(std::uint8_t byte, int nth, bool fourBits) {
    return !fourBits ? byte : nth % 2 == 0 ? byte >> 4 : byte & 0x0F;
}

void Repeat(Canvas& canvas, int count, std::uint8_t pixels, bool fourBits) {
    for (int nth = 0; nth < count; ++nth)
        canvas.put(Pixel(pixels, nth, fourBits));
}

// `count` pixels as they are, in bytes that end on an even count.
void Copy(Runs& runs, Canvas& canvas, int count, bool fourBits) {
    std::uint8_t byte = 0;
    for (int nth = 0; nth < count; ++nth) {
        if ((!fourBits || nth % 2 == 0) && !runs.next(byte))
            return;
        canvas.put(Pixel(byte, nth, fourBits));
    }
    if ((fourBits ? (count + 1) / 2 : count) % 2 == 1)
        runs.skip();
}

// Two bytes repeat one byte's pixels, or with a first byte of 0: 0 ends the
// line, 1 the picture, 2 jumps right and up by the next two bytes, and more
// copies that many pixels as they are.
void Decode(Runs runs, Canvas& canvas, bool fourBits) {
    std::uint8_t count = 0, second = 0, right = 0, up = 0;
    while (!canvas.full() && runs.next(count) && runs.next(second)) {
        if (count > 0)
            Repeat(canvas, count, second, fourBits);
        else if (second == 0)
            canvas.nextLine();
        else if (second == 1)
            return;
        else if (second == 2 && runs.next(right) && runs.next(up))
            canvas.jump(right, up);
        else if (second > 2)
            Copy(runs, canvas, second, fourBits);
    }
}

// The headers of an uncompressed 8-bit bitmap of `header`'s size and palette.
std::string UncompressedHeaders(std::string_view bytes, const Header& header,
                                std::size_t pixelBytes) {
    const std::size_t paletteBytes = std::size_t(header.colours) * 4;
    const std::size_t pixelsAt = FileHeaderSize + InfoHeaderSize + paletteBytes;
    std::string headers = "BM";
    PutLittle(headers, std::uint32_t(pixelsAt + pixelBytes), 4);
    PutLittle(headers, 0, 4);
    PutLittle(headers, std::uint32_t(pixelsAt), 4);
    PutLittle(headers, InfoHeaderSize, 4);
    PutLittle(headers, std::uint32_t(header.width), 4);
    PutLittle(headers, std::uint32_t(header.height), 4);
    PutLittle(headers, 1, 2); // planes
    PutLittle(headers, 8, 2); // bits
    PutLittle(headers, 0, 4); // compression: none
    PutLittle(headers, std::uint32_t(pixelBytes), 4);
    headers += bytes.substr(38, 8); // pixels a metre across and up
    PutLittle(headers, header.colours, 4);
    PutLittle(headers, 0, 4); // colours that matter: all
    headers += bytes.substr(header.paletteAt, paletteBytes);
    return headers;
}

} // namespace

bool IsRunLengthBitmap(std::string_view bytes) {
    if (!bytes.starts_with("BM") || bytes.size() < FileHeaderSize + InfoHeaderSize ||
        Little(bytes, 14, 4) < InfoHeaderSize)
        return false;
    const std::uint32_t compression = Little(bytes, 30, 4);
    return compression == RunLength8 || compression == RunLength4;
}

// The pixels start where the header says, but never inside the palette.
std::string ExpandRunLengthBitmap(std::string_view bytes, std::string& whyNot) {
    if (!IsRunLengthBitmap(bytes)) {
        whyNot = "it is no run-length bitmap";
        return {};
    }
    const Header header = ReadHeader(bytes);
    whyNot = WhyNotExpanded(header, bytes.size());
    if (!whyNot.empty())
        return {};
    const std::size_t pixelBytes = std::size_t((header.width + 3) / 4 * 4 * header.height);
    std::string expanded = UncompressedHeaders(bytes, header, pixelBytes);
    const std::size_t pixelsAt = expanded.size();
    expanded.resize(pixelsAt + pixelBytes, '\0'); // the palette's first colour
    Canvas canvas(expanded.data() + pixelsAt, header.width, header.height);
    const std::size_t runsAt =
        std::max<std::size_t>(header.pixelsAt, header.paletteAt + header.colours * 4);
    Decode(Runs(bytes.substr(std::min(runsAt, bytes.size()))), canvas,
           header.compression == RunLength4);
    return expanded;
}

} // namespace kvd
