#pragma once

#include <any>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kvd {

// A loaded picture. The image itself is the platform's own type, carried opaquely
// so that plain C++ code can hand pictures from the loader to the window.
struct Picture {
    std::any image;
    int width = 0;
    int height = 0;
};

// Pixels beyond which a picture is refused instead of decoded.
inline constexpr long long MaxPicturePixels = 16'000'000;

// Loads bitmap pictures. A failure says why in a few words.
class PictureLoader {
public:
    virtual ~PictureLoader() = default;
    virtual std::optional<Picture> loadFile(const std::filesystem::path& path,
                                            std::string& whyNot) = 0;
    virtual std::optional<Picture> loadBytes(std::string_view bytes, std::string& whyNot) = 0;
};

} // namespace kvd
