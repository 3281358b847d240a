#include "platform/qt/PrivateTempFolder.h"

#include <QDir>
#include <QStandardPaths>

namespace kvd {

std::filesystem::path PrivateTempFolder() {
#ifdef _WIN32
    const auto location = QStandardPaths::TempLocation;
#else
    const auto location = QStandardPaths::RuntimeLocation;
#endif
    QString folder = QStandardPaths::writableLocation(location);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return std::filesystem::path(folder.toStdU16String());
}

} // namespace kvd
