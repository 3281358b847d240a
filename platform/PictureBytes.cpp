#include "platform/PictureBytes.h"

#include <cstdint>
#include <cstdlib>

namespace kvd {

namespace {

std::uint32_t Little(std::string_view bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | std::uint8_t(bytes[at + std::size_t(i)]);
    return value;
}

// What a bitmap's header claims, in the two header kinds there are: the old
// 12-byte one, and the 40-byte one and its longer successors.
struct BitmapClaim {
    std::int64_t width = 0, height = 0;
    std::uint32_t bits = 0, compression = 0, pixelsAt = 0;
};

constexpr std::size_t FileHeaderSize = 14;

bool ReadClaim(std::string_view bytes, BitmapClaim& claim) {
    if (bytes.size() < FileHeaderSize + 12)
        return false;
    const std::uint32_t headerSize = Little(bytes, 14, 4);
    claim.pixelsAt = Little(bytes, 10, 4);
    if (headerSize == 12) {
        claim.width = Little(bytes, 18, 2);
        claim.height = Little(bytes, 20, 2);
        claim.bits = Little(bytes, 24, 2);
        return true;
    }
    if (headerSize < 40 || headerSize > 124 || bytes.size() < FileHeaderSize + 40)
        return false;
    claim.width = std::int32_t(Little(bytes, 18, 4));
    claim.height = std::int32_t(Little(bytes, 22, 4));
    claim.bits = Little(bytes, 28, 2);
    claim.compression = Little(bytes, 30, 4);
    return claim.pixelsAt >= FileHeaderSize + headerSize;
}

std::string Claimed(const BitmapClaim& claim) {
    return std::to_string(claim.width) + " x " + std::to_string(std::llabs(claim.height)) +
           " pixels at " + std::to_string(claim.bits) + (claim.bits == 1 ? " bit" : " bits");
}

// A JPEG ends with its end-of-image marker after the last scan's data; inside
// that data a 0xFF byte is always followed by 0x00 or a restart marker.
std::string WhyJpegIsCutShort(std::string_view bytes) {
    const std::size_t lastScan = bytes.rfind("\xFF\xDA");
    if (lastScan == std::string_view::npos ||
        bytes.find("\xFF\xD9", lastScan) == std::string_view::npos)
        return "the JPEG file is cut short: its end is missing";
    return {};
}

} // namespace

std::string WhyBitmapCannotFit(std::string_view start, std::size_t size) {
    BitmapClaim claim;
    if (!ReadClaim(start, claim))
        return start.size() < FileHeaderSize + 40 && start.size() < size
                   ? std::string{} // too little of it yet to tell
                   : "its bitmap header is damaged";
    const std::int64_t height = std::llabs(claim.height);
    const bool knownDepth = claim.bits == 1 || claim.bits == 4 || claim.bits == 8 ||
                            claim.bits == 16 || claim.bits == 24 || claim.bits == 32;
    if (claim.width <= 0 || height == 0 || !knownDepth)
        return "its bitmap header claims no picture (" + Claimed(claim) + ")";
    const std::int64_t pixelBytes = std::int64_t(size) - std::int64_t(claim.pixelsAt);
    const std::string tooMuch = "its header claims " + Claimed(claim) + ", more than its " +
                                std::to_string(size) + " bytes hold";
    switch (claim.compression) {
    case 0: // rows as they are
    case 3: // the same, with masks for the colours
    case 6: {
        // Divided, not multiplied: a header's numbers can overflow a product.
        const std::int64_t rowBytes = (claim.width * claim.bits + 31) / 32 * 4;
        return pixelBytes >= 0 && rowBytes <= pixelBytes / height ? std::string{} : tooMuch;
    }
    case 1: // run-length: two bytes repeat one colour up to 255 times
    case 2:
        return pixelBytes >= 0 && claim.width <= pixelBytes / 2 * 255 / height ? std::string{}
                                                                               : tooMuch;
    default:
        return "its bitmap is compressed in a way this program does not read";
    }
}

std::string WhyPictureIsCutShort(std::string_view bytes) {
    if (bytes.starts_with("BM"))
        return WhyBitmapCannotFit(bytes, bytes.size());
    if (bytes.starts_with("\xFF\xD8\xFF"))
        return WhyJpegIsCutShort(bytes);
    return {};
}

} // namespace kvd
