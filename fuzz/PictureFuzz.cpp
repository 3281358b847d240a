// Arbitrary files to the picture loader, as "Load image" hands them over: each
// is written to a file and read back through the program's own file reader. The
// loader either gives a picture within the size limit, the same from the file
// as from its bytes, whose pixels name no colour its palette lacks, or says why
// not; and it never crashes, hangs on a huge header or leaks. The reader gives
// the file's bytes whole at a cap of their size, and refuses them a byte below.
// The same files to the reading of a JPEG's headers that a report carries as
// it is.
#include <QCoreApplication>
#include <QImage>
#include <QTemporaryDir>
#include <cstdlib>
#include <fstream>

#include "platform/PictureBytes.h"
#include "platform/ReadFileBytes.h"
#include "platform/qt/QtPictureLoader.h"

namespace {

QTemporaryDir* folder = nullptr;

std::filesystem::path Written(std::string_view bytes) {
    const std::filesystem::path path = folder->filePath("picture").toStdString();
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), std::streamsize(bytes.size()));
    return path;
}

void CheckTheReader(const std::filesystem::path& path, std::string_view bytes) {
    std::string whyNot;
    if (kvd::ReadFileBytes(path, bytes.size(), whyNot) != bytes)
        std::abort();
    if (!bytes.empty() && kvd::ReadFileBytes(path, bytes.size() - 1, whyNot))
        std::abort();
}

// Whether each pixel of an indexed picture names a colour its palette has.
bool EveryIndexInItsPalette(const QImage& image) {
    if (image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB)
        return image.colorCount() >= 2;
    if (image.format() != QImage::Format_Indexed8)
        return true;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelIndex(x, y) >= image.colorCount())
                return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Qt's image format plugins are found through the application object.
    static QCoreApplication app(*argc, *argv);
    static QTemporaryDir made;
    if (!made.isValid())
        std::abort();
    folder = &made;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (const auto frame = kvd::JpegForPdf(bytes);
        frame && (frame->width < 1 || frame->height < 1 ||
                  (frame->components != 1 && frame->components != 3)))
        std::abort();
    const std::filesystem::path path = Written(bytes);
    CheckTheReader(path, bytes);
    kvd::QtPictureLoader loader;
    std::string whyNot, fromBytes;
    const auto picture = loader.loadFile(path, whyNot);
    const auto same = loader.loadBytes(bytes, fromBytes);
    if (whyNot != fromBytes || picture.has_value() != same.has_value())
        std::abort();
    if (picture) {
        const QImage image = kvd::ToImage(*picture);
        if (image.isNull() || qint64(image.width()) * image.height() > kvd::MaxPicturePixels ||
            image != kvd::ToImage(*same) || !EveryIndexInItsPalette(image))
            std::abort();
    } else if (whyNot.empty()) {
        std::abort();
    }
    return 0;
}
