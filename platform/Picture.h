#pragma once

#include <any>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace kvd {

// A loaded picture. The image itself is the platform's own type, carried opaquely
// so that plain C++ code can hand pictures from the loader to the window.
struct Picture {
    Picture() = default;
    Picture(std::any platformImage, int pixelsWide, int pixelsHigh,
            std::shared_ptr<const std::string> fileItCameFrom = {})
        : image(std::move(platformImage)), width(pixelsWide), height(pixelsHigh),
          file(std::move(fileItCameFrom)) {}

    std::any image;
    int width = 0;
    int height = 0;
    // The file it was read from, where a report carries the file as it is (a
    // JPEG photograph in a PDF): then it is measured, not decoded, and `image`
    // is empty.
    std::shared_ptr<const std::string> file;
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
    // As loadFile, for a report that may carry the file itself: a JPEG that a PDF
    // carries as it is (JpegForPdf) comes with its size and its file, undecoded.
    virtual std::optional<Picture> loadFileForReport(const std::filesystem::path& path,
                                                     std::string& whyNot) {
        return loadFile(path, whyNot);
    }
};

} // namespace kvd
