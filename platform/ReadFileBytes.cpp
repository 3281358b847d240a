#include "platform/ReadFileBytes.h"

#include <algorithm>
#include <new>

namespace kvd::file_reading {

namespace {

constexpr std::uintmax_t MegaByte = 1024 * 1024;

// A size as it is told: in whole megabytes, rounded up, or in bytes below one.
std::string SizeText(std::uintmax_t bytes) {
    return bytes < MegaByte ? std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes")
                            : std::to_string((bytes + MegaByte - 1) / MegaByte) + " MB";
}

std::string TooLarge(const std::string& size) {
    return "the file is too large to be a picture (" + size + ")";
}

// Reads into `bytes` until the end of the file or `cap` + 1 bytes, whichever
// comes first; room is made as the bytes come, from what the file's size said.
bool ReadInto(std::string& bytes, std::size_t cap, const ReadSome& readSome, std::string& whyNot) {
    std::size_t got = 0;
    while (got <= cap) {
        if (got == bytes.size())
            bytes.resize(std::min(cap + 1, std::max<std::size_t>(bytes.size() * 2, 4096)));
        const std::ptrdiff_t read = readSome(bytes.data() + got, bytes.size() - got, whyNot);
        if (read < 0)
            return false;
        if (read == 0)
            break;
        got += std::size_t(read);
    }
    bytes.resize(got);
    return true;
}

} // namespace

std::string Unreachable(const std::string& systemWords) {
    return "it cannot be reached (" + systemWords + ")";
}

std::string ReadFailed(const std::string& systemWords) {
    return "reading it failed (" + systemWords +
           "); try again, or copy it again from where it came";
}

std::optional<std::string> ReadAllOf(std::uintmax_t seenSize, std::size_t cap,
                                     const ReadSome& readSome, std::string& whyNot) {
    if (seenSize > cap) {
        whyNot = TooLarge(SizeText(seenSize));
        return std::nullopt;
    }
    std::string bytes;
    try {
        // One byte more than the size said, to see the end of the file in one go.
        bytes.resize(std::size_t(seenSize) + 1);
        if (!ReadInto(bytes, cap, readSome, whyNot))
            return std::nullopt;
    } catch (const std::bad_alloc&) {
        whyNot = "there is not enough memory to read it; close other programs and try again";
        return std::nullopt;
    }
    if (bytes.size() > cap) {
        whyNot = TooLarge("more than " + SizeText(cap));
        return std::nullopt;
    }
    return bytes;
}

} // namespace kvd::file_reading
