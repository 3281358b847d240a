#pragma once

#include <QImage>

#include "platform/Picture.h"
#include "platform/qt/QtPicture.h"

namespace kvd {

// Loads pictures with Qt's image readers. A picture of more than MaxPicturePixels
// is refused from its header, before any pixel is decoded.
class QtPictureLoader final : public PictureLoader {
public:
    std::optional<Picture> loadFile(const std::filesystem::path& path,
                                    std::string& whyNot) override;
    std::optional<Picture> loadBytes(std::string_view bytes, std::string& whyNot) override;
    std::optional<Picture> loadFileForReport(const std::filesystem::path& path,
                                             std::string& whyNot) override;
};

} // namespace kvd
