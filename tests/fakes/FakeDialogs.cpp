#include "tests/fakes/FakeDialogs.h"

#include <cstdint>
#include <fstream>

namespace kvd::test {

std::optional<Picture> FakePictureLoader::loadFile(const std::filesystem::path& path,
                                                   std::string& whyNot) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        whyNot = "there is no such file";
        return std::nullopt;
    }
    loadedFiles.push_back(path.string());
    return loadBytes(std::string(std::istreambuf_iterator<char>(in), {}), whyNot);
}

std::optional<Picture> FakePictureLoader::loadBytes(std::string_view bytes, std::string& whyNot) {
    ++decodings;
    std::uint32_t size = 0;
    for (std::size_t i = 5; bytes.size() >= 6 && i >= 2; --i)
        size = size << 8 | static_cast<unsigned char>(bytes[i]);
    if (bytes.substr(0, 2) != "BM" || size != bytes.size()) {
        whyNot = "it is not a picture";
        return std::nullopt;
    }
    return Picture{std::string(bytes), 1, 1};
}

} // namespace kvd::test
