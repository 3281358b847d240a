#include "app/ExportFromCommandLine.h"

#include <QGuiApplication>
#include <chrono>
#include <system_error>

#include "files/ScreenshotFile.h"
#include "files/ScreenshotFolder.h"
#include "flows/ExportFlow.h"
#include "flows/SessionReport.h"
#include "platform/ConsoleText.h"
#include "platform/Utf8Path.h"
#include "platform/qt/QtExportEncoder.h"
#include "platform/qt/QtPictureLoader.h"

namespace kvd {

namespace {

namespace fs = std::filesystem;

// Qt's own notes (no runtime folder set, a font substituted) are for developers;
// standard error carries only what this command has to say.
void OnlyTheSerious(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        WriteText(stderr, qFormatLogMessage(type, context, message).toStdString() + "\n");
}

int Fail(const std::string& text) {
    WriteText(stderr, "kvd62-capture: " + text + "\n");
    return 1;
}

// When the picture was taken: the moment its save-folder name stands for, else
// when the file was last written.
std::time_t TakenAt(const fs::path& file) {
    if (const std::optional<std::time_t> named = MomentInFolderName(Utf8FromPath(file.filename())))
        return *named;
    std::error_code error;
    const fs::file_time_type written = fs::last_write_time(file, error);
    if (error)
        return 0;
    // The file's own second: the file clock's time turned into the system's, not
    // through the two clocks' "now", read a moment apart.
    return std::chrono::system_clock::to_time_t(
        std::chrono::floor<std::chrono::seconds>(std::chrono::file_clock::to_sys(written)));
}

// The export, made as it is written: a PNG of the one picture, or the report.
FileContents Encoded(const ExportOrder& order, const std::vector<ReportEntry>& shots) {
    return [&order, &shots](ByteSink& file) {
        QtExportEncoder encoder;
        std::string whyNot;
        if (order.pdf)
            return encoder.pdf(
                       LayOutReport(shots, order.comment, encoder.paper(), WidthIn(encoder)), file,
                       whyNot)
                       ? Outcome::success()
                       : Outcome::failure(whyNot);
        const std::optional<Picture> picture = shots.front().decode(whyNot);
        const std::optional<std::string> png =
            picture ? encoder.png(*picture, order.scale, whyNot) : std::nullopt;
        if (!png)
            return Outcome::failure(whyNot);
        return file.write(*png) ? Outcome::success() : Outcome::failure("it could not be written");
    };
}

} // namespace

int RunExport(int argc, char* argv[], const ExportOrder& order) {
#ifndef _WIN32
    // Nothing is shown: the fonts for the PDF's text are all it needs.
    qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    qInstallMessageHandler(OnlyTheSerious);
    QGuiApplication app(argc, argv);
    QtPictureLoader pictures;
    std::vector<ReportEntry> shots;
    // Each file is read now, so that one that cannot be is said before anything
    // is written, and read again when it is drawn: one picture at a time. A
    // report carries a JPEG as it is, undecoded.
    for (const fs::path& file : order.files) {
        ReportEntry shot{TakenAt(file), Utf8FromPath(file.filename()), std::nullopt, {}, {}};
        std::string whyNot;
        shot.picture = MeasuredPicture(
            [&pictures, file, pdf = order.pdf](std::string& why) {
                return pdf ? pictures.loadFileForReport(file, why) : pictures.loadFile(file, why);
            },
            shot.decode, whyNot);
        if (!shot.picture)
            return Fail(Utf8FromPath(file) + " could not be read: " + whyNot + ".");
        shots.push_back(std::move(shot));
    }
    // Never written over in place, so that a failure part-way (a full disk) cannot
    // leave the old file half written.
    const Outcome written = WriteFileAsMadeWhole(Encoded(order, shots), order.out);
    if (!written)
        return Fail(Utf8FromPath(order.out) + " could not be written: " + written.reason() +
                    (written.leftDamaged()     ? "; it may be damaged."
                     : written.leftKeptAside() ? "."
                                               : ". Nothing was written there."));
    return 0;
}

} // namespace kvd
