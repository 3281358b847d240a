#include "platform/qt/PrivateTempFolder.h"

#include <QDir>
#include <QStandardPaths>

#ifndef _WIN32
#include <string>
#include <unistd.h>

#include "platform/posix/OwnFolderInTmp.h"
#endif

namespace kvd {

std::filesystem::path PrivateTempFolder() {
#ifdef _WIN32
    return std::filesystem::path(
        QStandardPaths::writableLocation(QStandardPaths::TempLocation).toStdU16String());
#else
    // Qt's runtime folder is checked to be the user's own, closed to others.
    // Without one (no XDG_RUNTIME_DIR and /tmp/runtime-USER unusable: su, cron,
    // or someone else made it first) a folder of our own in the shared one.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return std::filesystem::path(runtime.toStdU16String());
    const std::filesystem::path shared(QDir::tempPath().toStdU16String());
    return OwnFolderIn(shared, "kvd62-capture-" + std::to_string(::geteuid()))
        .value_or(std::filesystem::path());
#endif
}

} // namespace kvd
