#include "platform/PictureBytes.h"

#include <algorithm>
#include <array>
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
// that data a 0xFF byte is always followed by 0x00 or a restart marker. One
// pass from the front, from one 0xFF to the next: a photograph is megabytes.
std::string WhyJpegIsCutShort(std::string_view bytes) {
    bool scan = false, endAfterIt = false;
    for (std::size_t at = bytes.find('\xFF'); at != std::string_view::npos && at + 1 < bytes.size();
         at = bytes.find('\xFF', at + 1)) {
        if (bytes[at + 1] == '\xDA') {
            scan = true;
            endAfterIt = false;
        } else if (bytes[at + 1] == '\xD9' && scan) {
            endAfterIt = true;
        }
    }
    if (!endAfterIt)
        return "the JPEG file is cut short: its end is missing";
    return {};
}

// The CRC-32 that PNG files keep of each chunk (ISO 3309).
std::uint32_t Crc32(std::string_view bytes) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> made{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t crc = n;
            for (int bit = 0; bit < 8; ++bit)
                crc = crc & 1 ? 0xEDB88320U ^ (crc >> 1) : crc >> 1;
            made[n] = crc;
        }
        return made;
    }();
    std::uint32_t crc = 0xFFFFFFFFU;
    for (const char byte : bytes)
        crc = table[(crc ^ std::uint8_t(byte)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFU;
}

// The `size` bytes from `at` on, the first the highest.
std::uint32_t Big(std::string_view bytes, std::size_t at, int size = 4) {
    std::uint32_t value = 0;
    for (int i = 0; i < size; ++i)
        value = value << 8 | std::uint8_t(bytes[at + std::size_t(i)]);
    return value;
}

// After its 8-byte signature a PNG is chunks, each its length, its kind, its
// data and a CRC-32 of kind and data, up to an IEND chunk. A damaged chunk of a
// kind a reader cannot do without (its kind's first letter a capital) is said
// here, as a chunk cut short is: Qt's reader lets libpng print its own line of
// them on standard error.
std::string WhyPngIsCutShort(std::string_view bytes) {
    for (std::size_t at = 8; bytes.size() - at >= 12;) {
        const std::uint32_t length = Big(bytes, at);
        if (length > bytes.size() - at - 12)
            break;
        const std::string_view kind = bytes.substr(at + 4, 4);
        const bool needed = (kind[0] & 0x20) == 0;
        if (needed && Crc32(bytes.substr(at + 4, 4 + length)) != Big(bytes, at + 8 + length))
            return "the PNG file is damaged: one of its parts does not match its checksum";
        if (kind == "IEND")
            return {};
        at += 12 + std::size_t(length);
    }
    return "the PNG file is cut short: its end is missing";
}

// What the headers of a JPEG say before its first scan.
struct JpegHeaders {
    std::optional<JpegFrame> frame;
    bool progressive = false;
    std::array<int, 3> ids{}, quantTables{};
    unsigned quantDefined = 0;   // a bit for each of the 4 tables
    unsigned huffmanDefined = 0; // DC tables in bits 0-3, AC tables in bits 4-7
    bool jfif = false;
    int adobeTransform = -1; // none
};

// A frame of a kind a PDF reads: Huffman-coded (SOF0 baseline, SOF1 extended,
// SOF2 progressive), 8 bits, 1 or 3 components with sampling factors of 1 to 4.
bool ReadFrame(std::string_view segment, int code, JpegHeaders& headers) {
    if (headers.frame || segment.size() < 6 || std::uint8_t(segment[0]) != 8)
        return false;
    const int components = std::uint8_t(segment[5]);
    if ((components != 1 && components != 3) || segment.size() != 6 + 3 * std::size_t(components))
        return false;
    JpegFrame frame{int(Big(segment, 3, 2)), int(Big(segment, 1, 2)), components};
    if (frame.width == 0 || frame.height == 0) // a height told after the scan
        return false;
    for (int c = 0; c < components; ++c) {
        const std::size_t at = 6 + 3 * std::size_t(c);
        const int sampling = std::uint8_t(segment[at + 1]), table = std::uint8_t(segment[at + 2]);
        if (sampling >> 4 < 1 || sampling >> 4 > 4 || (sampling & 15) < 1 || (sampling & 15) > 4 ||
            table > 3)
            return false;
        headers.ids[std::size_t(c)] = std::uint8_t(segment[at]);
        headers.quantTables[std::size_t(c)] = table;
    }
    headers.frame = frame;
    headers.progressive = code == 0xC2;
    return true;
}

bool ReadQuantTables(std::string_view segment, JpegHeaders& headers) {
    while (!segment.empty()) {
        const int precision = std::uint8_t(segment[0]) >> 4, table = segment[0] & 15;
        const std::size_t size = 1 + 64 * std::size_t(precision + 1);
        if (precision > 1 || table > 3 || segment.size() < size)
            return false;
        headers.quantDefined |= 1u << table;
        segment.remove_prefix(size);
    }
    return true;
}

bool ReadHuffmanTables(std::string_view segment, JpegHeaders& headers) {
    while (!segment.empty()) {
        const int kind = std::uint8_t(segment[0]) >> 4, table = segment[0] & 15;
        if (kind > 1 || table > 3 || segment.size() < 17)
            return false;
        std::size_t codes = 0;
        for (std::size_t length = 1; length <= 16; ++length)
            codes += std::uint8_t(segment[length]);
        if (segment.size() < 17 + codes)
            return false;
        headers.huffmanDefined |= 1u << (kind * 4 + table);
        segment.remove_prefix(17 + codes);
    }
    return true;
}

// The first scan: of the frame's components, every table it needs defined, and
// colours a PDF reads as this program's reader does. Both take three components
// for YCbCr unless told otherwise: a PDF reader by an Adobe marker alone; the
// reader here (libjpeg) by a JFIF marker, which means YCbCr, else by an Adobe
// marker, else by the components' names R, G and B.
bool ReadFirstScan(std::string_view segment, const JpegHeaders& headers) {
    if (!headers.frame || segment.empty())
        return false;
    const std::size_t count = std::uint8_t(segment[0]);
    if (count < 1 || segment.size() != 1 + 2 * count + 3)
        return false;
    const int components = headers.frame->components;
    for (int c = 0; c < components; ++c)
        if ((headers.quantDefined >> headers.quantTables[std::size_t(c)] & 1) == 0)
            return false;
    const int start = std::uint8_t(segment[1 + 2 * count]);
    const int approximation = std::uint8_t(segment[3 + 2 * count]) >> 4;
    for (std::size_t s = 0; s < count; ++s) {
        const int id = std::uint8_t(segment[1 + 2 * s]), tables = std::uint8_t(segment[2 + 2 * s]);
        if (std::find(headers.ids.begin(), headers.ids.begin() + components, id) ==
            headers.ids.begin() + components)
            return false;
        // A sequential scan codes both kinds of coefficient; a progressive one
        // first the DC (start 0), whose refinement needs no table, or an AC band.
        const bool dc = !headers.progressive || (start == 0 && approximation == 0);
        const bool ac = !headers.progressive || start > 0;
        if ((dc && (headers.huffmanDefined >> (tables >> 4) & 1) == 0) ||
            (ac && (headers.huffmanDefined >> (4 + (tables & 15)) & 1) == 0))
            return false;
    }
    if (components == 3) {
        const bool named = headers.ids[0] == 'R' && headers.ids[1] == 'G' && headers.ids[2] == 'B';
        const int adobe = headers.adobeTransform;
        const bool hereYcc = headers.jfif || (adobe >= 0 ? adobe != 0 : !named);
        const bool pdfYcc = adobe != 0;
        if (adobe > 1 || hereYcc != pdfYcc)
            return false;
    }
    return true;
}

} // namespace

std::optional<JpegFrame> JpegForPdf(std::string_view bytes) {
    if (!bytes.starts_with("\xFF\xD8"))
        return std::nullopt;
    JpegHeaders headers;
    for (std::size_t at = 2;;) {
        if (at >= bytes.size() || std::uint8_t(bytes[at]) != 0xFF)
            return std::nullopt;
        while (at < bytes.size() && std::uint8_t(bytes[at]) == 0xFF) // fill bytes
            ++at;
        if (at + 3 > bytes.size())
            return std::nullopt;
        const int code = std::uint8_t(bytes[at]);
        // Every marker before the first scan has a length: a lone one (another
        // start, an end, a restart) means a damaged file.
        if (code == 0x00 || code == 0x01 || (code >= 0xD0 && code <= 0xD9))
            return std::nullopt;
        const std::size_t length = Big(bytes, at + 1, 2);
        if (length < 2 || bytes.size() - (at + 1) < length)
            return std::nullopt;
        const std::string_view segment = bytes.substr(at + 3, length - 2);
        at += 1 + length;
        bool read = true;
        switch (code) {
        case 0xC0:
        case 0xC1:
        case 0xC2:
            read = ReadFrame(segment, code, headers);
            break;
        case 0xDB:
            read = ReadQuantTables(segment, headers);
            break;
        case 0xC4:
            read = ReadHuffmanTables(segment, headers);
            break;
        case 0xE0:
            headers.jfif = headers.jfif || segment.starts_with(std::string_view("JFIF\0", 5));
            break;
        case 0xEE:
            if (segment.size() >= 12 && segment.starts_with("Adobe"))
                headers.adobeTransform = std::uint8_t(segment[11]);
            break;
        case 0xDA:
            if (!ReadFirstScan(segment, headers))
                return std::nullopt;
            return headers.frame;
        default:
            // Other frames (lossless, hierarchical, arithmetic-coded) and
            // arithmetic coding's conditioning; other segments are skipped.
            read = !(code >= 0xC3 && code <= 0xCF) && code != 0xDE && code != 0xDF;
        }
        if (!read)
            return std::nullopt;
    }
}

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

// After the logical screen (and its palette, if any) come extensions, each in
// blocks of a length byte and that many bytes up to a block of none, then the
// first frame's descriptor: where it starts, and its size.
std::optional<PixelSize> GifPictureSize(std::string_view bytes) {
    if (!(bytes.starts_with("GIF87a") || bytes.starts_with("GIF89a")) || bytes.size() < 13)
        return std::nullopt;
    const PixelSize screen{Little(bytes, 6, 2), Little(bytes, 8, 2)};
    if (screen.width > 0 && screen.height > 0)
        return screen;
    std::size_t at = 13;
    if (std::uint8_t(bytes[10]) & 0x80)
        at += 3 * (std::size_t(2) << (bytes[10] & 7));
    while (at < bytes.size() && bytes[at] == '!') {
        at += 2; // the extension's mark and kind
        while (at < bytes.size() && bytes[at] != 0)
            at += 1 + std::uint8_t(bytes[at]);
        ++at;
    }
    if (at + 9 > bytes.size() || bytes[at] != ',')
        return std::nullopt;
    const PixelSize reach{Little(bytes, at + 1, 2) + Little(bytes, at + 5, 2),
                          Little(bytes, at + 3, 2) + Little(bytes, at + 7, 2)};
    return PixelSize{screen.width > 0 ? screen.width : reach.width,
                     screen.height > 0 ? screen.height : reach.height};
}

std::string WhyPictureIsCutShort(std::string_view bytes) {
    if (bytes.starts_with("BM"))
        return WhyBitmapCannotFit(bytes, bytes.size());
    if (bytes.starts_with("\xFF\xD8\xFF"))
        return WhyJpegIsCutShort(bytes);
    if (bytes.starts_with("\x89PNG\r\n\x1A\n"))
        return WhyPngIsCutShort(bytes);
    return {};
}

} // namespace kvd
