// Arbitrary files to the picture loader, as "Load image" hands them over: it
// either gives a picture within the size limit or says why not, and never
// crashes, hangs on a huge header or leaks.
#include <QCoreApplication>
#include <QImage>
#include <cstdlib>

#include "platform/qt/QtPictureLoader.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Qt's image format plugins are found through the application object.
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kvd::QtPictureLoader loader;
    std::string whyNot;
    const auto picture =
        loader.loadBytes(std::string_view(reinterpret_cast<const char*>(data), size), whyNot);
    if (picture) {
        const QImage image = kvd::ToImage(*picture);
        if (image.isNull() || qint64(image.width()) * image.height() > kvd::MaxPicturePixels)
            std::abort();
    } else if (whyNot.empty()) {
        std::abort();
    }
    return 0;
}
