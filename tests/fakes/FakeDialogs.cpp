#include "tests/fakes/FakeDialogs.h"

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
    if (bytes.substr(0, 2) != "BM") {
        whyNot = "it is not a picture";
        return std::nullopt;
    }
    return Picture{std::string(bytes), 1, 1};
}

} // namespace kvd::test
